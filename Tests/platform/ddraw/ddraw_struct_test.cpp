/* DirectDraw structure layouts, identifiers and result codes: what programs
 * compiled against Windows' headers rely on. */
#include <windows.h>
#include <ddraw.h>
#include <stddef.h>

#include "wintest.h"

static const size_t kPointer = sizeof(void *);

static void test_structure_sizes(void)
{
    ok(sizeof(DDPIXELFORMAT) == 32, "DDPIXELFORMAT is %u bytes\n", (unsigned)sizeof(DDPIXELFORMAT));
    ok(sizeof(DDSCAPS2) == 16, "DDSCAPS2 is %u bytes\n", (unsigned)sizeof(DDSCAPS2));
    ok(sizeof(DDCOLORKEY) == 8, "DDCOLORKEY is %u bytes\n", (unsigned)sizeof(DDCOLORKEY));
    ok(sizeof(DDCAPS) == 380, "DDCAPS is %u bytes\n", (unsigned)sizeof(DDCAPS));
    /* The structures that hold pointers grow with them. */
    size_t desc2 = kPointer == 4 ? 124 : 136;
    size_t bltfx = kPointer == 4 ? 100 : 128;
    ok(sizeof(DDSURFACEDESC2) == desc2, "DDSURFACEDESC2 is %u bytes, expected %u\n",
       (unsigned)sizeof(DDSURFACEDESC2), (unsigned)desc2);
    ok(sizeof(DDBLTFX) == bltfx, "DDBLTFX is %u bytes, expected %u\n", (unsigned)sizeof(DDBLTFX), (unsigned)bltfx);
    ok(sizeof(DDSURFACEDESC) == (kPointer == 4 ? 108u : 120u), "DDSURFACEDESC is %u bytes\n",
       (unsigned)sizeof(DDSURFACEDESC));
}

static void test_member_offsets(void)
{
    ok(offsetof(DDSURFACEDESC2, lPitch) == 16, "lPitch at %u\n", (unsigned)offsetof(DDSURFACEDESC2, lPitch));
    ok(offsetof(DDSURFACEDESC2, lpSurface) == (kPointer == 4 ? 36u : 40u), "lpSurface at %u\n",
       (unsigned)offsetof(DDSURFACEDESC2, lpSurface));
    ok(offsetof(DDSURFACEDESC2, ddpfPixelFormat) == (kPointer == 4 ? 72u : 80u), "ddpfPixelFormat at %u\n",
       (unsigned)offsetof(DDSURFACEDESC2, ddpfPixelFormat));
    ok(offsetof(DDSURFACEDESC2, ddsCaps) == (kPointer == 4 ? 104u : 112u), "ddsCaps at %u\n",
       (unsigned)offsetof(DDSURFACEDESC2, ddsCaps));
    ok(offsetof(DDPIXELFORMAT, dwRGBBitCount) == 12, "dwRGBBitCount at %u\n",
       (unsigned)offsetof(DDPIXELFORMAT, dwRGBBitCount));
    ok(offsetof(DDPIXELFORMAT, dwRBitMask) == 16, "dwRBitMask at %u\n", (unsigned)offsetof(DDPIXELFORMAT, dwRBitMask));
    ok(offsetof(DDCAPS, dwCaps) == 4 && offsetof(DDCAPS, dwFXCaps) == 16, "DDCAPS caps at %u, fx caps at %u\n",
       (unsigned)offsetof(DDCAPS, dwCaps), (unsigned)offsetof(DDCAPS, dwFXCaps));
    ok(offsetof(DDCAPS, dwNumFourCCCodes) == 76, "dwNumFourCCCodes at %u\n",
       (unsigned)offsetof(DDCAPS, dwNumFourCCCodes));
    ok(offsetof(DDCAPS, ddsCaps) == 364, "DDCAPS ddsCaps at %u\n", (unsigned)offsetof(DDCAPS, ddsCaps));
    ok(offsetof(DDBLTFX, dwDDFX) == 4, "dwDDFX at %u\n", (unsigned)offsetof(DDBLTFX, dwDDFX));
    ok(offsetof(DDBLTFX, dwFillColor) == (kPointer == 4 ? 80u : 104u), "dwFillColor at %u\n",
       (unsigned)offsetof(DDBLTFX, dwFillColor));
}

static void test_codes_and_flags(void)
{
    ok(DDERR_SURFACELOST == (HRESULT)0x887601C2, "DDERR_SURFACELOST is %#lx\n", (unsigned long)DDERR_SURFACELOST);
    ok(DDERR_INVALIDPIXELFORMAT == (HRESULT)0x88760091, "DDERR_INVALIDPIXELFORMAT is %#lx\n",
       (unsigned long)DDERR_INVALIDPIXELFORMAT);
    ok(DDERR_UNSUPPORTED == E_NOTIMPL, "DDERR_UNSUPPORTED is E_NOTIMPL\n");
    ok(DDERR_INVALIDPARAMS == E_INVALIDARG, "DDERR_INVALIDPARAMS is E_INVALIDARG\n");
    ok(DDERR_NOCLIPPERATTACHED == (HRESULT)0x88760238, "DDERR_NOCLIPPERATTACHED is %#lx\n",
       (unsigned long)DDERR_NOCLIPPERATTACHED);
    ok((DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT) == 0x1007, "surface description flags\n");
    ok(DDSCAPS_PRIMARYSURFACE == 0x200 && DDSCAPS_OFFSCREENPLAIN == 0x40, "surface caps\n");
    ok((DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES | DDENUM_NONDISPLAYDEVICES) == 7,
       "enumeration flags\n");
    ok(DDBLT_COLORFILL == 0x400 && DDBLT_WAIT == 0x1000000 && DDBLT_DDFX == 0x800, "blit flags\n");
    ok(DDLOCK_WAIT == 1 && DDSCL_NORMAL == 8 && DDPF_FOURCC == 4 && DDPF_RGB == 0x40, "lock, level, format flags\n");
    ok(MAKEFOURCC('Y', 'U', 'Y', '2') == 0x32595559, "YUY2 code %#lx\n", (unsigned long)MAKEFOURCC('Y', 'U', 'Y', '2'));
}

static void test_identifiers(void)
{
    static const GUID dd7 = {0x15e65ec0, 0x3b9c, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};
    static const GUID surface7 = {0x06675a80, 0x3b9b, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};
    ok(memcmp(&IID_IDirectDraw7, &dd7, sizeof(GUID)) == 0, "IID_IDirectDraw7\n");
    ok(memcmp(&IID_IDirectDrawSurface7, &surface7, sizeof(GUID)) == 0, "IID_IDirectDrawSurface7\n");
    ok(IID_IDirectDrawClipper.Data1 == 0x6C14DB85, "IID_IDirectDrawClipper\n");
}

START_TEST(ddraw_struct)
{
    test_structure_sizes();
    test_member_offsets();
    test_codes_and_flags();
    test_identifiers();
}

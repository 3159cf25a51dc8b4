/* The video output's set of DirectDraw surfaces (a primary, a stage in the
 * display's format, a YUY2 picture) and the checks that they are lost:
 * shared by the conformance program and the layer's control checks. */
#ifndef KOVA_TEST_DDRAW_SURFACE_SET_H
#define KOVA_TEST_DDRAW_SURFACE_SET_H

#include <windows.h>
#include <ddraw.h>

#include "wintest.h"

struct surfaces {
    IDirectDraw7 *dd;
    IDirectDrawSurface7 *primary, *stage, *yuv;
};

WINTEST_MAYBE_UNUSED static IDirectDrawSurface7 *make(IDirectDraw7 *dd, DWORD caps, int width, int height, const DDPIXELFORMAT *pf)
{
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = caps;
    if (width) {
        desc.dwFlags |= DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = width;
        desc.dwHeight = height;
    }
    if (pf) {
        desc.dwFlags |= DDSD_PIXELFORMAT;
        desc.ddpfPixelFormat = *pf;
    }
    IDirectDrawSurface7 *s = NULL;
    return dd->CreateSurface(&desc, &s, NULL) == DD_OK ? s : NULL;
}

WINTEST_MAYBE_UNUSED static void yuy2_format(DDPIXELFORMAT *pf)
{
    memset(pf, 0, sizeof *pf);
    pf->dwSize = sizeof *pf;
    pf->dwFlags = DDPF_FOURCC;
    pf->dwFourCC = MAKEFOURCC('Y', 'U', 'Y', '2');
}

/* The output's set: a primary surface, a stage surface in the display's
 * format (its pixel format copied from the primary) and a YUY2 picture. */
WINTEST_MAYBE_UNUSED static int open_surfaces(GUID *guid, HWND window, struct surfaces *s)
{
    memset(s, 0, sizeof *s);
    if (DirectDrawCreateEx(guid, (void **)&s->dd, IID_IDirectDraw7, NULL) != DD_OK) return 0;
    s->dd->SetCooperativeLevel(window, DDSCL_NORMAL);
    s->primary = make(s->dd, DDSCAPS_PRIMARYSURFACE, 0, 0, NULL);
    ok(s->primary != NULL, "no primary surface\n");
    if (!s->primary) return 0;
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    s->primary->GetSurfaceDesc(&desc);
    s->stage = make(s->dd, DDSCAPS_OFFSCREENPLAIN, 64, 32, &desc.ddpfPixelFormat);
    ok(s->stage != NULL, "no stage surface in the display's format\n");
    DDPIXELFORMAT pf;
    yuy2_format(&pf);
    s->yuv = make(s->dd, DDSCAPS_OFFSCREENPLAIN, 64, 32, &pf);
    return s->stage != NULL;
}

WINTEST_MAYBE_UNUSED static void close_surfaces(struct surfaces *s)
{
    if (s->yuv) s->yuv->Release();
    if (s->stage) s->stage->Release();
    if (s->primary) s->primary->Release();
    if (s->dd) s->dd->Release();
}

WINTEST_MAYBE_UNUSED static HRESULT lock_unlock(IDirectDrawSurface7 *s)
{
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    HRESULT hr = s->Lock(NULL, &desc, DDLOCK_WAIT, NULL);
    if (hr == DD_OK) s->Unlock(NULL);
    return hr;
}

WINTEST_MAYBE_UNUSED static HRESULT colour_fill(IDirectDrawSurface7 *s)
{
    DDBLTFX fx;
    memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    return s->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

WINTEST_MAYBE_UNUSED static void check_lost(struct surfaces *s, const char *when)
{
    ok(s->primary->IsLost() == DDERR_SURFACELOST, "%s: primary surface not lost\n", when);
    ok(s->stage->IsLost() == DDERR_SURFACELOST, "%s: stage surface not lost\n", when);
    ok(lock_unlock(s->stage) == DDERR_SURFACELOST, "%s: stage lock\n", when);
    ok(lock_unlock(s->primary) == DDERR_SURFACELOST, "%s: primary lock\n", when);
    ok(s->primary->Blt(NULL, s->stage, NULL, DDBLT_WAIT, NULL) == DDERR_SURFACELOST, "%s: blit to screen\n", when);
    ok(colour_fill(s->stage) == DDERR_SURFACELOST, "%s: colour fill\n", when);
    if (s->yuv) {
        ok(lock_unlock(s->yuv) == DDERR_SURFACELOST, "%s: YUY2 lock\n", when);
        ok(s->stage->Blt(NULL, s->yuv, NULL, DDBLT_WAIT, NULL) == DDERR_SURFACELOST, "%s: YUY2 blit\n", when);
    }
}

#endif

/* DirectDraw through the layer's control interface: every call the video
 * output makes can be made to fail with a chosen code, the FOURCC codes a
 * device offers can be chosen, and calls and live objects are counted. */
#include <windows.h>
#include <ddraw.h>

#include "wintest.h"

#include <stdlib.h>

#include "kova_control.h"
#include "kova_control_ddraw.h"

static BOOL WINAPI count_device(GUID *, LPSTR, LPSTR, LPVOID context, HMONITOR)
{
    ++*(int *)context;
    return TRUE;
}

static IDirectDraw7 *create_device(GUID *guid)
{
    IDirectDraw7 *dd = NULL;
    HRESULT hr = DirectDrawCreateEx(guid, (void **)&dd, IID_IDirectDraw7, NULL);
    ok(hr == DD_OK && dd != NULL, "DirectDrawCreateEx failed: %#lx\n", (unsigned long)hr);
    return hr == DD_OK ? dd : NULL;
}

static void test_layer_faults_and_refusals(HWND window)
{
    /* Every call the output makes can fail with a chosen code. */
    KovaControl_ClearFaults();
    void *object = (void *)1;
    KovaControl_FailCall("DirectDrawCreateEx", DDERR_NODIRECTDRAWHW, 0, 1);
    ok(DirectDrawCreateEx(NULL, &object, IID_IDirectDraw7, NULL) == DDERR_NODIRECTDRAWHW && object == NULL,
       "DirectDrawCreateEx fault\n");
    KovaControl_FailCall("DirectDrawEnumerateExA", DDERR_GENERIC, 0, 1);
    int devices = 0;
    ok(DirectDrawEnumerateExA(count_device, &devices, 7) == DDERR_GENERIC && devices == 0,
       "DirectDrawEnumerateExA fault\n");

    IDirectDraw7 *dd = create_device(NULL);
    if (!dd) return;
    KovaControl_FailCall("IDirectDraw7::SetCooperativeLevel", DDERR_EXCLUSIVEMODEALREADYSET, 0, 1);
    ok(dd->SetCooperativeLevel(window, DDSCL_NORMAL) == DDERR_EXCLUSIVEMODEALREADYSET, "SetCooperativeLevel fault\n");
    ok(dd->SetCooperativeLevel(window, DDSCL_NORMAL) == DD_OK, "a one-shot fault lasts\n");
    DDCAPS caps;
    memset(&caps, 0, sizeof caps);
    caps.dwSize = sizeof caps;
    KovaControl_FailCall("IDirectDraw7::GetCaps", DDERR_GENERIC, 0, 1);
    ok(dd->GetCaps(&caps, NULL) == DDERR_GENERIC, "GetCaps fault\n");
    IDirectDrawClipper *clipper = (IDirectDrawClipper *)1;
    KovaControl_FailCall("IDirectDraw7::CreateClipper", DDERR_OUTOFMEMORY, 0, 1);
    ok(dd->CreateClipper(0, &clipper, NULL) == DDERR_OUTOFMEMORY && clipper == NULL, "CreateClipper fault\n");

    /* Tagged faults hit one kind of surface only. */
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = 64;
    desc.dwHeight = 16;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
    desc.ddpfPixelFormat.dwFlags = DDPF_FOURCC;
    desc.ddpfPixelFormat.dwFourCC = MAKEFOURCC('Y', 'U', 'Y', '2');
    KovaControl_FailCall("IDirectDraw7::CreateSurface:YUY2", DDERR_OUTOFVIDEOMEMORY, 0, -1);
    IDirectDrawSurface7 *surface = NULL;
    ok(dd->CreateSurface(&desc, &surface, NULL) == DDERR_OUTOFVIDEOMEMORY, "YUY2 refusal\n");
    desc.ddpfPixelFormat.dwFourCC = MAKEFOURCC('U', 'Y', 'V', 'Y');
    ok(dd->CreateSurface(&desc, &surface, NULL) == DD_OK && surface, "UYVY refused with YUY2\n");
    ok(KovaControl_FaultsTaken("IDirectDraw7::CreateSurface:YUY2") == 1, "fault count\n");
    if (surface) {
        KovaControl_FailCall("IDirectDrawSurface7::Lock:PRIMARY", DDERR_SURFACEBUSY, 0, -1);
        DDSURFACEDESC2 lock;
        memset(&lock, 0, sizeof lock);
        lock.dwSize = sizeof lock;
        ok(surface->Lock(NULL, &lock, DDLOCK_WAIT, NULL) == DD_OK, "an off-screen lock hit the primary fault\n");
        surface->Unlock(NULL);
        KovaControl_FailCall("IDirectDrawSurface7::Lock:UYVY", DDERR_SURFACELOST, 0, 1);
        ok(surface->Lock(NULL, &lock, DDLOCK_WAIT, NULL) == DDERR_SURFACELOST, "UYVY lock fault\n");
        KovaControl_FailCall("IDirectDrawSurface7::Restore", DDERR_WRONGMODE, 0, 1);
        ok(surface->Restore() == DDERR_WRONGMODE, "Restore fault\n");
        DDBLTFX fx;
        memset(&fx, 0, sizeof fx);
        fx.dwSize = sizeof fx;
        KovaControl_FailCall("IDirectDrawSurface7::Blt:COLORFILL", DDERR_NOBLTHW, 0, 1);
        ok(surface->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx) == DDERR_NOBLTHW, "fill fault\n");
        ok(surface->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx) == DD_OK, "fill after the fault\n");
        surface->Release();
    }
    KovaControl_ClearFaults();

    /* A device that offers no FOURCC: caps, codes and creation agree. */
    KovaControl_SetDirectDrawFourCCs(NULL, 0);
    ok(dd->GetCaps(&caps, NULL) == DD_OK && caps.dwNumFourCCCodes == 0 && !(caps.dwCaps & DDCAPS_BLTFOURCC),
       "FOURCC still reported\n");
    ok(dd->CreateSurface(&desc, &surface, NULL) == DDERR_INVALIDPIXELFORMAT, "UYVY made without the code\n");
    DWORD yuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
    KovaControl_SetDirectDrawFourCCs(&yuy2, 1);
    DWORD count = 0;
    ok(dd->GetFourCCCodes(&count, NULL) == DD_OK && count == 1, "%lu codes offered\n", (unsigned long)count);
    ok(dd->CreateSurface(&desc, &surface, NULL) == DDERR_INVALIDPIXELFORMAT, "UYVY made, only YUY2 offered\n");
    KovaControl_SetDirectDrawFourCCs(NULL, -1);
    ok(dd->CreateSurface(&desc, &surface, NULL) == DD_OK, "UYVY refused after the default returned\n");
    if (surface) surface->Release();

    /* Calls are counted under their names and tags. */
    KovaControl_ResetDirectDrawCalls();
    ok(dd->CreateSurface(&desc, &surface, NULL) == DD_OK, "UYVY surface\n");
    ok(KovaControl_DirectDrawCalls("IDirectDraw7::CreateSurface") == 1 &&
           KovaControl_DirectDrawCalls("IDirectDraw7::CreateSurface:UYVY") == 1 &&
           KovaControl_DirectDrawCalls("IDirectDraw7::CreateSurface:OFFSCREEN") == 1 &&
           KovaControl_DirectDrawCalls("IDirectDraw7::CreateSurface:PRIMARY") == 0,
       "call counts\n");
    if (surface) surface->Release();
    dd->Release();

    KovaDirectDrawObjects objects;
    KovaControl_GetDirectDrawObjects(&objects);
    ok(objects.directDraws == 0 && objects.surfaces == 0 && objects.clippers == 0 && objects.lockedSurfaces == 0,
       "objects left: %ld devices, %ld surfaces, %ld clippers\n", (long)objects.directDraws, (long)objects.surfaces,
       (long)objects.clippers);
}

START_TEST(ddraw_device_control)
{
    setenv("KOVA_DESKTOP", "1280x720x32@0,0;800x600x32@1280,0", 1);
    wintest_register_class("ddraw_device_control_test", DefWindowProcA);
    HWND window = CreateWindowExA(0, "ddraw_device_control_test", "", WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, NULL,
                                  NULL, NULL, NULL);
    ok(window != NULL, "no window\n");
    test_layer_faults_and_refusals(window);
    DestroyWindow(window);
}

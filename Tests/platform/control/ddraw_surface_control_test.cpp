/* What the layer's control interface sees of DirectDraw blits: a blit onto
 * the primary surface counts as a change of the screen, which is how
 * viewers know to show it again. */
#include <windows.h>
#include <ddraw.h>

#include "wintest.h"

#include <stdlib.h>

#include "kova_control_desktop.h"

static IDirectDrawSurface7 *create_surface(IDirectDraw7 *dd, DWORD caps, int width, int height)
{
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | (width ? DDSD_WIDTH | DDSD_HEIGHT : 0);
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddsCaps.dwCaps = caps;
    IDirectDrawSurface7 *surface = NULL;
    HRESULT hr = dd->CreateSurface(&desc, &surface, NULL);
    ok(hr == DD_OK, "no surface (caps %#lx): %#lx\n", (unsigned long)caps, (unsigned long)hr);
    return hr == DD_OK ? surface : NULL;
}

static void test_blit_to_screen_is_a_change(IDirectDraw7 *dd)
{
    IDirectDrawSurface7 *primary = create_surface(dd, DDSCAPS_PRIMARYSURFACE, 0, 0);
    IDirectDrawSurface7 *stage = create_surface(dd, DDSCAPS_OFFSCREENPLAIN, 4, 2);
    if (primary && stage) {
        KovaFramebufferInfo before, after;
        KovaControl_GetFramebufferInfo(0, &before);
        RECT on_screen = {100, 100, 180, 140};
        ok(primary->Blt(&on_screen, stage, NULL, DDBLT_WAIT, NULL) == DD_OK, "stage to screen failed\n");
        /* Viewers see that the screen changed. */
        KovaControl_GetFramebufferInfo(0, &after);
        ok(after.changes > before.changes, "a blit onto the screen did not count as a change\n");
    }
    if (stage) stage->Release();
    if (primary) primary->Release();
}

START_TEST(ddraw_surface_control)
{
    setenv("KOVA_DESKTOP", "1024x768x32@0,0", 1);
    wintest_register_class("ddraw_surface_control_test", DefWindowProcA);
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "ddraw_surface_control_test", "", WS_POPUP | WS_VISIBLE, 40, 30, 200,
                                  120, NULL, NULL, NULL, NULL);
    ok(window != NULL, "no window\n");
    IDirectDraw7 *dd = NULL;
    if (DirectDrawCreateEx(NULL, (void **)&dd, IID_IDirectDraw7, NULL) != DD_OK) {
        ok(0, "no DirectDraw\n");
        return;
    }
    ok(dd->SetCooperativeLevel(window, DDSCL_NORMAL) == DD_OK, "SetCooperativeLevel failed\n");
    test_blit_to_screen_is_a_change(dd);
    dd->Release();
    DestroyWindow(window);
}

/* DirectDraw surfaces lost through the layer's control interface, as a
 * desktop switch loses them, without a mode change: restoring brings them
 * back one by one or all at once, and nothing is left afterwards. */
#include <windows.h>
#include <ddraw.h>

#include "wintest.h"

#include <stdlib.h>

#include "ddraw/ddraw_surface_set.h"
#include "kova_control_ddraw.h"

static void test_layer_loss(HWND window)
{
    struct surfaces s;
    if (!open_surfaces(NULL, window, &s)) {
        close_surfaces(&s);
        return;
    }
    /* Surfaces can be lost without a mode change, as a desktop switch
     * loses them. */
    KovaControl_LoseDirectDrawSurfaces(NULL);
    check_lost(&s, "control");
    ok(s.primary->Restore() == DD_OK && s.stage->Restore() == DD_OK, "Restore after a control loss\n");
    ok(lock_unlock(s.stage) == DD_OK, "lock after Restore\n");
    if (s.yuv) {
        /* Surfaces not restored stay lost. */
        ok(lock_unlock(s.yuv) == DDERR_SURFACELOST, "an unrestored surface came back\n");
        ok(s.dd->RestoreAllSurfaces() == DD_OK && lock_unlock(s.yuv) == DD_OK, "RestoreAllSurfaces\n");
    }
    close_surfaces(&s);
    KovaDirectDrawObjects objects;
    KovaControl_GetDirectDrawObjects(&objects);
    ok(objects.surfaces == 0 && objects.directDraws == 0, "%ld surfaces, %ld devices left\n", (long)objects.surfaces,
       (long)objects.directDraws);
}

START_TEST(ddraw_lost_control)
{
    setenv("KOVA_DESKTOP", "640x480x32@0,0;640x480x32@640,0", 1);
    wintest_register_class("ddraw_lost_control_test", DefWindowProcA);
    HWND window = CreateWindowExA(0, "ddraw_lost_control_test", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, NULL,
                                  NULL, NULL, NULL);
    test_layer_loss(window);
    DestroyWindow(window);
}

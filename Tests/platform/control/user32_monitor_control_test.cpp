/* Monitors through the layer's control interface: a display mode change
 * gives the monitor a framebuffer of the new format (and a new format
 * generation) and only on success, and the desktop can be configured again,
 * with monitors attached and detached while the program runs. */
#include <windows.h>

#include "wintest.h"

#include <stdlib.h>

#include "kova_control_desktop.h"

static int display_changes;
static LRESULT CALLBACK display_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DISPLAYCHANGE) {
        display_changes++;
        ok(wParam == 8 && LOWORD(lParam) == 1280 && HIWORD(lParam) == 1024, "WM_DISPLAYCHANGE %u %ux%u\n",
           (unsigned)wParam, LOWORD(lParam), HIWORD(lParam));
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

static void test_change_display_settings(void)
{
    wintest_register_class("display_change_test", display_proc);
    HWND hwnd = CreateWindowExA(0, "display_change_test", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);

    KovaFramebufferInfo before, after;
    ok(KovaControl_GetFramebufferInfo(1, &before), "framebuffer info\n");
    ok(before.depth == 16 && before.redMask == 0xF800 && before.pitch >= 1280 * 2, "16-bit framebuffer\n");

    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_BITSPERPEL;
    mode.dmBitsPerPel = 12;
    ok(ChangeDisplaySettingsExA("\\\\.\\DISPLAY2", &mode, NULL, 0, NULL) == DISP_CHANGE_BADMODE, "12 bits refused\n");
    ok(ChangeDisplaySettingsExA("\\\\.\\DISPLAY9", &mode, NULL, 0, NULL) == DISP_CHANGE_BADPARAM,
       "unknown device refused\n");

    mode.dmBitsPerPel = 8;
    ok(ChangeDisplaySettingsExA("\\\\.\\DISPLAY2", &mode, NULL, CDS_TEST, NULL) == DISP_CHANGE_SUCCESSFUL, "test\n");
    KovaControl_GetFramebufferInfo(1, &after);
    ok(after.depth == 16 && after.formatGeneration == before.formatGeneration, "CDS_TEST changes nothing\n");

    ok(ChangeDisplaySettingsExA("\\\\.\\DISPLAY2", &mode, NULL, 0, NULL) == DISP_CHANGE_SUCCESSFUL, "to 8 bits\n");
    KovaControl_GetFramebufferInfo(1, &after);
    ok(after.depth == 8 && after.bytesPerPixel == 1 && after.formatGeneration != before.formatGeneration,
       "8-bit framebuffer, new generation\n");
    KovaFramebufferInfo primary;
    KovaControl_GetFramebufferInfo(0, &primary);
    ok(primary.depth == 32, "the primary keeps its format\n");

    /* A position overlapping the primary is refused. */
    mode.dmFields = DM_POSITION;
    mode.dmPosition.x = 1000;
    mode.dmPosition.y = 0;
    ok(ChangeDisplaySettingsExA("\\\\.\\DISPLAY2", &mode, NULL, 0, NULL) == DISP_CHANGE_BADMODE, "overlap\n");

    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    ok(display_changes == 1, "%d WM_DISPLAYCHANGE\n", display_changes);

    /* A null mode returns to the configured mode. */
    ok(ChangeDisplaySettingsExA("\\\\.\\DISPLAY2", NULL, NULL, 0, NULL) == DISP_CHANGE_SUCCESSFUL, "restore\n");
    KovaControl_GetFramebufferInfo(1, &after);
    ok(after.depth == 16 && after.width == 1280, "restored to 16 bits\n");
    DestroyWindow(hwnd);
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

static void test_desktop_configuration(void)
{
    /* Bad entries are skipped, positions default to the right, and an entry
     * overlapping an earlier monitor is refused. */
    KovaControl_ConfigureDesktop("800x600x32@5,5; 12x; 640x480x24; 100x100x7@0,0; 100x100x15@900,0");
    ok(GetSystemMetrics(SM_CMONITORS) == 2, "%d monitors\n", GetSystemMetrics(SM_CMONITORS));
    KovaFramebufferInfo info;
    ok(KovaControl_GetFramebufferInfo(0, &info) && info.rect.left == 0 && info.width == 800, "primary at 0,0\n");
    ok(KovaControl_GetFramebufferInfo(1, &info) && info.rect.left == 800 && info.depth == 24,
       "second right of the primary\n");

    HMONITOR extra = KovaControl_AttachMonitor("320x200x8@-320,0");
    ok(extra != NULL, "attach left of the primary\n");
    ok(GetSystemMetrics(SM_XVIRTUALSCREEN) == -320, "virtual screen starts at -320\n");
    ok(KovaControl_AttachMonitor("100x100x32@0,0") == NULL, "overlapping monitor refused\n");
    ok(KovaControl_DetachMonitor(extra), "detach\n");
    MONITORINFO mi;
    mi.cbSize = sizeof mi;
    ok(!GetMonitorInfoA(extra, &mi), "a detached monitor has no information\n");

    KovaControl_ConfigureDesktop("");
    ok(GetSystemMetrics(SM_CMONITORS) == 1 && GetSystemMetrics(SM_CXSCREEN) == 1920 &&
           GetSystemMetrics(SM_CYSCREEN) == 1080,
       "default desktop\n");
}

START_TEST(user32_monitor_control)
{
    setenv("KOVA_DESKTOP", "1920x1080x32@0,0;1280x1024x16@1920,0", 1);
    test_change_display_settings();
    test_desktop_configuration();
}

/* Monitors and display modes: system metrics, EnumDisplayMonitors,
 * GetMonitorInfoA, MonitorFrom*, EnumDisplaySettingsA and
 * ChangeDisplaySettingsExA. On the layer the desktop is two monitors side by
 * side, the second in 16 bits; on Windows the checks hold for any desktop. */
#include <windows.h>

#include "wintest.h"

#ifndef _WIN32
#include <stdlib.h>
#include "kova_control_desktop.h"
#endif

#define MAX_SEEN 16

struct seen_monitors {
    int count;
    HMONITOR handle[MAX_SEEN];
    RECT rect[MAX_SEEN];
    int stop_after;
};

static BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM data)
{
    struct seen_monitors *seen = (struct seen_monitors *)data;
    ok(dc == NULL, "no device context expected, got %p\n", (void *)dc);
    if (seen->count < MAX_SEEN) {
        seen->handle[seen->count] = monitor;
        seen->rect[seen->count] = *rect;
    }
    seen->count++;
    return seen->stop_after == 0 || seen->count < seen->stop_after;
}

static int rect_equal(const RECT *a, LONG l, LONG t, LONG r, LONG b)
{
    return a->left == l && a->top == t && a->right == r && a->bottom == b;
}

static void test_enumeration(void)
{
    struct seen_monitors seen;
    memset(&seen, 0, sizeof seen);
    ok(EnumDisplayMonitors(NULL, NULL, collect_monitor, (LPARAM)&seen), "EnumDisplayMonitors failed\n");
    ok(seen.count == GetSystemMetrics(SM_CMONITORS), "enumerated %d monitors, SM_CMONITORS %d\n", seen.count,
       GetSystemMetrics(SM_CMONITORS));

    RECT virt = {0, 0, 0, 0};
    int primaries = 0;
    for (int i = 0; i < seen.count && i < MAX_SEEN; i++) {
        MONITORINFOEXA info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        ok(GetMonitorInfoA(seen.handle[i], (MONITORINFO *)&info), "GetMonitorInfoA failed for monitor %d\n", i);
        ok(EqualRect(&info.rcMonitor, &seen.rect[i]), "monitor %d: enumerated and reported rectangles differ\n", i);
        ok(strncmp(info.szDevice, "\\\\.\\DISPLAY", 11) == 0, "monitor %d: device name %s\n", i, info.szDevice);
        if (info.dwFlags & MONITORINFOF_PRIMARY) {
            primaries++;
            ok(rect_equal(&info.rcMonitor, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)),
               "the primary lies at 0,0 with the screen's size\n");
        }
        UnionRect(&virt, &virt, &info.rcMonitor);

        POINT centre = {(info.rcMonitor.left + info.rcMonitor.right) / 2,
                        (info.rcMonitor.top + info.rcMonitor.bottom) / 2};
        ok(MonitorFromPoint(centre, MONITOR_DEFAULTTONULL) == seen.handle[i], "MonitorFromPoint of monitor %d\n", i);
    }
    ok(primaries == 1, "%d primary monitors\n", primaries);
    ok(virt.left == GetSystemMetrics(SM_XVIRTUALSCREEN) && virt.top == GetSystemMetrics(SM_YVIRTUALSCREEN) &&
           virt.right - virt.left == GetSystemMetrics(SM_CXVIRTUALSCREEN) &&
           virt.bottom - virt.top == GetSystemMetrics(SM_CYVIRTUALSCREEN),
       "the virtual screen is the union of the monitors\n");

    /* A FALSE from the callback ends the enumeration. */
    memset(&seen, 0, sizeof seen);
    seen.stop_after = 1;
    EnumDisplayMonitors(NULL, NULL, collect_monitor, (LPARAM)&seen);
    ok(seen.count == 1, "enumeration went on after FALSE: %d calls\n", seen.count);

    /* A clipping rectangle limits the enumeration and clips the rectangles. */
    RECT clip = {10, 10, 20, 20};
    memset(&seen, 0, sizeof seen);
    EnumDisplayMonitors(NULL, &clip, collect_monitor, (LPARAM)&seen);
    ok(seen.count == 1 && EqualRect(&seen.rect[0], &clip), "clipped enumeration: %d monitors\n", seen.count);

    POINT far_away = {-100000, -100000};
    ok(MonitorFromPoint(far_away, MONITOR_DEFAULTTONULL) == NULL, "no monitor far away\n");
    ok(MonitorFromPoint(far_away, MONITOR_DEFAULTTOPRIMARY) != NULL, "the primary as default\n");
    ok(MonitorFromPoint(far_away, MONITOR_DEFAULTTONEAREST) != NULL, "the nearest as default\n");
}

static void test_monitor_info_errors(void)
{
    POINT origin = {0, 0};
    HMONITOR primary = MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info - 1;
    ok(!GetMonitorInfoA(primary, &info), "a wrong cbSize is refused\n");
    info.cbSize = sizeof info;
    ok(GetMonitorInfoA(primary, &info), "MONITORINFO (40 bytes) accepted\n");
    ok(info.dwFlags & MONITORINFOF_PRIMARY, "the monitor at 0,0 is the primary\n");
    ok(EqualRect(&info.rcWork, &info.rcMonitor) || wintest_is_layer() == 0, "work area\n");
}

#ifndef _WIN32
/* The layer's desktop as the test host configured it. */
static void test_configured_desktop(void)
{
    ok(GetSystemMetrics(SM_CMONITORS) == 2, "SM_CMONITORS %d\n", GetSystemMetrics(SM_CMONITORS));
    ok(GetSystemMetrics(SM_CXSCREEN) == 1920 && GetSystemMetrics(SM_CYSCREEN) == 1080, "screen size\n");
    ok(GetSystemMetrics(SM_XVIRTUALSCREEN) == 0 && GetSystemMetrics(SM_CXVIRTUALSCREEN) == 3200 &&
           GetSystemMetrics(SM_CYVIRTUALSCREEN) == 1080,
       "virtual screen %d,%d %dx%d\n", GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
       GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
    ok(GetSystemMetrics(SM_SAMEDISPLAYFORMAT) == 0, "the monitors differ in format\n");

    POINT p = {2000, 100};
    MONITORINFOEXA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    ok(GetMonitorInfoA(MonitorFromPoint(p, MONITOR_DEFAULTTONULL), (MONITORINFO *)&info), "second monitor\n");
    ok(rect_equal(&info.rcMonitor, 1920, 0, 3200, 1024), "second monitor at (%d,%d)-(%d,%d)\n",
       (int)info.rcMonitor.left, (int)info.rcMonitor.top, (int)info.rcMonitor.right, (int)info.rcMonitor.bottom);
    ok(strcmp(info.szDevice, "\\\\.\\DISPLAY2") == 0, "device name %s\n", info.szDevice);
    ok(info.dwFlags == 0, "not the primary\n");

    /* Below the second monitor there is no screen: the nearest is the second. */
    POINT below = {2500, 1050};
    ok(MonitorFromPoint(below, MONITOR_DEFAULTTONULL) == NULL, "nothing below the second monitor\n");
    ok(MonitorFromPoint(below, MONITOR_DEFAULTTONEAREST) == MonitorFromPoint(p, MONITOR_DEFAULTTONULL),
       "the nearest monitor\n");

    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    ok(EnumDisplaySettingsA("\\\\.\\DISPLAY2", ENUM_CURRENT_SETTINGS, &mode), "current mode\n");
    ok(mode.dmPelsWidth == 1280 && mode.dmPelsHeight == 1024 && mode.dmBitsPerPel == 16,
       "current mode %lux%lux%lu\n", (unsigned long)mode.dmPelsWidth, (unsigned long)mode.dmPelsHeight,
       (unsigned long)mode.dmBitsPerPel);
    ok(mode.dmPosition.x == 1920 && mode.dmPosition.y == 0, "position\n");

    DISPLAY_DEVICEA device;
    memset(&device, 0, sizeof device);
    device.cb = sizeof device;
    ok(EnumDisplayDevicesA(NULL, 1, &device, 0) && strcmp(device.DeviceName, "\\\\.\\DISPLAY2") == 0,
       "second display device\n");
    ok(!EnumDisplayDevicesA(NULL, 2, &device, 0), "only two display devices\n");
}

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
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = display_proc;
    wc.lpszClassName = "display_change_test";
    RegisterClassA(&wc);
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
#endif

START_TEST(user32_monitor)
{
#ifndef _WIN32
    setenv("KOVA_DESKTOP", "1920x1080x32@0,0;1280x1024x16@1920,0", 1);
#endif
    test_enumeration();
    test_monitor_info_errors();
#ifndef _WIN32
    test_configured_desktop();
    test_change_display_settings();
    test_desktop_configuration();
#else
    skip("display mode changes are not tested on a real desktop\n");
#endif
}

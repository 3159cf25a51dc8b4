/* Monitors and display modes: system metrics, EnumDisplayMonitors,
 * GetMonitorInfoA, MonitorFrom*, EnumDisplaySettingsA and
 * ChangeDisplaySettingsExA. On the layer the desktop is two monitors side by
 * side, the second in 16 bits; on Windows the checks hold for any desktop. */
#include <windows.h>

#include "wintest.h"

#ifndef _WIN32
#include <stdlib.h>
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
#else
    skip("the layer's configured desktop is not checked on a real one\n");
#endif
}

/* Monitors and display modes: system metrics, monitor enumeration and
 * information, and display mode changes. */
#include "desktop/desktop_state.h"
#include "desktop/monitor_config.h"
#include "fault/fault.h"
#include "gdi32/dc.h"
#include "user32/exposure.h"
#include "user32/window_messages.h"

#include <stddef.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

using namespace kova;
using namespace kova::desktop;

#ifndef ERROR_INVALID_MONITOR_HANDLE
#define ERROR_INVALID_MONITOR_HANDLE 1461L
#endif

// Frame metrics of the layer's windows. They need no lock: they are fixed.
static int FixedMetric(int index, bool *known)
{
    *known = true;
    switch (index) {
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 17;
    case SM_CYCAPTION: return 23;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CYMENU: return 19;
    case SM_CXMIN: return 136;
    case SM_CYMIN: return 39;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CYSMCAPTION: return 17;
    case SM_CXPADDEDBORDER: return 0;
    default: *known = false; return 0;
    }
}

KOVA_LAYER_API int WINAPI GetSystemMetrics(int index)
{
    KOVA_FAULT_POINT("GetSystemMetrics", int);
    bool known;
    int fixed = FixedMetric(index, &known);
    if (known) return fixed;
    auto lock = LockDesktop();
    State &s = GetState();
    const RECT primary = s.monitors.empty() ? RECT{0, 0, 0, 0} : s.monitors[0].rect;
    const RECT virt = VirtualScreenLocked();
    switch (index) {
    case SM_CXSCREEN: return primary.right - primary.left;
    case SM_CYSCREEN: return primary.bottom - primary.top;
    case SM_CXFULLSCREEN: return primary.right - primary.left;
    case SM_CYFULLSCREEN: return primary.bottom - primary.top - FixedMetric(SM_CYCAPTION, &known);
    case SM_CXMAXIMIZED: return primary.right - primary.left + 2 * FixedMetric(SM_CXFRAME, &known);
    case SM_CYMAXIMIZED: return primary.bottom - primary.top + 2 * FixedMetric(SM_CYFRAME, &known);
    case SM_XVIRTUALSCREEN: return virt.left;
    case SM_YVIRTUALSCREEN: return virt.top;
    case SM_CXVIRTUALSCREEN: return virt.right - virt.left;
    case SM_CYVIRTUALSCREEN: return virt.bottom - virt.top;
    case SM_CMONITORS: return (int)s.monitors.size();
    case SM_SAMEDISPLAYFORMAT:
        for (const MonitorState &m : s.monitors)
            if (m.framebuffer->layout != s.monitors[0].framebuffer->layout) return 0;
        return 1;
    default: return 0;
    }
}

KOVA_LAYER_API DWORD WINAPI GetSysColor(int index)
{
    static const COLORREF colors[] = {
        RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219),
        RGB(240, 240, 240), RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),
        RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(180, 180, 180), RGB(244, 247, 252),
        RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255), RGB(240, 240, 240),
        RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
        RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),
        RGB(255, 255, 225),
    };
    if (index < 0 || index >= (int)(sizeof colors / sizeof colors[0])) return 0;
    return colors[index];
}

/* ---- Enumeration and information ------------------------------------- */

struct EnumEntry { HMONITOR handle; RECT rect; };

KOVA_LAYER_API BOOL WINAPI EnumDisplayMonitors(HDC dc, LPCRECT clip, MONITORENUMPROC proc, LPARAM data)
{
    KOVA_FAULT_POINT("EnumDisplayMonitors", BOOL);
    if (!proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    void (*hook)(void *) = nullptr;
    void *hookContext = nullptr;
    {
        auto lock = LockDesktop();
        State &s = GetState();
        hook = s.enumHook;
        hookContext = s.enumHookContext;
        s.enumHook = nullptr;
        s.enumHookContext = nullptr;
    }
    if (hook) hook(hookContext);

    std::vector<EnumEntry> entries;
    {
        auto lock = LockDesktop();
        State &s = GetState();
        // A device context limits the enumeration to what it can draw on,
        // and rectangles are then in its coordinates.
        RECT limit{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};
        POINT origin{0, 0};
        if (dc) {
            RECT bounds;
            if (!DcBoundsLocked(dc, &bounds, &origin)) {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
            limit = bounds;
        }
        if (clip) limit = RectIntersect(limit, RectOffset(*clip, origin.x, origin.y));
        for (const MonitorState &m : s.monitors) {
            RECT r = dc || clip ? RectIntersect(m.rect, limit) : m.rect;
            if (RectIsEmpty(r)) continue;
            entries.push_back(EnumEntry{m.handle, RectOffset(r, -origin.x, -origin.y)});
        }
    }
    for (EnumEntry &e : entries) {
        RECT r = e.rect;
        if (!proc(e.handle, dc, &r, data)) break;
    }
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI GetMonitorInfoA(HMONITOR monitor, LPMONITORINFO info)
{
    KOVA_FAULT_POINT("GetMonitorInfoA", BOOL);
    if (!info || (info->cbSize != sizeof(MONITORINFO) && info->cbSize != sizeof(MONITORINFOEXA))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto lock = LockDesktop();
    MonitorState *m = FindMonitorLocked(monitor);
    if (!m) {
        SetLastError(ERROR_INVALID_MONITOR_HANDLE);
        return FALSE;
    }
    info->rcMonitor = m->rect;
    info->rcWork = m->rect;  // no task bar
    info->dwFlags = m->primary ? MONITORINFOF_PRIMARY : 0;
    if (info->cbSize == sizeof(MONITORINFOEXA)) {
        std::string name = MonitorDeviceName(m->number);
        LPMONITORINFOEXA ex = (LPMONITORINFOEXA)info;
        memset(ex->szDevice, 0, sizeof ex->szDevice);
        strncpy(ex->szDevice, name.c_str(), sizeof ex->szDevice - 1);
    }
    return TRUE;
}

static long long DistanceSquared(const RECT &a, const RECT &b)
{
    long long dx = std::max<long long>({0, (long long)b.left - a.right + 1, (long long)a.left - b.right + 1});
    long long dy = std::max<long long>({0, (long long)b.top - a.bottom + 1, (long long)a.top - b.bottom + 1});
    return dx * dx + dy * dy;
}

// The monitor sharing the largest area with `r`; failing that, as `flags` say.
static HMONITOR MonitorFromRectLocked(const RECT &r, DWORD flags)
{
    State &s = GetState();
    HMONITOR best = nullptr;
    long long bestArea = 0;
    for (const MonitorState &m : s.monitors) {
        RECT i = RectIntersect(r, m.rect);
        long long area = (long long)(i.right - i.left) * (i.bottom - i.top);
        if (area > bestArea) {
            bestArea = area;
            best = m.handle;
        }
    }
    if (best || s.monitors.empty()) return best;
    if (flags & MONITOR_DEFAULTTONEAREST) {
        long long bestDistance = -1;
        for (const MonitorState &m : s.monitors) {
            long long d = DistanceSquared(r, m.rect);
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                best = m.handle;
            }
        }
        return best;
    }
    if (flags & MONITOR_DEFAULTTOPRIMARY) return s.monitors[0].handle;
    return nullptr;
}

KOVA_LAYER_API HMONITOR WINAPI MonitorFromRect(LPCRECT rect, DWORD flags)
{
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto lock = LockDesktop();
    RECT r = *rect;
    // An empty rectangle still names a place: treat it as one pixel.
    if (r.right <= r.left) r.right = r.left + 1;
    if (r.bottom <= r.top) r.bottom = r.top + 1;
    return MonitorFromRectLocked(r, flags);
}

KOVA_LAYER_API HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD flags)
{
    RECT r{pt.x, pt.y, pt.x + 1, pt.y + 1};
    return MonitorFromRect(&r, flags);
}

KOVA_LAYER_API HMONITOR WINAPI MonitorFromWindow(HWND window, DWORD flags)
{
    KOVA_FAULT_POINT("MonitorFromWindow", HMONITOR);
    auto lock = LockDesktop();
    if (window == DesktopWindowHandle()) return GetState().monitors[0].handle;
    Window *w = FindWindowLocked(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    RECT r = WindowRectOnScreenLocked(*w);
    if (r.right <= r.left) r.right = r.left + 1;
    if (r.bottom <= r.top) r.bottom = r.top + 1;
    return MonitorFromRectLocked(r, flags);
}

/* ---- Display modes ---------------------------------------------------- */

static MonitorState *MonitorByNameLocked(LPCSTR deviceName)
{
    State &s = GetState();
    if (!deviceName) return s.monitors.empty() ? nullptr : &s.monitors[0];
    for (MonitorState &m : s.monitors)
        if (strcasecmp(MonitorDeviceName(m.number).c_str(), deviceName) == 0) return &m;
    return nullptr;
}

static void FillMode(DEVMODEA *mode, int width, int height, PixelLayout layout, POINT origin)
{
    memset(mode, 0, sizeof *mode);
    strncpy((char *)mode->dmDeviceName, "Kova virtual display", sizeof mode->dmDeviceName - 1);
    mode->dmSpecVersion = DM_SPECVERSION;
    mode->dmSize = sizeof(DEVMODEA);
    mode->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY | DM_POSITION;
    mode->dmPosition.x = origin.x;
    mode->dmPosition.y = origin.y;
    mode->dmBitsPerPel = (DWORD)LayoutDepth(layout);
    mode->dmPelsWidth = (DWORD)width;
    mode->dmPelsHeight = (DWORD)height;
    mode->dmDisplayFrequency = 60;
}

KOVA_LAYER_API BOOL WINAPI EnumDisplaySettingsA(LPCSTR deviceName, DWORD modeNumber, DEVMODEA *mode)
{
    if (!mode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto lock = LockDesktop();
    MonitorState *m = MonitorByNameLocked(deviceName);
    if (!m) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    POINT origin{m->rect.left, m->rect.top};
    if (modeNumber == ENUM_CURRENT_SETTINGS) {
        FillMode(mode, m->framebuffer->width, m->framebuffer->height, m->framebuffer->layout, origin);
        return TRUE;
    }
    if (modeNumber == ENUM_REGISTRY_SETTINGS) {
        FillMode(mode, m->configuredWidth, m->configuredHeight, m->configuredLayout, m->configuredOrigin);
        return TRUE;
    }
    // The mode list: common sizes in every depth, then the configured mode.
    static const int sizes[][2] = {{640, 480},   {800, 600},   {1024, 768},  {1280, 720},
                                   {1280, 1024}, {1366, 768},  {1600, 900},  {1920, 1080},
                                   {1920, 1200}, {2560, 1440}, {3840, 2160}};
    static const PixelLayout layouts[] = {PixelLayout::Pal8, PixelLayout::Rgb555, PixelLayout::Rgb565,
                                          PixelLayout::Bgr24, PixelLayout::Bgrx32};
    const DWORD count = (DWORD)(sizeof sizes / sizeof sizes[0] * 5);
    if (modeNumber < count) {
        FillMode(mode, sizes[modeNumber / 5][0], sizes[modeNumber / 5][1], layouts[modeNumber % 5], origin);
        return TRUE;
    }
    if (modeNumber == count) {
        FillMode(mode, m->configuredWidth, m->configuredHeight, m->configuredLayout, origin);
        return TRUE;
    }
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
}

KOVA_LAYER_API BOOL WINAPI EnumDisplayDevicesA(LPCSTR device, DWORD index, PDISPLAY_DEVICEA info, DWORD)
{
    if (!info || info->cb < sizeof(DISPLAY_DEVICEA) || device) return FALSE;
    auto lock = LockDesktop();
    State &s = GetState();
    if (index >= s.monitors.size()) return FALSE;
    const MonitorState &m = s.monitors[index];
    DWORD cb = info->cb;
    memset(info, 0, sizeof *info);
    info->cb = cb;
    strncpy(info->DeviceName, MonitorDeviceName(m.number).c_str(), sizeof info->DeviceName - 1);
    strncpy(info->DeviceString, "Kova virtual display", sizeof info->DeviceString - 1);
    info->StateFlags = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | (m.primary ? DISPLAY_DEVICE_PRIMARY_DEVICE : 0);
    return TRUE;
}

KOVA_LAYER_API LONG WINAPI ChangeDisplaySettingsExA(LPCSTR deviceName, DEVMODEA *mode, HWND, DWORD flags, LPVOID)
{
    KOVA_FAULT_POINT("ChangeDisplaySettingsExA", LONG);
    std::vector<HWND> needPaint;
    std::vector<HWND> topLevel;
    WPARAM depth = 0;
    LPARAM size = 0;
    {
        auto lock = LockDesktop();
        State &s = GetState();
        MonitorState *m = MonitorByNameLocked(deviceName);
        if (!m) return DISP_CHANGE_BADPARAM;
        int width = m->framebuffer->width, height = m->framebuffer->height;
        PixelLayout layout = m->framebuffer->layout;
        POINT origin{m->rect.left, m->rect.top};
        if (!mode) {
            width = m->configuredWidth;
            height = m->configuredHeight;
            layout = m->configuredLayout;
            origin = m->configuredOrigin;
        } else {
            if (mode->dmSize < offsetof(DEVMODEA, dmDisplayFlags)) return DISP_CHANGE_BADPARAM;
            if (mode->dmFields & DM_BITSPERPEL)
                if (!LayoutFromDepth((int)mode->dmBitsPerPel, &layout)) return DISP_CHANGE_BADMODE;
            if (mode->dmFields & DM_PELSWIDTH) width = (int)mode->dmPelsWidth;
            if (mode->dmFields & DM_PELSHEIGHT) height = (int)mode->dmPelsHeight;
            if (mode->dmFields & DM_POSITION) origin = POINT{mode->dmPosition.x, mode->dmPosition.y};
        }
        if (width < 1 || height < 1 || width > kMaxMonitorSide || height > kMaxMonitorSide)
            return DISP_CHANGE_BADMODE;
        if (m->primary && (origin.x != 0 || origin.y != 0)) return DISP_CHANGE_BADPARAM;
        RECT rect{origin.x, origin.y, origin.x + width, origin.y + height};
        for (const MonitorState &o : s.monitors)
            if (&o != m && !RectIsEmpty(RectIntersect(o.rect, rect))) return DISP_CHANGE_BADMODE;
        if (flags & CDS_TEST) return DISP_CHANGE_SUCCESSFUL;
        if (width == m->framebuffer->width && height == m->framebuffer->height &&
            layout == m->framebuffer->layout && rect.left == m->rect.left && rect.top == m->rect.top)
            return DISP_CHANGE_SUCCESSFUL;

        Region exposed(m->rect);
        exposed.Add(rect);
        m->framebuffer = std::make_shared<Framebuffer>(width, height, layout);
        m->rect = rect;
        m->formatGeneration = ++s.formatSerial;
        ++s.layoutGeneration;
        ExposeLocked(exposed, &needPaint);
        m->framebuffer->MarkChanged();
        depth = (WPARAM)LayoutDepth(layout);
        size = MAKELONG(width, height);
        topLevel = s.topLevel;
    }
    RequestPaint(needPaint);
    for (HWND h : topLevel) PostMessageA(h, WM_DISPLAYCHANGE, depth, size);
    return DISP_CHANGE_SUCCESSFUL;
}

KOVA_LAYER_API LONG WINAPI ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags)
{
    return ChangeDisplaySettingsExA(nullptr, mode, nullptr, flags, nullptr);
}

static_assert(sizeof(MONITORINFO) == 40, "MONITORINFO layout");
static_assert(sizeof(MONITORINFOEXA) == 72, "MONITORINFOEXA layout");
static_assert(sizeof(DEVMODEA) == 156, "DEVMODEA layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER layout");
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER layout");

/* Control interface of the virtual desktop: framebuffer read-back,
 * snapshots to image files, attaching and detaching monitors. */
#include "kova_control_desktop.h"

#include "control/image_file.h"
#include "desktop/desktop_state.h"
#include "desktop/monitor_config.h"
#include "user32/exposure.h"
#include "user32/window_messages.h"

#include <stdio.h>
#include <string.h>

using namespace kova;
using namespace kova::desktop;

static MonitorState *MonitorAtLocked(int index)
{
    State &s = GetState();
    if (index < 0 || (size_t)index >= s.monitors.size()) return nullptr;
    return &s.monitors[(size_t)index];
}

KOVA_LAYER_API BOOL KovaControl_GetFramebufferInfo(int monitor, KovaFramebufferInfo *info)
{
    if (!info) return FALSE;
    auto lock = LockDesktop();
    MonitorState *m = MonitorAtLocked(monitor);
    if (!m) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Framebuffer &fb = *m->framebuffer;
    PixelMasks masks = LayoutMasks(fb.layout);
    info->monitor = m->handle;
    info->rect = m->rect;
    info->width = fb.width;
    info->height = fb.height;
    info->depth = LayoutDepth(fb.layout);
    info->bytesPerPixel = fb.bytesPerPixel;
    info->pitch = fb.pitch;
    info->redMask = masks.red;
    info->greenMask = masks.green;
    info->blueMask = masks.blue;
    info->formatGeneration = m->formatGeneration;
    info->changes = fb.Changes();
    return TRUE;
}

KOVA_LAYER_API SIZE_T KovaControl_CopyFramebuffer(int monitor, void *buffer, SIZE_T size)
{
    auto lock = LockDesktop();
    MonitorState *m = MonitorAtLocked(monitor);
    if (!m || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const Framebuffer &fb = *m->framebuffer;
    const size_t total = (size_t)fb.pitch * fb.height;
    if (size < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, fb.Pixels(), total);
    return total;
}

KOVA_LAYER_API COLORREF KovaControl_GetMonitorPixel(int monitor, int x, int y)
{
    auto lock = LockDesktop();
    MonitorState *m = MonitorAtLocked(monitor);
    if (!m) return CLR_INVALID;
    const Framebuffer &fb = *m->framebuffer;
    if (x < 0 || y < 0 || x >= fb.width || y >= fb.height) return CLR_INVALID;
    return fb.Decode(fb.Load(x, y));
}

static COLORREF ScreenPixelLocked(LONG x, LONG y)
{
    for (const MonitorState &m : GetState().monitors)
        if (x >= m.rect.left && x < m.rect.right && y >= m.rect.top && y < m.rect.bottom)
            return m.framebuffer->Decode(m.framebuffer->Load(x - m.rect.left, y - m.rect.top));
    return CLR_INVALID;
}

KOVA_LAYER_API COLORREF KovaControl_GetScreenPixel(int x, int y)
{
    auto lock = LockDesktop();
    return ScreenPixelLocked(x, y);
}

// The screen between `area`'s corners, black off every monitor.
static RgbPicture CaptureLocked(const RECT &area)
{
    RgbPicture p;
    p.width = area.right - area.left;
    p.height = area.bottom - area.top;
    p.pixels.assign((size_t)p.width * p.height, 0);
    for (const MonitorState &m : GetState().monitors) {
        RECT part = RectIntersect(area, m.rect);
        const Framebuffer &fb = *m.framebuffer;
        for (LONG y = part.top; y < part.bottom; ++y)
            for (LONG x = part.left; x < part.right; ++x) {
                COLORREF c = fb.Decode(fb.Load(x - m.rect.left, y - m.rect.top));
                p.pixels[(size_t)(y - area.top) * p.width + (x - area.left)] =
                    ((DWORD)GetRValue(c) << 16) | ((DWORD)GetGValue(c) << 8) | GetBValue(c);
            }
    }
    return p;
}

static BOOL Save(const RgbPicture &p, const char *path)
{
    std::string error;
    if (WritePicture(p, path, &error)) return TRUE;
    fprintf(stderr, "kova: snapshot to \"%s\" failed: %s\n", path ? path : "", error.c_str());
    SetLastError(p.width > 0 && p.height > 0 ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
    return FALSE;
}

KOVA_LAYER_API BOOL KovaControl_SnapshotMonitor(int monitor, const char *path)
{
    RgbPicture p;
    {
        auto lock = LockDesktop();
        MonitorState *m = MonitorAtLocked(monitor);
        if (!m) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        p = CaptureLocked(m->rect);
    }
    return Save(p, path);
}

KOVA_LAYER_API BOOL KovaControl_SnapshotWindow(HWND window, const char *path)
{
    RgbPicture p;
    {
        auto lock = LockDesktop();
        RECT client;
        if (!ClientRectOnScreenLocked(window, &client)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        p = CaptureLocked(client);
    }
    return Save(p, path);
}

KOVA_LAYER_API HMONITOR KovaControl_AttachMonitor(const char *entry)
{
    MonitorConfig c;
    std::string error;
    if (!entry || !ParseMonitorEntry(entry, &c, &error)) {
        fprintf(stderr, "kova: cannot attach monitor \"%s\": %s\n", entry ? entry : "", error.c_str());
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<HWND> needPaint;
    HMONITOR handle;
    {
        auto lock = LockDesktop();
        State &s = GetState();
        handle = AttachMonitorLocked(s, c, &error);
        if (!handle) {
            fprintf(stderr, "kova: cannot attach monitor \"%s\": %s\n", entry, error.c_str());
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        ExposeLocked(Region(s.monitors.back().rect), &needPaint);
    }
    RequestPaint(needPaint);
    return handle;
}

KOVA_LAYER_API BOOL KovaControl_DetachMonitor(HMONITOR monitor)
{
    auto lock = LockDesktop();
    if (!DetachMonitorLocked(GetState(), monitor)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

KOVA_LAYER_API void KovaControl_ConfigureDesktop(const char *desktop)
{
    std::vector<MonitorConfig> configs = ParseDesktopConfig(desktop);
    std::vector<HWND> needPaint;
    {
        auto lock = LockDesktop();
        State &s = GetState();
        s.monitors.clear();
        for (const MonitorConfig &c : configs) AttachMonitorLocked(s, c);
        ExposeLocked(Region(VirtualScreenLocked()), &needPaint);
    }
    RequestPaint(needPaint);
}

KOVA_LAYER_API void KovaControl_OnNextMonitorEnumeration(void (*callback)(void *), void *context)
{
    auto lock = LockDesktop();
    State &s = GetState();
    s.enumHook = callback;
    s.enumHookContext = context;
}

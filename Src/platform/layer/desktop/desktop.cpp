/* The virtual desktop: monitors from KOVA_DESKTOP, window geometry in
 * screen coordinates, visible regions and update areas. */
#include "desktop/desktop_state.h"
#include "desktop/monitor_config.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

namespace kova {
namespace desktop {

namespace {

struct CreationHook {
    int order;
    void (*run)();
};

// Filled while the library is loaded, before any thread can use the desktop.
std::vector<CreationHook> &CreationHooks()
{
    static std::vector<CreationHook> hooks;
    return hooks;
}

}  // namespace

bool RunWhenCreated(int order, void (*run)())
{
    std::vector<CreationHook> &hooks = CreationHooks();
    auto at = std::upper_bound(hooks.begin(), hooks.end(), order,
                               [](int o, const CreationHook &h) { return o < h.order; });
    hooks.insert(at, CreationHook{order, run});
    return true;
}

static State *CreateState()
{
    State *s = new State;  // lives as long as the process: other threads may use it during exit
    std::vector<MonitorConfig> configs = ParseDesktopConfig(getenv("KOVA_DESKTOP"));
    for (const MonitorConfig &c : configs) AttachMonitorLocked(*s, c);
    for (const CreationHook &hook : CreationHooks()) hook.run();
    return s;
}

State &GetState()
{
    static State *state = CreateState();
    return *state;
}

std::unique_lock<std::mutex> LockDesktop()
{
    return std::unique_lock<std::mutex>(GetState().mutex);
}

uintptr_t NextHandleLocked(State &s)
{
    return ++s.handleSerial;
}

HWND DesktopWindowHandle()
{
    return (HWND)(uintptr_t)0x10010;
}

Window *FindWindowLocked(HWND hwnd)
{
    State &s = GetState();
    auto it = s.windows.find(hwnd);
    return it == s.windows.end() ? nullptr : it->second.get();
}

MonitorState *FindMonitorLocked(HMONITOR handle)
{
    for (MonitorState &m : GetState().monitors)
        if (m.handle == handle) return &m;
    return nullptr;
}

static void FillInfo(const MonitorState &m, int index, MonitorInfo *info)
{
    info->handle = m.handle;
    info->index = index;
    info->rect = m.rect;
    info->primary = m.primary;
    info->deviceName = MonitorDeviceName(m.number);
    info->framebuffer = m.framebuffer;
    info->formatGeneration = m.formatGeneration;
}

std::vector<MonitorInfo> MonitorsLocked()
{
    std::vector<MonitorInfo> out;
    const State &s = GetState();
    out.resize(s.monitors.size());
    for (size_t i = 0; i < s.monitors.size(); ++i) FillInfo(s.monitors[i], (int)i, &out[i]);
    return out;
}

std::vector<MonitorInfo> Monitors()
{
    auto lock = LockDesktop();
    return MonitorsLocked();
}

bool GetMonitorLocked(HMONITOR handle, MonitorInfo *info)
{
    const State &s = GetState();
    for (size_t i = 0; i < s.monitors.size(); ++i)
        if (s.monitors[i].handle == handle) {
            FillInfo(s.monitors[i], (int)i, info);
            return true;
        }
    return false;
}

bool GetMonitor(HMONITOR handle, MonitorInfo *info)
{
    auto lock = LockDesktop();
    return GetMonitorLocked(handle, info);
}

bool GetMonitorByName(const char *deviceName, MonitorInfo *info)
{
    if (!deviceName) return false;
    auto lock = LockDesktop();
    const State &s = GetState();
    for (size_t i = 0; i < s.monitors.size(); ++i)
        if (strcasecmp(MonitorDeviceName(s.monitors[i].number).c_str(), deviceName) == 0) {
            FillInfo(s.monitors[i], (int)i, info);
            return true;
        }
    return false;
}

RECT VirtualScreenLocked()
{
    const State &s = GetState();
    if (s.monitors.empty()) return RECT{0, 0, 0, 0};
    RECT v = s.monitors[0].rect;
    for (const MonitorState &m : s.monitors) {
        v.left = std::min(v.left, m.rect.left);
        v.top = std::min(v.top, m.rect.top);
        v.right = std::max(v.right, m.rect.right);
        v.bottom = std::max(v.bottom, m.rect.bottom);
    }
    return v;
}

POINT ClientOriginLocked(const Window &w)
{
    POINT p{w.client.left, w.client.top};
    if (w.parent) {
        if (const Window *parent = FindWindowLocked(w.parent)) {
            POINT o = ClientOriginLocked(*parent);
            p.x += o.x;
            p.y += o.y;
        }
    }
    return p;
}

static POINT ParentOriginLocked(const Window &w)
{
    if (w.parent)
        if (const Window *parent = FindWindowLocked(w.parent)) return ClientOriginLocked(*parent);
    return POINT{0, 0};
}

RECT WindowRectOnScreenLocked(const Window &w)
{
    POINT o = ParentOriginLocked(w);
    return RectOffset(w.rect, o.x, o.y);
}

RECT ClientRectOnScreenLocked(const Window &w)
{
    POINT o = ParentOriginLocked(w);
    return RectOffset(w.client, o.x, o.y);
}

bool IsVisibleLocked(const Window &w)
{
    const Window *cur = &w;
    while (cur) {
        if (!(cur->style & WS_VISIBLE)) return false;
        cur = cur->parent ? FindWindowLocked(cur->parent) : nullptr;
    }
    return true;
}

static const std::vector<HWND> &SiblingsLocked(const Window &w)
{
    if (w.parent)
        if (const Window *parent = FindWindowLocked(w.parent)) return parent->children;
    return GetState().topLevel;
}

Region VisibleRegionLocked(const Window &w, VisibleArea area, bool clipChildren)
{
    Region r;
    if (!IsVisibleLocked(w)) return r;
    for (const Window *a = &w; a; a = a->parent ? FindWindowLocked(a->parent) : nullptr)
        if (a->style & WS_MINIMIZE) return r;  // a minimised window shows nothing of itself
    r.Add(area == VisibleArea::Client ? ClientRectOnScreenLocked(w) : WindowRectOnScreenLocked(w));
    const Window *cur = &w;
    while (cur && !r.Empty()) {
        for (HWND sib : SiblingsLocked(*cur)) {
            if (sib == cur->handle) break;
            const Window *above = FindWindowLocked(sib);
            if (above && (above->style & WS_VISIBLE)) r.Subtract(WindowRectOnScreenLocked(*above));
        }
        if (!cur->parent) break;
        const Window *parent = FindWindowLocked(cur->parent);
        if (!parent) break;
        r.Intersect(ClientRectOnScreenLocked(*parent));
        cur = parent;
    }
    if (clipChildren) {
        for (HWND c : w.children) {
            const Window *child = FindWindowLocked(c);
            if (child && (child->style & WS_VISIBLE)) r.Subtract(WindowRectOnScreenLocked(*child));
        }
    }
    return r;
}

bool VisibleRegionLocked(HWND window, VisibleArea area, bool clipChildren, Region *out)
{
    const Window *w = FindWindowLocked(window);
    if (!w) return false;
    *out = VisibleRegionLocked(*w, area, clipChildren);
    return true;
}

bool VisibleRegion(HWND window, VisibleArea area, bool clipChildren, Region *out)
{
    auto lock = LockDesktop();
    return VisibleRegionLocked(window, area, clipChildren, out);
}

bool ClientRectOnScreenLocked(HWND window, RECT *out)
{
    const Window *w = FindWindowLocked(window);
    if (!w) return false;
    *out = ClientRectOnScreenLocked(*w);
    return true;
}

bool ClientRectOnScreen(HWND window, RECT *out)
{
    auto lock = LockDesktop();
    return ClientRectOnScreenLocked(window, out);
}

unsigned long long LayoutGenerationLocked()
{
    return GetState().layoutGeneration;
}

unsigned long long LayoutGeneration()
{
    auto lock = LockDesktop();
    return LayoutGenerationLocked();
}

COLORREF BackgroundColor()
{
    auto lock = LockDesktop();
    return GetState().background;
}

void ForEachMonitorPieceLocked(const Region &clip,
                               const std::function<void(Framebuffer &, const RECT &, const RECT &)> &span)
{
    for (MonitorState &m : GetState().monitors) {
        for (const RECT &r : clip.Rects()) {
            RECT piece = RectIntersect(r, m.rect);
            if (RectIsEmpty(piece)) continue;
            span(*m.framebuffer, m.rect, RectOffset(piece, -m.rect.left, -m.rect.top));
        }
    }
}

void FillScreenRegionLocked(const Region &region, COLORREF color)
{
    std::vector<Framebuffer *> touched;
    ForEachMonitorPieceLocked(region, [&](Framebuffer &fb, const RECT &, const RECT &piece) {
        fb.Fill(piece, fb.Encode(color));
        if (std::find(touched.begin(), touched.end(), &fb) == touched.end()) touched.push_back(&fb);
    });
    for (Framebuffer *fb : touched) fb->MarkChanged();
}

bool InvalidateLocked(Window &w, const RECT *rect, bool erase)
{
    RECT all{0, 0, w.client.right - w.client.left, w.client.bottom - w.client.top};
    RECT r = rect ? RectIntersect(*rect, all) : all;
    if (RectIsEmpty(r)) return false;
    w.update.Add(r);
    if (erase) w.eraseNeeded = true;
    return true;
}

}  // namespace desktop
}  // namespace kova

#include "gdi32/dc.h"

namespace kova {
namespace desktop {

HDC CreateDcLocked(HWND window, bool wholeWindow)
{
    State &s = GetState();
    HDC dc = (HDC)(uintptr_t)(0x1000000 + 4 * NextHandleLocked(s));
    DeviceContext ctx;
    ctx.window = window;
    ctx.wholeWindow = wholeWindow;
    s.dcs[dc] = ctx;
    return dc;
}

DeviceContext *FindDcLocked(HDC dc)
{
    State &s = GetState();
    auto it = s.dcs.find(dc);
    return it == s.dcs.end() ? nullptr : &it->second;
}

void DeleteDcLocked(HDC dc)
{
    GetState().dcs.erase(dc);
}

void DeleteWindowDcsLocked(HWND window)
{
    State &s = GetState();
    for (auto it = s.dcs.begin(); it != s.dcs.end();) {
        if (it->second.window == window)
            it = s.dcs.erase(it);
        else
            ++it;
    }
}

bool DcClipLocked(HDC dc, POINT *origin, Region *clip)
{
    DeviceContext *ctx = FindDcLocked(dc);
    if (!ctx) return false;
    if (!ctx->window) {
        *origin = POINT{0, 0};
        *clip = Region(VirtualScreenLocked());
        return true;
    }
    Window *w = FindWindowLocked(ctx->window);
    if (!w) {
        // The window is gone: the DC draws nothing.
        *origin = POINT{0, 0};
        clip->Clear();
        return true;
    }
    const bool clipChildren = (w->style & WS_CLIPCHILDREN) != 0;
    if (ctx->wholeWindow) {
        RECT r = WindowRectOnScreenLocked(*w);
        *origin = POINT{r.left, r.top};
        *clip = VisibleRegionLocked(*w, VisibleArea::Window, clipChildren);
    } else {
        *origin = ClientOriginLocked(*w);
        *clip = VisibleRegionLocked(*w, VisibleArea::Client, clipChildren);
    }
    if (ctx->limitToPaintClip) clip->Intersect(ctx->paintClip);
    return true;
}

bool DcBoundsLocked(HDC dc, RECT *bounds, POINT *origin)
{
    Region clip;
    if (!DcClipLocked(dc, origin, &clip)) return false;
    *bounds = clip.Bounds();
    return true;
}

}  // namespace desktop
}  // namespace kova

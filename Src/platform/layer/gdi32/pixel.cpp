/* Single pixels on a device context. */
#include "gdi32/dc.h"

using namespace kova;
using namespace kova::desktop;

// The monitor and framebuffer position of a DC point that the DC may touch.
static bool LocateLocked(HDC dc, int x, int y, MonitorState **monitor, POINT *at)
{
    POINT origin;
    Region clip;
    if (!DcClipLocked(dc, &origin, &clip)) return false;
    LONG sx = origin.x + x, sy = origin.y + y;
    if (!clip.Contains(sx, sy)) return false;
    for (MonitorState &m : GetState().monitors) {
        if (sx >= m.rect.left && sx < m.rect.right && sy >= m.rect.top && sy < m.rect.bottom) {
            *monitor = &m;
            *at = POINT{sx - m.rect.left, sy - m.rect.top};
            return true;
        }
    }
    return false;
}

KOVA_LAYER_API COLORREF WINAPI GetPixel(HDC dc, int x, int y)
{
    auto lock = LockDesktop();
    MonitorState *m;
    POINT at;
    if (!LocateLocked(dc, x, y, &m, &at)) return CLR_INVALID;
    const Framebuffer &fb = *m->framebuffer;
    return fb.Decode(fb.Load(at.x, at.y));
}

KOVA_LAYER_API COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color)
{
    auto lock = LockDesktop();
    MonitorState *m;
    POINT at;
    if (!LocateLocked(dc, x, y, &m, &at)) return (COLORREF)-1;
    Framebuffer &fb = *m->framebuffer;
    DWORD v = fb.Encode(color);
    fb.Store(at.x, at.y, v);
    fb.MarkChanged();
    return fb.Decode(v);
}

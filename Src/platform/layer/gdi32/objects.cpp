/* GDI objects: stock objects, solid brushes, device capabilities. */
#include "fault/fault.h"
#include "gdi32/dc.h"

using namespace kova;
using namespace kova::desktop;

static const uintptr_t kStockBase = 0x00F00000;
static const int kStockCount = DC_PEN + 1;

bool kova::desktop::StockBrushColor(HGDIOBJ object, COLORREF *color, bool *hollow)
{
    uintptr_t v = (uintptr_t)object;
    if (v < kStockBase || v > kStockBase + BLACK_BRUSH + 1) {
        if (v == kStockBase + DC_BRUSH) {
            *hollow = false;
            *color = RGB(255, 255, 255);
            return true;
        }
        return false;
    }
    static const COLORREF colors[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                      RGB(64, 64, 64), RGB(0, 0, 0)};
    int index = (int)(v - kStockBase);
    *hollow = index == NULL_BRUSH;
    *color = *hollow ? 0 : colors[index];
    return true;
}

KOVA_LAYER_API HGDIOBJ WINAPI GetStockObject(int object)
{
    if (object < 0 || object >= kStockCount || object == 9) return nullptr;
    return (HGDIOBJ)(kStockBase + (uintptr_t)object);
}

KOVA_LAYER_API HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    KOVA_FAULT_POINT("CreateSolidBrush", HBRUSH);
    auto lock = LockDesktop();
    State &s = GetState();
    HBRUSH brush = (HBRUSH)(uintptr_t)(0x3000000 + 4 * NextHandleLocked(s));
    s.brushes[(HGDIOBJ)brush] = color & 0x00FFFFFFu;
    return brush;
}

KOVA_LAYER_API BOOL WINAPI DeleteObject(HGDIOBJ object)
{
    uintptr_t v = (uintptr_t)object;
    if (v >= kStockBase && v < kStockBase + kStockCount) return TRUE;  // stock objects live forever
    auto lock = LockDesktop();
    return GetState().brushes.erase(object) ? TRUE : FALSE;
}

KOVA_LAYER_API int WINAPI GetDeviceCaps(HDC dc, int index)
{
    auto lock = LockDesktop();
    RECT bounds;
    POINT origin;
    if (!DcBoundsLocked(dc, &bounds, &origin)) return 0;
    // The monitor the DC draws on most; the primary for the screen.
    State &s = GetState();
    const MonitorState *m = &s.monitors[0];
    if (FindDcLocked(dc)->window) {
        long long best = 0;
        for (const MonitorState &mon : s.monitors) {
            RECT i = RectIntersect(mon.rect, bounds);
            long long area = (long long)(i.right - i.left) * (i.bottom - i.top);
            if (area > best) {
                best = area;
                m = &mon;
            }
        }
    }
    const Framebuffer &fb = *m->framebuffer;
    switch (index) {
    case HORZRES: case DESKTOPHORZRES: return fb.width;
    case VERTRES: case DESKTOPVERTRES: return fb.height;
    case BITSPIXEL: return fb.bytesPerPixel * 8;
    case PLANES: return 1;
    case NUMCOLORS: return fb.layout == PixelLayout::Pal8 ? 256 : -1;
    case SIZEPALETTE: return fb.layout == PixelLayout::Pal8 ? 256 : 0;
    case RASTERCAPS: return RC_STRETCHDIB | (fb.layout == PixelLayout::Pal8 ? RC_PALETTE : 0);
    case VREFRESH: return 60;
    default: return 0;
    }
}

KOVA_LAYER_API BOOL WINAPI GdiFlush(void)
{
    return TRUE;
}

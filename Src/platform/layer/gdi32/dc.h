/* Device contexts of the layer: a DC draws either on a window (client area
 * or whole window) or on the whole virtual screen. Its clipping is computed
 * at each drawing call from the window's current visible region, so a DC
 * follows its window when the window moves, as on Windows. */
#ifndef KOVA_LAYER_DC_H
#define KOVA_LAYER_DC_H

#include "desktop/desktop_state.h"

namespace kova {
namespace desktop {

// Creates a DC (desktop lock held). window null: the screen.
HDC CreateDcLocked(HWND window, bool wholeWindow);
DeviceContext *FindDcLocked(HDC dc);
void DeleteDcLocked(HDC dc);
void DeleteWindowDcsLocked(HWND window);

// Where DC coordinates (0,0) lie on the screen, and the region (screen
// coordinates) the DC may draw on. False for an unknown DC.
bool DcClipLocked(HDC dc, POINT *origin, Region *clip);
// The bounds of that region and the origin.
bool DcBoundsLocked(HDC dc, RECT *bounds, POINT *origin);

// Stock objects are fixed handles; true (with the colour, or hollow) for a
// stock brush.
bool StockBrushColor(HGDIOBJ object, COLORREF *color, bool *hollow);

}  // namespace desktop
}  // namespace kova

#endif

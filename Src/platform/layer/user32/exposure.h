/* Window frames and exposure: what user32 draws itself when windows move,
 * appear or disappear, or monitors change. Desktop lock held throughout. */
#ifndef KOVA_LAYER_USER32_EXPOSURE_H
#define KOVA_LAYER_USER32_EXPOSURE_H

#include "desktop/desktop_state.h"

#include <vector>

namespace kova {
namespace desktop {

// Left/top/right/bottom widths of the frame of a window of this style.
RECT FrameInsets(DWORD style, DWORD exStyle);

// After a change that uncovered or moved things: repaint the desktop
// background and window frames in `exposed` (screen coordinates) and add
// the exposed client parts to the windows' update regions (with erase).
// Returns windows that now need a WM_PAINT.
void ExposeLocked(const Region &exposed, std::vector<HWND> *needPaint);

}  // namespace desktop
}  // namespace kova

#endif

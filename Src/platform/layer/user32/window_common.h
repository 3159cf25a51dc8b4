/* What the window sources of user32 share: class lookup, client areas,
 * sibling lists and z-order, and the first WM_SIZE and WM_MOVE. */
#ifndef KOVA_LAYER_USER32_WINDOW_COMMON_H
#define KOVA_LAYER_USER32_WINDOW_COMMON_H

#include "desktop/desktop_state.h"

#include <memory>
#include <vector>

namespace kova {
namespace desktop {

// A class name given as an atom (MAKEINTATOM) rather than a string.
inline bool IsAtomName(LPCSTR name) { return (uintptr_t)name < 0x10000; }

// The class registered under a name or atom; null if none (desktop lock held).
std::shared_ptr<WindowClass> FindClassLocked(LPCSTR name);

// Recomputes the client rectangle from the window rectangle and the frame.
void UpdateClientLocked(Window &w);

// The z-ordered list the window is in: its parent's children, or the
// top-level windows.
std::vector<HWND> &SiblingListLocked(Window &w);

// Topmost windows stay in front of the others.
void SortTopmostLocked();

// Sends the WM_SIZE and WM_MOVE a window gets when first shown (no lock held).
void SendSizeAndMove(HWND hwnd);

}  // namespace desktop
}  // namespace kova

#endif

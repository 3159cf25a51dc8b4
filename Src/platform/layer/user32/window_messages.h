/* Window messages inside the layer: the hooks into the thread message
 * queues, and sending to window procedures. */
#ifndef KOVA_LAYER_WINDOW_MESSAGES_H
#define KOVA_LAYER_WINDOW_MESSAGES_H

#include <windows.h>

#include <vector>

namespace kova {
namespace desktop {

// Installs the dispatch, window-filter and idle (WM_PAINT) hooks of the
// message queues. Runs once, when the desktop state is created.
void InstallMessageHooks();

// Wakes the threads owning these windows so that their message loops
// pick up the WM_PAINT they now need. Call without the desktop lock.
void RequestPaint(const std::vector<HWND> &windows);

}  // namespace desktop
}  // namespace kova

#endif

/* Window messages inside the layer: waking the threads that have windows
 * to paint. (The hooks into the thread message queues are installed when
 * the desktop is created.) */
#ifndef KOVA_LAYER_WINDOW_MESSAGES_H
#define KOVA_LAYER_WINDOW_MESSAGES_H

#include <windows.h>

#include <vector>

namespace kova {
namespace desktop {

// Wakes the threads owning these windows so that their message loops
// pick up the WM_PAINT they now need. Call without the desktop lock.
void RequestPaint(const std::vector<HWND> &windows);

}  // namespace desktop
}  // namespace kova

#endif

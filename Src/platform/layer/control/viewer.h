/* The desktop viewer: with KOVA_VIEWER=x11 and a reachable X display, a
 * thread shows each monitor in an X11 window, refreshed as it changes. */
#ifndef KOVA_LAYER_VIEWER_H
#define KOVA_LAYER_VIEWER_H

namespace kova {
namespace viewer {

// Starts the viewer if the environment asks for one. Never blocks: the
// display is opened on the viewer's own thread, and a failure there only
// ends that thread with a message on stderr. The thread ends at exit.
void StartIfRequested();

}  // namespace viewer
}  // namespace kova

#endif

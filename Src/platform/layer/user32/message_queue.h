/* Thread message queues: the layer-internal interface for window code.
 *
 * The queues themselves (PostThreadMessageA, GetMessageA, PeekMessageA,
 * WaitMessage, MsgWaitForMultipleObjects) live in message_queue.cpp. Window
 * code (CreateWindowExA, PostMessageA, InvalidateRect, SetTimer ...) builds
 * on them through the calls and hooks below. All calls are thread-safe.
 *
 * Retrieval order of GetMessageA/PeekMessageA, as on Windows: posted
 * messages in FIFO order, then WM_QUIT (after PostQuitMessage), then what
 * the idle source synthesises (WM_PAINT, WM_TIMER). Hooks run on the thread
 * that reads its queue, with no layer lock held, so they may post or call
 * any layer function. Install hooks once at start-up (they are plain
 * atomic pointers; replacing one while another thread runs it is fine). */
#ifndef KOVA_LAYER_USER32_MESSAGE_QUEUE_H
#define KOVA_LAYER_USER32_MESSAGE_QUEUE_H

#include <windows.h>

namespace kova {
namespace msg {

/* Queues a message with a window handle (or NULL) for thread `threadId`.
 * The message's time and pt are stamped here. Returns false with
 * ERROR_INVALID_THREAD_ID when the thread has no queue, as PostMessageA to
 * a window of a dead thread must fail. */
bool Post(DWORD threadId, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

/* Creates the calling thread's queue if it has none (a window's creator
 * thread must have one). Returns the calling thread's id. */
DWORD EnsureQueue();

/* True when thread `threadId` has a queue. */
bool HasQueue(DWORD threadId);

/* Makes the thread's GetMessageA/WaitMessage/MsgWaitForMultipleObjects
 * return to look again, as if a message had been posted; the idle source
 * is then asked for a message (use after invalidating a window or when a
 * window timer falls due). False if the thread has no queue. */
bool Wake(DWORD threadId);

/* Removes every queued message addressed to hwnd from its thread's queue
 * (used when a window is destroyed). */
void PurgeWindow(DWORD threadId, HWND hwnd);

/* DispatchMessageA calls this for every message it is given (thread
 * messages too: a WM_TIMER with a TIMERPROC has no window) and returns its
 * result. Without a hook, DispatchMessageA returns 0. */
typedef LRESULT (*DispatchHook)(const MSG *msg);
void SetDispatchHook(DispatchHook hook);

/* Decides whether a message for window `target` passes a GetMessageA /
 * PeekMessageA window filter `filter` (never NULL nor (HWND)-1 here).
 * Windows also lets through the filter window's children: install a hook
 * that knows the window tree. Without a hook the test is target == filter. */
typedef bool (*WindowFilterHook)(HWND filter, HWND target);
void SetWindowFilterHook(WindowFilterHook hook);

/* Asked by GetMessageA/PeekMessageA of the calling thread when no posted
 * message passes the filter. May synthesise one message that passes the
 * filter (hwnd: as in GetMessageA; a range of 0/0 means all) and return
 * true with *msg filled; `remove` is false for PeekMessageA(PM_NOREMOVE),
 * in which case the source must be ready to produce it again. */
typedef bool (*IdleSource)(HWND hwnd, UINT filterMin, UINT filterMax, bool remove, MSG *msg);
void SetIdleSource(IdleSource source);

}  // namespace msg
}  // namespace kova

#endif

/* Window messages: sending to window procedures (directly on the owner
 * thread, through the owner's queue from other threads), posting, the
 * default window procedure, and the hooks that let the thread queues
 * dispatch to windows and synthesise WM_PAINT. */
#include "desktop/desktop_state.h"
#include "fault/fault.h"
#include "user32/message_queue.h"
#include "user32/window_messages.h"

#include <string.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

using namespace kova;
using namespace kova::desktop;

#define HWND_BROADCAST ((HWND)(uintptr_t)0xFFFF)

namespace {

// A message sent from another thread travels through the owner's queue as
// this private message (beyond the range programs may post), carrying the
// id of a pending record. The sender waits for the owner to run it.
constexpr UINT kSentMessage = 0x1C0DE;

struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

std::mutex g_sentMutex;
std::condition_variable g_sentDone;
std::map<WPARAM, SentMessage *> g_sent;  // pending, by id
WPARAM g_sentSerial = 0;

// The procedure of a live window; null for an unknown one.
WNDPROC ProcOf(HWND hwnd, DWORD *thread)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w) return nullptr;
    if (thread) *thread = w->threadId;
    return w->proc;
}

void RunSent(WPARAM id)
{
    SentMessage *m;
    {
        std::lock_guard<std::mutex> lock(g_sentMutex);
        auto it = g_sent.find(id);
        if (it == g_sent.end()) return;  // the sender gave up
        m = it->second;
    }
    // The sender stays blocked until `done`, so the record outlives the call.
    WNDPROC proc = ProcOf(m->hwnd, nullptr);
    LRESULT result = proc ? proc(m->hwnd, m->message, m->wParam, m->lParam) : 0;
    std::lock_guard<std::mutex> lock(g_sentMutex);
    m->result = result;
    m->done = true;
    g_sentDone.notify_all();
}

LRESULT SendToOtherThread(DWORD thread, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    SentMessage m{hwnd, message, wParam, lParam};
    WPARAM id;
    {
        std::lock_guard<std::mutex> lock(g_sentMutex);
        id = ++g_sentSerial;
        g_sent[id] = &m;
    }
    if (!msg::Post(thread, hwnd, kSentMessage, id, 0)) {
        std::lock_guard<std::mutex> lock(g_sentMutex);
        g_sent.erase(id);
        return 0;
    }
    // Wait as long as the owner can still answer: its window and queue live.
    std::unique_lock<std::mutex> lock(g_sentMutex);
    while (!m.done) {
        if (g_sentDone.wait_for(lock, std::chrono::milliseconds(50)) == std::cv_status::timeout && !m.done) {
            lock.unlock();
            bool alive = msg::HasQueue(thread) && IsWindow(hwnd);
            lock.lock();
            if (!alive && !m.done) break;
        }
    }
    g_sent.erase(id);
    return m.done ? m.result : 0;
}

LRESULT DispatchHook(const MSG *msg)
{
    if (msg->message == kSentMessage) {
        RunSent(msg->wParam);
        return 0;
    }
    WNDPROC proc = ProcOf(msg->hwnd, nullptr);
    return proc ? proc(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

bool WindowFilterHook(HWND filter, HWND target)
{
    return target == filter || IsChild(filter, target);
}

bool PassesFilterLocked(const Window &w, HWND filter)
{
    if (!filter) return true;
    for (const Window *cur = &w; cur; cur = cur->parent ? FindWindowLocked(cur->parent) : nullptr)
        if (cur->handle == filter) return true;
    return false;
}

Window *FindPaintLocked(const std::vector<HWND> &list, DWORD thread, HWND filter)
{
    for (HWND h : list) {
        Window *w = FindWindowLocked(h);
        if (!w) continue;
        // Hidden windows keep their update region until they are shown.
        if (!(w->style & WS_VISIBLE)) continue;
        if (w->threadId == thread && !w->update.Empty() && PassesFilterLocked(*w, filter)) return w;
        if (Window *child = FindPaintLocked(w->children, thread, filter)) return child;
    }
    return nullptr;
}

// WM_PAINT is not queued: it is made when the queue has nothing else and a
// window of the thread has something to paint, and stays until painted.
bool IdleSource(HWND filter, UINT filterMin, UINT filterMax, bool, MSG *out)
{
    if (!(filterMin == 0 && filterMax == 0) && (WM_PAINT < filterMin || WM_PAINT > filterMax)) return false;
    const DWORD thread = GetCurrentThreadId();
    auto lock = LockDesktop();
    Window *w = FindPaintLocked(GetState().topLevel, thread, filter);
    if (!w) return false;
    memset(out, 0, sizeof *out);
    out->hwnd = w->handle;
    out->message = WM_PAINT;
    return true;
}

}  // namespace

namespace kova {
namespace desktop {

static void InstallMessageHooks()
{
    msg::SetDispatchHook(DispatchHook);
    msg::SetWindowFilterHook(WindowFilterHook);
    msg::SetIdleSource(IdleSource);
}

// The thread queues dispatch to windows from the moment the desktop exists.
static const bool g_hooksInstalledWithDesktop = RunWhenCreated(0, InstallMessageHooks);

void RequestPaint(const std::vector<HWND> &windows)
{
    std::vector<DWORD> threads;
    {
        auto lock = LockDesktop();
        for (HWND h : windows)
            if (Window *w = FindWindowLocked(h))
                if (std::find(threads.begin(), threads.end(), w->threadId) == threads.end())
                    threads.push_back(w->threadId);
    }
    for (DWORD t : threads) msg::Wake(t);
}

}  // namespace desktop
}  // namespace kova

KOVA_LAYER_API LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hwnd == HWND_BROADCAST) {
        std::vector<HWND> top;
        {
            auto lock = LockDesktop();
            top = GetState().topLevel;
        }
        for (HWND h : top) SendMessageA(h, message, wParam, lParam);
        return 0;
    }
    DWORD thread = 0;
    WNDPROC proc = ProcOf(hwnd, &thread);
    if (!proc) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (thread == GetCurrentThreadId()) return proc(hwnd, message, wParam, lParam);
    return SendToOtherThread(thread, hwnd, message, wParam, lParam);
}

KOVA_LAYER_API BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    KOVA_FAULT_POINT("PostMessageA", BOOL);
    if (message >= 0x10000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!hwnd) return PostThreadMessageA(GetCurrentThreadId(), message, wParam, lParam);
    std::vector<std::pair<DWORD, HWND>> targets;
    {
        auto lock = LockDesktop();
        if (hwnd == HWND_BROADCAST) {
            for (HWND h : GetState().topLevel) targets.emplace_back(FindWindowLocked(h)->threadId, h);
        } else {
            Window *w = FindWindowLocked(hwnd);
            if (!w) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return FALSE;
            }
            targets.emplace_back(w->threadId, hwnd);
        }
    }
    BOOL ok = TRUE;
    for (auto &t : targets) ok &= msg::Post(t.first, t.second, message, wParam, lParam) ? TRUE : FALSE;
    return hwnd == HWND_BROADCAST ? TRUE : ok;
}

KOVA_LAYER_API LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

KOVA_LAYER_API LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = nullptr;
        {
            auto lock = LockDesktop();
            Window *w = FindWindowLocked(hwnd);
            if (!w) return 0;
            brush = w->cls->background;
        }
        if (!brush) return 0;
        RECT client;
        GetClientRect(hwnd, &client);
        return FillRect((HDC)wParam, &client, brush) ? 1 : 0;
    }
    case WM_WINDOWPOSCHANGED: {
        const WINDOWPOS *pos = (const WINDOWPOS *)lParam;
        if (!pos) return 0;
        DWORD style = 0;
        POINT origin{0, 0};
        {
            auto lock = LockDesktop();
            Window *w = FindWindowLocked(hwnd);
            if (!w) return 0;
            style = w->style;
            origin = POINT{w->client.left, w->client.top};
        }
        if (!(pos->flags & SWP_NOMOVE)) SendMessageA(hwnd, WM_MOVE, 0, MAKELONG(origin.x, origin.y));
        if (!(pos->flags & SWP_NOSIZE)) {
            RECT client;
            GetClientRect(hwnd, &client);
            WPARAM kind = (style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : (style & WS_MINIMIZE) ? SIZE_MINIMIZED : SIZE_RESTORED;
            SendMessageA(hwnd, WM_SIZE, kind, MAKELONG(client.right, client.bottom));
        }
        return 0;
    }
    case WM_SETTEXT:
        return SetWindowTextA(hwnd, (LPCSTR)lParam);
    case WM_GETTEXT:
        return GetWindowTextA(hwnd, (LPSTR)lParam, (int)wParam);
    case WM_GETTEXTLENGTH: {
        char buffer[1024];
        return GetWindowTextA(hwnd, buffer, sizeof buffer);
    }
    default:
        return 0;
    }
}

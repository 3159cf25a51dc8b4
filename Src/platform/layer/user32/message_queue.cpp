/* Thread message queues.
 *
 * A queue is a waitable object of the kernel32 dispatcher: it is
 * "signalled" while it holds input its thread has not looked at yet, so
 * GetMessageA, WaitMessage and MsgWaitForMultipleObjects all block through
 * the one wait mechanism. Queue contents are guarded by the dispatcher
 * lock; hooks are called with no lock held. */
#include "user32/message_queue.h"

#include "fault/fault.h"
#include "kernel32/object.h"

#include <atomic>
#include <deque>
#include <unordered_map>
#include <vector>

namespace kova {
namespace msg {
namespace {

using k32::Acq;
using k32::DispatcherLock;
using k32::Kind;
using k32::ThreadInfo;

class Queue : public k32::Waitable {
public:
    explicit Queue(DWORD tid) : Waitable(Kind::MsgQueue), tid(tid) {}

    /* Never consumed by a wait: the thread takes messages out itself. */
    Acq TryAcquire(ThreadInfo *) override
    {
        if (anyInput) return (!posted.empty() || quitPending || newInput) ? Acq::Yes : Acq::No;
        return newInput ? Acq::Yes : Acq::No;
    }
    void Undo(ThreadInfo *, Acq) override {}

    /* Under the dispatcher lock. */
    void Input()
    {
        newInput = true;
        WakeWaiters();
    }

    const DWORD tid;
    /* Dispatcher lock: */
    std::deque<MSG> posted;
    bool quitPending = false;
    int quitCode = 0;
    bool newInput = false;  // arrived since the thread last looked
    bool anyInput = false;  // this wait counts old input too (MWMO_INPUTAVAILABLE)
};

/* Thread id -> queue, under the dispatcher lock. */
std::unordered_map<DWORD, Queue *> &Registry()
{
    static auto *registry = new std::unordered_map<DWORD, Queue *>;
    return *registry;
}

std::atomic<DispatchHook> g_dispatchHook{nullptr};
std::atomic<WindowFilterHook> g_windowFilter{nullptr};
std::atomic<IdleSource> g_idleSource{nullptr};

#define KOVA_HWND_THREAD_ONLY ((HWND)(LONG_PTR)-1)

void CreateThreadQueue(ThreadInfo *self);

Queue *SelfQueue()
{
    ThreadInfo *self = k32::Self();
    if (!self->msgQueue) CreateThreadQueue(self);
    return static_cast<Queue *>(self->msgQueue);
}

bool InRange(UINT message, UINT first, UINT last)
{
    if (first == 0 && last == 0) return true;
    if (first <= last) return message >= first && message <= last;
    return message >= first || message <= last;  // a reversed range wraps around
}

bool HwndPasses(HWND msgHwnd, HWND filter, const std::vector<HWND> &related)
{
    if (!filter) return true;
    if (filter == KOVA_HWND_THREAD_ONLY) return msgHwnd == NULL;
    if (msgHwnd == filter) return true;
    for (HWND h : related)
        if (h == msgHwnd) return true;
    return false;
}

void Stamp(MSG *m, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    m->hwnd = hwnd;
    m->message = message;
    m->wParam = wParam;
    m->lParam = lParam;
    m->time = GetTickCount();
    m->pt.x = 0;
    m->pt.y = 0;
}

/* One look at the calling thread's queue: posted messages, then WM_QUIT,
 * then the idle source. True with *out filled if a message was found. */
bool Look(Queue *q, LPMSG out, HWND filter, UINT first, UINT last, bool remove)
{
    /* Windows passes messages of the filter window's children too: the
     * window code decides which windows those are, outside our lock. */
    std::vector<HWND> related;
    WindowFilterHook relatedHook = g_windowFilter.load();
    if (filter && filter != KOVA_HWND_THREAD_ONLY && relatedHook) {
        std::vector<HWND> candidates;
        {
            std::lock_guard<std::mutex> hold(DispatcherLock());
            for (const MSG &m : q->posted)
                if (m.hwnd && m.hwnd != filter) candidates.push_back(m.hwnd);
        }
        for (HWND h : candidates)
            if (relatedHook(filter, h)) related.push_back(h);
    }
    {
        std::lock_guard<std::mutex> hold(DispatcherLock());
        q->newInput = false;
        for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
            if (!HwndPasses(it->hwnd, filter, related) || !InRange(it->message, first, last)) continue;
            *out = *it;
            if (remove) q->posted.erase(it);
            return true;
        }
        /* WM_QUIT passes every filter, as on Windows. */
        if (q->quitPending) {
            Stamp(out, NULL, WM_QUIT, (WPARAM)q->quitCode, 0);
            if (remove) q->quitPending = false;
            return true;
        }
    }
    IdleSource idle = g_idleSource.load();
    return idle && idle(filter, first, last, remove, out);
}

DWORD WaitWithQueue(DWORD count, const HANDLE *handles, bool waitAll, DWORD ms, bool anyInput)
{
    if (count > MAXIMUM_WAIT_OBJECTS - 1 || (count && !handles)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    k32::Ref<k32::Object> held[MAXIMUM_WAIT_OBJECTS];
    k32::Waitable *objs[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        held[i] = k32::LookupHandle(handles[i]);
        if (!held[i] || !held[i]->IsWaitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objs[i] = static_cast<k32::Waitable *>(held[i].get());
    }
    Queue *q = SelfQueue();
    objs[count] = q;
    q->anyInput = anyInput;  // only this thread waits on its queue
    DWORD r = k32::WaitFor(count + 1, objs, waitAll, ms);
    q->anyInput = false;
    return r;
}

}  // namespace

bool Post(DWORD threadId, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG m;
    Stamp(&m, hwnd, message, wParam, lParam);
    std::lock_guard<std::mutex> hold(DispatcherLock());
    auto it = Registry().find(threadId);
    if (it == Registry().end()) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return false;
    }
    it->second->posted.push_back(m);
    it->second->Input();
    return true;
}

DWORD EnsureQueue()
{
    SelfQueue();
    return k32::SelfTid();
}

bool HasQueue(DWORD threadId)
{
    std::lock_guard<std::mutex> hold(DispatcherLock());
    return Registry().count(threadId) != 0;
}

bool Wake(DWORD threadId)
{
    std::lock_guard<std::mutex> hold(DispatcherLock());
    auto it = Registry().find(threadId);
    if (it == Registry().end()) return false;
    it->second->Input();
    return true;
}

void PurgeWindow(DWORD threadId, HWND hwnd)
{
    std::lock_guard<std::mutex> hold(DispatcherLock());
    auto it = Registry().find(threadId);
    if (it == Registry().end()) return;
    auto &posted = it->second->posted;
    for (auto m = posted.begin(); m != posted.end();) m = m->hwnd == hwnd ? posted.erase(m) : m + 1;
}

void SetDispatchHook(DispatchHook hook) { g_dispatchHook = hook; }
void SetWindowFilterHook(WindowFilterHook hook) { g_windowFilter = hook; }
void SetIdleSource(IdleSource source) { g_idleSource = source; }

namespace {

void CreateThreadQueue(ThreadInfo *self)
{
    if (self->msgQueue) return;
    auto *q = new msg::Queue(self->tid);
    self->msgQueue = q;  // the thread's reference
    std::lock_guard<std::mutex> hold(DispatcherLock());
    q->AddRef();  // the registry's
    auto &registry = msg::Registry();
    auto it = registry.find(self->tid);
    if (it != registry.end()) {  // a dead thread's id, reused
        it->second->Release();
        it->second = q;
    } else {
        registry.emplace(self->tid, q);
    }
}

void DestroyThreadQueue(ThreadInfo *self)
{
    k32::Waitable *q = self->msgQueue;
    if (!q) return;
    self->msgQueue = nullptr;
    {
        std::lock_guard<std::mutex> hold(DispatcherLock());
        auto &registry = msg::Registry();
        auto it = registry.find(self->tid);
        if (it != registry.end() && it->second == q) {
            registry.erase(it);
            q->Release();  // the registry's; the thread's follows
        }
    }
    q->Release();
}

// Every thread the layer starts has its queue from its first instruction.
const bool g_queuesWithThreads = k32::SetMessageQueueHooks({CreateThreadQueue, DestroyThreadQueue});

}  // namespace
}  // namespace msg
}  // namespace kova

using namespace kova::msg;

KOVA_LAYER_API BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    KOVA_FAULT_POINT("PostThreadMessageA", BOOL);
    if (Msg >= 0x10000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Post(idThread, NULL, Msg, wParam, lParam) ? TRUE : FALSE;
}

KOVA_LAYER_API BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    KOVA_FAULT_POINT("GetMessageA", BOOL);
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return -1;
    }
    Queue *q = SelfQueue();
    for (;;) {
        if (Look(q, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) return lpMsg->message == WM_QUIT ? 0 : 1;
        kova::k32::Waitable *self = q;
        kova::k32::WaitFor(1, &self, false, INFINITE);
    }
}

KOVA_LAYER_API BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                        UINT wRemoveMsg)
{
    KOVA_FAULT_POINT("PeekMessageA", BOOL);
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    return Look(SelfQueue(), lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE
                                                                                                         : FALSE;
}

KOVA_LAYER_API VOID WINAPI PostQuitMessage(int nExitCode)
{
    Queue *q = SelfQueue();
    std::lock_guard<std::mutex> hold(kova::k32::DispatcherLock());
    q->quitPending = true;
    q->quitCode = nExitCode;
    q->Input();
}

KOVA_LAYER_API BOOL WINAPI WaitMessage(void)
{
    kova::k32::Waitable *q = SelfQueue();
    return kova::k32::WaitFor(1, &q, false, INFINITE) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

KOVA_LAYER_API DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE *pHandles, BOOL fWaitAll,
                                                      DWORD dwMilliseconds, DWORD dwWakeMask)
{
    return MsgWaitForMultipleObjectsEx(nCount, pHandles, dwMilliseconds, dwWakeMask,
                                       fWaitAll ? MWMO_WAITALL : 0);
}

KOVA_LAYER_API DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE *pHandles,
                                                        DWORD dwMilliseconds, DWORD dwWakeMask, DWORD dwFlags)
{
    if (dwWakeMask == 0) {  // no input of interest: a plain wait
        if (nCount == 0) {
            Sleep(dwMilliseconds);
            return WAIT_TIMEOUT;
        }
        return WaitForMultipleObjects(nCount, pHandles, (dwFlags & MWMO_WAITALL) != 0, dwMilliseconds);
    }
    return WaitWithQueue(nCount, pHandles, (dwFlags & MWMO_WAITALL) != 0, dwMilliseconds,
                         (dwFlags & MWMO_INPUTAVAILABLE) != 0);
}

KOVA_LAYER_API LRESULT WINAPI DispatchMessageA(const MSG *lpMsg)
{
    if (!lpMsg) return 0;
    DispatchHook hook = g_dispatchHook.load();
    return hook ? hook(lpMsg) : 0;
}

KOVA_LAYER_API BOOL WINAPI TranslateMessage(const MSG * /*lpMsg*/)
{
    return FALSE;
}

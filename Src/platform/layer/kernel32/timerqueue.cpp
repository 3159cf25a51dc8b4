/* Timer queues: one timer thread per queue sleeps until the next timer is
 * due and hands its callback to a worker thread (or runs it itself for
 * WT_EXECUTEINTIMERTHREAD). The queue's lock guards the queue and all of
 * its timers; callbacks run without it. */
#include "kernel32/sync.h"
#include "kernel32/thread.h"
#include "kernel32/workpool.h"

#include "fault/fault.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace kova {
namespace k32 {
namespace {

class TimerQueue : public Object {
public:
    TimerQueue() : Object(Kind::TimerQueue) {}
    std::mutex lock;
    std::condition_variable changed;  // wakes the timer thread
    std::condition_variable idle;     // a callback finished
    std::vector<class Timer *> timers;  // each holds a reference
    bool deleting = false;
    int running = 0;
    Ref<Object> doneEvent;
};

class Timer : public Object {
public:
    Timer() : Object(Kind::Timer) {}
    Ref<TimerQueue> queue;
    WAITORTIMERCALLBACK callback = nullptr;
    PVOID parameter = nullptr;
    ULONG flags = 0;
    HANDLE handle = NULL;
    /* Queue lock: */
    ULONGLONG due = 0;
    DWORD period = 0;
    bool armed = false;
    bool fired = false;
    bool deleted = false;
    int running = 0;            // callbacks in progress
    Ref<Object> doneEvent;      // set when deleted and no callback runs
};


void SetDoneEvent(const Ref<Object> &event)
{
    if (!event || event->kind() != Kind::Event) return;
    std::lock_guard<std::mutex> hold(DispatcherLock());
    static_cast<Event *>(event.get())->Set();
}

/* Runs one callback of t; t and its queue are held by the caller. */
void RunCallback(Timer *t)
{
    TimerQueue *q = t->queue.get();
    ThreadInfo *self = Self();
    const void *outerTimer = self->runningTimer;
    const void *outerQueue = self->runningQueue;
    self->runningTimer = t;
    self->runningQueue = q;
    t->callback(t->parameter, TRUE);
    self->runningTimer = outerTimer;
    self->runningQueue = outerQueue;

    Ref<Object> timerDone, queueDone;
    {
        std::lock_guard<std::mutex> hold(q->lock);
        --t->running;
        --q->running;
        if (t->deleted && t->running == 0) timerDone = std::move(t->doneEvent);
        if (q->deleting && q->running == 0) queueDone = std::move(q->doneEvent);
        q->idle.notify_all();
    }
    SetDoneEvent(timerDone);
    SetDoneEvent(queueDone);
}

void RunOnWorker(void *arg)
{
    Timer *t = static_cast<Timer *>(arg);  // a reference taken when it fell due
    TimerQueue *q = t->queue.get();
    RunCallback(t);
    t->Release();
    q->Release();
}

void TimerThread(void *arg)
{
    TimerQueue *q = static_cast<TimerQueue *>(arg);  // the thread's reference
    std::unique_lock<std::mutex> lock(q->lock);
    while (!q->deleting) {
        Timer *next = nullptr;
        for (Timer *t : q->timers)
            if (t->armed && (!next || t->due < next->due)) next = t;
        if (!next) {
            q->changed.wait(lock);
            continue;
        }
        ULONGLONG now = NowMs();
        if (next->due > now) {
            q->changed.wait_for(lock, std::chrono::milliseconds(next->due - now));
            continue;
        }
        if (next->period && !(next->flags & WT_EXECUTEONLYONCE)) {
            /* A late timer does not try to catch up with the ticks it missed. */
            next->due = std::max(next->due + next->period, now);
        } else {
            next->armed = false;
        }
        next->fired = true;
        ++next->running;
        ++q->running;
        next->AddRef();
        q->AddRef();
        lock.unlock();
        if ((next->flags & WT_EXECUTEINTIMERTHREAD) || !SubmitWork(RunOnWorker, next)) RunOnWorker(next);
        lock.lock();
    }
    lock.unlock();
    q->Release();
}

TimerQueue *g_defaultQueue = nullptr;

TimerQueue *NewQueue()
{
    auto *q = new TimerQueue;
    q->AddRef();  // the timer thread's
    if (!StartHelperThread(TimerThread, q)) {
        q->Release();
        q->Release();
        return nullptr;
    }
    return q;
}

/* The queue a call names: NULL is the default queue. */
Ref<TimerQueue> QueueFromHandle(HANDLE h)
{
    if (!h) {
        static std::once_flag once;
        std::call_once(once, [] { g_defaultQueue = NewQueue(); });  // lives as long as the process
        if (!g_defaultQueue) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return Ref<TimerQueue>(g_defaultQueue);
    }
    return LookupAs<TimerQueue>(h, Kind::TimerQueue);
}

/* Completes a deletion: waits, or arranges for the completion event. Called
 * with the queue lock held; `running` counts the callbacks still to finish
 * and `selfRunning` those of them on the calling thread. */
BOOL FinishDeletion(std::unique_lock<std::mutex> &lock, TimerQueue *q, const int &running, int selfRunning,
                    HANDLE completion, Ref<Object> *doneSlot)
{
    if (completion == INVALID_HANDLE_VALUE) {
        /* The calling callback cannot finish while we wait for it: wait for
         * the others only (Windows would deadlock here). */
        q->idle.wait(lock, [&] { return running <= selfRunning; });
        return TRUE;
    }
    Ref<Object> event;
    if (completion) {
        event = LookupHandle(completion);
        if (!event || event->kind() != Kind::Event) event = Ref<Object>();
    }
    if (running == 0) {
        lock.unlock();
        SetDoneEvent(event);
        return TRUE;
    }
    *doneSlot = std::move(event);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

}  // namespace
}  // namespace k32
}  // namespace kova

using namespace kova::k32;

KOVA_LAYER_API HANDLE WINAPI CreateTimerQueue(void)
{
    KOVA_FAULT_POINT("CreateTimerQueue", HANDLE);
    TimerQueue *q = NewQueue();
    if (!q) return NULL;
    HANDLE h = InsertHandle(q);
    if (!h) {
        std::lock_guard<std::mutex> hold(q->lock);
        q->deleting = true;  // ends the timer thread
        q->changed.notify_all();
    }
    q->Release();
    return h;
}

KOVA_LAYER_API BOOL WINAPI CreateTimerQueueTimer(PHANDLE phNewTimer, HANDLE TimerQueue,
                                                 WAITORTIMERCALLBACK Callback, PVOID Parameter, DWORD DueTime,
                                                 DWORD Period, ULONG Flags)
{
    KOVA_FAULT_POINT("CreateTimerQueueTimer", BOOL);
    if (!phNewTimer || !Callback) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Ref<kova::k32::TimerQueue> q = QueueFromHandle(TimerQueue);
    if (!q) return FALSE;
    Timer *t = new Timer;
    t->queue = q;
    t->callback = Callback;
    t->parameter = Parameter;
    t->flags = Flags;
    t->handle = InsertHandle(t);
    if (!t->handle) {
        t->Release();
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> hold(q->lock);
        if (q->deleting) {
            RemoveHandle(t->handle, Kind::Timer, t);
            t->Release();
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        /* The handle is stored before the timer can fire: a callback may
         * look at it (Windows does not promise this). */
        *phNewTimer = t->handle;
        t->due = NowMs() + DueTime;
        t->period = Period;
        t->armed = true;
        q->timers.push_back(t);  // the handle's reference stays in the table; this is the queue's
        q->changed.notify_one();
    }
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI ChangeTimerQueueTimer(HANDLE TimerQueue, HANDLE Timer, ULONG DueTime, ULONG Period)
{
    KOVA_FAULT_POINT("ChangeTimerQueueTimer", BOOL);
    Ref<kova::k32::Timer> t = LookupAs<kova::k32::Timer>(Timer, Kind::Timer);
    if (!t) return FALSE;
    Ref<kova::k32::TimerQueue> q = QueueFromHandle(TimerQueue);
    if (!q || q.get() != t->queue.get()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(q->lock);
    if (t->deleted) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (t->period == 0 && t->fired) return TRUE;  // a spent one-shot timer stays spent
    t->due = NowMs() + DueTime;
    t->period = Period;
    t->armed = true;
    q->changed.notify_one();
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI DeleteTimerQueueTimer(HANDLE TimerQueue, HANDLE Timer, HANDLE CompletionEvent)
{
    Ref<kova::k32::Timer> t = LookupAs<kova::k32::Timer>(Timer, Kind::Timer);
    if (!t) return FALSE;
    Ref<kova::k32::TimerQueue> q = QueueFromHandle(TimerQueue);
    if (!q || q.get() != t->queue.get()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!RemoveHandle(Timer, Kind::Timer)) return FALSE;  // deleted meanwhile
    std::unique_lock<std::mutex> lock(q->lock);
    t->deleted = true;
    t->armed = false;
    auto it = std::find(q->timers.begin(), q->timers.end(), t.get());
    if (it != q->timers.end()) {
        q->timers.erase(it);
        t->Release();  // the queue's reference; ours keeps it alive
    }
    int selfRunning = Self()->runningTimer == t.get() ? 1 : 0;
    return FinishDeletion(lock, q.get(), t->running, selfRunning, CompletionEvent, &t->doneEvent);
}

KOVA_LAYER_API BOOL WINAPI DeleteTimerQueueEx(HANDLE TimerQueue, HANDLE CompletionEvent)
{
    if (!TimerQueue) {  // the default queue is not the caller's to delete
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Ref<Object> obj = RemoveHandle(TimerQueue, Kind::TimerQueue);
    if (!obj) return FALSE;
    Ref<kova::k32::TimerQueue> q = Ref<kova::k32::TimerQueue>::Adopt(static_cast<kova::k32::TimerQueue *>(obj.Detach()));
    std::vector<kova::k32::Timer *> timers;
    std::unique_lock<std::mutex> lock(q->lock);
    q->deleting = true;
    timers.swap(q->timers);
    for (kova::k32::Timer *t : timers) {
        t->deleted = true;
        t->armed = false;
    }
    q->changed.notify_all();
    lock.unlock();
    for (kova::k32::Timer *t : timers) {
        RemoveHandle(t->handle, Kind::Timer, t);
        t->Release();
    }
    lock.lock();
    int selfRunning = Self()->runningQueue == q.get() ? 1 : 0;
    return FinishDeletion(lock, q.get(), q->running, selfRunning, CompletionEvent, &q->doneEvent);
}

KOVA_LAYER_API BOOL WINAPI DeleteTimerQueue(HANDLE TimerQueue)
{
    return DeleteTimerQueueEx(TimerQueue, NULL);
}

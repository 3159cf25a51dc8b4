/* Events and semaphores. Named ones are shared within the process. */
#include "kernel32/sync.h"

#include "fault/fault.h"

namespace kova {
namespace k32 {

Acq Event::TryAcquire(ThreadInfo *)
{
    if (!state_) return Acq::No;
    if (!manual_) state_ = false;
    return Acq::Yes;
}

void Event::Undo(ThreadInfo *, Acq)
{
    if (!manual_) state_ = true;
}

void Event::Set()
{
    state_ = true;
    WakeWaiters();
}

void Event::Pulse()
{
    /* Releases the threads waiting right now (one for an auto-reset
     * event); the event itself stays reset. A wait-all is never satisfied
     * by a pulse. */
    for (ThreadInfo *t : Waiters()) {
        if (t->pulsedBy || t->waitingAll) continue;
        t->pulsedBy = this;
        t->woken = true;
        t->cv.notify_one();
        if (!manual_) break;
    }
    state_ = false;
}

Acq Semaphore::TryAcquire(ThreadInfo *)
{
    if (count_ <= 0) return Acq::No;
    --count_;
    return Acq::Yes;
}

bool Semaphore::Post(LONG n, LONG *previous)
{
    if (n > max_ - count_) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return false;
    }
    if (previous) *previous = count_;
    count_ += n;
    WakeWaiters();
    return true;
}

}  // namespace k32
}  // namespace kova

using namespace kova::k32;

namespace {

struct EventInit {
    bool manual, state;
};

Object *MakeEvent(void *ctx)
{
    auto *init = static_cast<EventInit *>(ctx);
    return new Event(init->manual, init->state);
}

struct SemaphoreInit {
    LONG count, maximum;
};

Object *MakeSemaphore(void *ctx)
{
    auto *init = static_cast<SemaphoreInit *>(ctx);
    return new Semaphore(init->count, init->maximum);
}

/* Makes (or, by name, finds) an object and hands out a handle to it. */
HANDLE CreateObject(LPCSTR name, Kind kind, Object *(*make)(void *), void *ctx)
{
    bool existed = false;
    Object *obj;
    if (name && *name) {
        obj = FindOrCreateNamed(name, kind, make, ctx, &existed);
        if (!obj) return NULL;
    } else {
        obj = make(ctx);
    }
    HANDLE h = InsertHandle(obj);
    obj->Release();
    if (h) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

HANDLE OpenObject(LPCSTR name, Kind kind)
{
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    Object *obj = FindNamed(name, kind);
    if (!obj) return NULL;
    HANDLE h = InsertHandle(obj);
    obj->Release();
    return h;
}

template <class Fn>
BOOL WithEvent(HANDLE h, Fn fn)
{
    Ref<Event> event = LookupAs<Event>(h, Kind::Event);
    if (!event) return FALSE;
    std::lock_guard<std::mutex> hold(DispatcherLock());
    fn(event.get());
    return TRUE;
}

}  // namespace

KOVA_LAYER_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                                          BOOL bInitialState, LPCSTR lpName)
{
    KOVA_FAULT_POINT("CreateEventA", HANDLE);
    EventInit init = {bManualReset != FALSE, bInitialState != FALSE};
    return CreateObject(lpName, Kind::Event, MakeEvent, &init);
}

KOVA_LAYER_API HANDLE WINAPI OpenEventA(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, LPCSTR lpName)
{
    return OpenObject(lpName, Kind::Event);
}

KOVA_LAYER_API BOOL WINAPI SetEvent(HANDLE hEvent)
{
    KOVA_FAULT_POINT("SetEvent", BOOL);
    return WithEvent(hEvent, [](Event *e) { e->Set(); });
}

KOVA_LAYER_API BOOL WINAPI ResetEvent(HANDLE hEvent)
{
    KOVA_FAULT_POINT("ResetEvent", BOOL);
    return WithEvent(hEvent, [](Event *e) { e->Reset(); });
}

KOVA_LAYER_API BOOL WINAPI PulseEvent(HANDLE hEvent)
{
    return WithEvent(hEvent, [](Event *e) { e->Pulse(); });
}

KOVA_LAYER_API HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES /*lpSemaphoreAttributes*/, LONG lInitialCount,
                                              LONG lMaximumCount, LPCSTR lpName)
{
    KOVA_FAULT_POINT("CreateSemaphoreA", HANDLE);
    if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    SemaphoreInit init = {lInitialCount, lMaximumCount};
    return CreateObject(lpName, Kind::Semaphore, MakeSemaphore, &init);
}

KOVA_LAYER_API HANDLE WINAPI OpenSemaphoreA(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, LPCSTR lpName)
{
    return OpenObject(lpName, Kind::Semaphore);
}

KOVA_LAYER_API BOOL WINAPI ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount)
{
    KOVA_FAULT_POINT("ReleaseSemaphore", BOOL);
    Ref<Semaphore> sem = LookupAs<Semaphore>(hSemaphore, Kind::Semaphore);
    if (!sem) return FALSE;
    if (lReleaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(DispatcherLock());
    return sem->Post(lReleaseCount, lpPreviousCount) ? TRUE : FALSE;
}

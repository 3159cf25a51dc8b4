/* The one wait mechanism of every waitable object, and the wait calls. */
#include "kernel32/object.h"

#include "fault/fault.h"

#include <errno.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <chrono>

namespace kova {
namespace k32 {

std::mutex &DispatcherLock()
{
    static std::mutex *lock = new std::mutex;  // outlives static destructors
    return *lock;
}

ULONGLONG NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (ULONGLONG)ts.tv_sec * 1000u + (ULONGLONG)ts.tv_nsec / 1000000u;
}

void Waitable::WakeWaiters()
{
    for (ThreadInfo *t : waiters_) {
        t->woken = true;
        t->cv.notify_one();
    }
}

void Waitable::RemoveWaiter(ThreadInfo *t)
{
    auto it = std::find(waiters_.begin(), waiters_.end(), t);
    if (it != waiters_.end()) waiters_.erase(it);
}

namespace {

constexpr DWORD kNotYet = ~0u;

/* Under the dispatcher lock: one attempt at satisfying the wait. */
DWORD TryOnce(DWORD count, Waitable *const *objs, bool waitAll, ThreadInfo *self)
{
    if (!waitAll) {
        for (DWORD i = 0; i < count; ++i) {
            Acq a = objs[i]->TryAcquire(self);
            if (a == Acq::Yes) return WAIT_OBJECT_0 + i;
            if (a == Acq::Abandoned) return WAIT_ABANDONED_0 + i;
        }
        return kNotYet;
    }
    Acq got[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        got[i] = objs[i]->TryAcquire(self);
        if (got[i] == Acq::No) {
            while (i-- > 0) objs[i]->Undo(self, got[i]);
            return kNotYet;
        }
    }
    for (DWORD i = 0; i < count; ++i)
        if (got[i] == Acq::Abandoned) return WAIT_ABANDONED_0 + i;
    return WAIT_OBJECT_0;
}

}  // namespace

DWORD WaitFor(DWORD count, Waitable *const *objs, bool waitAll, DWORD ms)
{
    using Clock = std::chrono::steady_clock;
    ThreadInfo *self = Self();
    const bool timed = ms != INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timed ? ms : 0);
    bool polled = false;
    for (DWORD i = 0; i < count; ++i) polled = polled || objs[i]->Polled();
    /* Objects that change behind the dispatcher's back are looked at again
     * after 1 ms, backing off to 16 ms. */
    auto pollSlice = std::chrono::milliseconds(1);

    std::unique_lock<std::mutex> lock(DispatcherLock());
    bool registered = false;
    DWORD result;
    for (;;) {
        if (self->pulsedBy) {
            Waitable *pulsed = self->pulsedBy;
            self->pulsedBy = nullptr;
            auto it = std::find(objs, objs + count, pulsed);
            if (!waitAll && it != objs + count) {
                result = WAIT_OBJECT_0 + (DWORD)(it - objs);
                break;
            }
        }
        result = TryOnce(count, objs, waitAll, self);
        if (result != kNotYet) break;
        Clock::time_point now = Clock::now();
        if (ms == 0 || (timed && now >= deadline)) {
            result = WAIT_TIMEOUT;
            break;
        }
        if (!registered) {
            for (DWORD i = 0; i < count; ++i) objs[i]->AddWaiter(self);
            self->waitingAll = waitAll;
            registered = true;
        }
        Clock::time_point wakeAt = timed ? deadline : Clock::time_point::max();
        if (polled) {
            wakeAt = std::min(wakeAt, now + pollSlice);
            pollSlice = std::min(pollSlice * 2, std::chrono::milliseconds(16));
        }
        self->woken = false;
        while (!self->woken) {
            if (wakeAt == Clock::time_point::max())
                self->cv.wait(lock);
            else if (self->cv.wait_until(lock, wakeAt) == std::cv_status::timeout)
                break;
        }
    }
    if (registered)
        for (DWORD i = 0; i < count; ++i) objs[i]->RemoveWaiter(self);
    self->pulsedBy = nullptr;
    self->waitingAll = false;
    return result;
}

}  // namespace k32
}  // namespace kova

using namespace kova::k32;

KOVA_LAYER_API DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                                   DWORD dwMilliseconds)
{
    KOVA_FAULT_POINT("WaitForMultipleObjects", DWORD);
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    Ref<Object> held[MAXIMUM_WAIT_OBJECTS];
    Waitable *objs[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < nCount; ++i) {
        held[i] = LookupHandle(lpHandles[i]);
        if (!held[i] || !held[i]->IsWaitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objs[i] = static_cast<Waitable *>(held[i].get());
        /* Waiting for all of a set that names one object twice cannot be
         * satisfied atomically; Windows refuses it too. */
        if (bWaitAll && std::find(objs, objs + i, objs[i]) != objs + i) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return WAIT_FAILED;
        }
    }
    if (nCount == 1) {
        DWORD r = objs[0]->WaitAlone(dwMilliseconds);
        if (r != ~0u) return r;
    }
    return WaitFor(nCount, objs, bWaitAll != FALSE, dwMilliseconds);
}

KOVA_LAYER_API DWORD WINAPI WaitForMultipleObjectsEx(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                                     DWORD dwMilliseconds, BOOL /*bAlertable*/)
{
    return WaitForMultipleObjects(nCount, lpHandles, bWaitAll, dwMilliseconds);
}

KOVA_LAYER_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    KOVA_FAULT_POINT("WaitForSingleObject", DWORD);
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

KOVA_LAYER_API DWORD WINAPI WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL /*bAlertable*/)
{
    return WaitForSingleObject(hHandle, dwMilliseconds);
}

KOVA_LAYER_API VOID WINAPI Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;) {
            timespec hour = {3600, 0};
            nanosleep(&hour, nullptr);
        }
    }
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += dwMilliseconds / 1000;
    deadline.tv_nsec += (long)(dwMilliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        /* interrupted by a signal: sleep the rest */
    }
}

KOVA_LAYER_API DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL /*bAlertable*/)
{
    Sleep(dwMilliseconds);
    return 0;
}

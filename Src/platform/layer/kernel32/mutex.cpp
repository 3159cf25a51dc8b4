/* Mutexes: unnamed ones here, named ones in named_mutex.cpp. */
#include "kernel32/sync.h"

#include "fault/fault.h"

#include <algorithm>

namespace kova {
namespace k32 {

Acq Mutex::TryAcquire(ThreadInfo *self)
{
    if (owner_ == self) {
        if (count_ == 0x7fffffff) return Acq::No;  // recursion limit, as a wait that never ends
        ++count_;
        return Acq::Yes;
    }
    if (owner_) return Acq::No;
    owner_ = self;
    count_ = 1;
    AddRef();  // held by the owner
    self->ownedMutexes.push_back(this);
    if (abandoned_) {
        abandoned_ = false;
        return Acq::Abandoned;
    }
    return Acq::Yes;
}

void Mutex::Undo(ThreadInfo *self, Acq how)
{
    if (owner_ != self) return;
    if (--count_ == 0) Disown();
    if (how == Acq::Abandoned) abandoned_ = true;
}

bool Mutex::ReleaseBy(ThreadInfo *self)
{
    if (owner_ != self) return false;
    if (--count_ != 0) return true;
    /* As on Windows, the release satisfies a waiting thread's wait there and
     * then: the mutex passes to the thread that has waited longest. Left
     * free, it would go back to a releasing thread that waits again at once
     * (a loop holding it for a pass) before a woken waiter is scheduled, and
     * that waiter could starve for seconds. Threads waiting for all of a set
     * take their chance as before. */
    for (ThreadInfo *next : Waiters()) {
        if (next == self || next->pulsedBy || next->waitingAll) continue;
        AddRef();  // the new owner's, taken before the old one's goes
        Disown();
        owner_ = next;
        count_ = 1;
        next->ownedMutexes.push_back(this);
        next->pulsedBy = this;
        next->woken = true;
        next->cv.notify_one();
        return true;
    }
    WakeWaiters();
    Disown();  // may drop the last reference: nothing after this
    return true;
}

void Mutex::Abandon(ThreadInfo *)
{
    count_ = 0;
    abandoned_ = true;
    owner_ = nullptr;
    WakeWaiters();
    Object::Release();  // the owner's reference (the thread list entry goes with it)
}

void Mutex::Disown()
{
    auto &owned = owner_->ownedMutexes;
    auto it = std::find(owned.begin(), owned.end(), static_cast<Waitable *>(this));
    if (it != owned.end()) owned.erase(it);
    owner_ = nullptr;
    Object::Release();
}

void AbandonMutexes(ThreadInfo *self)
{
    std::vector<Waitable *> owned;
    owned.swap(self->ownedMutexes);
    for (Waitable *m : owned) m->Abandon(self);
}

}  // namespace k32
}  // namespace kova

using namespace kova::k32;

namespace {

bool Named(LPCSTR name) { return name && *name; }

}  // namespace

KOVA_LAYER_API HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES /*lpMutexAttributes*/, BOOL bInitialOwner,
                                          LPCSTR lpName)
{
    KOVA_FAULT_POINT("CreateMutexA", HANDLE);
    if (Named(lpName)) return CreateNamedMutex(lpName, bInitialOwner != FALSE, false);
    Mutex *m = new Mutex;
    if (bInitialOwner) {
        std::lock_guard<std::mutex> hold(DispatcherLock());
        m->TryAcquire(Self());
    }
    HANDLE h = InsertHandle(m);
    if (!h && bInitialOwner) {
        std::lock_guard<std::mutex> hold(DispatcherLock());
        m->ReleaseBy(Self());
    }
    m->Object::Release();
    if (h) SetLastError(ERROR_SUCCESS);
    return h;
}

KOVA_LAYER_API HANDLE WINAPI OpenMutexA(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, LPCSTR lpName)
{
    KOVA_FAULT_POINT("OpenMutexA", HANDLE);
    if (!Named(lpName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    return CreateNamedMutex(lpName, false, true);
}

KOVA_LAYER_API BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    KOVA_FAULT_POINT("ReleaseMutex", BOOL);
    Ref<Object> obj = LookupHandle(hMutex);
    if (obj && obj->kind() == Kind::NamedMutex) return ReleaseNamedMutex(obj.get());
    if (!obj || obj->kind() != Kind::Mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(DispatcherLock());
    if (!static_cast<Mutex *>(obj.get())->ReleaseBy(Self())) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

/* Mutexes, events and semaphores of one process (internal). */
#ifndef KOVA_LAYER_KERNEL32_SYNC_H
#define KOVA_LAYER_KERNEL32_SYNC_H

#include "kernel32/object.h"

namespace kova {
namespace k32 {

/* An unnamed mutex: re-entrant for its owner thread; abandoned when the
 * owner ends holding it. Its owner keeps a reference while it owns it. */
class Mutex : public Waitable {
public:
    Mutex() : Waitable(Kind::Mutex) {}
    Acq TryAcquire(ThreadInfo *self) override;
    void Undo(ThreadInfo *self, Acq how) override;
    /* Under the dispatcher lock: false if self is not the owner. */
    bool ReleaseBy(ThreadInfo *self);
    void Abandon(ThreadInfo *self) override;

private:
    void Disown();
    ThreadInfo *owner_ = nullptr;
    DWORD count_ = 0;
    bool abandoned_ = false;
};

/* Under the dispatcher lock: abandons every mutex the thread owns. */
void AbandonMutexes(ThreadInfo *self);

class Event : public Waitable {
public:
    Event(bool manual, bool state) : Waitable(Kind::Event), manual_(manual), state_(state) {}
    Acq TryAcquire(ThreadInfo *) override;
    void Undo(ThreadInfo *, Acq) override;
    /* Under the dispatcher lock. */
    void Set();
    void Reset() { state_ = false; }
    void Pulse();

private:
    const bool manual_;
    bool state_;
};

class Semaphore : public Waitable {
public:
    Semaphore(LONG count, LONG maximum) : Waitable(Kind::Semaphore), count_(count), max_(maximum) {}
    Acq TryAcquire(ThreadInfo *) override;
    void Undo(ThreadInfo *, Acq) override { ++count_; }
    /* Under the dispatcher lock: false (ERROR_TOO_MANY_POSTS) if the
     * count would pass the maximum. */
    bool Post(LONG n, LONG *previous);

private:
    LONG count_;
    const LONG max_;
};

/* Named mutexes shared between processes (named_mutex.cpp). */
HANDLE CreateNamedMutex(const char *name, bool initialOwner, bool openOnly);
BOOL ReleaseNamedMutex(Object *obj);

}  // namespace k32
}  // namespace kova

#endif

/* The kernel object model of the layer (internal).
 *
 * Every kernel object is a reference-counted Object. A HANDLE is an entry
 * in the process's handle table holding one reference; the object lives
 * until the last handle is closed and every internal user has let go.
 *
 * Waitable objects share one wait mechanism: a process-wide dispatcher
 * lock guards the signal state of every waitable object and the list of
 * threads waiting on it. A waiting thread sleeps on its own condition
 * variable (ThreadInfo::cv, used with the dispatcher lock); an object that
 * becomes signalled wakes the threads on its list, which then try again.
 * Acquiring several objects at once (wait-all) happens in one critical
 * region, so no other thread sees a partial acquisition. */
#ifndef KOVA_LAYER_KERNEL32_OBJECT_H
#define KOVA_LAYER_KERNEL32_OBJECT_H

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kova {
namespace k32 {

enum class Kind { Thread, Process, Mutex, NamedMutex, Event, Semaphore, TimerQueue, Timer, MsgQueue };

class Object {
public:
    explicit Object(Kind kind) : kind_(kind) {}
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;
    virtual ~Object();

    Kind kind() const { return kind_; }
    /* The object's name in the process's object namespace ("" if none). */
    const std::string &name() const { return name_; }
    bool IsWaitable() const { return kind_ != Kind::TimerQueue && kind_ != Kind::Timer; }
    /* Timer queues and timers sit in the handle table for validation but
     * are deleted by their own calls, not by CloseHandle. */
    bool ClosableByCloseHandle() const { return IsWaitable(); }

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    /* A new reference unless the object is already being destroyed. */
    bool TryAddRef()
    {
        long n = refs_.load(std::memory_order_relaxed);
        while (n > 0)
            if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_relaxed)) return true;
        return false;
    }
    void Release()
    {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

private:
    friend Object *FindOrCreateNamed(const char *, Kind, Object *(*)(void *), void *, bool *);
    const Kind kind_;
    std::atomic<long> refs_{1};
    std::string name_;
};

/* ---- Named objects ---- */

/* Finds the object called `name` in the process's object namespace, or
 * makes one with make(ctx) and enters it. Returns a new reference, with
 * *existed telling which; nullptr with ERROR_INVALID_HANDLE when the name
 * belongs to an object of another kind, or with make's last error when it
 * returns nullptr. The name leaves the namespace when the object dies. */
Object *FindOrCreateNamed(const char *name, Kind kind, Object *(*make)(void *), void *ctx, bool *existed);
/* A new reference to the object called `name` of the given kind, or
 * nullptr with ERROR_FILE_NOT_FOUND (no such name) or ERROR_INVALID_HANDLE
 * (another kind). */
Object *FindNamed(const char *name, Kind kind);

/* An owning pointer to an Object (one reference). */
template <class T>
class Ref {
public:
    Ref() = default;
    /* Adopts a reference the caller already holds. */
    static Ref Adopt(T *p)
    {
        Ref r;
        r.p_ = p;
        return r;
    }
    /* Takes a new reference. */
    explicit Ref(T *p) : p_(p)
    {
        if (p_) p_->AddRef();
    }
    Ref(const Ref &o) : Ref(o.p_) {}
    Ref(Ref &&o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    Ref(Ref<U> &&o) noexcept : p_(o.Detach())
    {
    }
    Ref &operator=(Ref o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref()
    {
        if (p_) p_->Release();
    }
    T *get() const { return p_; }
    T *operator->() const { return p_; }
    T &operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T *Detach() { return std::exchange(p_, nullptr); }

private:
    T *p_ = nullptr;
};

/* ---- Handle table ---- */

#define KOVA_PSEUDO_PROCESS ((HANDLE)(LONG_PTR)-1)
#define KOVA_PSEUDO_THREAD ((HANDLE)(LONG_PTR)-2)

/* Enters obj into the table with a new reference; NULL (and
 * ERROR_NOT_ENOUGH_MEMORY) if the table is full. */
HANDLE InsertHandle(Object *obj);
/* How many entries the table holds now (KovaControl_OpenHandles). */
LONG OpenHandleCount();
/* The object behind a handle, pseudo handles resolved; empty (and
 * ERROR_INVALID_HANDLE set) for a bad handle. */
Ref<Object> LookupHandle(HANDLE h);
/* As LookupHandle, but only an object of the given kind. */
template <class T>
Ref<T> LookupAs(HANDLE h, Kind kind)
{
    Ref<Object> obj = LookupHandle(h);
    if (!obj || obj->kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return Ref<T>();
    }
    return Ref<T>::Adopt(static_cast<T *>(obj.Detach()));
}
/* Removes a handle of the given kind (and, if given, to that very object)
 * from the table and hands over its reference; empty (ERROR_INVALID_HANDLE)
 * if there is none. */
Ref<Object> RemoveHandle(HANDLE h, Kind kind, const Object *expected = nullptr);

/* ---- Threads as the layer knows them ---- */

class Waitable;
class Thread;
class Mutex;

/* Per-thread state, created on a thread's first layer call (or at start
 * for threads the layer creates) and finished when the thread ends. */
struct ThreadInfo {
    DWORD tid = 0;
    bool layerThread = false;  // started by CreateThread/_beginthreadex
    /* Waiting (dispatcher lock). */
    std::condition_variable cv;
    bool woken = false;
    bool waitingAll = false;
    Waitable *pulsedBy = nullptr;  // PulseEvent released this waiter
    /* Mutexes this thread owns, each holding a reference; abandoned if the
     * thread ends. Touched only by the thread itself. */
    std::vector<Waitable *> ownedMutexes;
    /* The thread's kernel object, made on demand for foreign threads. */
    Thread *thread = nullptr;
    DWORD exitCode = 0;
    /* The thread's message queue (a reference), if it has one. */
    Waitable *msgQueue = nullptr;
    /* The timer and queue whose callback this thread is running. */
    const void *runningTimer = nullptr;
    const void *runningQueue = nullptr;
};

/* The calling thread's ThreadInfo, created on first use. */
ThreadInfo *Self();
/* The calling thread's id, cheap. */
DWORD SelfTid();
/* The calling thread's kernel object, created on demand. */
Thread *SelfThreadObject();
/* The current process's kernel object (never signalled while we run). */
Waitable *SelfProcessObject();
/* Message queues are user32's: it installs these while the library is
 * loaded, the thread start-up code then gives every new thread its queue
 * and a thread's end drops it. Returns true, so that the installation can
 * initialise a static. */
struct MessageQueueHooks {
    void (*create)(ThreadInfo *self);
    void (*destroy)(ThreadInfo *self);
};
bool SetMessageQueueHooks(const MessageQueueHooks &hooks);

/* ---- Waiting ---- */

std::mutex &DispatcherLock();

enum class Acq { No, Yes, Abandoned };

class Waitable : public Object {
public:
    using Object::Object;
    /* Under the dispatcher lock: take the object for `self` if signalled
     * (consuming an auto-reset event, a semaphore count, mutex ownership). */
    virtual Acq TryAcquire(ThreadInfo *self) = 0;
    /* Under the dispatcher lock: give back an acquisition a wait-all could
     * not complete. */
    virtual void Undo(ThreadInfo *self, Acq how) = 0;
    /* True for objects whose state changes without the dispatcher seeing
     * it (a named mutex released by another process): waits poll them. */
    virtual bool Polled() const { return false; }
    /* Blocks on this object alone, outside the dispatcher, when it can do
     * better than polling. Returns a WAIT_* value or ~0u if not offered. */
    virtual DWORD WaitAlone(DWORD /*ms*/) { return ~0u; }
    /* Under the dispatcher lock, when self ends owning this mutex. */
    virtual void Abandon(ThreadInfo * /*self*/) {}

    /* Under the dispatcher lock: wake every thread waiting on this object. */
    void WakeWaiters();
    /* Under the dispatcher lock: the threads now waiting on this object. */
    const std::vector<ThreadInfo *> &Waiters() const { return waiters_; }
    void AddWaiter(ThreadInfo *t) { waiters_.push_back(t); }
    void RemoveWaiter(ThreadInfo *t);

private:
    std::vector<ThreadInfo *> waiters_;
};

/* Waits for one (waitAll false) or all of objs, with WaitForMultipleObjects
 * results. The objects are held by the caller. */
DWORD WaitFor(DWORD count, Waitable *const *objs, bool waitAll, DWORD ms);

/* Milliseconds from a steady clock, for deadlines. */
ULONGLONG NowMs();

}  // namespace k32
}  // namespace kova

#endif

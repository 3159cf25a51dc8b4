/* Thread kernel objects (internal). */
#ifndef KOVA_LAYER_KERNEL32_THREAD_H
#define KOVA_LAYER_KERNEL32_THREAD_H

#include "kernel32/object.h"

namespace kova {
namespace k32 {

/* Signalled once the thread has ended. The running thread holds a
 * reference, so closing every handle early is fine. */
class Thread : public Waitable {
public:
    Thread() : Waitable(Kind::Thread) {}

    Acq TryAcquire(ThreadInfo *) override { return ended ? Acq::Yes : Acq::No; }
    void Undo(ThreadInfo *, Acq) override {}

    /* Under the dispatcher lock. */
    void Finish(DWORD code)
    {
        exitCode = code;
        ended = true;
        WakeWaiters();
    }

    std::atomic<DWORD> tid{0};
    std::atomic<int> priority{THREAD_PRIORITY_NORMAL};
    /* Dispatcher lock: */
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD suspendCount = 0;  // CREATE_SUSPENDED until ResumeThread
    std::condition_variable resumed;
};

/* Starts a thread running start(param) with the Win32 thread semantics:
 * it has a message queue from its first instruction, its id is known on
 * return, and it signals its Thread object when it ends. Returns the new
 * object (one reference for the caller) or nullptr with last error set. */
Thread *StartThread(SIZE_T stackSize, DWORD (*start)(void *), void *param, bool suspended, DWORD *tidOut);

/* Starts an internal helper thread (timer threads, workers): a layer
 * thread without a kernel object for anybody to wait on. */
bool StartHelperThread(void (*body)(void *), void *param);

}  // namespace k32
}  // namespace kova

#endif

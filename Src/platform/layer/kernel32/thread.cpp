/* Threads: per-thread state, start-up and end, and the thread calls. */
#include "kernel32/thread.h"

#include "fault/fault.h"
#include "kernel32/sync.h"

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <process.h>

namespace kova {
namespace k32 {

namespace {

std::atomic<void (*)(ThreadInfo *)> g_createQueue{nullptr};
std::atomic<void (*)(ThreadInfo *)> g_destroyQueue{nullptr};

thread_local ThreadInfo *t_self = nullptr;
thread_local DWORD t_tid = 0;

/* Runs when a thread ends (also by ExitThread or pthread_exit): its
 * unnamed mutexes are abandoned, its queue goes, its object signals. */
void FinishThread(void *p)
{
    ThreadInfo *info = static_cast<ThreadInfo *>(p);
    if (auto destroyQueue = g_destroyQueue.load()) destroyQueue(info);
    Thread *thread;
    {
        std::lock_guard<std::mutex> hold(DispatcherLock());
        AbandonMutexes(info);
        thread = info->thread;
        if (thread) thread->Finish(info->exitCode);
    }
    if (thread) thread->Release();
    t_self = nullptr;
    delete info;
}

pthread_key_t ThreadKey()
{
    static pthread_key_t key = [] {
        pthread_key_t k;
        pthread_key_create(&k, FinishThread);
        return k;
    }();
    return key;
}

struct StartBlock {
    Thread *thread = nullptr;  // the running thread's reference, handed over
    DWORD (*start)(void *) = nullptr;
    void (*body)(void *) = nullptr;
    void *param = nullptr;
    std::mutex lock;
    std::condition_variable cv;
    bool started = false;
    DWORD tid = 0;
};

void *Trampoline(void *arg)
{
    StartBlock *sb = static_cast<StartBlock *>(arg);
    ThreadInfo *self = Self();
    self->layerThread = true;
    Thread *thread = sb->thread;
    DWORD (*start)(void *) = sb->start;
    void (*body)(void *) = sb->body;
    void *param = sb->param;
    if (thread) {
        thread->tid = self->tid;
        self->thread = thread;
    }
    if (auto createQueue = g_createQueue.load()) createQueue(self);
    {
        std::lock_guard<std::mutex> hold(sb->lock);
        sb->tid = self->tid;
        sb->started = true;
        sb->cv.notify_one();
    }  // sb belongs to the creator again
    if (thread) {
        std::unique_lock<std::mutex> lock(DispatcherLock());
        thread->resumed.wait(lock, [thread] { return thread->suspendCount == 0; });
    }
    if (start)
        self->exitCode = start(param);
    else
        body(param);
    return nullptr;
}

bool Launch(StartBlock *sb, SIZE_T stackSize)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize) {
        size_t size = std::max<size_t>(stackSize, PTHREAD_STACK_MIN);
        size = (size + 65535) & ~(size_t)65535;
        pthread_attr_setstacksize(&attr, size);
    }
    pthread_t id;
    int err = pthread_create(&id, &attr, Trampoline, sb);
    pthread_attr_destroy(&attr);
    if (err != 0) {
        SetLastError(err == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return false;
    }
    std::unique_lock<std::mutex> lock(sb->lock);
    sb->cv.wait(lock, [sb] { return sb->started; });
    return true;
}

}  // namespace

DWORD SelfTid()
{
    if (!t_tid) t_tid = (DWORD)syscall(SYS_gettid);
    return t_tid;
}

ThreadInfo *Self()
{
    if (t_self) return t_self;
    ThreadInfo *info = new ThreadInfo;
    info->tid = SelfTid();
    t_self = info;
    pthread_setspecific(ThreadKey(), info);
    return info;
}

Thread *SelfThreadObject()
{
    ThreadInfo *self = Self();
    if (!self->thread) {
        Thread *t = new Thread;
        t->tid = self->tid;
        self->thread = t;  // the thread's own reference, dropped at its end
    }
    return self->thread;
}

Thread *StartThread(SIZE_T stackSize, DWORD (*start)(void *), void *param, bool suspended, DWORD *tidOut)
{
    Thread *thread = new Thread;  // the caller's reference
    thread->suspendCount = suspended ? 1 : 0;
    thread->AddRef();  // the running thread's
    StartBlock sb;
    sb.thread = thread;
    sb.start = start;
    sb.param = param;
    if (!Launch(&sb, stackSize)) {
        thread->Release();
        thread->Release();
        return nullptr;
    }
    if (tidOut) *tidOut = sb.tid;
    return thread;
}

bool StartHelperThread(void (*body)(void *), void *param)
{
    StartBlock sb;
    sb.body = body;
    sb.param = param;
    return Launch(&sb, 0);
}

bool SetMessageQueueHooks(const MessageQueueHooks &hooks)
{
    g_createQueue = hooks.create;
    g_destroyQueue = hooks.destroy;
    return true;
}

}  // namespace k32
}  // namespace kova

using namespace kova::k32;

namespace {

Ref<Thread> ThreadFromHandle(HANDLE h) { return LookupAs<Thread>(h, Kind::Thread); }

bool ValidPriority(int p)
{
    return (p >= THREAD_PRIORITY_LOWEST && p <= THREAD_PRIORITY_HIGHEST) || p == THREAD_PRIORITY_IDLE ||
           p == THREAD_PRIORITY_TIME_CRITICAL;
}

}  // namespace

KOVA_LAYER_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T dwStackSize,
                                          LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                          DWORD dwCreationFlags, LPDWORD lpThreadId)
{
    KOVA_FAULT_POINT("CreateThread", HANDLE);
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    DWORD tid = 0;
    Thread *thread = StartThread(dwStackSize, lpStartAddress, lpParameter,
                                 (dwCreationFlags & CREATE_SUSPENDED) != 0, &tid);
    if (!thread) return NULL;
    HANDLE h = InsertHandle(thread);
    thread->Release();
    if (h && lpThreadId) *lpThreadId = tid;
    return h;
}

KOVA_LAYER_API uintptr_t __cdecl _beginthreadex(void * /*_Security*/, unsigned _StackSize,
                                                _beginthreadex_proc_type _StartAddress, void *_ArgList,
                                                unsigned _InitFlag, unsigned *_ThrdAddr)
{
    LONG_PTR faultResult;
    DWORD faultError;
    if (kova::fault::Take("_beginthreadex", &faultResult, &faultError)) {
        SetLastError(faultError);
        errno = EAGAIN;
        return (uintptr_t)faultResult;
    }
    if (!_StartAddress) {
        errno = EINVAL;
        return 0;
    }
    DWORD tid = 0;
    HANDLE h = CreateThread(NULL, _StackSize, _StartAddress, _ArgList, _InitFlag, &tid);
    if (!h) {
        errno = EAGAIN;
        return 0;
    }
    if (_ThrdAddr) *_ThrdAddr = tid;
    return (uintptr_t)h;
}

KOVA_LAYER_API void __cdecl _endthreadex(unsigned _Retval)
{
    ExitThread(_Retval);
}

KOVA_LAYER_API VOID WINAPI ExitThread(DWORD dwExitCode)
{
    Self()->exitCode = dwExitCode;
    pthread_exit(nullptr);
}

KOVA_LAYER_API BOOL WINAPI TerminateThread(HANDLE hThread, DWORD /*dwExitCode*/)
{
    if (!ThreadFromHandle(hThread)) return FALSE;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

KOVA_LAYER_API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    Ref<Thread> thread = ThreadFromHandle(hThread);
    if (!thread) return FALSE;
    if (!lpExitCode) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(DispatcherLock());
    *lpExitCode = thread->ended ? thread->exitCode : STILL_ACTIVE;
    return TRUE;
}

KOVA_LAYER_API DWORD WINAPI ResumeThread(HANDLE hThread)
{
    Ref<Thread> thread = ThreadFromHandle(hThread);
    if (!thread) return (DWORD)-1;
    std::lock_guard<std::mutex> hold(DispatcherLock());
    DWORD previous = thread->suspendCount;
    if (previous > 0 && --thread->suspendCount == 0) thread->resumed.notify_all();
    return previous;
}

KOVA_LAYER_API DWORD WINAPI SuspendThread(HANDLE hThread)
{
    if (!ThreadFromHandle(hThread)) return (DWORD)-1;
    SetLastError(ERROR_NOT_SUPPORTED);
    return (DWORD)-1;
}

KOVA_LAYER_API DWORD WINAPI GetCurrentThreadId(void)
{
    return SelfTid();
}

KOVA_LAYER_API HANDLE WINAPI GetCurrentThread(void)
{
    return KOVA_PSEUDO_THREAD;
}

KOVA_LAYER_API DWORD WINAPI GetThreadId(HANDLE Thread)
{
    Ref<kova::k32::Thread> thread = ThreadFromHandle(Thread);
    return thread ? thread->tid.load() : 0;
}

KOVA_LAYER_API BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority)
{
    Ref<Thread> thread = ThreadFromHandle(hThread);
    if (!thread) return FALSE;
    if (!ValidPriority(nPriority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    thread->priority = nPriority;
    return TRUE;
}

KOVA_LAYER_API int WINAPI GetThreadPriority(HANDLE hThread)
{
    Ref<Thread> thread = ThreadFromHandle(hThread);
    if (!thread) return THREAD_PRIORITY_ERROR_RETURN;
    return thread->priority;
}

KOVA_LAYER_API BOOL WINAPI SwitchToThread(void)
{
    sched_yield();
    return TRUE;
}

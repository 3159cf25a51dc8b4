#include "support/FaultGuard.h"

#include <mutex>

namespace kova {
namespace {

/* The releases registered on this thread, oldest first. A recovery runs
 * and drops those registered since its guarded call began. */
struct PendingRelease {
    void (*release)(void *);
    void *context;
};
constexpr int kMaxPendingReleases = 32;
thread_local PendingRelease pendingReleases[kMaxPendingReleases];
thread_local int pendingCount = 0;

/* Called on the recovery path, back in normal context. */
void ReleaseSince(int depth)
{
    while (pendingCount > depth) {
        const PendingRelease r = pendingReleases[--pendingCount];
        r.release(r.context);
    }
}

}  // namespace

ReleaseOnFault::ReleaseOnFault(void (*release)(void *), void *context) noexcept
    : recorded(pendingCount < kMaxPendingReleases)
{
    if (recorded)
        pendingReleases[pendingCount++] = PendingRelease{release, context};
}

ReleaseOnFault::~ReleaseOnFault()
{
    if (recorded)
        --pendingCount;
}

}  // namespace kova

#ifdef _WIN32

#include "platform/win32.h"

#include <malloc.h> /* _resetstkoflw */

namespace kova {
namespace {

struct RecoveryPoint {
    void *env[5]; /* __builtin_setjmp's buffer */
    RecoveryPoint *outer;
    volatile DWORD code; /* the exception that sent the thread back here */
#ifndef _WIN64
    /* Frame-based SEH registrations live on the stack: ones the abandoned
     * frames pushed (code built with __try) must go with them. */
    void *sehChain;
#endif
};

#ifndef _WIN64
/* The head of the thread's SEH chain, the first word of its TIB. */
void *SehChain()
{
    void *head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetSehChain(void *head)
{
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}
#endif

std::once_flag installOnce;
DWORD recoverySlot = TLS_OUT_OF_INDEXES;

bool IsHardwareFault(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
        return true;
    default:
        return false;
    }
}

/* Entered instead of the faulting instruction; never returns. */
__attribute__((noreturn, noinline)) void LandAtRecoveryPoint()
{
    RecoveryPoint *point = static_cast<RecoveryPoint *>(TlsGetValue(recoverySlot));
    __builtin_longjmp(point->env, 1);
}

LONG WINAPI OnException(EXCEPTION_POINTERS *info)
{
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (!IsHardwareFault(code))
        return EXCEPTION_CONTINUE_SEARCH;
    const DWORD lastError = GetLastError();
    RecoveryPoint *point = static_cast<RecoveryPoint *>(TlsGetValue(recoverySlot));
    SetLastError(lastError);
    if (!point)
        return EXCEPTION_CONTINUE_SEARCH;
    point->code = code;
    /* Resume in the landing function, below the faulting frame, as if it
     * had been called there (stack aligned, return-address slot left). */
    CONTEXT *context = info->ContextRecord;
#ifdef _WIN64
    context->Rsp = ((context->Rsp - 256) & ~static_cast<DWORD64>(15)) - 8;
    context->Rip = reinterpret_cast<DWORD64>(&LandAtRecoveryPoint);
#else
    context->Esp = ((context->Esp - 256) & ~static_cast<DWORD>(15)) - 4;
    context->Eip = reinterpret_cast<DWORD>(&LandAtRecoveryPoint);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

void Install()
{
    recoverySlot = TlsAlloc();
    if (recoverySlot != TLS_OUT_OF_INDEXES)
        AddVectoredExceptionHandler(1, OnException);
}

}  // namespace

namespace detail {

bool RunProtected(void (*fn)(void *), void *context) noexcept
{
    std::call_once(installOnce, Install);
    if (recoverySlot == TLS_OUT_OF_INDEXES) {
        /* No slot, no fault recovery: exceptions are still caught. */
        try {
            fn(context);
            return true;
        } catch (...) {
            return false;
        }
    }
    RecoveryPoint point;
    point.outer = static_cast<RecoveryPoint *>(TlsGetValue(recoverySlot));
    point.code = 0;
#ifndef _WIN64
    point.sehChain = SehChain();
#endif
    const int depth = pendingCount;
    if (__builtin_setjmp(point.env)) {
#ifndef _WIN64
        SetSehChain(point.sehChain);
#endif
        TlsSetValue(recoverySlot, point.outer);
        if (point.code == EXCEPTION_STACK_OVERFLOW)
            _resetstkoflw();
        ReleaseSince(depth);
        return false;
    }
    TlsSetValue(recoverySlot, &point);
    bool completed = true;
    try {
        fn(context);
    } catch (...) {
        completed = false;
    }
    TlsSetValue(recoverySlot, point.outer);
    return completed;
}

}  // namespace detail
}  // namespace kova

#else /* POSIX */

#include <setjmp.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>

namespace kova {
namespace {

struct RecoveryPoint {
    sigjmp_buf env;
    RecoveryPoint *outer;
};

/* Read in the signal handler: static TLS, so the read never allocates. */
#if defined(__GNUC__)
__thread RecoveryPoint *innermost __attribute__((tls_model("initial-exec")));
#else
thread_local RecoveryPoint *innermost;
#endif

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int kFaultSignalCount = sizeof kFaultSignals / sizeof kFaultSignals[0];
struct sigaction previousAction[kFaultSignalCount];
std::once_flag installOnce;

/* Hands a fault that no guarded call owns to whoever had the signal before
 * us, so signal handling outside guarded calls is undisturbed. */
void PassOn(int sig, siginfo_t *info, void *ucontext)
{
    int index = 0;
    while (index < kFaultSignalCount && kFaultSignals[index] != sig)
        ++index;
    const struct sigaction &previous = previousAction[index];
    const bool sent = info == nullptr || info->si_code <= 0; /* kill, raise, sigqueue */
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(sig, info, ucontext);
        return;
    }
    if (previous.sa_handler == SIG_IGN && sent)
        return;
    if (previous.sa_handler == SIG_DFL || previous.sa_handler == SIG_IGN) {
        /* Restore the default action. A processor fault recurs when the
         * instruction runs again; a sent signal is sent again. */
        struct sigaction fallback = {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(sig, &fallback, nullptr);
        if (sent)
            raise(sig);
        return;
    }
    previous.sa_handler(sig);
}

void OnFault(int sig, siginfo_t *info, void *ucontext)
{
    RecoveryPoint *point = innermost;
    /* Only a fault the thread raised itself belongs to the guarded call; a
     * signal sent from elsewhere is not the call's doing. */
    if (point != nullptr && info != nullptr && info->si_code > 0)
        siglongjmp(point->env, sig);
    PassOn(sig, info, ucontext);
}

void Install()
{
    for (int i = 0; i < kFaultSignalCount; ++i) {
        struct sigaction action = {};
        action.sa_sigaction = OnFault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(kFaultSignals[i], &action, &previousAction[i]);
    }
}

/* The alternate signal stack of a thread that entered a guarded call and
 * had none: a stack overflow leaves no room on the thread's own stack for
 * the handler. Released when the thread ends. */
struct AltStack {
    void *memory = nullptr;
    size_t size = 0;
    bool checked = false;

    ~AltStack()
    {
        if (!memory)
            return;
        stack_t current;
        if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == memory) {
            stack_t off = {};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
        free(memory);
    }

    void Ensure()
    {
        if (checked)
            return;
        checked = true;
        stack_t current;
        if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
            return; /* the thread's owner set one up */
        size = std::max<size_t>(SIGSTKSZ, 64 * 1024);
        memory = malloc(size);
        if (!memory)
            return;
        stack_t stack = {};
        stack.ss_sp = memory;
        stack.ss_size = size;
        if (sigaltstack(&stack, nullptr) != 0) {
            free(memory);
            memory = nullptr;
        }
    }
};

thread_local AltStack altStack;

}  // namespace

namespace detail {

bool RunProtected(void (*fn)(void *), void *context) noexcept
{
    std::call_once(installOnce, Install);
    altStack.Ensure();
    RecoveryPoint point;
    point.outer = innermost;
    /* The signal mask is not saved here (that costs a system call per
     * guarded call); the recovery path unblocks the one signal the handler
     * was entered with instead. */
    const int depth = pendingCount;
    const int sig = sigsetjmp(point.env, 0);
    if (sig != 0) {
        innermost = point.outer;
        sigset_t unblock;
        sigemptyset(&unblock);
        sigaddset(&unblock, sig);
        pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
        ReleaseSince(depth);
        return false;
    }
    innermost = &point;
    bool completed = true;
    try {
        fn(context);
    } catch (...) {
        completed = false;
    }
    innermost = point.outer;
    return completed;
}

}  // namespace detail
}  // namespace kova

#endif

/* The fault guard on POSIX systems: signal handlers and sigsetjmp
 * recovery points (see FaultGuard.h). */
#ifndef _WIN32

#include "support/FaultGuard.h"
#include "support/FaultGuardRecovery.h"

#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <mutex>

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
    const int depth = detail::PendingReleaseDepth();
    const int sig = sigsetjmp(point.env, 0);
    if (sig != 0) {
        innermost = point.outer;
        sigset_t unblock;
        sigemptyset(&unblock);
        sigaddset(&unblock, sig);
        pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
        detail::ReleaseSince(depth);
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

/* Runs a call and reports whether it completed, surviving whatever the call
 * raises.
 *
 *     LONG result = 1;
 *     if (!kova::RunGuarded([&] { result = decoder->Start(); }))
 *         faulted = true;
 *
 * What it catches, on the calling thread, inside the guarded call:
 * - any C++ exception, of any type (caught with catch (...); the exception
 *   is dropped, its frames unwound as usual);
 * - POSIX: SIGSEGV, SIGBUS, SIGFPE and SIGILL that the thread raised itself
 *   (a bad pointer, a mapped page with nothing behind it, an integer
 *   division by zero, an illegal instruction; a stack overflow arrives as
 *   SIGSEGV, handled on an alternate signal stack);
 * - Windows: the hardware exceptions EXCEPTION_ACCESS_VIOLATION,
 *   EXCEPTION_IN_PAGE_ERROR, EXCEPTION_DATATYPE_MISALIGNMENT,
 *   EXCEPTION_ARRAY_BOUNDS_EXCEEDED, EXCEPTION_INT_DIVIDE_BY_ZERO,
 *   EXCEPTION_INT_OVERFLOW, EXCEPTION_ILLEGAL_INSTRUCTION,
 *   EXCEPTION_PRIV_INSTRUCTION, EXCEPTION_STACK_OVERFLOW and the seven
 *   EXCEPTION_FLT_* traps.
 * What it does not catch: those signals when sent by kill, raise or
 * sigqueue, or raised outside a guarded call or on another thread (they go
 * on to the handler installed before, or the default action); other signals
 * (SIGABRT from abort, SIGPIPE, ...) and other exception codes (breakpoints,
 * RaiseException with a code of its own); exit, hangs and deadlocks; heap
 * damage that shows only later.
 *
 * What a caught processor fault leaks. The faulting call is abandoned where
 * it faulted: destructors of its frames do not run, so whatever those
 * frames held stays so:
 * - memory they allocated, and handles or files they opened;
 * - locks they held (a std::mutex, a critical section, a platform mutex),
 *   except locks of ours taken through ReleaseOnFault, which the guard
 *   releases on the way back, innermost first;
 * - objects half built or half changed: the faulted object's invariants no
 *   longer hold; callers treat it as unusable until it is re-initialised.
 * The guard trades that leak for the process. A C++ exception leaks only
 * what the throwing code's own unwinding leaves behind.
 *
 * How faults are caught:
 *
 * POSIX (FaultGuard_posix.cpp): handlers for SIGSEGV, SIGBUS, SIGFPE and
 * SIGILL are installed once, on the first guarded call. A thread-local chain
 * of recovery points (sigsetjmp) marks the guarded calls on each thread,
 * innermost first; a fault on a thread inside a guarded call jumps back to
 * its innermost one. A fault anywhere else goes on to the handler that was
 * installed before, or to the default action, so signal handling outside
 * guarded calls is as it was. Each thread that enters a guarded call gets
 * an alternate signal stack (unless it has one already), so a stack
 * overflow still reaches the handler.
 *
 * Windows (FaultGuard_win32.cpp; mingw-w64 has no __try/__except): a
 * vectored exception handler, registered once, sees a hardware exception
 * before any frame-based handler. If the faulting thread is inside a
 * guarded call (its recovery point lives in a TlsAlloc slot, which the
 * handler can read without allocating) the handler points the thread's
 * context at a small landing function and resumes it; the landing function
 * longjmps to the recovery point. Resuming through the context rather than
 * jumping out of the handler lets the system finish its exception dispatch
 * normally, and GCC's __builtin_setjmp/__builtin_longjmp restore only
 * registers and stack, never an SEH unwind, so they behave the same on i686
 * (DWARF exceptions) and x86_64 (SEH exceptions). On i686 the recovery also
 * drops the frame-based SEH registrations the abandoned frames left in the
 * thread's chain. After a stack overflow the guard page is re-armed with
 * _resetstkoflw. The price of a first-chance handler: guarded code that
 * catches its own hardware faults with __except (memory probing) loses them
 * to the guard, and the guarded call ends there. The alternative, a
 * frame-based handler, needs SEH registration that mingw-w64 supports on
 * neither target in C++ code.
 *
 * The releases (ReleaseOnFault) are shared by both (FaultGuard.cpp). */
#ifndef KOVA_SUPPORT_FAULTGUARD_H
#define KOVA_SUPPORT_FAULTGUARD_H

#include <utility>

namespace kova {
namespace detail {
/* Calls fn(context) and returns true when it returned normally, false when
 * it threw or faulted. */
bool RunProtected(void (*fn)(void *), void *context) noexcept;
}  // namespace detail

/* While it lives, a fault that abandons the innermost enclosing guarded
 * call runs release(context) on the recovery path, after the later ones.
 * Outside any guarded call it is only recorded and dropped again. A thread holds at most 32 at
 * a time; further ones are not recorded. Not for use from a signal or
 * exception handler. */
class ReleaseOnFault {
public:
    ReleaseOnFault(void (*release)(void *), void *context) noexcept;
    ~ReleaseOnFault();
    ReleaseOnFault(const ReleaseOnFault &) = delete;
    ReleaseOnFault &operator=(const ReleaseOnFault &) = delete;

private:
    bool recorded;
};

/* Runs f() and returns true when it returned normally, false when it threw
 * a C++ exception or raised a processor fault. Guards nest. */
template <class F>
bool RunGuarded(F &&f) noexcept
{
    auto call = [&f] { std::forward<F>(f)(); };
    return detail::RunProtected([](void *p) { (*static_cast<decltype(call) *>(p))(); }, &call);
}

}  // namespace kova

#endif

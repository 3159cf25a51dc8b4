/* The fault guard on Windows: a vectored exception handler and a landing
 * function (see FaultGuard.h). */
#ifdef _WIN32

#include "support/FaultGuard.h"
#include "support/FaultGuardRecovery.h"

#include <mutex>

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
    const int depth = detail::PendingReleaseDepth();
    if (__builtin_setjmp(point.env)) {
#ifndef _WIN64
        SetSehChain(point.sehChain);
#endif
        TlsSetValue(recoverySlot, point.outer);
        if (point.code == EXCEPTION_STACK_OVERFLOW)
            _resetstkoflw();
        detail::ReleaseSince(depth);
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

#endif

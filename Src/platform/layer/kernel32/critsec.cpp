/* Critical sections: a futex lock in the CRITICAL_SECTION's own storage,
 * re-entrant for the owner. LockCount is the lock word: 0 free, 1 held,
 * 2 held with sleepers (so an uncontended leave makes no system call). */
#include "kernel32/object.h"

#include "fault/fault.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr ULONG_PTR kMaxSpin = 1u << 16;

void FutexWait(LONG *word, LONG expected)
{
    syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void FutexWake(LONG *word)
{
    syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

bool TryLockWord(LONG *word)
{
    LONG expected = 0;
    return __atomic_compare_exchange_n(word, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

void LockWord(LONG *word, ULONG_PTR spin)
{
    if (TryLockWord(word)) return;
    for (ULONG_PTR i = 0; i < spin; ++i) {
        if (__atomic_load_n(word, __ATOMIC_RELAXED) == 0 && TryLockWord(word)) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    LONG c = __atomic_exchange_n(word, 2, __ATOMIC_ACQUIRE);
    while (c != 0) {
        FutexWait(word, 2);
        c = __atomic_exchange_n(word, 2, __ATOMIC_ACQUIRE);
    }
}

HANDLE Owner(const CRITICAL_SECTION *cs) { return __atomic_load_n(&cs->OwningThread, __ATOMIC_RELAXED); }

void SetOwner(CRITICAL_SECTION *cs, HANDLE owner) { __atomic_store_n(&cs->OwningThread, owner, __ATOMIC_RELAXED); }

HANDLE Me() { return (HANDLE)(ULONG_PTR)kova::k32::SelfTid(); }

}  // namespace

KOVA_LAYER_API VOID WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    InitializeCriticalSectionAndSpinCount(lpCriticalSection, 0);
}

KOVA_LAYER_API BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                                 DWORD dwSpinCount)
{
    KOVA_FAULT_POINT("InitializeCriticalSectionAndSpinCount", BOOL);
    if (!lpCriticalSection) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpCriticalSection->DebugInfo = nullptr;
    lpCriticalSection->LockCount = 0;
    lpCriticalSection->RecursionCount = 0;
    lpCriticalSection->OwningThread = nullptr;
    lpCriticalSection->LockSemaphore = nullptr;
    lpCriticalSection->SpinCount = dwSpinCount < kMaxSpin ? dwSpinCount : kMaxSpin;
    return TRUE;
}

KOVA_LAYER_API DWORD WINAPI SetCriticalSectionSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount)
{
    DWORD previous = (DWORD)lpCriticalSection->SpinCount;
    lpCriticalSection->SpinCount = dwSpinCount < kMaxSpin ? dwSpinCount : kMaxSpin;
    return previous;
}

KOVA_LAYER_API VOID WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    HANDLE me = Me();
    if (Owner(lpCriticalSection) == me) {
        ++lpCriticalSection->RecursionCount;
        return;
    }
    LockWord(&lpCriticalSection->LockCount, lpCriticalSection->SpinCount);
    SetOwner(lpCriticalSection, me);
    lpCriticalSection->RecursionCount = 1;
}

KOVA_LAYER_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    HANDLE me = Me();
    if (Owner(lpCriticalSection) == me) {
        ++lpCriticalSection->RecursionCount;
        return TRUE;
    }
    if (!TryLockWord(&lpCriticalSection->LockCount)) return FALSE;
    SetOwner(lpCriticalSection, me);
    lpCriticalSection->RecursionCount = 1;
    return TRUE;
}

KOVA_LAYER_API VOID WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    /* Leaving a section one does not own would corrupt it for its owner;
     * Windows leaves that undefined, the layer ignores it. */
    if (Owner(lpCriticalSection) != Me()) return;
    if (--lpCriticalSection->RecursionCount > 0) return;
    SetOwner(lpCriticalSection, nullptr);
    if (__atomic_exchange_n(&lpCriticalSection->LockCount, 0, __ATOMIC_RELEASE) == 2)
        FutexWake(&lpCriticalSection->LockCount);
}

KOVA_LAYER_API VOID WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    if (!lpCriticalSection) return;
    lpCriticalSection->LockCount = 0;
    lpCriticalSection->RecursionCount = 0;
    lpCriticalSection->OwningThread = nullptr;
}

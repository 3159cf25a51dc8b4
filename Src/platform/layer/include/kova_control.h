/* The platform layer's control interface: what tests need that Win32 has
 * no call for. Linux only; never part of a Windows build.
 *
 * Fault injection: arm a named layer call (its Win32 name, e.g.
 * "CreateThread", "CreateEventA", "waveOutOpen") to fail. While armed, the
 * call does nothing but return `result` (cast to its return type) after
 * SetLastError(lastError). `count` is the number of calls that fail
 * (-1: every call until KovaControl_ClearFaults). Arming a name again
 * replaces its previous arming. Thread-safe; the calls affected are those of
 * every thread of the process.
 *
 * kernel32 and user32 calls that can be armed: CreateThread,
 * _beginthreadex, CreateProcessA, CreateMutexA, OpenMutexA, ReleaseMutex,
 * CreateEventA, SetEvent, ResetEvent, CreateSemaphoreA, ReleaseSemaphore,
 * InitializeCriticalSectionAndSpinCount, WaitForSingleObject,
 * WaitForMultipleObjects, CreateTimerQueue, CreateTimerQueueTimer,
 * ChangeTimerQueueTimer, PostThreadMessageA, GetMessageA, PeekMessageA.
 * Other parts of the layer list theirs beside their declarations. */
#ifndef KOVA_CONTROL_H
#define KOVA_CONTROL_H

#ifdef _WIN32
#error "kova_control.h is the Linux platform layer's test interface"
#endif

#include "kova/win_types.h"

KOVA_BEGIN_DECLS

KOVA_LAYER_API void KovaControl_FailCall(const char *callName, LONG_PTR result, DWORD lastError, int count);
KOVA_LAYER_API void KovaControl_ClearFaults(void);
/* How many calls of callName failed by injection since the process started
 * (or since the last KovaControl_ClearFaults). */
KOVA_LAYER_API int KovaControl_FaultsTaken(const char *callName);

/* How many entries the process's handle table holds now (every kernel
 * object handle, timer queues and timers included): a long-running
 * program compares it over time to find handles it never closed. */
KOVA_LAYER_API LONG KovaControl_OpenHandles(void);

KOVA_END_DECLS

#endif

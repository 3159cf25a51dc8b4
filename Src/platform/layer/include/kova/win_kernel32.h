/* kernel32 declarations of the platform layer: handles, threads, processes,
 * synchronisation objects, timer queues and time.
 *
 * Behaviour follows Win32. Where the layer cannot or will not copy Windows,
 * the declaration below says so. Files, directories, module paths and global
 * memory live in win_file.h. */
#ifndef KOVA_WIN_KERNEL32_H
#define KOVA_WIN_KERNEL32_H

#include "win_types.h"

KOVA_BEGIN_DECLS

typedef BYTE BOOLEAN;
typedef BOOLEAN *PBOOLEAN;

/* ---- Structures ------------------------------------------------------- */

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

/* A critical section is a plain struct with the Windows layout; the lock
 * lives in its storage (no allocation, never fails to initialise).
 * LockCount is the lock word (0 free, 1 held, 2 held with sleepers),
 * OwningThread the owner's thread id, RecursionCount the owner's depth.
 * The fields are the layer's own; read them only through the calls below. */
typedef struct _RTL_CRITICAL_SECTION_DEBUG *PRTL_CRITICAL_SECTION_DEBUG;
typedef struct _RTL_CRITICAL_SECTION {
    PRTL_CRITICAL_SECTION_DEBUG DebugInfo;
    LONG LockCount;
    LONG RecursionCount;
    HANDLE OwningThread;
    HANDLE LockSemaphore;
    ULONG_PTR SpinCount;
} RTL_CRITICAL_SECTION, *PRTL_CRITICAL_SECTION;
typedef RTL_CRITICAL_SECTION CRITICAL_SECTION;
typedef PRTL_CRITICAL_SECTION PCRITICAL_SECTION;
typedef PRTL_CRITICAL_SECTION LPCRITICAL_SECTION;

typedef DWORD (WINAPI *PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

typedef VOID (CALLBACK *WAITORTIMERCALLBACKFUNC)(PVOID lpParameter, BOOLEAN TimerOrWaitFired);
typedef WAITORTIMERCALLBACKFUNC WAITORTIMERCALLBACK;

/* ---- Constants -------------------------------------------------------- */

#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206L
#endif
#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267L
#endif
#ifndef ERROR_INVALID_THREAD_ID
#define ERROR_INVALID_THREAD_ID 1444L
#endif

#define STATUS_WAIT_0 ((DWORD)0x00000000)
#define STATUS_ABANDONED_WAIT_0 ((DWORD)0x00000080)
#define STATUS_PENDING ((DWORD)0x00000103)
#define WAIT_OBJECT_0 ((STATUS_WAIT_0) + 0)
#define WAIT_ABANDONED ((STATUS_ABANDONED_WAIT_0) + 0)
#define WAIT_ABANDONED_0 ((STATUS_ABANDONED_WAIT_0) + 0)
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define STILL_ACTIVE STATUS_PENDING
#define MAXIMUM_WAIT_OBJECTS 64
#define MAXLONG 0x7fffffff

#define SYNCHRONIZE 0x00100000L
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#define DELETE 0x00010000L
#define MUTANT_QUERY_STATE 0x0001
#define MUTEX_MODIFY_STATE MUTANT_QUERY_STATE
#define MUTEX_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | MUTANT_QUERY_STATE)
#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3)
#define SEMAPHORE_MODIFY_STATE 0x0002
#define SEMAPHORE_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3)
#define THREAD_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xffff)
#define PROCESS_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xffff)
#define DUPLICATE_CLOSE_SOURCE 0x00000001
#define DUPLICATE_SAME_ACCESS 0x00000002

#define CREATE_SUSPENDED 0x00000004
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000
#define DEBUG_PROCESS 0x00000001
#define CREATE_NEW_CONSOLE 0x00000010
#define NORMAL_PRIORITY_CLASS 0x00000020
#define CREATE_NO_WINDOW 0x08000000
#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESTDHANDLES 0x00000100

#define THREAD_BASE_PRIORITY_LOWRT 15
#define THREAD_BASE_PRIORITY_MAX 2
#define THREAD_BASE_PRIORITY_MIN (-2)
#define THREAD_BASE_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST THREAD_BASE_PRIORITY_MIN
#define THREAD_PRIORITY_BELOW_NORMAL (THREAD_PRIORITY_LOWEST + 1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_HIGHEST THREAD_BASE_PRIORITY_MAX
#define THREAD_PRIORITY_ABOVE_NORMAL (THREAD_PRIORITY_HIGHEST - 1)
#define THREAD_PRIORITY_TIME_CRITICAL THREAD_BASE_PRIORITY_LOWRT
#define THREAD_PRIORITY_IDLE THREAD_BASE_PRIORITY_IDLE
#define THREAD_PRIORITY_ERROR_RETURN (MAXLONG)

#define WT_EXECUTEDEFAULT 0x00000000
#define WT_EXECUTEINIOTHREAD 0x00000001
#define WT_EXECUTEINUITHREAD 0x00000002
#define WT_EXECUTEINWAITTHREAD 0x00000004
#define WT_EXECUTEONLYONCE 0x00000008
#define WT_EXECUTELONGFUNCTION 0x00000010
#define WT_EXECUTEINTIMERTHREAD 0x00000020
#define WT_EXECUTEINPERSISTENTIOTHREAD 0x00000040
#define WT_EXECUTEINPERSISTENTTHREAD 0x00000080
#define WT_TRANSFER_IMPERSONATION 0x00000100

/* ---- Handles ---------------------------------------------------------- */

/* Closes a thread, process, mutex, event or semaphore handle. The object
 * lives on while other handles (or, for a thread, the running thread) use
 * it. Timer queues and their timers are not kernel handles: close them with
 * DeleteTimerQueueEx / DeleteTimerQueueTimer; CloseHandle refuses them with
 * ERROR_INVALID_HANDLE, as does it any unknown handle and the pseudo
 * handles' misuse. */
KOVA_LAYER_API BOOL WINAPI CloseHandle(HANDLE hObject);
/* Within the current process only (both process handles must be
 * GetCurrentProcess()). Turns the GetCurrentThread()/GetCurrentProcess()
 * pseudo handles into real ones. */
KOVA_LAYER_API BOOL WINAPI DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                                           HANDLE hTargetProcessHandle, LPHANDLE lpTargetHandle,
                                           DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions);

/* ---- Waiting ---------------------------------------------------------- */

/* Threads and processes signal when they end; mutexes when unowned;
 * events when set; semaphores while their count is above zero. A mutex
 * whose owner thread (or owner process, for a named mutex) ended without
 * releasing it is acquired with WAIT_ABANDONED(_0 + i). */
KOVA_LAYER_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
KOVA_LAYER_API DWORD WINAPI WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable);
KOVA_LAYER_API DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                                   DWORD dwMilliseconds);
KOVA_LAYER_API DWORD WINAPI WaitForMultipleObjectsEx(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                                     DWORD dwMilliseconds, BOOL bAlertable);
KOVA_LAYER_API VOID WINAPI Sleep(DWORD dwMilliseconds);
/* No asynchronous procedure calls exist in the layer: SleepEx never
 * returns WAIT_IO_COMPLETION. */
KOVA_LAYER_API DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL bAlertable);

/* ---- Threads ---------------------------------------------------------- */

KOVA_LAYER_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                          LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                          DWORD dwCreationFlags, LPDWORD lpThreadId);
/* Ends the calling thread: C++ destructors on its stack run (forced unwind). */
KOVA_LAYER_API VOID WINAPI ExitThread(DWORD dwExitCode) __attribute__((noreturn));
/* Not supported: killing a thread asynchronously leaves the locks it holds
 * and the heap in an undefined state, and POSIX has no safe equivalent.
 * Always returns FALSE with ERROR_NOT_SUPPORTED; the thread keeps running.
 * Ask the thread to end (an event, a message) and wait on its handle. */
KOVA_LAYER_API BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode);
KOVA_LAYER_API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
/* Resumes a thread created with CREATE_SUSPENDED. Suspending a running
 * thread is not supported (SuspendThread fails with ERROR_NOT_SUPPORTED). */
KOVA_LAYER_API DWORD WINAPI ResumeThread(HANDLE hThread);
KOVA_LAYER_API DWORD WINAPI SuspendThread(HANDLE hThread);
/* The system-wide Linux thread id: unique, fits in 32 bits. */
KOVA_LAYER_API DWORD WINAPI GetCurrentThreadId(void);
/* The pseudo handle (HANDLE)-2: means "the calling thread", needs no close. */
KOVA_LAYER_API HANDLE WINAPI GetCurrentThread(void);
KOVA_LAYER_API DWORD WINAPI GetThreadId(HANDLE Thread);
/* Priorities are accepted and recorded (GetThreadPriority returns them);
 * the Linux scheduler is not changed. */
KOVA_LAYER_API BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority);
KOVA_LAYER_API int WINAPI GetThreadPriority(HANDLE hThread);
KOVA_LAYER_API BOOL WINAPI SwitchToThread(void);

/* ---- Processes -------------------------------------------------------- */

/* Runs a program: lpApplicationName if given, else the first token of the
 * command line (quotes honoured), searched in PATH when it has no slash; a
 * missing ".exe" suffix is tried both ways. The child gets the command line
 * split into arguments with the Windows quoting rules and inherits the
 * standard streams (no redirection). hThread of the result is a handle
 * whose exit code follows the child's. */
KOVA_LAYER_API BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                          LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                          LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                          DWORD dwCreationFlags, LPVOID lpEnvironment,
                                          LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                                          LPPROCESS_INFORMATION lpProcessInformation);
KOVA_LAYER_API BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
/* Kills the process (SIGKILL); its exit code becomes uExitCode. */
KOVA_LAYER_API BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode);
/* Runs the process's exit handlers, then ends it with uExitCode. */
KOVA_LAYER_API VOID WINAPI ExitProcess(UINT uExitCode) __attribute__((noreturn));
/* The pseudo handle (HANDLE)-1. */
KOVA_LAYER_API HANDLE WINAPI GetCurrentProcess(void);
KOVA_LAYER_API DWORD WINAPI GetCurrentProcessId(void);
KOVA_LAYER_API DWORD WINAPI GetProcessId(HANDLE Process);
/* The process's arguments joined with Windows quoting. */
KOVA_LAYER_API LPSTR WINAPI GetCommandLineA(void);

/* ---- Mutexes, events, semaphores -------------------------------------- */

/* Unnamed mutexes live in the process. A named mutex is one lock for every
 * thread of every process that opens the name (shared memory); it lives
 * while any process holds a handle to it. Names are case-sensitive; the
 * "Global\" and "Local\" prefixes name the same object. */
KOVA_LAYER_API HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                                          LPCSTR lpName);
KOVA_LAYER_API HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
KOVA_LAYER_API BOOL WINAPI ReleaseMutex(HANDLE hMutex);

/* Named events and semaphores are shared within the process only. */
KOVA_LAYER_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                          BOOL bInitialState, LPCSTR lpName);
KOVA_LAYER_API HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
KOVA_LAYER_API BOOL WINAPI SetEvent(HANDLE hEvent);
KOVA_LAYER_API BOOL WINAPI ResetEvent(HANDLE hEvent);
/* Releases the threads waiting at this moment (all of them for a manual
 * event, one for an auto event) and leaves the event reset. */
KOVA_LAYER_API BOOL WINAPI PulseEvent(HANDLE hEvent);

KOVA_LAYER_API HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount,
                                              LONG lMaximumCount, LPCSTR lpName);
KOVA_LAYER_API HANDLE WINAPI OpenSemaphoreA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
KOVA_LAYER_API BOOL WINAPI ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount);

/* ---- Critical sections ------------------------------------------------ */

KOVA_LAYER_API VOID WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
KOVA_LAYER_API BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                                 DWORD dwSpinCount);
KOVA_LAYER_API DWORD WINAPI SetCriticalSectionSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount);
KOVA_LAYER_API VOID WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
KOVA_LAYER_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
KOVA_LAYER_API VOID WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
KOVA_LAYER_API VOID WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

/* ---- Timer queues ----------------------------------------------------- */

/* Each timer queue runs one timer thread; callbacks run on worker threads
 * (or on the timer thread itself with WT_EXECUTEINTIMERTHREAD). A NULL
 * queue means the process's default queue. DueTime and Period are in
 * milliseconds; Period 0 (or WT_EXECUTEONLYONCE) fires once.
 *
 * Deleting (DeleteTimerQueueTimer, DeleteTimerQueueEx) stops further
 * callbacks at once. CompletionEvent INVALID_HANDLE_VALUE waits for the
 * callbacks in progress; NULL does not wait and, if a callback is running,
 * returns FALSE with ERROR_IO_PENDING (the deletion still happens); an
 * event handle is set once the last callback has finished (and the call
 * returns FALSE with ERROR_IO_PENDING if that is later).
 * Unlike Windows, which deadlocks, a blocking delete made from inside one
 * of the timer's own callbacks (or one of the queue's, for
 * DeleteTimerQueueEx) does not wait for the calling callback itself: it
 * waits for the others and returns TRUE; the calling callback is the last
 * to run. */
KOVA_LAYER_API HANDLE WINAPI CreateTimerQueue(void);
KOVA_LAYER_API BOOL WINAPI CreateTimerQueueTimer(PHANDLE phNewTimer, HANDLE TimerQueue, WAITORTIMERCALLBACK Callback,
                                                 PVOID Parameter, DWORD DueTime, DWORD Period, ULONG Flags);
/* As on Windows, a one-shot timer that has already fired is not re-armed
 * (the call succeeds and changes nothing). */
KOVA_LAYER_API BOOL WINAPI ChangeTimerQueueTimer(HANDLE TimerQueue, HANDLE Timer, ULONG DueTime, ULONG Period);
KOVA_LAYER_API BOOL WINAPI DeleteTimerQueueTimer(HANDLE TimerQueue, HANDLE Timer, HANDLE CompletionEvent);
KOVA_LAYER_API BOOL WINAPI DeleteTimerQueueEx(HANDLE TimerQueue, HANDLE CompletionEvent);
KOVA_LAYER_API BOOL WINAPI DeleteTimerQueue(HANDLE TimerQueue);

/* ---- Time ------------------------------------------------------------- */

/* Milliseconds of the monotonic clock; wraps after 49.7 days. */
KOVA_LAYER_API DWORD WINAPI GetTickCount(void);
KOVA_LAYER_API ULONGLONG WINAPI GetTickCount64(void);
/* Nanosecond ticks of the monotonic clock: the frequency is 1e9. */
KOVA_LAYER_API BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *lpPerformanceCount);
KOVA_LAYER_API BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *lpFrequency);
KOVA_LAYER_API VOID WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
KOVA_LAYER_API VOID WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);
KOVA_LAYER_API VOID WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);

/* ---- Errors ----------------------------------------------------------- */

KOVA_LAYER_API DWORD WINAPI GetLastError(void);
KOVA_LAYER_API void WINAPI SetLastError(DWORD code);

/* ---- Interlocked operations (full barriers, as on x86 Windows) -------- */

static inline LONG InterlockedIncrement(LONG volatile *Addend)
{
    return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
static inline LONG InterlockedDecrement(LONG volatile *Addend)
{
    return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
static inline LONG InterlockedExchange(LONG volatile *Target, LONG Value)
{
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
static inline LONG InterlockedExchangeAdd(LONG volatile *Addend, LONG Value)
{
    return __atomic_fetch_add(Addend, Value, __ATOMIC_SEQ_CST);
}
static inline LONG InterlockedCompareExchange(LONG volatile *Destination, LONG Exchange, LONG Comperand)
{
    __atomic_compare_exchange_n(Destination, &Comperand, Exchange, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return Comperand;
}
static inline LONGLONG InterlockedIncrement64(LONGLONG volatile *Addend)
{
    return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
static inline LONGLONG InterlockedDecrement64(LONGLONG volatile *Addend)
{
    return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
static inline LONGLONG InterlockedExchange64(LONGLONG volatile *Target, LONGLONG Value)
{
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
static inline LONGLONG InterlockedExchangeAdd64(LONGLONG volatile *Addend, LONGLONG Value)
{
    return __atomic_fetch_add(Addend, Value, __ATOMIC_SEQ_CST);
}
static inline LONGLONG InterlockedCompareExchange64(LONGLONG volatile *Destination, LONGLONG Exchange,
                                                    LONGLONG Comperand)
{
    __atomic_compare_exchange_n(Destination, &Comperand, Exchange, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return Comperand;
}
static inline PVOID InterlockedExchangePointer(PVOID volatile *Target, PVOID Value)
{
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
static inline PVOID InterlockedCompareExchangePointer(PVOID volatile *Destination, PVOID Exchange,
                                                      PVOID Comperand)
{
    __atomic_compare_exchange_n(Destination, &Comperand, Exchange, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return Comperand;
}
static inline void MemoryBarrier(void)
{
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

KOVA_END_DECLS

/* The ANSI names, as <windows.h> maps them without UNICODE. */
#ifndef UNICODE
#define CreateMutex CreateMutexA
#define OpenMutex OpenMutexA
#define CreateEvent CreateEventA
#define OpenEvent OpenEventA
#define CreateSemaphore CreateSemaphoreA
#define OpenSemaphore OpenSemaphoreA
#define CreateProcess CreateProcessA
#define GetCommandLine GetCommandLineA
#define STARTUPINFO STARTUPINFOA
#define LPSTARTUPINFO LPSTARTUPINFOA
#endif

#endif

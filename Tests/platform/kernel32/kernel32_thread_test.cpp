/* Conformance: kernel32 threads. */
#include <windows.h>

#include "wintest.h"

static HANDLE g_gate;
static LONG g_after_exit;
static LONG g_ran;

static DWORD WINAPI return_param(LPVOID arg)
{
    WaitForSingleObject(g_gate, 10000);
    return (DWORD)(ULONG_PTR)arg;
}

static void leave_early(DWORD code)
{
    ExitThread(code);
}

static DWORD WINAPI exit_thread(LPVOID arg)
{
    leave_early((DWORD)(ULONG_PTR)arg);
    InterlockedIncrement(&g_after_exit);  // never reached
    return 0;
}

static DWORD WINAPI report_id(LPVOID arg)
{
    *(DWORD *)arg = GetCurrentThreadId();
    return 0;
}

static DWORD WINAPI mark_ran(LPVOID arg)
{
    (void)arg;
    InterlockedIncrement(&g_ran);
    return 0;
}

static void test_exit_codes(void)
{
    DWORD code = 0;
    g_gate = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE h = CreateThread(NULL, 0, return_param, (LPVOID)(ULONG_PTR)1234, 0, NULL);
    ok(h != NULL, "CreateThread failed\n");
    ok(GetExitCodeThread(h, &code) && code == STILL_ACTIVE, "running thread: code %u\n", (unsigned)code);
    ok(WaitForSingleObject(h, 50) == WAIT_TIMEOUT, "running thread handle signalled\n");
    SetEvent(g_gate);
    ok(WaitForSingleObject(h, 10000) == WAIT_OBJECT_0, "ended thread not signalled\n");
    ok(WaitForSingleObject(h, 0) == WAIT_OBJECT_0, "ended thread signalled only once\n");
    ok(GetExitCodeThread(h, &code) && code == 1234, "exit code %u\n", (unsigned)code);
    CloseHandle(h);

    /* ExitThread ends the thread at once, with its code. */
    h = CreateThread(NULL, 0, exit_thread, (LPVOID)(ULONG_PTR)77, 0, NULL);
    ok(WaitForSingleObject(h, 10000) == WAIT_OBJECT_0, "ExitThread thread did not end\n");
    ok(GetExitCodeThread(h, &code) && code == 77, "ExitThread code %u\n", (unsigned)code);
    ok(g_after_exit == 0, "code after ExitThread ran\n");
    CloseHandle(h);

    CloseHandle(g_gate);

    /* A thread whose handle was closed early still runs. */
    g_ran = 0;
    h = CreateThread(NULL, 0, mark_ran, NULL, 0, NULL);
    ok(CloseHandle(h), "early close\n");
    for (int i = 0; i < 500 && g_ran == 0; i++) Sleep(10);
    ok(g_ran == 1, "thread with a closed handle did not run\n");

    SetLastError(0xdeadbeef);
    ok(!GetExitCodeThread(NULL, &code) && GetLastError() == ERROR_INVALID_HANDLE,
       "GetExitCodeThread(NULL): error %u\n", (unsigned)GetLastError());
}

static void test_ids(void)
{
    DWORD reported = 0, returned = 0;
    HANDLE h = CreateThread(NULL, 0, report_id, &reported, 0, &returned);
    ok(WaitForSingleObject(h, 10000) == WAIT_OBJECT_0, "thread did not end\n");
    ok(returned != 0 && returned == reported, "thread id %u, thread saw %u\n", (unsigned)returned,
       (unsigned)reported);
    ok(GetThreadId(h) == returned, "GetThreadId %u\n", (unsigned)GetThreadId(h));
    ok(returned != GetCurrentThreadId(), "two threads share an id\n");
    CloseHandle(h);

    /* The current thread's pseudo handle: never signalled while it runs. */
    ok(GetCurrentThread() == (HANDLE)(LONG_PTR)-2, "GetCurrentThread %p\n", GetCurrentThread());
    ok(GetCurrentProcess() == (HANDLE)(LONG_PTR)-1, "GetCurrentProcess %p\n", GetCurrentProcess());
    ok(WaitForSingleObject(GetCurrentThread(), 0) == WAIT_TIMEOUT, "own thread signalled\n");
    ok(GetThreadId(GetCurrentThread()) == GetCurrentThreadId(), "GetThreadId of the pseudo handle\n");
    DWORD code = 0;
    ok(GetExitCodeThread(GetCurrentThread(), &code) && code == STILL_ACTIVE, "own exit code %u\n",
       (unsigned)code);

    /* A real handle to oneself, as another thread would use it. */
    HANDLE self = NULL;
    ok(DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                       DUPLICATE_SAME_ACCESS),
       "DuplicateHandle of the current thread\n");
    ok(self != NULL && self != GetCurrentThread(), "duplicate is still a pseudo handle\n");
    ok(GetThreadId(self) == GetCurrentThreadId(), "duplicate names another thread\n");
    CloseHandle(self);
}

static void test_suspended(void)
{
    g_ran = 0;
    HANDLE h = CreateThread(NULL, 0, mark_ran, NULL, CREATE_SUSPENDED, NULL);
    ok(h != NULL, "CreateThread(CREATE_SUSPENDED) failed\n");
    Sleep(100);
    ok(g_ran == 0, "suspended thread ran\n");
    ok(WaitForSingleObject(h, 0) == WAIT_TIMEOUT, "suspended thread signalled\n");
    ok(ResumeThread(h) == 1, "ResumeThread of a suspended thread\n");
    ok(WaitForSingleObject(h, 10000) == WAIT_OBJECT_0, "resumed thread did not end\n");
    ok(g_ran == 1, "resumed thread did not run\n");
    CloseHandle(h);
}

static void test_priority(void)
{
    HANDLE gate = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_gate = gate;
    HANDLE h = CreateThread(NULL, 0, return_param, NULL, 0, NULL);
    ok(GetThreadPriority(h) == THREAD_PRIORITY_NORMAL, "new thread priority %d\n", GetThreadPriority(h));
    ok(SetThreadPriority(h, THREAD_PRIORITY_ABOVE_NORMAL), "SetThreadPriority\n");
    ok(GetThreadPriority(h) == THREAD_PRIORITY_ABOVE_NORMAL, "priority %d\n", GetThreadPriority(h));
    ok(SetThreadPriority(h, THREAD_PRIORITY_LOWEST) && GetThreadPriority(h) == THREAD_PRIORITY_LOWEST,
       "lowest priority\n");
    SetLastError(0xdeadbeef);
    ok(!SetThreadPriority(h, 1000) && GetLastError() == ERROR_INVALID_PARAMETER, "priority 1000: error %u\n",
       (unsigned)GetLastError());
    ok(GetThreadPriority(GetCurrentThread()) == THREAD_PRIORITY_NORMAL, "own priority\n");
    SetEvent(gate);
    WaitForSingleObject(h, 10000);
    CloseHandle(h);
    CloseHandle(gate);

    SetLastError(0xdeadbeef);
    ok(GetThreadPriority(NULL) == THREAD_PRIORITY_ERROR_RETURN && GetLastError() == ERROR_INVALID_HANDLE,
       "priority of NULL\n");
}

static void test_many_threads(void)
{
    HANDLE threads[MAXIMUM_WAIT_OBJECTS];
    g_gate = CreateEventA(NULL, TRUE, TRUE, NULL);
    for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; i++)
        threads[i] = CreateThread(NULL, 64 * 1024, return_param, (LPVOID)(ULONG_PTR)(i + 1), 0, NULL);
    ok(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, threads, TRUE, 30000) == WAIT_OBJECT_0,
       "64 threads did not end\n");
    int right = 0;
    for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; i++) {
        DWORD code = 0;
        if (GetExitCodeThread(threads[i], &code) && code == (DWORD)(i + 1)) right++;
        CloseHandle(threads[i]);
    }
    ok(right == MAXIMUM_WAIT_OBJECTS, "%d of 64 exit codes right\n", right);
    CloseHandle(g_gate);
}

static void test_terminate_policy(void)
{
    if (!wintest_is_layer()) {
        skip("TerminateThread kills on Windows; the refusal is the layer's policy\n");
        return;
    }
    g_gate = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE h = CreateThread(NULL, 0, return_param, (LPVOID)(ULONG_PTR)5, 0, NULL);
    SetLastError(0xdeadbeef);
    ok(!TerminateThread(h, 9) && GetLastError() == ERROR_NOT_SUPPORTED, "TerminateThread: error %u\n",
       (unsigned)GetLastError());
    SetEvent(g_gate);
    DWORD code = 0;
    ok(WaitForSingleObject(h, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(h, &code) && code == 5,
       "thread did not carry on after a refused TerminateThread: %u\n", (unsigned)code);
    CloseHandle(h);
    CloseHandle(g_gate);
}

START_TEST(kernel32_thread)
{
    test_exit_codes();
    test_ids();
    test_suspended();
    test_priority();
    test_many_threads();
    test_terminate_policy();
}

/* The layer's control interface: fault injection into named calls (Linux
 * only: the layer's own interface). */
#include <windows.h>

#include "wintest.h"

#include <kova_control.h>

static void test_count(void)
{
    KovaControl_ClearFaults();
    KovaControl_FailCall("CreateEventA", 0, ERROR_NOT_ENOUGH_MEMORY, 2);
    for (int i = 0; i < 2; i++) {
        SetLastError(0);
        HANDLE e = CreateEventA(NULL, FALSE, FALSE, NULL);
        ok(e == NULL && GetLastError() == ERROR_NOT_ENOUGH_MEMORY, "armed call %d: %p error %u\n", i, e,
           (unsigned)GetLastError());
    }
    HANDLE e = CreateEventA(NULL, FALSE, FALSE, NULL);
    ok(e != NULL, "third call still failed\n");
    CloseHandle(e);
    ok(KovaControl_FaultsTaken("CreateEventA") == 2, "taken %d\n", KovaControl_FaultsTaken("CreateEventA"));

    /* Other calls are not touched. */
    KovaControl_FailCall("CreateMutexA", 0, ERROR_ACCESS_DENIED, 1);
    e = CreateEventA(NULL, FALSE, FALSE, NULL);
    ok(e != NULL, "an unarmed call failed\n");
    CloseHandle(e);
    KovaControl_ClearFaults();
    HANDLE m = CreateMutexA(NULL, FALSE, NULL);
    ok(m != NULL, "cleared fault still fired\n");
    CloseHandle(m);
    ok(KovaControl_FaultsTaken("CreateMutexA") == 0, "counts not cleared\n");
}

static DWORD WINAPI noop(LPVOID arg)
{
    (void)arg;
    return 0;
}

static void test_until_cleared(void)
{
    KovaControl_FailCall("CreateThread", 0, ERROR_NOT_ENOUGH_MEMORY, -1);
    int failed = 0;
    for (int i = 0; i < 10; i++) {
        HANDLE h = CreateThread(NULL, 0, noop, NULL, 0, NULL);
        if (!h) failed++;
        else CloseHandle(h);
    }
    ok(failed == 10, "%d of 10 armed calls failed\n", failed);
    KovaControl_ClearFaults();
    HANDLE h = CreateThread(NULL, 0, noop, NULL, 0, NULL);
    ok(h != NULL, "CreateThread failed after clearing\n");
    WaitForSingleObject(h, 10000);
    CloseHandle(h);

    /* Any result value, e.g. a wait that fails. */
    KovaControl_FailCall("WaitForSingleObject", (LONG_PTR)WAIT_FAILED, ERROR_INVALID_HANDLE, 1);
    HANDLE ev = CreateEventA(NULL, TRUE, TRUE, NULL);
    ok(WaitForSingleObject(ev, 0) == WAIT_FAILED && GetLastError() == ERROR_INVALID_HANDLE, "armed wait\n");
    ok(WaitForSingleObject(ev, 0) == WAIT_OBJECT_0, "second wait\n");
    CloseHandle(ev);

    /* Arming with count 0 disarms. */
    KovaControl_FailCall("CreateSemaphoreA", 0, ERROR_NOT_ENOUGH_MEMORY, -1);
    KovaControl_FailCall("CreateSemaphoreA", 0, 0, 0);
    HANDLE s = CreateSemaphoreA(NULL, 0, 1, NULL);
    ok(s != NULL, "disarmed call failed\n");
    CloseHandle(s);
}

/* Many threads race for a fixed number of failures: exactly that many. */
#define RACERS 4
#define CALLS 500

static DWORD WINAPI racer(LPVOID arg)
{
    (void)arg;
    DWORD failures = 0;
    for (int i = 0; i < CALLS; i++) {
        HANDLE e = CreateEventA(NULL, FALSE, FALSE, NULL);
        if (e) CloseHandle(e);
        else failures++;
    }
    return failures;
}

static void test_threads(void)
{
    KovaControl_ClearFaults();
    KovaControl_FailCall("CreateEventA", 0, ERROR_NOT_ENOUGH_MEMORY, 300);
    HANDLE threads[RACERS];
    for (int i = 0; i < RACERS; i++) threads[i] = CreateThread(NULL, 0, racer, NULL, 0, NULL);
    ok(WaitForMultipleObjects(RACERS, threads, TRUE, 30000) == WAIT_OBJECT_0, "racers did not end\n");
    DWORD total = 0;
    for (int i = 0; i < RACERS; i++) {
        DWORD code = 0;
        GetExitCodeThread(threads[i], &code);
        total += code;
        CloseHandle(threads[i]);
    }
    ok(total == 300, "%u failures for 300 armed\n", (unsigned)total);
    KovaControl_ClearFaults();
}

START_TEST(control_fault)
{
    test_count();
    test_until_cleared();
    test_threads();
}

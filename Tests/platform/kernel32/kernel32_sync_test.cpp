/* Conformance: kernel32 synchronisation objects, waits and handles. */
#include <windows.h>

#include "wintest.h"

/* ---- helpers ---- */

static HANDLE start_thread(LPTHREAD_START_ROUTINE fn, void *arg)
{
    HANDLE h = CreateThread(NULL, 0, fn, arg, 0, NULL);
    ok(h != NULL, "CreateThread failed: %u\n", (unsigned)GetLastError());
    return h;
}

/* Runs fn(arg) on a new thread and returns its exit code. */
static DWORD run_thread(LPTHREAD_START_ROUTINE fn, void *arg)
{
    HANDLE h = start_thread(fn, arg);
    DWORD code = 0xdeadbeef;
    ok(WaitForSingleObject(h, 10000) == WAIT_OBJECT_0, "thread did not end\n");
    ok(GetExitCodeThread(h, &code), "GetExitCodeThread failed\n");
    CloseHandle(h);
    return code;
}

static DWORD WINAPI poll_object(LPVOID arg)
{
    return WaitForSingleObject((HANDLE)arg, 0);
}

/* Takes the mutex (if it can) and gives it back. */
static DWORD WINAPI take_and_release(LPVOID arg)
{
    DWORD r = WaitForSingleObject((HANDLE)arg, 0);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ReleaseMutex((HANDLE)arg);
    return r;
}

/* Takes the mutex and ends without releasing it. */
static DWORD WINAPI take_and_exit(LPVOID arg)
{
    return WaitForSingleObject((HANDLE)arg, 5000);
}

static LONG g_held;

/* Holds the mutex for 200 ms. */
static DWORD WINAPI hold_briefly(LPVOID arg)
{
    DWORD r = WaitForSingleObject((HANDLE)arg, 5000);
    InterlockedExchange(&g_held, 1);
    Sleep(200);
    ReleaseMutex((HANDLE)arg);
    return r;
}

static DWORD WINAPI release_foreign(LPVOID arg)
{
    SetLastError(0xdeadbeef);
    BOOL r = ReleaseMutex((HANDLE)arg);
    return (!r && GetLastError() == ERROR_NOT_OWNER) ? 1 : 0;
}

/* Reads a counter other threads update. */
static LONG get(LONG *counter)
{
    return InterlockedCompareExchange(counter, 0, 0);
}

static void wait_for_count(LONG *counter, LONG value)
{
    for (int i = 0; i < 500 && get(counter) < value; i++) Sleep(10);
}

/* ---- mutexes ---- */
/* Holds the mutex for 5 ms at a time and takes it again at once, as a
 * loop that keeps it for each pass does, until told to stop. */
static LONG g_stop_looping;

static DWORD WINAPI loop_holding(LPVOID arg)
{
    DWORD passes = 0;
    while (!get(&g_stop_looping)) {
        if (WaitForSingleObject((HANDLE)arg, 5000) != WAIT_OBJECT_0) return 0;
        Sleep(5);
        ReleaseMutex((HANDLE)arg);
        passes++;
    }
    return passes;
}


static void test_mutex(void)
{
    HANDLE m = CreateMutexA(NULL, FALSE, NULL);
    ok(m != NULL, "CreateMutexA failed\n");

    /* Re-entrant for the owner; others cannot take it or release it. */
    ok(WaitForSingleObject(m, 0) == WAIT_OBJECT_0, "first acquire\n");
    ok(WaitForSingleObject(m, 0) == WAIT_OBJECT_0, "recursive acquire\n");
    ok(run_thread(poll_object, m) == WAIT_TIMEOUT, "another thread took an owned mutex\n");
    ok(run_thread(release_foreign, m) == 1, "non-owner release not refused with ERROR_NOT_OWNER\n");
    ok(ReleaseMutex(m), "release 1 of 2\n");
    ok(run_thread(poll_object, m) == WAIT_TIMEOUT, "mutex free after one of two releases\n");
    ok(ReleaseMutex(m), "release 2 of 2\n");
    SetLastError(0xdeadbeef);
    ok(!ReleaseMutex(m) && GetLastError() == ERROR_NOT_OWNER, "over-release: error %u\n",
       (unsigned)GetLastError());
    ok(run_thread(take_and_release, m) == WAIT_OBJECT_0, "free mutex not taken by another thread\n");

    /* A thread that ends owning it abandons it; the next owner is told once. */
    ok(run_thread(take_and_exit, m) == WAIT_OBJECT_0, "thread could not take the mutex\n");
    ok(WaitForSingleObject(m, 1000) == WAIT_ABANDONED, "abandoned mutex not reported\n");
    ok(ReleaseMutex(m), "release after abandon\n");
    ok(WaitForSingleObject(m, 0) == WAIT_OBJECT_0, "abandoned state reported twice\n");
    ok(ReleaseMutex(m), "release\n");
    CloseHandle(m);

    /* Initial ownership. */
    m = CreateMutexA(NULL, TRUE, NULL);
    ok(m != NULL, "CreateMutexA(owned) failed\n");
    ok(run_thread(poll_object, m) == WAIT_TIMEOUT, "initially owned mutex was free\n");
    ok(ReleaseMutex(m), "release of the initial ownership\n");
    ok(run_thread(take_and_release, m) == WAIT_OBJECT_0, "mutex not free after release\n");
    CloseHandle(m);
}

static void test_mutex_handoff(void)
{
    HANDLE m = CreateMutexA(NULL, FALSE, NULL);
    ok(m != NULL, "CreateMutexA failed\n");
    /* A release satisfies a thread already waiting: a loop that releases
     * and takes the mutex again at once does not keep it from that thread.
     * Unsatisfied, the waiter would starve for as long as the loop runs. */
    InterlockedExchange(&g_stop_looping, 0);
    HANDLE looper = start_thread(loop_holding, m);
    Sleep(50);
    DWORD slowest = 0;
    int taken = 0;
    for (int i = 0; i < 10; i++) {
        DWORD start = GetTickCount();
        if (WaitForSingleObject(m, 3000) != WAIT_OBJECT_0) continue;
        taken++;
        DWORD waited = GetTickCount() - start;
        if (waited > slowest) slowest = waited;
        ReleaseMutex(m);
        Sleep(10);
    }
    InterlockedExchange(&g_stop_looping, 1);
    ok(WaitForSingleObject(looper, 10000) == WAIT_OBJECT_0, "the looping thread did not end\n");
    DWORD passes = 0;
    GetExitCodeThread(looper, &passes);
    CloseHandle(looper);
    ok(taken == 10, "a waiter took a looping thread's mutex %d times of 10\n", taken);
    /* Each wait ends after one of the loop's 5 ms passes; a second is room
     * for a loaded machine. */
    ok(slowest < 1000, "a waiter waited %lu ms for a looping thread's mutex\n", (unsigned long)slowest);
    ok(passes > 0, "the looping thread never had the mutex\n");

    CloseHandle(m);
}

static void test_named_mutex(void)
{
    char name[64];
    sprintf(name, "kova_sync_test_mutex_%u", (unsigned)GetCurrentProcessId());

    SetLastError(0xdeadbeef);
    HANDLE m1 = CreateMutexA(NULL, FALSE, name);
    ok(m1 != NULL && GetLastError() != ERROR_ALREADY_EXISTS, "create: %p error %u\n", m1,
       (unsigned)GetLastError());

    SetLastError(0xdeadbeef);
    HANDLE m2 = CreateMutexA(NULL, TRUE, name);
    ok(m2 != NULL && GetLastError() == ERROR_ALREADY_EXISTS, "second create: %p error %u\n", m2,
       (unsigned)GetLastError());
    ok(m2 != m1, "same handle value for two opens\n");
    /* bInitialOwner is ignored for an existing mutex. */
    ok(run_thread(take_and_release, m2) == WAIT_OBJECT_0, "existing mutex became owned by CreateMutexA\n");

    HANDLE m3 = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
    ok(m3 != NULL, "OpenMutexA failed: %u\n", (unsigned)GetLastError());

    /* One lock behind all three handles. */
    ok(WaitForSingleObject(m1, 0) == WAIT_OBJECT_0, "acquire through m1\n");
    ok(WaitForSingleObject(m3, 0) == WAIT_OBJECT_0, "recursive acquire through m3\n");
    ok(run_thread(poll_object, m2) == WAIT_TIMEOUT, "m2 free while m1 holds the lock\n");
    ok(run_thread(release_foreign, m3) == 1, "non-owner release of a named mutex\n");
    ok(ReleaseMutex(m2), "release through m2\n");
    ok(ReleaseMutex(m1), "release through m1\n");
    ok(!ReleaseMutex(m3) && GetLastError() == ERROR_NOT_OWNER, "over-release of a named mutex\n");
    ok(run_thread(take_and_release, m3) == WAIT_OBJECT_0, "named mutex not free\n");

    /* A thread that ends holding a named mutex abandons it too. */
    ok(run_thread(take_and_exit, m1) == WAIT_OBJECT_0, "thread could not take the named mutex\n");
    ok(WaitForSingleObject(m2, 1000) == WAIT_ABANDONED, "abandoned named mutex not reported\n");
    ok(ReleaseMutex(m2), "release after abandon\n");

    /* Waits on a named mutex together with other objects. */
    HANDLE pair[2];
    pair[0] = m1;
    pair[1] = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE holder = start_thread(hold_briefly, m1);
    wait_for_count(&g_held, 1);
    DWORD start = GetTickCount();
    ok(WaitForMultipleObjects(2, pair, FALSE, 10000) == WAIT_OBJECT_0, "wait-any on a named mutex\n");
    ok(GetTickCount() - start >= 50, "named mutex taken while held\n");
    ok(ReleaseMutex(m1), "release\n");
    WaitForSingleObject(holder, 10000);
    CloseHandle(holder);
    ok(WaitForMultipleObjects(2, pair, TRUE, 0) == WAIT_TIMEOUT, "wait-all, event unset\n");
    ok(run_thread(take_and_release, m1) == WAIT_OBJECT_0, "failed wait-all kept the named mutex\n");
    SetEvent(pair[1]);
    ok(WaitForMultipleObjects(2, pair, TRUE, 0) == WAIT_OBJECT_0, "wait-all, event set\n");
    ok(ReleaseMutex(m1), "release\n");
    CloseHandle(pair[1]);

    /* The name belongs to a mutex: another kind cannot take it. */
    SetLastError(0xdeadbeef);
    HANDLE e = CreateEventA(NULL, FALSE, FALSE, name);
    ok(e == NULL && GetLastError() == ERROR_INVALID_HANDLE, "event over a mutex name: %p error %u\n", e,
       (unsigned)GetLastError());

    CloseHandle(m1);
    CloseHandle(m2);
    CloseHandle(m3);

    /* With every handle closed the name is gone. */
    SetLastError(0xdeadbeef);
    HANDLE gone = OpenMutexA(SYNCHRONIZE, FALSE, name);
    ok(gone == NULL && GetLastError() == ERROR_FILE_NOT_FOUND, "closed mutex still opens: error %u\n",
       (unsigned)GetLastError());
    if (gone) CloseHandle(gone);
}

/* ---- events ---- */

static HANDLE g_event;
static LONG g_woken;

static DWORD WINAPI wait_event_count(LPVOID arg)
{
    DWORD r = WaitForSingleObject(g_event, (DWORD)(ULONG_PTR)arg);
    if (r == WAIT_OBJECT_0) InterlockedIncrement(&g_woken);
    return r;
}

static void test_events(void)
{
    /* Auto-reset: one wait consumes the signal. */
    HANDLE e = CreateEventA(NULL, FALSE, TRUE, NULL);
    ok(e != NULL, "CreateEventA failed\n");
    ok(WaitForSingleObject(e, 0) == WAIT_OBJECT_0, "initially set auto event\n");
    ok(WaitForSingleObject(e, 0) == WAIT_TIMEOUT, "auto event stayed set\n");
    ok(SetEvent(e) && SetEvent(e), "SetEvent\n");
    ok(WaitForSingleObject(e, 0) == WAIT_OBJECT_0, "set auto event\n");
    ok(WaitForSingleObject(e, 0) == WAIT_TIMEOUT, "two sets counted twice\n");
    ok(SetEvent(e) && ResetEvent(e), "ResetEvent\n");
    ok(WaitForSingleObject(e, 0) == WAIT_TIMEOUT, "reset auto event still set\n");
    CloseHandle(e);

    /* Manual-reset: stays set until reset. */
    e = CreateEventA(NULL, TRUE, FALSE, NULL);
    ok(WaitForSingleObject(e, 0) == WAIT_TIMEOUT, "initially reset manual event\n");
    SetEvent(e);
    ok(WaitForSingleObject(e, 0) == WAIT_OBJECT_0 && WaitForSingleObject(e, 0) == WAIT_OBJECT_0,
       "manual event not staying set\n");
    ResetEvent(e);
    ok(WaitForSingleObject(e, 0) == WAIT_TIMEOUT, "manual event not reset\n");
    CloseHandle(e);

    /* An auto event releases one waiter per set; a manual one all of them. */
    HANDLE threads[3];
    g_event = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_woken = 0;
    for (int i = 0; i < 3; i++) threads[i] = start_thread(wait_event_count, (LPVOID)(ULONG_PTR)10000);
    Sleep(50);
    SetEvent(g_event);
    wait_for_count(&g_woken, 1);
    Sleep(100);
    ok(get(&g_woken) == 1, "one set of an auto event woke %d threads\n", (int)get(&g_woken));
    SetEvent(g_event);
    SetEvent(g_event);  // the second may come before the first is taken: 1 or 2 more
    wait_for_count(&g_woken, 2);
    Sleep(100);
    ok(get(&g_woken) >= 2, "second set woke nobody\n");
    SetEvent(g_event);
    ok(WaitForMultipleObjects(3, threads, TRUE, 10000) == WAIT_OBJECT_0, "waiters did not end\n");
    ok(get(&g_woken) == 3, "woken %d\n", (int)get(&g_woken));
    for (int i = 0; i < 3; i++) CloseHandle(threads[i]);
    CloseHandle(g_event);

    g_event = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_woken = 0;
    for (int i = 0; i < 3; i++) threads[i] = start_thread(wait_event_count, (LPVOID)(ULONG_PTR)10000);
    Sleep(50);
    SetEvent(g_event);
    ok(WaitForMultipleObjects(3, threads, TRUE, 10000) == WAIT_OBJECT_0, "manual set did not wake all\n");
    ok(get(&g_woken) == 3, "manual event woke %d of 3\n", (int)get(&g_woken));
    for (int i = 0; i < 3; i++) CloseHandle(threads[i]);
    CloseHandle(g_event);

    /* Named events: one object. */
    char name[64];
    sprintf(name, "kova_sync_test_event_%u", (unsigned)GetCurrentProcessId());
    HANDLE n1 = CreateEventA(NULL, TRUE, FALSE, name);
    SetLastError(0xdeadbeef);
    HANDLE n2 = CreateEventA(NULL, FALSE, TRUE, name);
    ok(n2 != NULL && GetLastError() == ERROR_ALREADY_EXISTS, "second named event: error %u\n",
       (unsigned)GetLastError());
    ok(WaitForSingleObject(n2, 0) == WAIT_TIMEOUT, "existing event took new initial state\n");
    SetEvent(n1);
    HANDLE n3 = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name);
    ok(n3 != NULL, "OpenEventA failed\n");
    ok(WaitForSingleObject(n2, 0) == WAIT_OBJECT_0 && WaitForSingleObject(n3, 0) == WAIT_OBJECT_0,
       "named event handles see different objects\n");
    CloseHandle(n1);
    CloseHandle(n2);
    CloseHandle(n3);

    /* Event calls on other objects fail. */
    HANDLE m = CreateMutexA(NULL, FALSE, NULL);
    SetLastError(0xdeadbeef);
    ok(!SetEvent(m) && GetLastError() == ERROR_INVALID_HANDLE, "SetEvent on a mutex: error %u\n",
       (unsigned)GetLastError());
    CloseHandle(m);
}

/* ---- semaphores ---- */

static void test_semaphore(void)
{
    LONG previous = -1;
    HANDLE s = CreateSemaphoreA(NULL, 2, 3, NULL);
    ok(s != NULL, "CreateSemaphoreA failed\n");
    ok(WaitForSingleObject(s, 0) == WAIT_OBJECT_0 && WaitForSingleObject(s, 0) == WAIT_OBJECT_0,
       "two counts\n");
    ok(WaitForSingleObject(s, 0) == WAIT_TIMEOUT, "third count\n");
    ok(ReleaseSemaphore(s, 1, &previous) && previous == 0, "release: previous %d\n", (int)previous);
    SetLastError(0xdeadbeef);
    ok(!ReleaseSemaphore(s, 3, &previous) && GetLastError() == ERROR_TOO_MANY_POSTS,
       "release past the maximum: error %u\n", (unsigned)GetLastError());
    ok(ReleaseSemaphore(s, 2, &previous) && previous == 1, "release 2: previous %d\n", (int)previous);
    /* Windows refuses a count of 0; Wine accepts it as a no-op. */
    SetLastError(0xdeadbeef);
    BOOL r = ReleaseSemaphore(s, 0, NULL);
    ok((!r && GetLastError() == ERROR_INVALID_PARAMETER) || (r && wintest_is_wine()), "release 0: %d error %u\n", r,
       (unsigned)GetLastError());
    CloseHandle(s);

    SetLastError(0xdeadbeef);
    s = CreateSemaphoreA(NULL, 4, 3, NULL);
    ok(s == NULL && GetLastError() == ERROR_INVALID_PARAMETER, "initial above maximum: error %u\n",
       (unsigned)GetLastError());
}

/* ---- WaitForMultipleObjects ---- */

static DWORD WINAPI set_later(LPVOID arg)
{
    Sleep(100);
    SetEvent((HANDLE)arg);
    return 0;
}

static void test_wait_multiple(void)
{
    HANDLE e[2];
    e[0] = CreateEventA(NULL, TRUE, FALSE, NULL);
    e[1] = CreateEventA(NULL, TRUE, FALSE, NULL);

    ok(WaitForMultipleObjects(2, e, FALSE, 0) == WAIT_TIMEOUT, "none set\n");
    SetEvent(e[1]);
    ok(WaitForMultipleObjects(2, e, FALSE, 0) == WAIT_OBJECT_0 + 1, "any: second set\n");
    ok(WaitForMultipleObjects(2, e, TRUE, 0) == WAIT_TIMEOUT, "all: one of two set\n");
    SetEvent(e[0]);
    ok(WaitForMultipleObjects(2, e, FALSE, 0) == WAIT_OBJECT_0, "any: lowest index first\n");
    ok(WaitForMultipleObjects(2, e, TRUE, 0) == WAIT_OBJECT_0, "all: both set\n");

    /* A wait-all that cannot complete takes nothing. */
    HANDLE a[2];
    a[0] = CreateEventA(NULL, FALSE, TRUE, NULL);
    a[1] = CreateEventA(NULL, FALSE, FALSE, NULL);
    ok(WaitForMultipleObjects(2, a, TRUE, 0) == WAIT_TIMEOUT, "all: auto pair, one set\n");
    ok(WaitForSingleObject(a[0], 0) == WAIT_OBJECT_0, "failed wait-all consumed an auto event\n");
    SetEvent(a[0]);
    HANDLE t = start_thread(set_later, a[1]);
    DWORD start = GetTickCount();
    ok(WaitForMultipleObjects(2, a, TRUE, 10000) == WAIT_OBJECT_0, "all: completed by another thread\n");
    ok(GetTickCount() - start >= 50, "wait-all returned before the second event was set\n");
    ok(WaitForSingleObject(a[0], 0) == WAIT_TIMEOUT && WaitForSingleObject(a[1], 0) == WAIT_TIMEOUT,
       "wait-all did not consume both auto events\n");
    WaitForSingleObject(t, 10000);
    CloseHandle(t);

    /* A mutex and an event together: the mutex is taken only with the event. */
    HANDLE mix[2];
    mix[0] = CreateMutexA(NULL, FALSE, NULL);
    mix[1] = a[1];
    ok(WaitForMultipleObjects(2, mix, TRUE, 0) == WAIT_TIMEOUT, "mutex+event all\n");
    ok(run_thread(take_and_release, mix[0]) == WAIT_OBJECT_0, "failed wait-all kept the mutex\n");
    ok(WaitForMultipleObjects(2, mix, FALSE, 0) == WAIT_OBJECT_0, "mutex+event any\n");
    ok(ReleaseMutex(mix[0]), "release\n");
    CloseHandle(mix[0]);

    /* Time-outs are honoured. */
    start = GetTickCount();
    ok(WaitForMultipleObjects(2, a, FALSE, 200) == WAIT_TIMEOUT, "timed wait\n");
    DWORD elapsed = GetTickCount() - start;
    ok(elapsed >= 150 && elapsed < 5000, "200 ms wait took %u ms\n", (unsigned)elapsed);

    /* Bad arguments. */
    SetLastError(0xdeadbeef);
    ok(WaitForMultipleObjects(0, e, FALSE, 0) == WAIT_FAILED && GetLastError() == ERROR_INVALID_PARAMETER,
       "zero handles: error %u\n", (unsigned)GetLastError());
    HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
    for (int i = 0; i <= MAXIMUM_WAIT_OBJECTS; i++) many[i] = e[0];
    SetLastError(0xdeadbeef);
    ok(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many, FALSE, 0) == WAIT_FAILED &&
           GetLastError() == ERROR_INVALID_PARAMETER,
       "65 handles: error %u\n", (unsigned)GetLastError());
    ok(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many, FALSE, 0) == WAIT_OBJECT_0,
       "64 copies of one handle, wait-any\n");
    HANDLE bad[2] = {e[0], NULL};
    SetLastError(0xdeadbeef);
    ok(WaitForMultipleObjects(2, bad, FALSE, 0) == WAIT_FAILED && GetLastError() == ERROR_INVALID_HANDLE,
       "NULL handle: error %u\n", (unsigned)GetLastError());

    for (int i = 0; i < 2; i++) {
        CloseHandle(e[i]);
        CloseHandle(a[i]);
    }
}

/* ---- critical sections ---- */

static CRITICAL_SECTION g_cs;
static volatile LONG g_plain_counter;

static DWORD WINAPI try_enter(LPVOID arg)
{
    (void)arg;
    if (!TryEnterCriticalSection(&g_cs)) return 0;
    LeaveCriticalSection(&g_cs);
    return 1;
}

static DWORD WINAPI hammer(LPVOID arg)
{
    (void)arg;
    for (int i = 0; i < 20000; i++) {
        EnterCriticalSection(&g_cs);
        g_plain_counter = g_plain_counter + 1;  // not atomic: the section guards it
        LeaveCriticalSection(&g_cs);
    }
    return 0;
}

static void test_critical_section(void)
{
    InitializeCriticalSection(&g_cs);
    EnterCriticalSection(&g_cs);
    EnterCriticalSection(&g_cs);
    ok(TryEnterCriticalSection(&g_cs), "owner TryEnter\n");
    ok(run_thread(try_enter, NULL) == 0, "another thread entered an owned section\n");
    LeaveCriticalSection(&g_cs);
    LeaveCriticalSection(&g_cs);
    ok(run_thread(try_enter, NULL) == 0, "section free after 2 of 3 leaves\n");
    LeaveCriticalSection(&g_cs);
    ok(run_thread(try_enter, NULL) == 1, "section not free after all leaves\n");
    DeleteCriticalSection(&g_cs);

    ok(InitializeCriticalSectionAndSpinCount(&g_cs, 4000), "InitializeCriticalSectionAndSpinCount\n");
    g_plain_counter = 0;
    HANDLE threads[4];
    for (int i = 0; i < 4; i++) threads[i] = start_thread(hammer, NULL);
    ok(WaitForMultipleObjects(4, threads, TRUE, 60000) == WAIT_OBJECT_0, "hammer threads did not end\n");
    ok(g_plain_counter == 80000, "lost updates under the section: %d\n", (int)g_plain_counter);
    for (int i = 0; i < 4; i++) CloseHandle(threads[i]);
    DeleteCriticalSection(&g_cs);
}

/* ---- interlocked operations ---- */

static void test_interlocked(void)
{
    LONG v = 5;
    ok(InterlockedIncrement(&v) == 6 && v == 6, "InterlockedIncrement\n");
    ok(InterlockedDecrement(&v) == 5 && v == 5, "InterlockedDecrement\n");
    ok(InterlockedExchange(&v, 9) == 5 && v == 9, "InterlockedExchange\n");
    ok(InterlockedExchangeAdd(&v, 3) == 9 && v == 12, "InterlockedExchangeAdd\n");
    ok(InterlockedCompareExchange(&v, 1, 7) == 12 && v == 12, "InterlockedCompareExchange mismatch\n");
    ok(InterlockedCompareExchange(&v, 1, 12) == 12 && v == 1, "InterlockedCompareExchange match\n");
    v = 0x7fffffff;
    ok(InterlockedIncrement(&v) == (LONG)0x80000000, "InterlockedIncrement wraps\n");
}

/* ---- handles ---- */

static void test_handles(void)
{
    SetLastError(0xdeadbeef);
    ok(!CloseHandle(NULL) && GetLastError() == ERROR_INVALID_HANDLE, "CloseHandle(NULL): error %u\n",
       (unsigned)GetLastError());

    HANDLE e = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE dup = NULL;
    ok(DuplicateHandle(GetCurrentProcess(), e, GetCurrentProcess(), &dup, 0, FALSE, DUPLICATE_SAME_ACCESS),
       "DuplicateHandle failed\n");
    ok(dup != NULL && dup != e, "duplicate %p of %p\n", dup, e);
    ok(CloseHandle(e), "CloseHandle\n");
    /* The object lives on behind the duplicate. */
    ok(SetEvent(dup) && WaitForSingleObject(dup, 0) == WAIT_OBJECT_0, "duplicate lost the object\n");
    ok(CloseHandle(dup), "CloseHandle of the duplicate\n");

    SetLastError(0xdeadbeef);
    ok(!CloseHandle(dup) && GetLastError() == ERROR_INVALID_HANDLE, "double close: error %u\n",
       (unsigned)GetLastError());
    SetLastError(0xdeadbeef);
    ok(WaitForSingleObject(dup, 0) == WAIT_FAILED && GetLastError() == ERROR_INVALID_HANDLE,
       "wait on a closed handle: error %u\n", (unsigned)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!SetEvent(dup) && GetLastError() == ERROR_INVALID_HANDLE, "SetEvent on a closed handle\n");

    /* Pseudo handles need no closing. */
    ok(CloseHandle(GetCurrentThread()), "CloseHandle(GetCurrentThread())\n");
    ok(CloseHandle(GetCurrentProcess()), "CloseHandle(GetCurrentProcess())\n");
}

START_TEST(kernel32_sync)
{
    test_mutex();
    test_mutex_handoff();
    test_named_mutex();
    test_events();
    test_semaphore();
    test_wait_multiple();
    test_critical_section();
    test_interlocked();
    test_handles();
}

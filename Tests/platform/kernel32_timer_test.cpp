/* Conformance: timer queues. Timing checks allow for a busy machine: they
 * bound counts and order, never exact durations. */
#include <windows.h>

#include "wintest.h"

struct timer_state {
    HANDLE armed;     // set once the creator has stored the timer's handle
    HANDLE queue;
    HANDLE timer;
    HANDLE entered;   // set by every callback on entry
    HANDLE finished;  // set by every callback on exit
    LONG calls;
    LONG done;
    LONG slow_ms;     // the first callback sleeps this long
    LONG bad_args;
    DWORD first_tick;
    LONG delete_result;  // for callbacks that delete their own timer
    DWORD delete_error;
};

static void init_state(struct timer_state *s)
{
    memset(s, 0, sizeof *s);
    s->entered = CreateEventA(NULL, FALSE, FALSE, NULL);
    s->finished = CreateEventA(NULL, TRUE, FALSE, NULL);
    s->armed = CreateEventA(NULL, TRUE, FALSE, NULL);
    s->delete_result = -1;
}

static void free_state(struct timer_state *s)
{
    CloseHandle(s->entered);
    CloseHandle(s->finished);
    CloseHandle(s->armed);
}

/* Reads a counter the callbacks update. */
static LONG get(LONG *counter)
{
    return InterlockedCompareExchange(counter, 0, 0);
}

static void CALLBACK count_callback(PVOID param, BOOLEAN fired)
{
    struct timer_state *s = (struct timer_state *)param;
    if (!fired) InterlockedIncrement(&s->bad_args);
    if (InterlockedIncrement(&s->calls) == 1) {
        s->first_tick = GetTickCount();
        SetEvent(s->entered);
        if (s->slow_ms) Sleep((DWORD)s->slow_ms);
    } else {
        SetEvent(s->entered);
    }
    InterlockedIncrement(&s->done);
    SetEvent(s->finished);
}

static void CALLBACK self_delete_callback(PVOID param, BOOLEAN fired)
{
    (void)fired;
    struct timer_state *s = (struct timer_state *)param;
    if (InterlockedIncrement(&s->calls) == 1) {
        WaitForSingleObject(s->armed, 10000);  // the callback may run before CreateTimerQueueTimer returns
        SetLastError(0xdeadbeef);
        s->delete_result = DeleteTimerQueueTimer(s->queue, s->timer, NULL);
        s->delete_error = GetLastError();
    }
    InterlockedIncrement(&s->done);
    SetEvent(s->finished);
}

static void CALLBACK self_delete_wait_callback(PVOID param, BOOLEAN fired)
{
    (void)fired;
    struct timer_state *s = (struct timer_state *)param;
    if (InterlockedIncrement(&s->calls) == 1) {
        WaitForSingleObject(s->armed, 10000);
        s->delete_result = DeleteTimerQueueTimer(s->queue, s->timer, INVALID_HANDLE_VALUE);
    }
    InterlockedIncrement(&s->done);
    SetEvent(s->finished);
}

static void test_one_shot(void)
{
    struct timer_state s;
    init_state(&s);
    s.queue = CreateTimerQueue();
    ok(s.queue != NULL, "CreateTimerQueue failed\n");
    DWORD start = GetTickCount();
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 100, 0, WT_EXECUTEDEFAULT),
       "CreateTimerQueueTimer failed\n");
    ok(WaitForSingleObject(s.finished, 10000) == WAIT_OBJECT_0, "one-shot timer never fired\n");
    DWORD delay = s.first_tick - start;
    ok(delay >= 70 && delay < 5000, "100 ms one-shot fired after %u ms\n", (unsigned)delay);
    Sleep(300);
    ok(get(&s.calls) == 1, "one-shot fired %d times\n", (int)get(&s.calls));
    ok(s.bad_args == 0, "callback's TimerOrWaitFired was FALSE\n");
    ok(DeleteTimerQueueTimer(s.queue, s.timer, INVALID_HANDLE_VALUE), "delete a spent timer\n");

    /* Period 0 with WT_EXECUTEONLYONCE, and a timer due at once. */
    ResetEvent(s.finished);
    s.calls = 0;
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 0, 0, WT_EXECUTEONLYONCE),
       "CreateTimerQueueTimer(0, WT_EXECUTEONLYONCE)\n");
    ok(WaitForSingleObject(s.finished, 10000) == WAIT_OBJECT_0, "immediate timer never fired\n");
    Sleep(100);
    ok(get(&s.calls) == 1, "immediate one-shot fired %d times\n", (int)get(&s.calls));
    ok(DeleteTimerQueueTimer(s.queue, s.timer, INVALID_HANDLE_VALUE), "delete\n");

    ok(DeleteTimerQueueEx(s.queue, INVALID_HANDLE_VALUE), "DeleteTimerQueueEx\n");
    free_state(&s);
}

static void test_periodic(void)
{
    struct timer_state s;
    init_state(&s);
    s.queue = CreateTimerQueue();
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 10, 20, 0), "periodic timer\n");
    Sleep(500);
    LONG calls = get(&s.calls);
    /* About 25 ticks; allow for a slow machine, not for a runaway timer. */
    ok(calls >= 5 && calls <= 40, "20 ms periodic timer fired %d times in 500 ms\n", (int)calls);
    ok(DeleteTimerQueueTimer(s.queue, s.timer, INVALID_HANDLE_VALUE), "delete periodic timer\n");
    calls = get(&s.calls);
    ok(get(&s.done) == calls, "delete returned with a callback running\n");
    Sleep(200);
    ok(get(&s.calls) == calls, "periodic timer fired %d times after its deletion\n", (int)(get(&s.calls) - calls));

    /* The default queue. */
    struct timer_state d;
    init_state(&d);
    ok(CreateTimerQueueTimer(&d.timer, NULL, count_callback, &d, 10, 10, 0), "timer on the default queue\n");
    ok(WaitForSingleObject(d.finished, 10000) == WAIT_OBJECT_0, "default-queue timer never fired\n");
    ok(DeleteTimerQueueTimer(NULL, d.timer, INVALID_HANDLE_VALUE), "delete from the default queue\n");
    calls = get(&d.calls);
    Sleep(100);
    ok(get(&d.calls) == calls, "default-queue timer fired after its deletion\n");
    free_state(&d);

    ok(DeleteTimerQueueEx(s.queue, INVALID_HANDLE_VALUE), "DeleteTimerQueueEx\n");
    free_state(&s);
}

static void test_change(void)
{
    struct timer_state s;
    init_state(&s);
    s.queue = CreateTimerQueue();
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 60000, 60000, 0), "distant timer\n");
    Sleep(50);
    ok(get(&s.calls) == 0, "distant timer fired\n");
    ok(ChangeTimerQueueTimer(s.queue, s.timer, 10, 0), "ChangeTimerQueueTimer\n");
    ok(WaitForSingleObject(s.finished, 10000) == WAIT_OBJECT_0, "changed timer never fired\n");
    Sleep(100);
    ok(get(&s.calls) == 1, "changed-to-one-shot timer fired %d times\n", (int)get(&s.calls));
    ok(DeleteTimerQueueTimer(s.queue, s.timer, INVALID_HANDLE_VALUE), "delete\n");
    ok(DeleteTimerQueueEx(s.queue, INVALID_HANDLE_VALUE), "DeleteTimerQueueEx\n");
    free_state(&s);
}

/* Deleting while a callback runs: INVALID_HANDLE_VALUE waits for it; NULL
 * and an event do not; no callback starts after the deletion. */
static void test_delete_running(void)
{
    struct timer_state s;
    init_state(&s);
    s.queue = CreateTimerQueue();
    s.slow_ms = 300;
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 0, 20, 0), "timer\n");
    ok(WaitForSingleObject(s.entered, 10000) == WAIT_OBJECT_0, "callback never entered\n");
    ok(DeleteTimerQueueTimer(s.queue, s.timer, INVALID_HANDLE_VALUE), "blocking delete\n");
    LONG calls = get(&s.calls);
    ok(get(&s.done) == calls, "blocking delete returned before its callbacks ended (%d of %d)\n", (int)get(&s.done),
       (int)calls);
    ok(get(&s.done) >= 1, "slow callback had not finished\n");
    Sleep(200);
    ok(get(&s.calls) == calls, "callback ran after a blocking delete\n");

    /* NULL: returns at once with ERROR_IO_PENDING while the callback runs. */
    s.calls = s.done = 0;
    ResetEvent(s.finished);
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 0, 0, 0), "timer\n");
    ok(WaitForSingleObject(s.entered, 10000) == WAIT_OBJECT_0, "callback never entered\n");
    SetLastError(0xdeadbeef);
    BOOL r = DeleteTimerQueueTimer(s.queue, s.timer, NULL);
    ok(!r && GetLastError() == ERROR_IO_PENDING, "non-blocking delete: %d error %u\n", r,
       (unsigned)GetLastError());
    ok(get(&s.done) == 0, "non-blocking delete waited for the callback\n");
    ok(WaitForSingleObject(s.finished, 10000) == WAIT_OBJECT_0, "callback never finished\n");

    /* An event: set once the callback has finished. */
    s.calls = s.done = 0;
    ResetEvent(s.finished);
    HANDLE deleted = CreateEventA(NULL, TRUE, FALSE, NULL);
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 0, 0, 0), "timer\n");
    ok(WaitForSingleObject(s.entered, 10000) == WAIT_OBJECT_0, "callback never entered\n");
    SetLastError(0xdeadbeef);
    r = DeleteTimerQueueTimer(s.queue, s.timer, deleted);
    ok(r || GetLastError() == ERROR_IO_PENDING, "delete with an event: error %u\n", (unsigned)GetLastError());
    ok(WaitForSingleObject(deleted, 10000) == WAIT_OBJECT_0, "completion event never set\n");
    ok(get(&s.done) == 1, "completion event set before the callback finished\n");
    CloseHandle(deleted);

    /* Deleting the queue waits for the callbacks of all its timers. */
    s.calls = s.done = 0;
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 0, 0, 0), "timer\n");
    ok(WaitForSingleObject(s.entered, 10000) == WAIT_OBJECT_0, "callback never entered\n");
    ok(DeleteTimerQueueEx(s.queue, INVALID_HANDLE_VALUE), "blocking DeleteTimerQueueEx\n");
    ok(get(&s.done) == 1, "queue deletion returned before the callback ended\n");
    free_state(&s);

    /* A queue deleted with its timers still armed: none fires afterwards. */
    init_state(&s);
    s.queue = CreateTimerQueue();
    HANDLE queue_deleted = CreateEventA(NULL, TRUE, FALSE, NULL);
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 100, 0, 0), "timer\n");
    r = DeleteTimerQueueEx(s.queue, queue_deleted);
    ok(r || GetLastError() == ERROR_IO_PENDING, "DeleteTimerQueueEx with an event\n");
    ok(WaitForSingleObject(queue_deleted, 10000) == WAIT_OBJECT_0, "queue completion event never set\n");
    Sleep(300);
    ok(get(&s.calls) == 0, "timer of a deleted queue fired\n");
    CloseHandle(queue_deleted);
    free_state(&s);
}

static void test_delete_from_callback(void)
{
    /* A periodic timer that deletes itself (not waiting) fires no more. */
    struct timer_state s;
    init_state(&s);
    s.queue = CreateTimerQueue();
    ok(CreateTimerQueueTimer(&s.timer, s.queue, self_delete_callback, &s, 0, 10, 0), "timer\n");
    SetEvent(s.armed);
    ok(WaitForSingleObject(s.finished, 10000) == WAIT_OBJECT_0, "callback never ran\n");
    Sleep(200);
    ok(get(&s.calls) == 1, "self-deleted timer fired %d times\n", (int)get(&s.calls));
    ok(s.delete_result == TRUE || s.delete_error == ERROR_IO_PENDING, "self delete: %d error %u\n",
       (int)s.delete_result, (unsigned)s.delete_error);

    /* Waiting for oneself deadlocks on Windows; the layer returns instead. */
    if (wintest_is_layer()) {
        s.calls = s.done = 0;
        s.delete_result = -1;
        ResetEvent(s.finished);
        ResetEvent(s.armed);
        ok(CreateTimerQueueTimer(&s.timer, s.queue, self_delete_wait_callback, &s, 0, 10, 0), "timer\n");
        SetEvent(s.armed);
        ok(WaitForSingleObject(s.finished, 10000) == WAIT_OBJECT_0, "callback never finished\n");
        Sleep(200);
        ok(s.delete_result == TRUE, "blocking self delete returned %d\n", (int)s.delete_result);
        ok(get(&s.calls) == 1, "blocking self-deleted timer fired %d times\n", (int)get(&s.calls));

        /* Timer queues are not kernel handles. */
        SetLastError(0xdeadbeef);
        ok(!CloseHandle(s.queue) && GetLastError() == ERROR_INVALID_HANDLE, "CloseHandle of a timer queue\n");
    } else {
        skip("blocking self deletion deadlocks on Windows\n");
    }
    ok(DeleteTimerQueueEx(s.queue, INVALID_HANDLE_VALUE), "DeleteTimerQueueEx\n");
    free_state(&s);
}

static void test_bad_arguments(void)
{
    if (!wintest_is_layer()) return;  // Windows does not check the callback
    HANDLE t = NULL;
    SetLastError(0xdeadbeef);
    ok(!CreateTimerQueueTimer(&t, NULL, NULL, NULL, 10, 0, 0) && GetLastError() == ERROR_INVALID_PARAMETER,
       "NULL callback: error %u\n", (unsigned)GetLastError());
}

START_TEST(kernel32_timer)
{
    test_one_shot();
    test_periodic();
    test_change();
    test_delete_running();
    test_delete_from_callback();
    test_bad_arguments();
}

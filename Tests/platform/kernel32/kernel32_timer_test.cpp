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
    HANDLE gate;      // if set, the first callback waits for it after entering
    LONG bad_args;
    DWORD first_tick;
    LONG delete_result;  // for callbacks that delete their own timer
    DWORD delete_error;
    DWORD deleted_tick;  // when that deletion returned
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

/* Readies a state for its next timer. The events may still be set by the
 * last one's callbacks: a periodic timer can run several before it is
 * deleted. */
static void restart_state(struct timer_state *s)
{
    s->calls = s->done = 0;
    ResetEvent(s->entered);
    ResetEvent(s->finished);
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
        if (s->gate) WaitForSingleObject(s->gate, 10000);
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
        s->deleted_tick = GetTickCount();
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
        s->deleted_tick = GetTickCount();
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
    DWORD start = GetTickCount();
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 10, 20, 0), "periodic timer\n");
    /* About 25 ticks in 500 ms. A loaded machine may run the callbacks late
     * (so wait longer for the first five) or oversleep (so bound the count
     * by the ticks actually due), but a periodic timer keeps firing and
     * never runs ahead of its period. */
    Sleep(500);
    while (get(&s.calls) < 5 && GetTickCount() - start < 10000) Sleep(50);
    LONG calls = get(&s.calls);
    DWORD elapsed = GetTickCount() - start;
    ok(calls >= 5 && calls <= (LONG)(elapsed / 20) + 2, "20 ms periodic timer fired %d times in %u ms\n", (int)calls,
       (unsigned)elapsed);
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

    /* NULL: returns at once with ERROR_IO_PENDING while the callback runs.
     * The callback is held at the gate until the checks are done. */
    restart_state(&s);
    s.slow_ms = 0;
    s.gate = CreateEventA(NULL, TRUE, FALSE, NULL);
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 0, 0, 0), "timer\n");
    ok(WaitForSingleObject(s.entered, 10000) == WAIT_OBJECT_0, "callback never entered\n");
    SetLastError(0xdeadbeef);
    BOOL r = DeleteTimerQueueTimer(s.queue, s.timer, NULL);
    ok(!r && GetLastError() == ERROR_IO_PENDING, "non-blocking delete: %d error %u\n", r,
       (unsigned)GetLastError());
    ok(get(&s.done) == 0, "non-blocking delete waited for the callback\n");
    SetEvent(s.gate);
    ok(WaitForSingleObject(s.finished, 10000) == WAIT_OBJECT_0, "callback never finished\n");

    /* An event: set once the callback has finished. */
    restart_state(&s);
    ResetEvent(s.gate);
    HANDLE deleted = CreateEventA(NULL, TRUE, FALSE, NULL);
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 0, 0, 0), "timer\n");
    ok(WaitForSingleObject(s.entered, 10000) == WAIT_OBJECT_0, "callback never entered\n");
    SetLastError(0xdeadbeef);
    r = DeleteTimerQueueTimer(s.queue, s.timer, deleted);
    ok(r || GetLastError() == ERROR_IO_PENDING, "delete with an event: error %u\n", (unsigned)GetLastError());
    ok(WaitForSingleObject(deleted, 0) == WAIT_TIMEOUT, "completion event set with the callback running\n");
    SetEvent(s.gate);
    ok(WaitForSingleObject(deleted, 10000) == WAIT_OBJECT_0, "completion event never set\n");
    ok(get(&s.done) == 1, "completion event set before the callback finished\n");
    CloseHandle(deleted);
    CloseHandle(s.gate);
    s.gate = NULL;
    s.slow_ms = 300;

    /* Deleting the queue waits for the callbacks of all its timers. */
    restart_state(&s);
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 0, 0, 0), "timer\n");
    ok(WaitForSingleObject(s.entered, 10000) == WAIT_OBJECT_0, "callback never entered\n");
    ok(DeleteTimerQueueEx(s.queue, INVALID_HANDLE_VALUE), "blocking DeleteTimerQueueEx\n");
    ok(get(&s.done) == 1, "queue deletion returned before the callback ended\n");
    free_state(&s);

    /* A queue deleted with its timers still armed: none fires afterwards.
     * Only a deletion that came before the due time proves it; a loaded
     * machine that took longer may have let the timer fire first. */
    init_state(&s);
    s.queue = CreateTimerQueue();
    HANDLE queue_deleted = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD start = GetTickCount();
    ok(CreateTimerQueueTimer(&s.timer, s.queue, count_callback, &s, 300, 0, 0), "timer\n");
    r = DeleteTimerQueueEx(s.queue, queue_deleted);
    DWORD deleted_after = GetTickCount() - start;
    ok(r || GetLastError() == ERROR_IO_PENDING, "DeleteTimerQueueEx with an event\n");
    ok(WaitForSingleObject(queue_deleted, 10000) == WAIT_OBJECT_0, "queue completion event never set\n");
    LONG calls_at_deletion = get(&s.calls);
    Sleep(500);
    if (deleted_after < 250)
        ok(get(&s.calls) == 0, "timer of a deleted queue fired\n");
    else
        trace("queue deleted only after %u ms, when its timer may have fired\n", (unsigned)deleted_after);
    ok(get(&s.calls) == calls_at_deletion, "timer of a deleted queue fired after the deletion ended\n");
    CloseHandle(queue_deleted);
    free_state(&s);
}

/* Ticks of a timer created at `created` (due at once, then every `period`
 * ms) that have fallen due by `until`, with two ticks to spare for the
 * coarse clock. */
static LONG ticks_due(DWORD created, DWORD until, DWORD period)
{
    return (LONG)((until - created) / period) + 1 + 2;
}

/* A periodic timer that deletes itself from its callback fires no more.
 * Its ticks are queued to the thread pool as they fall due, whether or not
 * an earlier callback has started or finished, and a deletion does not
 * recall the ones already queued: "Those callbacks either will execute or
 * are in the middle of executing" (DeleteTimerQueueTimer). So a callback
 * that starts late on a loaded machine may find a second one running beside
 * it or queued behind it, and the count to check is that no tick is queued
 * after the deletion: no more callbacks than ticks due when it returned. */
static void check_self_deletion(WAITORTIMERCALLBACK callback, const char *how)
{
    struct timer_state s;
    init_state(&s);
    s.queue = CreateTimerQueue();
    DWORD created = GetTickCount();
    ok(CreateTimerQueueTimer(&s.timer, s.queue, callback, &s, 0, 10, 0), "%s: timer\n", how);
    SetEvent(s.armed);
    ok(WaitForSingleObject(s.finished, 10000) == WAIT_OBJECT_0, "%s: callback never ran\n", how);
    Sleep(200);
    /* The queue's blocking deletion waits for callbacks still queued. */
    ok(DeleteTimerQueueEx(s.queue, INVALID_HANDLE_VALUE), "%s: DeleteTimerQueueEx\n", how);
    LONG calls = get(&s.calls), limit = ticks_due(created, s.deleted_tick, 10);
    ok(calls >= 1 && calls <= limit, "%s: self-deleted timer fired %d times, %d ticks were due at its deletion\n",
       how, (int)calls, (int)limit);
    ok(get(&s.done) == calls, "%s: queue deletion returned with a callback running\n", how);
    if (calls > 1) trace("%s: %d callbacks were queued before the deletion\n", how, (int)calls);
    if (callback == self_delete_callback) {
        /* The deleting callback is itself outstanding. */
        ok(s.delete_result == TRUE || s.delete_error == ERROR_IO_PENDING, "self delete: %d error %u\n",
           (int)s.delete_result, (unsigned)s.delete_error);
    } else {
        ok(s.delete_result == TRUE, "blocking self delete returned %d\n", (int)s.delete_result);
    }
    free_state(&s);
}

static void test_delete_from_callback(void)
{
    check_self_deletion(self_delete_callback, "non-blocking");

    /* Waiting for oneself deadlocks on Windows; the layer returns instead,
     * having waited for the timer's other callbacks. */
    if (wintest_is_layer()) {
        check_self_deletion(self_delete_wait_callback, "blocking");

        /* Timer queues are not kernel handles. */
        HANDLE q = CreateTimerQueue();
        SetLastError(0xdeadbeef);
        ok(!CloseHandle(q) && GetLastError() == ERROR_INVALID_HANDLE, "CloseHandle of a timer queue\n");
        ok(DeleteTimerQueueEx(q, INVALID_HANDLE_VALUE), "DeleteTimerQueueEx\n");
    } else {
        skip("blocking self deletion deadlocks on Windows\n");
    }
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

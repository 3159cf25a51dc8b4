/* Conformance: thread message queues (PostThreadMessageA, GetMessageA,
 * PeekMessageA, PostQuitMessage, WaitMessage, MsgWaitForMultipleObjects). */
#include <windows.h>

#include "wintest.h"

#define MAX_SEEN 16

struct loop_state {
    HANDLE ready;
    UINT seen[MAX_SEEN];
    WPARAM seen_w[MAX_SEEN];
    LONG count;
    BOOL last_result;
};

/* A message loop: makes its queue, reports ready, records until WM_QUIT. */
static DWORD WINAPI message_loop(LPVOID arg)
{
    struct loop_state *s = (struct loop_state *)arg;
    MSG msg;
    PeekMessageA(&msg, NULL, WM_USER, WM_USER, PM_NOREMOVE);  // makes the queue on Windows
    SetEvent(s->ready);
    BOOL r;
    while ((r = GetMessageA(&msg, NULL, 0, 0)) > 0) {
        if (s->count < MAX_SEEN) {
            s->seen[s->count] = msg.message;
            s->seen_w[s->count] = msg.wParam;
        }
        s->count++;
        DispatchMessageA(&msg);
    }
    s->last_result = r;
    return r == 0 && msg.message == WM_QUIT ? (DWORD)msg.wParam : 0xdead;
}

static void test_thread_loop(void)
{
    struct loop_state s;
    memset(&s, 0, sizeof s);
    s.ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD tid = 0;
    HANDLE h = CreateThread(NULL, 0, message_loop, &s, 0, &tid);
    ok(WaitForSingleObject(s.ready, 10000) == WAIT_OBJECT_0, "loop never ready\n");
    for (int i = 0; i < 5; i++)
        ok(PostThreadMessageA(tid, WM_USER + i, (WPARAM)(i * 10), 0), "post %d: error %u\n", i,
           (unsigned)GetLastError());
    ok(PostThreadMessageA(tid, WM_QUIT, 42, 0), "post WM_QUIT\n");
    ok(WaitForSingleObject(h, 10000) == WAIT_OBJECT_0, "loop did not end on WM_QUIT\n");
    DWORD code = 0;
    GetExitCodeThread(h, &code);
    ok(code == 42, "WM_QUIT wParam seen as %u\n", (unsigned)code);
    ok(s.last_result == 0, "GetMessageA returned %d for WM_QUIT\n", s.last_result);
    ok(s.count == 5, "loop got %d messages\n", (int)s.count);
    for (int i = 0; i < 5 && i < s.count; i++)
        ok(s.seen[i] == (UINT)(WM_USER + i) && s.seen_w[i] == (WPARAM)(i * 10), "message %d: %x %u\n", i,
           s.seen[i], (unsigned)s.seen_w[i]);
    CloseHandle(h);

    /* The thread has ended: its queue with it. (Wine accepts these posts.) */
    if (!wintest_is_wine()) {
        SetLastError(0xdeadbeef);
        ok(!PostThreadMessageA(tid, WM_USER, 0, 0) && GetLastError() == ERROR_INVALID_THREAD_ID,
           "post to an ended thread: error %u\n", (unsigned)GetLastError());
        SetLastError(0xdeadbeef);
        ok(!PostThreadMessageA(0, WM_USER, 0, 0) && GetLastError() == ERROR_INVALID_THREAD_ID,
           "post to thread 0: error %u\n", (unsigned)GetLastError());
    }
    SetLastError(0xdeadbeef);
    ok(!PostThreadMessageA(0x7ffffff0, WM_USER, 0, 0), "post to a thread that never was\n");
    CloseHandle(s.ready);
}

static DWORD WINAPI idle_thread(LPVOID arg)
{
    WaitForSingleObject((HANDLE)arg, 10000);
    return 0;
}

static void test_layer_eager_queue(void)
{
    if (!wintest_is_layer()) return;  // Windows makes a queue on a thread's first user32 call
    HANDLE gate = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD tid = 0;
    HANDLE h = CreateThread(NULL, 0, idle_thread, gate, 0, &tid);
    ok(PostThreadMessageA(tid, WM_USER, 0, 0), "new layer thread has no queue\n");
    SetEvent(gate);
    WaitForSingleObject(h, 10000);
    CloseHandle(h);
    CloseHandle(gate);
}

static void drain(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    }
}

static void test_peek_and_filters(void)
{
    MSG msg;
    DWORD me = GetCurrentThreadId();
    drain();
    ok(!PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE), "empty queue\n");

    ok(PostThreadMessageA(me, WM_APP, 1, 2), "post to self\n");
    memset(&msg, 0, sizeof msg);
    ok(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE), "peek without removing\n");
    ok(msg.message == WM_APP && msg.wParam == 1 && msg.lParam == 2 && msg.hwnd == NULL, "peeked %x %u %d\n",
       msg.message, (unsigned)msg.wParam, (int)msg.lParam);
    ok(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE) && msg.message == WM_APP, "still there after PM_NOREMOVE\n");
    ok(!PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE), "gone after PM_REMOVE\n");

    /* Range filters take the first message in range, leaving the others. */
    PostThreadMessageA(me, WM_USER + 1, 0, 0);
    PostThreadMessageA(me, WM_APP + 1, 0, 0);
    PostThreadMessageA(me, WM_USER + 2, 0, 0);
    ok(PeekMessageA(&msg, NULL, WM_APP, WM_APP + 10, PM_REMOVE) && msg.message == WM_APP + 1,
       "range filter took %x\n", msg.message);
    ok(GetMessageA(&msg, NULL, WM_USER + 2, WM_USER + 2) > 0 && msg.message == WM_USER + 2,
       "GetMessageA range took %x\n", msg.message);
    ok(!PeekMessageA(&msg, NULL, WM_APP, WM_APP + 10, PM_NOREMOVE), "out-of-range message matched\n");
    ok(PeekMessageA(&msg, (HWND)(LONG_PTR)-1, 0, 0, PM_REMOVE) && msg.message == WM_USER + 1,
       "thread-message filter took %x\n", msg.message);
    ok(DispatchMessageA(&msg) == 0, "dispatching a thread message\n");

    /* WM_QUIT comes after the posted messages and ends GetMessageA. */
    PostThreadMessageA(me, WM_USER, 0, 0);
    PostQuitMessage(5);
    PostThreadMessageA(me, WM_USER + 1, 0, 0);
    ok(GetMessageA(&msg, NULL, 0, 0) > 0 && msg.message == WM_USER, "first: %x\n", msg.message);
    ok(GetMessageA(&msg, NULL, 0, 0) > 0 && msg.message == WM_USER + 1, "second: %x\n", msg.message);
    ok(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE) && msg.message == WM_QUIT, "quit peeked: %x\n", msg.message);
    ok(GetMessageA(&msg, NULL, 0, 0) == 0 && msg.message == WM_QUIT && msg.wParam == 5,
       "GetMessageA for WM_QUIT: %x %u\n", msg.message, (unsigned)msg.wParam);
    ok(!PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE), "WM_QUIT delivered twice\n");

    /* Ids above 0xFFFF are reserved to the system: the layer refuses them. */
    if (wintest_is_layer()) {
        SetLastError(0xdeadbeef);
        ok(!PostThreadMessageA(me, 0x10000, 0, 0) && GetLastError() == ERROR_INVALID_PARAMETER,
           "message id above 0xFFFF: error %u\n", (unsigned)GetLastError());
    }
    drain();
}

struct post_later {
    DWORD tid;
    HANDLE event;
    DWORD delay;
};

static DWORD WINAPI post_later_thread(LPVOID arg)
{
    struct post_later *p = (struct post_later *)arg;
    Sleep(p->delay);
    if (p->event)
        SetEvent(p->event);
    else
        PostThreadMessageA(p->tid, WM_APP + 7, 0, 0);
    return 0;
}

static void test_waits(void)
{
    MSG msg;
    drain();
    HANDLE e = CreateEventA(NULL, FALSE, FALSE, NULL);
    struct post_later p = {GetCurrentThreadId(), NULL, 100};

    /* Nothing happens: time-out. */
    ok(MsgWaitForMultipleObjects(1, &e, FALSE, 50, QS_ALLINPUT) == WAIT_TIMEOUT, "idle MsgWait\n");

    /* A message wakes the wait with WAIT_OBJECT_0 + nCount. */
    HANDLE t = CreateThread(NULL, 0, post_later_thread, &p, 0, NULL);
    DWORD r = MsgWaitForMultipleObjects(1, &e, FALSE, 10000, QS_ALLINPUT);
    ok(r == WAIT_OBJECT_0 + 1, "MsgWait for a message: %u\n", (unsigned)r);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);

    /* Input already seen does not wake it again, unless asked for. */
    ok(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE) && msg.message == WM_APP + 7, "message is there\n");
    ok(MsgWaitForMultipleObjects(1, &e, FALSE, 50, QS_ALLINPUT) == WAIT_TIMEOUT, "old input woke MsgWait\n");
    ok(MsgWaitForMultipleObjectsEx(1, &e, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0 + 1,
       "MWMO_INPUTAVAILABLE ignored queued input\n");
    drain();

    /* An object wakes it with its index. */
    p.event = e;
    t = CreateThread(NULL, 0, post_later_thread, &p, 0, NULL);
    r = MsgWaitForMultipleObjects(1, &e, FALSE, 10000, QS_ALLINPUT);
    ok(r == WAIT_OBJECT_0, "MsgWait for an event: %u\n", (unsigned)r);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);

    /* No objects at all: only the queue. */
    p.event = NULL;
    t = CreateThread(NULL, 0, post_later_thread, &p, 0, NULL);
    r = MsgWaitForMultipleObjects(0, NULL, FALSE, 10000, QS_ALLINPUT);
    ok(r == WAIT_OBJECT_0, "MsgWait on the queue alone: %u\n", (unsigned)r);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    drain();

    /* WaitMessage returns once a message arrives. */
    t = CreateThread(NULL, 0, post_later_thread, &p, 0, NULL);
    ok(WaitMessage(), "WaitMessage\n");
    ok(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE) && msg.message == WM_APP + 7, "WaitMessage woke early\n");
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    CloseHandle(e);
}

/* Several threads post to one loop: each one's messages stay in order. */
#define PRODUCERS 4
#define PER_PRODUCER 1000

struct ordered_state {
    HANDLE ready;
    LONG next[PRODUCERS];
    LONG out_of_order;
    LONG total;
};

static DWORD WINAPI ordered_loop(LPVOID arg)
{
    struct ordered_state *s = (struct ordered_state *)arg;
    MSG msg;
    PeekMessageA(&msg, NULL, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(s->ready);
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        int producer = (int)msg.wParam;
        if (producer < 0 || producer >= PRODUCERS || msg.lParam != s->next[producer])
            s->out_of_order++;
        else
            s->next[producer]++;
        s->total++;
    }
    return 0;
}

static DWORD g_consumer;

static DWORD WINAPI producer(LPVOID arg)
{
    int failures = 0;
    for (int i = 0; i < PER_PRODUCER; i++)
        if (!PostThreadMessageA(g_consumer, WM_USER, (WPARAM)arg, i)) failures++;
    return failures;
}

static void test_many_producers(void)
{
    struct ordered_state s;
    memset(&s, 0, sizeof s);
    s.ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE consumer = CreateThread(NULL, 0, ordered_loop, &s, 0, &g_consumer);
    WaitForSingleObject(s.ready, 10000);
    HANDLE producers[PRODUCERS];
    for (int i = 0; i < PRODUCERS; i++) producers[i] = CreateThread(NULL, 0, producer, (LPVOID)(ULONG_PTR)i, 0, NULL);
    ok(WaitForMultipleObjects(PRODUCERS, producers, TRUE, 30000) == WAIT_OBJECT_0, "producers did not end\n");
    int failures = 0;
    for (int i = 0; i < PRODUCERS; i++) {
        DWORD code = 0;
        GetExitCodeThread(producers[i], &code);
        failures += (int)code;
        CloseHandle(producers[i]);
    }
    ok(failures == 0, "%d posts failed\n", failures);
    PostThreadMessageA(g_consumer, WM_QUIT, 0, 0);
    ok(WaitForSingleObject(consumer, 30000) == WAIT_OBJECT_0, "consumer did not end\n");
    ok(s.total == PRODUCERS * PER_PRODUCER, "consumer got %d messages\n", (int)s.total);
    ok(s.out_of_order == 0, "%d messages out of order\n", (int)s.out_of_order);
    CloseHandle(consumer);
    CloseHandle(s.ready);
}

START_TEST(user32_msgqueue)
{
    test_thread_loop();
    test_layer_eager_queue();
    test_peek_and_filters();
    test_waits();
    test_many_producers();
}

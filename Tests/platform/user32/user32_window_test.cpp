/* Windows: classes, creation and destruction messages, frames and client
 * areas, child windows, coordinate mapping, z-order, visibility, window
 * messages across threads, and painting with background erase. */
#include <windows.h>

#include "wintest.h"

#define MAX_LOG 64

static UINT message_log[MAX_LOG];
static int log_count;
static HWND log_window;

static void clear_log(HWND hwnd)
{
    log_count = 0;
    log_window = hwnd;
}

static int log_index(UINT message)
{
    for (int i = 0; i < log_count; i++)
        if (message_log[i] == message) return i;
    return -1;
}

static LPARAM last_size;
static LPARAM last_move;
static int fail_create;

static LRESULT CALLBACK logging_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((!log_window || hwnd == log_window) && log_count < MAX_LOG) message_log[log_count++] = message;
    if (message == WM_SIZE) last_size = lParam;
    if (message == WM_MOVE) last_move = lParam;
    if (message == WM_CREATE && fail_create) return -1;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

static void pump(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

static void register_classes(void)
{
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = logging_proc;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = "window_test";
    ok(RegisterClassA(&wc) != 0, "RegisterClassA failed\n");
    SetLastError(0);
    ok(RegisterClassA(&wc) == 0 && GetLastError() == ERROR_CLASS_ALREADY_EXISTS,
       "registering twice: error %lu\n", (unsigned long)GetLastError());

    WNDCLASSEXA ex;
    memset(&ex, 0, sizeof ex);
    ex.cbSize = sizeof ex;
    ex.lpfnWndProc = logging_proc;
    ex.hbrBackground = CreateSolidBrush(RGB(0, 0, 255));
    ex.lpszClassName = "window_test_blue";
    ok(RegisterClassExA(&ex) != 0, "RegisterClassExA failed\n");
    ex.cbSize = 0;
    ex.lpszClassName = "window_test_bad";
    ok(RegisterClassExA(&ex) == 0, "RegisterClassExA accepted cbSize 0\n");
}

static void test_creation_messages(void)
{
    /* Popups and children hear their size and place right after WM_CREATE. */
    clear_log(NULL);
    HWND hwnd = CreateWindowExA(0, "window_test", "", WS_POPUP, 5, 6, 30, 20, NULL, NULL, NULL, NULL);
    int nccreate = log_index(WM_NCCREATE), create = log_index(WM_CREATE);
    ok(nccreate >= 0 && create > nccreate, "WM_NCCREATE before WM_CREATE\n");
    ok(log_index(WM_SIZE) > create && log_index(WM_MOVE) > create, "popup: WM_SIZE and WM_MOVE after WM_CREATE\n");
    ok(LOWORD(last_size) == 30 && HIWORD(last_size) == 20, "WM_SIZE carries the client size\n");
    ok(LOWORD(last_move) == 5 && HIWORD(last_move) == 6, "WM_MOVE carries the client origin\n");
    DestroyWindow(hwnd);

    /* Overlapped windows hear them when first shown. */
    clear_log(NULL);
    hwnd = CreateWindowExA(0, "window_test", "created", WS_OVERLAPPEDWINDOW, 50, 60, 300, 200, NULL, NULL,
                           NULL, NULL);
    ok(hwnd != NULL, "CreateWindowExA failed\n");
    ok(log_index(WM_CREATE) >= 0 && log_index(WM_SIZE) < 0, "overlapped: no WM_SIZE before it is shown\n");
    ok(!IsWindowVisible(hwnd), "created hidden\n");
    clear_log(hwnd);
    ShowWindow(hwnd, SW_SHOWNA);
    ok(log_index(WM_SHOWWINDOW) >= 0 && log_index(WM_SIZE) > log_index(WM_SHOWWINDOW), "WM_SIZE when shown\n");
    RECT client;
    GetClientRect(hwnd, &client);
    ok(LOWORD(last_size) == client.right && HIWORD(last_size) == client.bottom, "WM_SIZE carries the client size\n");
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    ok(LOWORD(last_move) == origin.x && HIWORD(last_move) == origin.y, "WM_MOVE carries the client origin\n");
    char title[32];
    ok(GetWindowTextA(hwnd, title, sizeof title) == 7 && strcmp(title, "created") == 0, "title %s\n", title);

    clear_log(hwnd);
    ok(DestroyWindow(hwnd), "DestroyWindow failed\n");
    ok(log_index(WM_DESTROY) >= 0 && log_index(WM_NCDESTROY) > log_index(WM_DESTROY),
       "WM_DESTROY then WM_NCDESTROY\n");
    ok(!IsWindow(hwnd), "destroyed window still valid\n");
    SetLastError(0);
    ok(!DestroyWindow(hwnd), "destroying twice\n");
    ok(GetLastError() == ERROR_INVALID_WINDOW_HANDLE || wintest_is_wine(), "error %lu\n", (unsigned long)GetLastError());

    fail_create = 1;
    clear_log(NULL);
    hwnd = CreateWindowExA(0, "window_test", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    fail_create = 0;
    ok(hwnd == NULL, "WM_CREATE returning -1 must fail the creation\n");
    ok(log_index(WM_DESTROY) < 0 && log_index(WM_NCDESTROY) > log_index(WM_CREATE),
       "a failed creation ends with WM_NCDESTROY alone\n");

    ok(CreateWindowExA(0, "no_such_class", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL) == NULL,
       "unknown class\n");
    ok(CreateWindowExA(0, "window_test", "", WS_CHILD, 0, 0, 10, 10, NULL, NULL, NULL, NULL) == NULL,
       "a child needs a parent\n");
}

static void check_frame(DWORD style, DWORD exStyle, const char *what)
{
    HWND hwnd = CreateWindowExA(exStyle, "window_test", "", style, 100, 120, 400, 300, NULL, NULL, NULL, NULL);
    RECT window, client, adjusted = {0, 0, 0, 0};
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    AdjustWindowRectEx(&adjusted, style, FALSE, exStyle);
    ok(window.left == 100 && window.top == 120 && window.right == 500 && window.bottom == 420,
       "%s: window rect (%d,%d)-(%d,%d)\n", what, (int)window.left, (int)window.top, (int)window.right,
       (int)window.bottom);
    ok(client.left == 0 && client.top == 0, "%s: client rect starts at 0,0\n", what);
    ok(client.right == 400 - (adjusted.right - adjusted.left) && client.bottom == 300 - (adjusted.bottom - adjusted.top),
       "%s: client size %dx%d\n", what, (int)client.right, (int)client.bottom);
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    ok(origin.x == 100 - adjusted.left && origin.y == 120 - adjusted.top, "%s: client origin %d,%d\n", what,
       (int)origin.x, (int)origin.y);
    POINT back = origin;
    ScreenToClient(hwnd, &back);
    ok(back.x == 0 && back.y == 0, "%s: ScreenToClient reverses ClientToScreen\n", what);
    DestroyWindow(hwnd);
}

static void test_frames(void)
{
    check_frame(WS_OVERLAPPEDWINDOW, 0, "overlapped");
    check_frame(WS_POPUP, 0, "popup");
    check_frame(WS_POPUP | WS_BORDER, 0, "bordered popup");
    check_frame(WS_POPUP | WS_CAPTION, WS_EX_CLIENTEDGE, "caption with client edge");

    RECT r = {0, 0, 100, 100};
    AdjustWindowRectEx(&r, WS_POPUP, FALSE, 0);
    ok(r.left == 0 && r.top == 0 && r.right == 100 && r.bottom == 100, "no frame without border styles\n");
    SetRect(&r, 0, 0, 100, 100);
    AdjustWindowRectEx(&r, WS_POPUP | WS_BORDER, FALSE, 0);
    ok(-r.left == GetSystemMetrics(SM_CXBORDER) && -r.top == GetSystemMetrics(SM_CYBORDER), "thin border\n");
    SetRect(&r, 0, 0, 100, 100);
    AdjustWindowRectEx(&r, WS_CAPTION, FALSE, 0);
    ok(r.top < r.left, "a caption makes the top frame the widest\n");
}

static void test_child_windows(void)
{
    HWND parent = CreateWindowExA(0, "window_test", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150, 500, 400, NULL,
                                  NULL, NULL, NULL);
    HWND child = CreateWindowExA(0, "window_test", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 20, 100, 50, parent,
                                 (HMENU)7, NULL, NULL);
    ok(child != NULL, "child creation failed\n");
    ok(GetParent(child) == parent && IsChild(parent, child) && !IsChild(child, parent), "parent relation\n");
    ok(GetWindowLongA(child, GWL_ID) == 7, "control id\n");

    POINT parent_origin = {0, 0};
    ClientToScreen(parent, &parent_origin);
    RECT child_rect;
    GetWindowRect(child, &child_rect);
    ok(child_rect.left == parent_origin.x + 10 && child_rect.top == parent_origin.y + 20 &&
           child_rect.right == child_rect.left + 100 && child_rect.bottom == child_rect.top + 50,
       "child window rect in screen coordinates\n");

    POINT p = {0, 0};
    ClientToScreen(child, &p);
    ok(p.x == child_rect.left + GetSystemMetrics(SM_CXBORDER) && p.y == child_rect.top + GetSystemMetrics(SM_CYBORDER),
       "child client origin inside its border\n");

    POINT pts[1] = {{5, 5}};
    MapWindowPoints(child, parent, pts, 1);
    ok(pts[0].x == 10 + GetSystemMetrics(SM_CXBORDER) + 5 && pts[0].y == 20 + GetSystemMetrics(SM_CYBORDER) + 5,
       "MapWindowPoints child to parent: %d,%d\n", (int)pts[0].x, (int)pts[0].y);

    /* The child moves with its parent. */
    MoveWindow(parent, 250, 150, 500, 400, TRUE);
    RECT moved;
    GetWindowRect(child, &moved);
    ok(moved.left == child_rect.left + 50 && moved.top == child_rect.top, "child follows its parent\n");
    /* MoveWindow of a child takes parent client coordinates. */
    clear_log(child);
    MoveWindow(child, 30, 40, 120, 60, TRUE);
    GetWindowRect(child, &moved);
    POINT origin = {0, 0};
    ClientToScreen(parent, &origin);
    ok(moved.left == origin.x + 30 && moved.top == origin.y + 40 && moved.right - moved.left == 120,
       "moved child rect\n");
    ok(log_index(WM_SIZE) >= 0 && log_index(WM_MOVE) >= 0, "MoveWindow sends WM_SIZE and WM_MOVE\n");
    ok(LOWORD(last_size) == 120 - 2 * GetSystemMetrics(SM_CXBORDER), "WM_SIZE width %u\n", LOWORD(last_size));

    ok(IsWindowVisible(child), "visible child of a visible parent\n");
    ShowWindow(parent, SW_HIDE);
    ok(!IsWindowVisible(child) && (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE),
       "a hidden parent hides the child but keeps its WS_VISIBLE\n");

    clear_log(NULL);
    DestroyWindow(parent);
    ok(!IsWindow(child), "destroying the parent destroys the child\n");
}

/* True when `upper` lies above `lower` among their siblings. */
static int is_above(HWND upper, HWND lower)
{
    for (HWND h = GetWindow(upper, GW_HWNDNEXT); h; h = GetWindow(h, GW_HWNDNEXT))
        if (h == lower) return 1;
    return 0;
}

static void test_z_order(void)
{
    HWND a = CreateWindowExA(0, "window_test", "a", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    HWND b = CreateWindowExA(0, "window_test", "b", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, NULL, NULL, NULL, NULL);
    ok(is_above(b, a), "the newer window is above\n");
    SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ok(is_above(a, b), "HWND_TOP raises\n");
    SetWindowPos(a, b, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ok(GetWindow(b, GW_HWNDNEXT) == a, "insert after b\n");
    SetWindowPos(b, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ok(is_above(a, b) && GetWindow(b, GW_HWNDNEXT) == NULL, "HWND_BOTTOM lowers\n");

    RECT r;
    SetWindowPos(a, NULL, 5, 6, 70, 80, SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(a, &r);
    ok(r.left == 5 && r.top == 6 && r.right == 75 && r.bottom == 86, "SetWindowPos moves and sizes\n");
    SetWindowPos(a, NULL, 100, 100, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
    GetWindowRect(a, &r);
    ok(r.left == 100 && r.right == 170, "SWP_NOSIZE keeps the size\n");

    ok(ShowWindow(a, SW_HIDE) != 0, "ShowWindow returns the previous visibility\n");
    ok(ShowWindow(a, SW_HIDE) == 0, "already hidden\n");
    ok(!IsWindowVisible(a), "hidden\n");
    DestroyWindow(a);
    DestroyWindow(b);
}

static DWORD proc_thread;
static LRESULT CALLBACK thread_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 1) {
        proc_thread = GetCurrentThreadId();
        return (LRESULT)(wParam + 1);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

static DWORD WINAPI send_from_thread(LPVOID param)
{
    HWND hwnd = (HWND)param;
    return (DWORD)SendMessageA(hwnd, WM_USER + 1, 41, 0);
}

static void test_messages(void)
{
    wintest_register_class("window_test_thread", thread_proc);
    HWND hwnd = CreateWindowExA(0, "window_test_thread", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);

    ok(SendMessageA(hwnd, WM_USER + 1, 1, 0) == 2, "SendMessageA on the owner thread\n");
    ok(proc_thread == GetCurrentThreadId(), "ran on the caller\n");

    ok(PostMessageA(hwnd, WM_USER + 1, 9, 0), "PostMessageA failed\n");
    MSG msg;
    ok(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE) && msg.hwnd == hwnd && msg.message == WM_USER + 1 && msg.wParam == 9,
       "posted message arrives\n");
    ok(DispatchMessageA(&msg) == 10, "DispatchMessageA returns the procedure's result\n");
    SetLastError(0);
    ok(!PostMessageA((HWND)(ULONG_PTR)0xDEAD0, WM_USER, 0, 0) && GetLastError() == ERROR_INVALID_WINDOW_HANDLE,
       "posting to no window\n");

    /* From another thread, the message runs on the window's thread while it
     * reads its queue. */
    proc_thread = 0;
    DWORD tid;
    HANDLE thread = CreateThread(NULL, 0, send_from_thread, hwnd, 0, &tid);
    DWORD result = 0;
    while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        else
            Sleep(1);
    }
    GetExitCodeThread(thread, &result);
    CloseHandle(thread);
    ok(result == 42, "cross-thread SendMessageA result %lu\n", (unsigned long)result);
    ok(proc_thread == GetCurrentThreadId(), "ran on the owner thread\n");
    DestroyWindow(hwnd);
}

static void test_paint(void)
{
    HWND hwnd = CreateWindowExA(0, "window_test_blue", "", WS_POPUP | WS_VISIBLE, 300, 300, 40, 30, NULL, NULL,
                                NULL, NULL);
    UpdateWindow(hwnd);
    pump();
    MSG msg;
    ok(!PeekMessageA(&msg, hwnd, WM_PAINT, WM_PAINT, PM_NOREMOVE), "nothing left to paint\n");

    HDC dc = GetDC(hwnd);
    RECT all = {0, 0, 40, 30};
    FillRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    ok(GetPixel(dc, 5, 5) == RGB(0, 0, 0), "filled black\n");

    RECT part = {0, 0, 10, 10};
    ok(InvalidateRect(hwnd, &part, TRUE), "InvalidateRect failed\n");
    RECT update;
    ok(GetUpdateRect(hwnd, &update, FALSE) && EqualRect(&update, &part), "update rect\n");
    ok(PeekMessageA(&msg, hwnd, WM_PAINT, WM_PAINT, PM_NOREMOVE) && msg.message == WM_PAINT, "WM_PAINT pending\n");
    pump();
    ok(!GetUpdateRect(hwnd, &update, FALSE), "painting validated the window\n");
    ok(GetPixel(dc, 5, 5) == RGB(0, 0, 255), "erased with the class brush: %06lx\n", (unsigned long)GetPixel(dc, 5, 5));
    ok(GetPixel(dc, 20, 20) == RGB(0, 0, 0), "outside the invalid part untouched\n");

    /* Without erase the background stays. */
    FillRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    InvalidateRect(hwnd, NULL, FALSE);
    pump();
    ok(GetPixel(dc, 5, 5) == RGB(0, 0, 0), "no erase requested\n");

    ok(GetPixel(dc, 50, 5) == CLR_INVALID, "GetPixel outside the client area\n");
    ok(ReleaseDC(hwnd, dc) == 1, "ReleaseDC\n");
    DestroyWindow(hwnd);
    pump();
}

START_TEST(user32_window)
{
    register_classes();
    test_creation_messages();
    test_frames();
    test_child_windows();
    test_z_order();
    test_messages();
    test_paint();
}

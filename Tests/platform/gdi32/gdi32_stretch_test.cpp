/* StretchDIBits and stretch modes: 24- and 32-bit bitmaps, bottom-up and
 * top-down, source sub-rectangles, nearest-neighbour stretching, clipping
 * to what lies above a window and to a child's parent, and a window spanning
 * two monitors of different formats. */
#include <windows.h>

#include "wintest.h"

#ifndef _WIN32
#include <stdlib.h>
#endif

#include "gdi32/stretch_picture.h"

/* Lets a Win32 implementation that draws asynchronously (a compositor, an X
 * server) catch up before the screen is read back. */
static void settle(void)
{
#ifdef _WIN32
    MSG msg;
    GdiFlush();
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(100);
#endif
}

static void clear_window(HWND hwnd)
{
    HDC dc = GetDC(hwnd);
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(dc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
    ReleaseDC(hwnd, dc);
}

/* Checks that the window shows the picture region (sx, sy, sw, sh) (top-down
 * picture coordinates) at (dx, dy) unscaled. */
static void check_copy(HDC dc, int dx, int dy, int sx, int sy, int sw, int sh, const char *what)
{
    int bad = 0;
    for (int y = 0; y < sh; y++)
        for (int x = 0; x < sw; x++) {
            COLORREF got = GetPixel(dc, dx + x, dy + y), want = picture_color(sx + x, sy + y);
            if (got != want && bad++ < 3)
                ok(0, "%s: pixel %d,%d is %06lx, expected %06lx\n", what, x, y, (unsigned long)got, (unsigned long)want);
        }
    ok(bad == 0, "%s: %d wrong pixels\n", what, bad);
}

static void test_formats_and_orientation(void)
{
    HWND hwnd = make_window(100, 100, 64, 64, NULL);
    HDC dc = GetDC(hwnd);
    struct dib d;
    int bpps[2] = {24, 32};
    for (int b = 0; b < 2; b++)
        for (int top_down = 0; top_down < 2; top_down++) {
            char what[64];
            snprintf(what, sizeof what, "%d-bit %s", bpps[b], top_down ? "top-down" : "bottom-up");
            clear_window(hwnd);
            make_dib(&d, 4, 4, bpps[b], top_down);
            int lines = StretchDIBits(dc, 2, 3, 4, 4, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);
            ok(lines == 4, "%s: %d lines\n", what, lines);
            check_copy(dc, 2, 3, 0, 0, 4, 4, what);
            ok(GetPixel(dc, 1, 3) == RGB(0, 0, 0) && GetPixel(dc, 6, 3) == RGB(0, 0, 0), "%s: nothing beside\n", what);
        }

    /* A source sub-rectangle counts its rows from the bottom of the
     * picture, for top-down bitmaps too. */
    clear_window(hwnd);
    make_dib(&d, 4, 4, 24, 0);
    StretchDIBits(dc, 0, 0, 2, 2, 1, 0, 2, 2, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);
    check_copy(dc, 0, 0, 1, 2, 2, 2, "bottom-up sub-rectangle");
    clear_window(hwnd);
    make_dib(&d, 4, 4, 32, 1);
    StretchDIBits(dc, 0, 0, 2, 2, 1, 0, 2, 2, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);
    check_copy(dc, 0, 0, 1, 2, 2, 2, "top-down sub-rectangle");

    /* Bad arguments. */
    ok(StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 4, 4, NULL, &d.info, DIB_RGB_COLORS, SRCCOPY) == 0, "no bits\n");
    d.info.bmiHeader.biBitCount = 12;
    ok(StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY) == 0, "12 bits\n");
    ReleaseDC(hwnd, dc);
    DestroyWindow(hwnd);
}

static void test_stretching(void)
{
    HWND hwnd = make_window(200, 100, 64, 64, NULL);
    HDC dc = GetDC(hwnd);
    ok(GetStretchBltMode(dc) == BLACKONWHITE, "default mode %d\n", GetStretchBltMode(dc));
    ok(SetStretchBltMode(dc, COLORONCOLOR) == BLACKONWHITE, "SetStretchBltMode returns the old mode\n");
    ok(GetStretchBltMode(dc) == COLORONCOLOR, "mode set\n");
    ok(SetStretchBltMode(dc, 0) == 0 && GetStretchBltMode(dc) == COLORONCOLOR, "mode 0 refused\n");

    struct dib d;
    make_dib(&d, 4, 4, 24, 0);
    clear_window(hwnd);
    /* Doubling: each source pixel covers a 2x2 block. */
    StretchDIBits(dc, 0, 0, 8, 8, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);
    int bad = 0;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) bad += GetPixel(dc, x, y) != picture_color(x / 2, y / 2);
    ok(bad == 0, "doubled: %d wrong pixels\n", bad);

    /* Halving keeps one pixel of each 2x2 block. */
    clear_window(hwnd);
    StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 2; x++) {
            COLORREF c = GetPixel(dc, x, y);
            ok(c == picture_color(2 * x, 2 * y) || c == picture_color(2 * x + 1, 2 * y) ||
                   c == picture_color(2 * x, 2 * y + 1) || c == picture_color(2 * x + 1, 2 * y + 1),
               "halved pixel %d,%d is %06lx\n", x, y, (unsigned long)c);
        }

    /* A 4x4 picture over 6 columns: nearest neighbour repeats two columns. */
    clear_window(hwnd);
    StretchDIBits(dc, 0, 0, 6, 4, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);
    int distinct = 0;
    COLORREF last = CLR_INVALID;
    for (int x = 0; x < 6; x++) {
        COLORREF c = GetPixel(dc, x, 0);
        ok(GetGValue(c) == 10 && GetBValue(c) == 200, "stretched row 0 keeps its row\n");
        if (c != last) distinct++;
        last = c;
    }
    ok(distinct == 4, "6 columns from 4: %d distinct\n", distinct);
    ReleaseDC(hwnd, dc);
    DestroyWindow(hwnd);
}

static void test_clipping(void)
{
    struct dib d;
    make_dib(&d, 4, 4, 24, 0);

    /* A window above cuts the one beneath. */
    HWND below = make_window(400, 100, 40, 40, NULL);
    HWND above = make_window(420, 100, 40, 40, NULL);
    clear_window(below);
    clear_window(above);
    HDC dc = GetDC(below);
    settle();
    StretchDIBits(dc, 0, 0, 40, 40, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);
    settle();
    HDC screen = GetDC(NULL);
    ok(GetPixel(screen, 405, 105) == picture_color(0, 0), "visible part painted\n");
    ok(GetPixel(screen, 425, 105) == RGB(0, 0, 0), "covered part left alone\n");
#ifndef _WIN32
    /* (A compositing Windows keeps covered window pixels readable.) */
    ok(GetPixel(dc, 25, 5) == CLR_INVALID, "GetPixel under the window above\n");
#endif

    /* Once raised, the whole window is drawn on. */
    SetWindowPos(below, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    settle();
    StretchDIBits(dc, 0, 0, 40, 40, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);
    settle();
    ok(GetPixel(screen, 425, 105) == picture_color(2, 0), "raised window painted: %06lx\n",
       (unsigned long)GetPixel(screen, 425, 105));
    ReleaseDC(below, dc);

    /* A child is clipped to its parent's client area. */
    HWND parent = make_window(500, 200, 30, 30, NULL);
    HWND child = make_window(20, 20, 40, 40, parent);
    clear_window(parent);
    dc = GetDC(child);
    settle();
    StretchDIBits(dc, 0, 0, 40, 40, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);
    settle();
    ok(GetPixel(screen, 525, 225) == picture_color(0, 0), "child painted inside the parent\n");
    ok(GetPixel(screen, 535, 235) != picture_color(1, 1), "nothing outside the parent\n");
    ReleaseDC(child, dc);

    /* A hidden window draws nothing. */
    ShowWindow(above, SW_HIDE);
    dc = GetDC(above);
    RECT r = {0, 0, 40, 40};
    FillRect(dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
    settle();
    ok(GetPixel(screen, 445, 105) != RGB(255, 255, 255), "hidden window drew\n");
    ReleaseDC(above, dc);
    ReleaseDC(NULL, screen);
    DestroyWindow(parent);
    DestroyWindow(above);
    DestroyWindow(below);
}

#ifdef _WIN32
static COLORREF read_window(HDC dc, int, int x, int y, COLORREF *)
{
    return GetPixel(dc, x, y);
}

static void test_two_monitors(void)
{
    check_across_monitors(read_window);
}
#endif

struct drawer {
    HWND hwnd;
    int rounds;
    int failures;
};

static DWORD WINAPI draw_repeatedly(LPVOID param)
{
    struct drawer *d = (struct drawer *)param;
    struct dib picture;
    make_dib(&picture, 4, 4, 32, 1);
    for (int i = 0; i < d->rounds; i++) {
        HDC dc = GetDC(d->hwnd);
        if (!dc || StretchDIBits(dc, 0, 0, 32, 32, 0, 0, 4, 4, picture.bits, &picture.info, DIB_RGB_COLORS,
                                 SRCCOPY) != 4)
            d->failures++;
        if (dc) ReleaseDC(d->hwnd, dc);
    }
    return 0;
}

/* Render threads draw while the window's own thread moves it about. */
static void test_drawing_while_moving(void)
{
    HWND hwnd = make_window(600, 600, 32, 32, NULL);
    struct drawer drawers[2] = {{hwnd, 300, 0}, {hwnd, 300, 0}};
    HANDLE threads[2];
    for (int i = 0; i < 2; i++) threads[i] = CreateThread(NULL, 0, draw_repeatedly, &drawers[i], 0, NULL);
    int moves = 0;
    while (WaitForMultipleObjects(2, threads, TRUE, 0) == WAIT_TIMEOUT) {
        moves++;
        MoveWindow(hwnd, 600 + (moves % 50) * 4, 600 + (moves % 7), 32 + moves % 5, 32, TRUE);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    for (int i = 0; i < 2; i++) CloseHandle(threads[i]);
    ok(drawers[0].failures == 0 && drawers[1].failures == 0, "drawing failed while moving: %d, %d\n",
       drawers[0].failures, drawers[1].failures);
    /* The window's last place shows the picture. */
    MoveWindow(hwnd, 610, 610, 32, 32, TRUE);
    draw_repeatedly(&drawers[0]);
    settle();
    HDC screen = GetDC(NULL);
    ok(GetPixel(screen, 610 + 9, 610 + 17) == picture_color(1, 2), "picture after the moves\n");
    ok(GetPixel(screen, 609, 610) != picture_color(0, 0) || moves == 0, "nothing left of the window\n");
    ReleaseDC(NULL, screen);
    DestroyWindow(hwnd);
}

START_TEST(gdi32_stretch)
{
#ifndef _WIN32
    setenv("KOVA_DESKTOP", "1920x1080x32@0,0;1280x1024x16@1920,0", 1);
#endif
    wintest_register_class("stretch_test", stretch_proc);
    test_formats_and_orientation();
    test_stretching();
    test_clipping();
#ifdef _WIN32
    /* The layer's second monitor is 5:6:5: there the framebuffers are read
     * through the control interface (gdi32_stretch_control_test). */
    test_two_monitors();
#endif
    test_drawing_while_moving();
}

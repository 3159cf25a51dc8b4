/* The stretch tests' picture, as a DIB in 24 or 32 bits, and their windows
 * (class "stretch_test", which keeps what a test drew): shared by the
 * conformance program and the layer's control checks. */
#ifndef KOVA_TEST_STRETCH_PICTURE_H
#define KOVA_TEST_STRETCH_PICTURE_H

#include <windows.h>

#include "wintest.h"

/* A 4x4 test picture: pixel (x, y) (top-down) has red 40*x+10, green
 * 40*y+10, blue 200. */
WINTEST_MAYBE_UNUSED static COLORREF picture_color(int x, int y)
{
    return RGB(40 * x + 10, 40 * y + 10, 200);
}

struct dib {
    BITMAPINFO info;
    BYTE bits[16 * 16 * 4];
};

/* Builds the picture (w x h, colours as above) in 24 or 32 bits, rows
 * bottom-up (positive height) or top-down. */
WINTEST_MAYBE_UNUSED static void make_dib(struct dib *d, int w, int h, int bpp, int top_down)
{
    memset(d, 0, sizeof *d);
    d->info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    d->info.bmiHeader.biWidth = w;
    d->info.bmiHeader.biHeight = top_down ? -h : h;
    d->info.bmiHeader.biPlanes = 1;
    d->info.bmiHeader.biBitCount = (WORD)bpp;
    d->info.bmiHeader.biCompression = BI_RGB;
    int stride = ((w * bpp / 8) + 3) & ~3;
    for (int y = 0; y < h; y++) {
        int row = top_down ? y : h - 1 - y;
        for (int x = 0; x < w; x++) {
            BYTE *p = d->bits + row * stride + x * (bpp / 8);
            COLORREF c = picture_color(x, y);
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    }
}

WINTEST_MAYBE_UNUSED static HWND make_window(int x, int y, int w, int h, HWND parent)
{
    DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_VISIBLE;
    return CreateWindowExA(0, "stretch_test", "", style, x, y, w, h, parent, NULL, NULL, NULL);
}

WINTEST_MAYBE_UNUSED static LRESULT CALLBACK stretch_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND) return 1; /* keep whatever the test drew */
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

/* Gives pixel (x, y) of the window of check_across_monitors as read back,
 * and may adjust the colour it must have to what the display can show. */
typedef COLORREF (*across_reader)(HDC dc, int split, int x, int y, COLORREF *want);

/* A 64x32 client area across the right edge of the primary (40 columns on
 * it, 24 on the monitor right of it, from y = 50) shows the picture
 * stretched over it, every pixel as `read` finds it. Returns the primary's
 * width, or 0 (skipped) without a monitor right of the primary. */
WINTEST_MAYBE_UNUSED static int check_across_monitors(across_reader read)
{
    if (GetSystemMetrics(SM_CMONITORS) < 2) {
        skip("one monitor only\n");
        return 0;
    }
    POINT right = {GetSystemMetrics(SM_CXSCREEN) + 10, 10};
    HMONITOR second = MonitorFromPoint(right, MONITOR_DEFAULTTONULL);
    if (!second) {
        skip("no monitor right of the primary\n");
        return 0;
    }
    const int split = GetSystemMetrics(SM_CXSCREEN);
    HWND hwnd = make_window(split - 40, 50, 64, 32, NULL);
    HDC dc = GetDC(hwnd);
    SetStretchBltMode(dc, COLORONCOLOR);
    struct dib d;
    make_dib(&d, 4, 4, 24, 0);
    StretchDIBits(dc, 0, 0, 64, 32, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY);

    int bad = 0;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 64; x++) {
            COLORREF want = picture_color(x / 16, y / 8);
            COLORREF got = read(dc, split, x, y, &want);
            if (got != want && bad++ < 3)
                ok(0, "pixel %d,%d: %06lx, expected %06lx\n", x, y, (unsigned long)got, (unsigned long)want);
        }
    ok(bad == 0, "window across two monitors: %d wrong pixels\n", bad);
    ReleaseDC(hwnd, dc);
    DestroyWindow(hwnd);
    return split;
}

#endif

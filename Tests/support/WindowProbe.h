/* Test helpers for pictures played into windows: a plain popup window, its
 * pixels read back through GDI, checks of the vendor sample's quadrants,
 * polling, and the process's thread count. Win32 calls only. */
#ifndef KOVA_TESTS_MEDIA_WINDOW_PROBE_H
#define KOVA_TESTS_MEDIA_WINDOW_PROBE_H

#include <windows.h>

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "TestWindow.h"
#include "VendorSample.h"

namespace probe {

using vendor_sample::Rgb;

/* A visible popup window with a black background at (x, y). */
inline HWND MakeWindow(int x, int y, int width, int height)
{
    return kova_test::MakePopup("kova_test_probe", x, y, width, height, (HBRUSH)GetStockObject(BLACK_BRUSH));
}

inline COLORREF Pixel(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return c;
}

inline bool Near(COLORREF c, Rgb want, int tolerance = 24)
{
    return c != CLR_INVALID && std::abs(int(GetRValue(c)) - want.r) <= tolerance &&
           std::abs(int(GetGValue(c)) - want.g) <= tolerance && std::abs(int(GetBValue(c)) - want.b) <= tolerance;
}

inline std::string Describe(COLORREF c)
{
    char text[32];
    std::snprintf(text, sizeof text, "rgb(%d,%d,%d)", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

/* True when the window's client area shows the four quadrants of the
 * vendor sample's picture (read at the quadrants' centres). */
inline bool ShowsQuadrants(HWND window)
{
    RECT r;
    GetClientRect(window, &r);
    const int w = r.right, h = r.bottom;
    return Near(Pixel(window, w / 4, h / 4), vendor_sample::kTopLeft) &&
           Near(Pixel(window, 3 * w / 4, h / 4), vendor_sample::kTopRight) &&
           Near(Pixel(window, w / 4, 3 * h / 4), vendor_sample::kBottomLeft) &&
           Near(Pixel(window, 3 * w / 4, 3 * h / 4), vendor_sample::kBottomRight);
}

/* True when every one of a grid of points of the client area shows `colour`. */
inline bool ShowsOnly(HWND window, Rgb colour)
{
    RECT r;
    GetClientRect(window, &r);
    for (int gy = 1; gy < 8; ++gy)
        for (int gx = 1; gx < 8; ++gx)
            if (!Near(Pixel(window, r.right * gx / 8, r.bottom * gy / 8), colour))
                return false;
    return true;
}

/* Polls `done` every 10 ms for up to `ms`. */
inline bool WaitFor(const std::function<bool()> &done, int ms = 5000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

/* The threads of this process (Linux). */
inline int ThreadCount()
{
    /* The thread sanitizer's runtime starts a thread of its own with the
     * process's first one, for good: have it there before anything is
     * counted. */
    static const bool warmed = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmed;
    int n = 0;
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
    }
    return n;
}

}  // namespace probe

#endif

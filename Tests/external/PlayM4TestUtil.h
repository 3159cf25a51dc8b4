/* Helpers of the player library's tests: the vendor sample, windows to
 * play into, reading back what they show, and the process's threads. */
#ifndef KOVA_TESTS_EXTERNAL_PLAYM4_TEST_UTIL_H
#define KOVA_TESTS_EXTERNAL_PLAYM4_TEST_UTIL_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "Media.h"
#include "PlayM4.h"
#include "VendorSample.h"

namespace playm4_test {

using vendor_sample::Bytes;
using vendor_sample::Rgb;

/* The sample most tests play: 320x240 quadrants, 25 pictures a second,
 * a 1 kHz A-law tone; made once per process. Null when it cannot be made
 * (the test then skips). */
inline const vendor_sample::Sample *Sample(int seconds = 4)
{
    static std::map<int, vendor_sample::Sample> made;
    auto it = made.find(seconds);
    if (it != made.end())
        return &it->second;
    vendor_sample::Options options;
    options.seconds = seconds;
    vendor_sample::Sample sample;
    std::string why;
    if (!vendor_sample::Make(options, &sample, &why)) {
        ADD_FAILURE() << why;
        return nullptr;
    }
    return &made.emplace(seconds, std::move(sample)).first->second;
}

inline HWND MakeWindow(int x, int y, int width, int height)
{
    static bool registered = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "playm4_test";
        wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    return CreateWindowExA(0, "playm4_test", "", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                           nullptr, nullptr);
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

/* True when the window shows the four quadrants of the sample picture
 * (read at the quadrants' centres). */
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

/* True when every one of a grid of points of the window shows `colour`. */
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

inline int ThreadCount()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
    }
    return n;
}

/* A taken port with an open stream, freed at the end of the scope. */
struct OpenPort {
    explicit OpenPort(DWORD bufferSize = 512000)
    {
        if (!PlayM4_GetPort(&port))
            return;
        const Bytes header = vendor_sample::StreamHeader();
        opened = PlayM4_SetStreamOpenMode(port, PLAYM4_STREAM_REALTIME) &&
                 PlayM4_OpenStream(port, header.data(), DWORD(header.size()), bufferSize);
    }
    ~OpenPort()
    {
        if (port >= 0)
            PlayM4_FreePort(port);
    }
    LONG port = -1;
    bool opened = false;
};

/* Feeds bytes, waiting while the source buffer is full; false when the
 * player refuses them for another reason or stays full for 5 s. */
inline bool Feed(LONG port, const Bytes &bytes)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!PlayM4_InputData(port, bytes.data(), DWORD(bytes.size()))) {
        if (PlayM4_GetLastError(port) != PLAYM4_ERR_BUFFER_FULL || std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

/* Feeds the stream header as the first data, then every packet. */
inline bool FeedSample(LONG port, const vendor_sample::Sample &sample)
{
    if (!Feed(port, sample.header))
        return false;
    for (const vendor_sample::Packet &p : sample.packets)
        if (!Feed(port, p.data))
            return false;
    return true;
}

}  // namespace playm4_test

#endif

/* The window a test plays into: a visible popup of a class registered on
 * first use, with the system's default window procedure. Win32 calls only
 * (the platform layer's on Linux, the real ones on Windows). */
#ifndef KOVA_TESTS_SUPPORT_TEST_WINDOW_H
#define KOVA_TESTS_SUPPORT_TEST_WINDOW_H

#include <windows.h>

#include <mutex>
#include <set>
#include <string>

namespace kova_test {

/* A popup at (x, y) whose client area is the size asked for. `background`
 * is painted where nothing is drawn; with none the area is left as it is.
 * A class keeps the background of its first window. Null on failure. */
inline HWND MakePopup(const char *className, int x, int y, int width, int height, HBRUSH background = nullptr,
                      const char *title = "")
{
    static std::mutex lock;
    static std::set<std::string> registered;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!registered.count(className)) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = DefWindowProcA;
            wc.lpszClassName = className;
            wc.hbrBackground = background;
            if (RegisterClassA(&wc) == 0)
                return nullptr;
            registered.insert(className);
        }
    }
    return CreateWindowExA(0, className, title, WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                           nullptr, nullptr);
}

}  // namespace kova_test

#endif

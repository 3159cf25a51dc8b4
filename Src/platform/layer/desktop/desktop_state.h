/* The virtual desktop's state, shared by the user32, gdi32 and DirectDraw
 * sources of the layer. Everything here is guarded by the desktop lock (desktop.h); the
 * helpers ending in `Locked` expect the caller to hold it. Window procedures
 * are never called with the lock held. */
#ifndef KOVA_LAYER_DESKTOP_STATE_H
#define KOVA_LAYER_DESKTOP_STATE_H

#include "desktop/desktop.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kova {
namespace desktop {

struct MonitorState {
    HMONITOR handle = nullptr;
    int number = 0;              // n of "\\.\DISPLAYn"
    RECT rect{};                 // virtual-screen coordinates
    bool primary = false;
    FramebufferRef framebuffer;
    unsigned formatGeneration = 1;
    // The mode the desktop was configured with, restored by a change to
    // the "registry" settings (a null mode record).
    int configuredWidth = 0, configuredHeight = 0;
    PixelLayout configuredLayout = PixelLayout::Bgrx32;
    POINT configuredOrigin{};
};

struct WindowClass {
    std::string name;        // as registered
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int classExtra = 0, windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr, smallIcon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    int windows = 0;         // live windows of this class
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0, exStyle = 0;
    HWND parent = nullptr;   // WS_CHILD windows only
    HWND owner = nullptr;
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::string text;
    DWORD threadId = 0;
    // Both in the parent's client coordinates (screen for top-level windows).
    RECT rect{};
    RECT client{};
    RECT restoreRect{};          // place before minimising or maximising
    std::vector<BYTE> extra;     // cbWndExtra bytes
    std::vector<HWND> children;  // z-order, front first
    // Pending paint in client coordinates.
    Region update;
    bool eraseNeeded = false;
    bool created = false;        // WM_CREATE returned
    // Overlapped windows get their first WM_SIZE and WM_MOVE when first
    // shown, not at creation.
    bool needSize = false;
    bool destroying = false;
};

struct DeviceContext {
    HWND window = nullptr;   // null: the whole virtual screen
    bool wholeWindow = false;  // GetWindowDC: origin at the window's corner
    int stretchMode = BLACKONWHITE;
    Region paintClip;        // BeginPaint: further limited to the update area (screen coords)
    bool limitToPaintClip = false;
};

struct State {
    std::mutex mutex;
    std::vector<MonitorState> monitors;  // enumeration order, primary first
    unsigned monitorSerial = 0;
    unsigned formatSerial = 0;  // format generations are unique across monitors
    COLORREF background = RGB(0, 0, 0);
    std::unordered_map<HWND, std::unique_ptr<Window>> windows;
    std::vector<HWND> topLevel;  // z-order, front first
    std::map<std::string, std::shared_ptr<WindowClass>> classes;  // by lower-case name
    ATOM nextAtom = 0xC000;
    std::unordered_map<HDC, DeviceContext> dcs;
    std::unordered_map<HGDIOBJ, COLORREF> brushes;
    uintptr_t handleSerial = 0;
    unsigned long long layoutGeneration = 1;
    void (*enumHook)(void *) = nullptr;
    void *enumHookContext = nullptr;
};

// The state, initialised on first use from KOVA_DESKTOP.
State &GetState();

Window *FindWindowLocked(HWND hwnd);
MonitorState *FindMonitorLocked(HMONITOR handle);
HWND DesktopWindowHandle();
uintptr_t NextHandleLocked(State &s);

// Geometry in screen coordinates.
POINT ClientOriginLocked(const Window &w);  // screen position of client (0,0)
RECT WindowRectOnScreenLocked(const Window &w);
RECT ClientRectOnScreenLocked(const Window &w);
bool IsVisibleLocked(const Window &w);       // WS_VISIBLE on it and all ancestors
Region VisibleRegionLocked(const Window &w, VisibleArea area, bool clipChildren);
RECT VirtualScreenLocked();

// Marks part of a window's client area (client coordinates; null = all)
// for painting. Returns true if a WM_PAINT should be queued.
bool InvalidateLocked(Window &w, const RECT *rect, bool erase);

// Writes pixels clipped to a region (screen coordinates) on every monitor.
// `span(fb, monitorRect, piece)` gets each piece in framebuffer coordinates.
void ForEachMonitorPieceLocked(const Region &clip,
                               const std::function<void(Framebuffer &, const RECT &, const RECT &)> &span);

void FillScreenRegionLocked(const Region &region, COLORREF color);

}  // namespace desktop
}  // namespace kova

#endif

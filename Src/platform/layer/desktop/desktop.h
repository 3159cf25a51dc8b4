/* The virtual desktop, as the rest of the layer (DirectDraw, the viewer,
 * the control interface) sees it.
 *
 * Monitors come from KOVA_DESKTOP ("WxHxBPP@X,Y;..."; the first entry is
 * the primary at 0,0; default "1920x1080x32@0,0"), read once at first use.
 * Each monitor shows one Framebuffer (framebuffer.h) in its own format.
 *
 * Locking: one mutex guards monitors, windows, classes and device contexts.
 * Every function here takes it itself unless its name ends in `Locked`;
 * those expect the caller to hold it through LockDesktop(). Writers of
 * framebuffer pixels that want their output consistent with the window
 * layout (a blit clipped to a visible region) hold the lock across both the
 * region query and the write. The lock is never held while a window
 * procedure runs, so it is safe to take from any thread at any time.
 *
 * Format changes: ChangeDisplaySettingsExA gives the monitor a new
 * Framebuffer and increments its format generation. Holders of the old
 * Framebuffer keep valid memory; they compare the generation they saw at
 * creation with MonitorInfo::formatGeneration to know their surface is
 * lost. Generations are never reused, and a detached monitor reports none.
 *
 * Content changes: whoever writes pixels calls Framebuffer::MarkChanged()
 * once per operation; the viewer polls the counters. */
#ifndef KOVA_LAYER_DESKTOP_H
#define KOVA_LAYER_DESKTOP_H

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "desktop/framebuffer.h"
#include "desktop/region.h"

namespace kova {
namespace desktop {

std::unique_lock<std::mutex> LockDesktop();

// Runs `run` when the desktop state comes into being (its first use, from
// whichever thread), in ascending `order`, before any other thread can see
// the state; the rooms above register here while the library is loaded
// (user32 its message hooks, the control side the viewer). Returns true, so
// that a registration can initialise a static.
bool RunWhenCreated(int order, void (*run)());

struct MonitorInfo {
    HMONITOR handle = nullptr;
    int index = 0;              // position in enumeration order
    RECT rect{};                // virtual-screen coordinates
    bool primary = false;
    std::string deviceName;     // "\\.\DISPLAY1", ...
    FramebufferRef framebuffer; // current framebuffer
    unsigned formatGeneration = 0;
};

// Attached monitors in enumeration order (the primary first).
std::vector<MonitorInfo> Monitors();
std::vector<MonitorInfo> MonitorsLocked();
// False when the handle names no attached monitor.
bool GetMonitor(HMONITOR handle, MonitorInfo *info);
bool GetMonitorLocked(HMONITOR handle, MonitorInfo *info);
// Exact, case-insensitive match of "\\.\DISPLAYn".
bool GetMonitorByName(const char *deviceName, MonitorInfo *info);

enum class VisibleArea {
    Client,  // the client area
    Window,  // the whole window, frame included
};

// The part of a window that can be seen, in screen coordinates: the area
// clipped to every ancestor's client area, minus the windows above it and
// above each of its ancestors (siblings always clip each other), minus its
// own visible children when `clipChildren` is set. Empty for a hidden
// window (or one with a hidden ancestor); false for an invalid handle. Not
// limited to the monitors: parts off every monitor are simply not shown.
bool VisibleRegion(HWND window, VisibleArea area, bool clipChildren, Region *out);
bool VisibleRegionLocked(HWND window, VisibleArea area, bool clipChildren, Region *out);

// A window's client area in screen coordinates.
bool ClientRectOnScreen(HWND window, RECT *out);
bool ClientRectOnScreenLocked(HWND window, RECT *out);

// Incremented whenever any window's position, size, visibility or z-order
// or any monitor changes: a cached visible region is still exact while
// this value is unchanged.
unsigned long long LayoutGeneration();
unsigned long long LayoutGenerationLocked();

// The colour of the desktop background where no window lies.
COLORREF BackgroundColor();

}  // namespace desktop
}  // namespace kova

#endif

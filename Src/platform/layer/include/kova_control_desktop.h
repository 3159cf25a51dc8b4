/* The platform layer's control interface for the virtual desktop: reading
 * what the monitors show, saving it to image files, and changing the set of
 * monitors while a test runs. Linux only; never part of a Windows build.
 *
 * Monitors are numbered in enumeration order (0 is the primary). Entries
 * are "WxHxBPP" or "WxHxBPP@X,Y", BPP one of 32, 24, 16 (5:6:5), 15 (5:5:5)
 * or 8 (palettised).
 *
 * user32 and gdi32 calls that can be armed for fault injection
 * (KovaControl_FailCall, kova_control.h): GetSystemMetrics,
 * EnumDisplayMonitors, GetMonitorInfoA, MonitorFromWindow,
 * ChangeDisplaySettingsExA, RegisterClassA, RegisterClassExA,
 * CreateWindowExA, DestroyWindow, ShowWindow, MoveWindow, SetWindowPos,
 * GetWindowRect, GetClientRect, ClientToScreen, ScreenToClient,
 * InvalidateRect, GetDC, GetWindowDC, ReleaseDC, PostMessageA,
 * CreateSolidBrush, SetStretchBltMode, StretchDIBits. */
#ifndef KOVA_CONTROL_DESKTOP_H
#define KOVA_CONTROL_DESKTOP_H

#ifdef _WIN32
#error "kova_control_desktop.h is the Linux platform layer's test interface"
#endif

#include <windows.h>

KOVA_BEGIN_DECLS

typedef struct KovaFramebufferInfo {
    HMONITOR monitor;
    RECT rect;              /* virtual-screen coordinates */
    int width, height;
    int depth;              /* 32, 24, 16, 15 or 8 */
    int bytesPerPixel;      /* 4, 3, 2, 2 or 1 */
    int pitch;              /* bytes per row */
    DWORD redMask, greenMask, blueMask;  /* 0 for 8 bits */
    DWORD formatGeneration; /* changes with every display mode change */
    ULONGLONG changes;      /* counts writes to the pixels */
} KovaFramebufferInfo;

KOVA_LAYER_API BOOL KovaControl_GetFramebufferInfo(int monitor, KovaFramebufferInfo *info);
/* Copies the framebuffer, `pitch` bytes per row, top row first. Returns the
 * number of bytes copied: 0 when `size` is below pitch * height. */
KOVA_LAYER_API SIZE_T KovaControl_CopyFramebuffer(int monitor, void *buffer, SIZE_T size);
/* The colour shown at a point of a monitor (monitor coordinates) or of the
 * virtual screen; CLR_INVALID outside every monitor. Colours of 16-, 15-
 * and 8-bit monitors are widened by repeating their high bits. */
KOVA_LAYER_API COLORREF KovaControl_GetMonitorPixel(int monitor, int x, int y);
KOVA_LAYER_API COLORREF KovaControl_GetScreenPixel(int x, int y);

/* Saves a monitor, or what the screen shows where a window's client area
 * lies (black off every monitor), as 24-bit PNG (path ending in ".png") or
 * BMP (any other path). FALSE with GetLastError set on failure. */
KOVA_LAYER_API BOOL KovaControl_SnapshotMonitor(int monitor, const char *path);
KOVA_LAYER_API BOOL KovaControl_SnapshotWindow(HWND window, const char *path);

/* Attaches a monitor ("WxHxBPP@X,Y"; without a position, right of the
 * others). Null for a malformed entry or one overlapping a monitor. */
KOVA_LAYER_API HMONITOR KovaControl_AttachMonitor(const char *entry);
/* Detaches a secondary monitor; the primary cannot be detached. */
KOVA_LAYER_API BOOL KovaControl_DetachMonitor(HMONITOR monitor);
/* Replaces every monitor with those of a KOVA_DESKTOP value (NULL: the
 * default desktop). Windows keep their places. */
KOVA_LAYER_API void KovaControl_ConfigureDesktop(const char *desktop);
/* Runs `callback(context)` once, at the start of the next
 * EnumDisplayMonitors call, before it looks at the monitors: lets a test
 * attach or detach a monitor between a count and an enumeration. */
KOVA_LAYER_API void KovaControl_OnNextMonitorEnumeration(void (*callback)(void *), void *context);

KOVA_END_DECLS

#endif

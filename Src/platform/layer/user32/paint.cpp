/* Painting: update regions, WM_PAINT/WM_ERASEBKGND through BeginPaint, and
 * device contexts of windows and of the screen. */
#include "desktop/desktop_state.h"
#include "fault/fault.h"
#include "gdi32/dc.h"
#include "user32/window_messages.h"

#include <string.h>

using namespace kova;
using namespace kova::desktop;

// Invalidates `rect` (client coordinates; null = all) of a window and, when
// the window does not clip its children, of the children beneath it.
static void InvalidateTreeLocked(Window &w, const RECT *rect, bool erase, bool children,
                                 std::vector<HWND> *touched)
{
    if (InvalidateLocked(w, rect, erase)) touched->push_back(w.handle);
    if (!children) return;
    RECT area = rect ? *rect : RECT{0, 0, w.client.right - w.client.left, w.client.bottom - w.client.top};
    for (HWND c : w.children) {
        Window *child = FindWindowLocked(c);
        if (!child || !(child->style & WS_VISIBLE)) continue;
        // Child client coordinates = parent client coordinates - child client origin.
        RECT part = RectOffset(area, -child->client.left, -child->client.top);
        InvalidateTreeLocked(*child, &part, erase, !(child->style & WS_CLIPCHILDREN), touched);
    }
}

KOVA_LAYER_API BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *rect, BOOL erase)
{
    KOVA_FAULT_POINT("InvalidateRect", BOOL);
    std::vector<HWND> touched;
    {
        auto lock = LockDesktop();
        if (!hwnd || hwnd == DesktopWindowHandle()) {
            // The whole desktop: every window is painted anew.
            for (HWND h : GetState().topLevel)
                if (Window *w = FindWindowLocked(h)) InvalidateTreeLocked(*w, nullptr, erase != FALSE, true, &touched);
        } else {
            Window *w = FindWindowLocked(hwnd);
            if (!w) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return FALSE;
            }
            InvalidateTreeLocked(*w, rect, erase != FALSE, !(w->style & WS_CLIPCHILDREN), &touched);
        }
    }
    RequestPaint(touched);
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI ValidateRect(HWND hwnd, const RECT *rect)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (rect)
        w->update.Subtract(*rect);
    else
        w->update.Clear();
    if (w->update.Empty()) w->eraseNeeded = false;
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (rect) *rect = w->update.Bounds();
    return !w->update.Empty();
}

static void CollectNeedingPaintLocked(const Window &w, bool children, std::vector<HWND> *out)
{
    if (!w.update.Empty()) out->push_back(w.handle);
    if (!children) return;
    for (HWND c : w.children)
        if (Window *child = FindWindowLocked(c)) CollectNeedingPaintLocked(*child, true, out);
}

// Paints now, bypassing the queue, as UpdateWindow does.
static void PaintNow(HWND hwnd, bool children)
{
    std::vector<HWND> list;
    {
        auto lock = LockDesktop();
        Window *w = FindWindowLocked(hwnd);
        if (!w) return;
        CollectNeedingPaintLocked(*w, children, &list);
    }
    for (HWND h : list) SendMessageA(h, WM_PAINT, 0, 0);
}

KOVA_LAYER_API BOOL WINAPI UpdateWindow(HWND hwnd)
{
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    PaintNow(hwnd, true);
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI RedrawWindow(HWND hwnd, const RECT *rect, HRGN, UINT flags)
{
    if (!hwnd) hwnd = DesktopWindowHandle();
    if (flags & RDW_INVALIDATE) {
        if (!InvalidateRect(hwnd == DesktopWindowHandle() ? nullptr : hwnd, rect, (flags & RDW_ERASE) != 0))
            return FALSE;
    } else if (flags & RDW_VALIDATE) {
        if (!ValidateRect(hwnd, rect)) return FALSE;
    }
    if ((flags & (RDW_UPDATENOW | RDW_ERASENOW)) && hwnd != DesktopWindowHandle())
        PaintNow(hwnd, (flags & RDW_NOCHILDREN) == 0);
    return TRUE;
}

KOVA_LAYER_API HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps)
{
    if (!ps) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HDC dc;
    bool erase;
    {
        auto lock = LockDesktop();
        Window *w = FindWindowLocked(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        Region area = w->update;
        erase = w->eraseNeeded;
        w->update.Clear();
        w->eraseNeeded = false;
        dc = CreateDcLocked(hwnd, false);
        DeviceContext *ctx = FindDcLocked(dc);
        POINT o = ClientOriginLocked(*w);
        ctx->paintClip = area;
        ctx->paintClip.Offset(o.x, o.y);
        ctx->limitToPaintClip = true;
        memset(ps, 0, sizeof *ps);
        ps->hdc = dc;
        ps->rcPaint = area.Bounds();
    }
    // fErase tells the program the background still needs erasing.
    ps->fErase = erase ? (SendMessageA(hwnd, WM_ERASEBKGND, (WPARAM)dc, 0) == 0) : FALSE;
    return dc;
}

KOVA_LAYER_API BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *ps)
{
    if (!ps) return FALSE;
    auto lock = LockDesktop();
    DeleteDcLocked(ps->hdc);
    return TRUE;
}

static HDC GetDcCommon(HWND hwnd, bool wholeWindow)
{
    auto lock = LockDesktop();
    if (!hwnd || hwnd == DesktopWindowHandle()) return CreateDcLocked(nullptr, false);
    if (!FindWindowLocked(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return CreateDcLocked(hwnd, wholeWindow);
}

KOVA_LAYER_API HDC WINAPI GetDC(HWND hwnd)
{
    KOVA_FAULT_POINT("GetDC", HDC);
    return GetDcCommon(hwnd, false);
}

KOVA_LAYER_API HDC WINAPI GetWindowDC(HWND hwnd)
{
    KOVA_FAULT_POINT("GetWindowDC", HDC);
    return GetDcCommon(hwnd, true);
}

KOVA_LAYER_API int WINAPI ReleaseDC(HWND, HDC dc)
{
    KOVA_FAULT_POINT("ReleaseDC", int);
    auto lock = LockDesktop();
    if (!FindDcLocked(dc)) return 0;
    DeleteDcLocked(dc);
    return 1;
}

KOVA_LAYER_API HWND WINAPI WindowFromDC(HDC dc)
{
    auto lock = LockDesktop();
    DeviceContext *ctx = FindDcLocked(dc);
    if (!ctx) return nullptr;
    return ctx->window ? ctx->window : DesktopWindowHandle();
}

// A brush of FillRect: a system colour (COLOR_* + 1), a stock brush or one
// made by gdi32; the rest paint nothing.
static COLORREF BrushColorLocked(HBRUSH brush, bool *hollow)
{
    *hollow = false;
    uintptr_t v = (uintptr_t)brush;
    if (v >= 1 && v <= 31) return GetSysColor((int)v - 1);
    COLORREF stock;
    if (StockBrushColor((HGDIOBJ)brush, &stock, hollow)) return stock;
    State &s = GetState();
    auto it = s.brushes.find((HGDIOBJ)brush);
    if (it != s.brushes.end()) {
        if (it->second == CLR_INVALID) *hollow = true;
        return it->second;
    }
    *hollow = true;
    return 0;
}

KOVA_LAYER_API int WINAPI FillRect(HDC dc, const RECT *rect, HBRUSH brush)
{
    if (!rect) return 0;
    auto lock = LockDesktop();
    POINT origin;
    Region clip;
    if (!DcClipLocked(dc, &origin, &clip)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    bool hollow;
    COLORREF color = BrushColorLocked(brush, &hollow);
    if (hollow) return 1;
    clip.Intersect(RectOffset(*rect, origin.x, origin.y));
    FillScreenRegionLocked(clip, color);
    return 1;
}

/* Window geometry: frames and client areas, place, size, z-order and
 * visibility, and mapping points between windows. */
#include "fault/fault.h"
#include "user32/exposure.h"
#include "user32/window_common.h"
#include "user32/window_messages.h"

#include <algorithm>

using namespace kova;
using namespace kova::desktop;

/* ---- Geometry helpers ------------------------------------------------- */

KOVA_LAYER_API BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle)
{
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT in = FrameInsets(style, exStyle);
    rect->left -= in.left;
    rect->top -= in.top + (menu ? GetSystemMetrics(SM_CYMENU) : 0);
    rect->right += in.right;
    rect->bottom += in.bottom;
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu)
{
    return AdjustWindowRectEx(rect, style, menu, 0);
}

void kova::desktop::UpdateClientLocked(Window &w)
{
    RECT in = FrameInsets(w.style, w.exStyle);
    w.client = RECT{w.rect.left + in.left, w.rect.top + in.top, w.rect.right - in.right, w.rect.bottom - in.bottom};
    if (w.client.right < w.client.left) w.client.right = w.client.left;
    if (w.client.bottom < w.client.top) w.client.bottom = w.client.top;
}

std::vector<HWND> &kova::desktop::SiblingListLocked(Window &w)
{
    if (w.parent)
        if (Window *p = FindWindowLocked(w.parent)) return p->children;
    return GetState().topLevel;
}

// Topmost windows stay in front of the others.
void kova::desktop::SortTopmostLocked()
{
    State &s = GetState();
    std::stable_partition(s.topLevel.begin(), s.topLevel.end(), [](HWND h) {
        Window *w = FindWindowLocked(h);
        return w && (w->exStyle & WS_EX_TOPMOST);
    });
}

static bool PlaceInZOrderLocked(Window &w, HWND insertAfter)
{
    std::vector<HWND> &list = SiblingListLocked(w);
    const bool top = !w.parent;
    if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
        if (top) {
            if (insertAfter == HWND_TOPMOST)
                w.exStyle |= WS_EX_TOPMOST;
            else
                w.exStyle &= ~(DWORD)WS_EX_TOPMOST;
        }
        insertAfter = HWND_TOP;
    }
    auto self = std::find(list.begin(), list.end(), w.handle);
    if (insertAfter != HWND_TOP && insertAfter != HWND_BOTTOM) {
        if (insertAfter == w.handle) return true;
        if (std::find(list.begin(), list.end(), insertAfter) == list.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
    }
    if (self != list.end()) list.erase(self);
    if (insertAfter == HWND_TOP)
        list.insert(list.begin(), w.handle);
    else if (insertAfter == HWND_BOTTOM)
        list.push_back(w.handle);
    else
        list.insert(std::find(list.begin(), list.end(), insertAfter) + 1, w.handle);
    if (top) SortTopmostLocked();
    return true;
}

static RECT PrimaryRectLocked()
{
    const State &s = GetState();
    return s.monitors.empty() ? RECT{0, 0, 0, 0} : s.monitors[0].rect;
}

KOVA_LAYER_API BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect)
{
    KOVA_FAULT_POINT("GetWindowRect", BOOL);
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto lock = LockDesktop();
    if (hwnd == DesktopWindowHandle()) {
        *rect = PrimaryRectLocked();
        return TRUE;
    }
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = WindowRectOnScreenLocked(*w);
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect)
{
    KOVA_FAULT_POINT("GetClientRect", BOOL);
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto lock = LockDesktop();
    if (hwnd == DesktopWindowHandle()) {
        RECT p = PrimaryRectLocked();
        *rect = RECT{0, 0, p.right - p.left, p.bottom - p.top};
        return TRUE;
    }
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    return TRUE;
}

// Screen position of a window's client (0,0); the desktop's is (0,0).
static bool OriginLocked(HWND hwnd, POINT *origin)
{
    if (!hwnd || hwnd == DesktopWindowHandle()) {
        *origin = POINT{0, 0};
        return true;
    }
    Window *w = FindWindowLocked(hwnd);
    if (!w) return false;
    *origin = ClientOriginLocked(*w);
    return true;
}

// Moves a point by the window's client origin: +1 from client to screen
// coordinates, -1 back.
static BOOL ShiftByOrigin(HWND hwnd, LPPOINT point, int direction)
{
    auto lock = LockDesktop();
    POINT o;
    if (!point || !hwnd || !OriginLocked(hwnd, &o)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    point->x += direction * o.x;
    point->y += direction * o.y;
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point)
{
    KOVA_FAULT_POINT("ClientToScreen", BOOL);
    return ShiftByOrigin(hwnd, point, +1);
}

KOVA_LAYER_API BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point)
{
    KOVA_FAULT_POINT("ScreenToClient", BOOL);
    return ShiftByOrigin(hwnd, point, -1);
}

KOVA_LAYER_API int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count)
{
    auto lock = LockDesktop();
    POINT a, b;
    if (!OriginLocked(from, &a) || !OriginLocked(to, &b)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG dx = a.x - b.x, dy = a.y - b.y;
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    SetLastError(ERROR_SUCCESS);
    return MAKELONG((WORD)(SHORT)dx, (WORD)(SHORT)dy);
}

/* ---- Position, size, z-order and visibility --------------------------- */

// The one place where windows change place, size, stacking or visibility.
// `show`: +1 show, -1 hide, 0 unchanged.
static BOOL ChangeWindowLayout(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags, int show)
{
    WINDOWPOS pos{hwnd, insertAfter, x, y, cx, cy, flags};
    bool created = false;
    {
        auto lock = LockDesktop();
        Window *w = FindWindowLocked(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        created = w->created;
        if (flags & SWP_NOMOVE) {
            pos.x = w->rect.left;
            pos.y = w->rect.top;
        }
        if (flags & SWP_NOSIZE) {
            pos.cx = w->rect.right - w->rect.left;
            pos.cy = w->rect.bottom - w->rect.top;
        }
    }
    if (created && !(flags & SWP_NOSENDCHANGING)) SendMessageA(hwnd, WM_WINDOWPOSCHANGING, 0, (LPARAM)&pos);

    std::vector<HWND> needPaint;
    bool moved = false, sized = false, changed = false;
    {
        auto lock = LockDesktop();
        State &s = GetState();
        Window *w = FindWindowLocked(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        Region before = VisibleRegionLocked(*w, VisibleArea::Window, false);
        const RECT oldRect = w->rect;
        const DWORD oldStyle = w->style;
        if (!(flags & SWP_NOZORDER) && !PlaceInZOrderLocked(*w, pos.hwndInsertAfter)) return FALSE;
        if (pos.cx < 0) pos.cx = 0;
        if (pos.cy < 0) pos.cy = 0;
        w->rect = RECT{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
        moved = w->rect.left != oldRect.left || w->rect.top != oldRect.top;
        sized = (w->rect.right - w->rect.left) != (oldRect.right - oldRect.left) ||
                (w->rect.bottom - w->rect.top) != (oldRect.bottom - oldRect.top);
        if (sized || (flags & SWP_FRAMECHANGED))
            UpdateClientLocked(*w);
        else
            w->client = RectOffset(w->client, w->rect.left - oldRect.left, w->rect.top - oldRect.top);
        if (show > 0) w->style |= WS_VISIBLE;
        if (show < 0) w->style &= ~(DWORD)WS_VISIBLE;
        changed = moved || sized || w->style != oldStyle || !(flags & SWP_NOZORDER) || (flags & SWP_FRAMECHANGED);
        if (changed) {
            ++s.layoutGeneration;
            Region after = VisibleRegionLocked(*w, VisibleArea::Window, false);
            Region uncovered = before;
            uncovered.Subtract(after);
            ExposeLocked(uncovered, &needPaint);
            // The window itself is drawn anew wherever it now shows; the
            // layer keeps no copy of its old pixels to move.
            if (!(flags & SWP_NOREDRAW)) ExposeLocked(after, &needPaint);
        }
    }
    RequestPaint(needPaint);
    if (changed && created) {
        pos.flags = flags | (moved ? 0 : SWP_NOMOVE) | (sized ? 0 : SWP_NOSIZE);
        if (moved || sized) {
            auto lock = LockDesktop();
            if (Window *w = FindWindowLocked(hwnd)) w->needSize = false;
        }
        SendMessageA(hwnd, WM_WINDOWPOSCHANGED, 0, (LPARAM)&pos);
    }
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    KOVA_FAULT_POINT("SetWindowPos", BOOL);
    int show = (flags & SWP_SHOWWINDOW) ? 1 : (flags & SWP_HIDEWINDOW) ? -1 : 0;
    return ChangeWindowLayout(hwnd, insertAfter, x, y, cx, cy, flags, show);
}

KOVA_LAYER_API BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    KOVA_FAULT_POINT("MoveWindow", BOOL);
    return ChangeWindowLayout(hwnd, HWND_TOP, x, y, width, height,
                              SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW), 0);
}

KOVA_LAYER_API BOOL WINAPI BringWindowToTop(HWND hwnd)
{
    return ChangeWindowLayout(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE, 0);
}

KOVA_LAYER_API BOOL WINAPI ShowWindow(HWND hwnd, int command)
{
    KOVA_FAULT_POINT("ShowWindow", BOOL);
    bool wasVisible, topLevel;
    RECT restore{}, work{};
    DWORD style;
    {
        auto lock = LockDesktop();
        Window *w = FindWindowLocked(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        wasVisible = (w->style & WS_VISIBLE) != 0;
        topLevel = !w->parent;
        style = w->style;
        restore = w->restoreRect;
        if (!(style & (WS_MINIMIZE | WS_MAXIMIZE))) restore = w->rect;
        const MonitorState &m = GetState().monitors[0];
        work = m.rect;
        for (const MonitorState &mon : GetState().monitors)
            if (!RectIsEmpty(RectIntersect(mon.rect, WindowRectOnScreenLocked(*w)))) {
                work = mon.rect;
                break;
            }
    }
    const bool show = command != SW_HIDE;
    if (show != wasVisible) SendMessageA(hwnd, WM_SHOWWINDOW, show, 0);

    UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER;
    const bool activate = command == SW_SHOWNORMAL || command == SW_SHOW || command == SW_RESTORE ||
                          command == SW_SHOWDEFAULT || command == SW_SHOWMAXIMIZED;
    if (activate && topLevel) flags &= ~(UINT)SWP_NOZORDER;
    RECT target = restore;
    DWORD newState = style & (WS_MINIMIZE | WS_MAXIMIZE);
    WPARAM sizeKind = SIZE_RESTORED;
    switch (command) {
    case SW_HIDE: break;
    case SW_MINIMIZE: case SW_SHOWMINIMIZED: case SW_SHOWMINNOACTIVE: case SW_FORCEMINIMIZE:
        newState = WS_MINIMIZE;
        sizeKind = SIZE_MINIMIZED;
        break;
    case SW_SHOWMAXIMIZED: {
        newState = WS_MAXIMIZE;
        sizeKind = SIZE_MAXIMIZED;
        // The side frame lies outside the monitor; the caption stays on it.
        RECT in = FrameInsets(style, 0);
        target = RECT{work.left - in.left, work.top - in.left, work.right + in.right, work.bottom + in.bottom};
        flags &= ~(UINT)(SWP_NOMOVE | SWP_NOSIZE);
        break;
    }
    case SW_SHOWNORMAL: case SW_RESTORE: case SW_SHOWDEFAULT:
        if (newState) {
            newState = 0;
            flags &= ~(UINT)(SWP_NOMOVE | SWP_NOSIZE);
        }
        break;
    default: break;
    }
    {
        auto lock = LockDesktop();
        if (Window *w = FindWindowLocked(hwnd)) {
            if (newState && !(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->restoreRect = w->rect;
            w->style = (w->style & ~(DWORD)(WS_MINIMIZE | WS_MAXIMIZE)) | newState;
        }
    }
    ChangeWindowLayout(hwnd, HWND_TOP, target.left, target.top, target.right - target.left,
                       target.bottom - target.top, flags, show ? 1 : -1);
    if (show) {
        bool needSize;
        {
            auto lock = LockDesktop();
            Window *w = FindWindowLocked(hwnd);
            needSize = w && w->needSize;
        }
        if (needSize) SendSizeAndMove(hwnd);
    }
    // Minimising and restoring from it keep the size, so WM_WINDOWPOSCHANGED
    // does not report them.
    const bool wasMinimized = (style & WS_MINIMIZE) != 0;
    if (command != SW_HIDE && wasMinimized != (newState == WS_MINIMIZE)) {
        RECT client;
        if (GetClientRect(hwnd, &client))
            SendMessageA(hwnd, WM_SIZE, sizeKind, MAKELONG(client.right, client.bottom));
    }
    return wasVisible ? TRUE : FALSE;
}

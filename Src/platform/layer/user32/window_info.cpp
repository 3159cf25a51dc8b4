/* Finding windows and reading or changing what they hold: relations,
 * owner thread, window longs and extra bytes, text. */
#include "user32/window_common.h"

#include <string.h>
#include <unistd.h>

#include <algorithm>

using namespace kova;
using namespace kova::desktop;

#ifndef ERROR_INVALID_INDEX_VALUE
#define ERROR_INVALID_INDEX_VALUE 1413L
#endif

/* ---- Queries ---------------------------------------------------------- */

KOVA_LAYER_API BOOL WINAPI IsWindow(HWND hwnd)
{
    if (hwnd == DesktopWindowHandle()) return TRUE;
    auto lock = LockDesktop();
    return FindWindowLocked(hwnd) != nullptr;
}

KOVA_LAYER_API BOOL WINAPI IsWindowVisible(HWND hwnd)
{
    if (hwnd == DesktopWindowHandle()) return TRUE;
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    return w && IsVisibleLocked(*w);
}

KOVA_LAYER_API BOOL WINAPI IsChild(HWND parent, HWND hwnd)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    while (w && w->parent) {
        if (w->parent == parent) return TRUE;
        w = FindWindowLocked(w->parent);
    }
    return FALSE;
}

KOVA_LAYER_API HWND WINAPI GetParent(HWND hwnd)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return w->parent ? w->parent : ((w->style & WS_POPUP) ? w->owner : nullptr);
}

KOVA_LAYER_API HWND WINAPI GetAncestor(HWND hwnd, UINT flags)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w) return nullptr;
    switch (flags) {
    case GA_PARENT: return w->parent ? w->parent : DesktopWindowHandle();
    case GA_ROOT:
    case GA_ROOTOWNER:
        while (w->parent) w = FindWindowLocked(w->parent);
        if (flags == GA_ROOTOWNER)
            while (w->owner && FindWindowLocked(w->owner)) w = FindWindowLocked(w->owner);
        return w->handle;
    default: return nullptr;
    }
}

KOVA_LAYER_API HWND WINAPI GetWindow(HWND hwnd, UINT relation)
{
    auto lock = LockDesktop();
    if (hwnd == DesktopWindowHandle()) {
        const std::vector<HWND> &top = GetState().topLevel;
        return relation == GW_CHILD && !top.empty() ? top.front() : nullptr;
    }
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (relation == GW_OWNER) return w->owner;
    const std::vector<HWND> &list = SiblingListLocked(*w);
    auto it = std::find(list.begin(), list.end(), hwnd);
    switch (relation) {
    case GW_HWNDFIRST: return list.front();
    case GW_HWNDLAST: return list.back();
    case GW_HWNDNEXT: return it + 1 < list.end() ? *(it + 1) : nullptr;
    case GW_HWNDPREV: return it != list.begin() ? *(it - 1) : nullptr;
    default: return nullptr;
    }
}

KOVA_LAYER_API HWND WINAPI GetDesktopWindow(void)
{
    return DesktopWindowHandle();
}

KOVA_LAYER_API HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName)
{
    auto lock = LockDesktop();
    std::shared_ptr<WindowClass> cls = className ? FindClassLocked(className) : nullptr;
    if (className && !cls) return nullptr;
    for (HWND h : GetState().topLevel) {
        Window *w = FindWindowLocked(h);
        if (cls && w->cls != cls) continue;
        if (windowName && w->text != windowName) continue;
        return h;
    }
    return nullptr;
}

KOVA_LAYER_API DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId) *processId = (DWORD)getpid();
    return w->threadId;
}

/* ---- Window data ------------------------------------------------------ */

static bool ExtraSlot(Window &w, int index, size_t size, BYTE **slot)
{
    if (index < 0 || (size_t)index + size > w.extra.size()) return false;
    *slot = w.extra.data() + index;
    return true;
}

static LONG_PTR GetLongCommon(HWND hwnd, int index, size_t size)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
    case GWL_STYLE: return (LONG)w->style;
    case GWL_EXSTYLE: return (LONG)w->exStyle;
    case GWLP_WNDPROC: return (LONG_PTR)w->proc;
    case GWLP_HINSTANCE: return (LONG_PTR)w->instance;
    case GWLP_HWNDPARENT: return (LONG_PTR)(w->parent ? w->parent : w->owner);
    case GWLP_ID: return w->id;
    case GWLP_USERDATA: return w->userData;
    default: {
        BYTE *slot;
        if (!ExtraSlot(*w, index, size, &slot)) {
            SetLastError(ERROR_INVALID_INDEX_VALUE);
            return 0;
        }
        if (size == sizeof(LONG)) {
            LONG v;
            memcpy(&v, slot, sizeof v);
            return v;
        }
        LONG_PTR v;
        memcpy(&v, slot, sizeof v);
        return v;
    }
    }
}

static LONG_PTR SetLongCommon(HWND hwnd, int index, LONG_PTR value, size_t size)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = 0;
    SetLastError(ERROR_SUCCESS);
    switch (index) {
    case GWL_STYLE:
        // Visibility changes go through ShowWindow; this only stores bits.
        old = (LONG)w->style;
        w->style = (DWORD)value;
        if (!w->parent) w->style |= WS_CLIPSIBLINGS;
        break;
    case GWL_EXSTYLE:
        old = (LONG)w->exStyle;
        w->exStyle = (DWORD)value;
        break;
    case GWLP_WNDPROC:
        old = (LONG_PTR)w->proc;
        if (value) w->proc = (WNDPROC)value;
        break;
    case GWLP_HINSTANCE:
        old = (LONG_PTR)w->instance;
        w->instance = (HINSTANCE)value;
        break;
    case GWLP_ID:
        old = w->id;
        w->id = value;
        break;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = value;
        break;
    default: {
        BYTE *slot;
        if (!ExtraSlot(*w, index, size, &slot)) {
            SetLastError(ERROR_INVALID_INDEX_VALUE);
            return 0;
        }
        if (size == sizeof(LONG)) {
            LONG o, v = (LONG)value;
            memcpy(&o, slot, sizeof o);
            memcpy(slot, &v, sizeof v);
            old = o;
        } else {
            memcpy(&old, slot, sizeof old);
            memcpy(slot, &value, sizeof value);
        }
    }
    }
    return old;
}

KOVA_LAYER_API LONG WINAPI GetWindowLongA(HWND hwnd, int index)
{
    return (LONG)GetLongCommon(hwnd, index, sizeof(LONG));
}

KOVA_LAYER_API LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value)
{
    return (LONG)SetLongCommon(hwnd, index, value, sizeof(LONG));
}

KOVA_LAYER_API LONG_PTR WINAPI GetWindowLongPtrA(HWND hwnd, int index)
{
    return GetLongCommon(hwnd, index, sizeof(LONG_PTR));
}

KOVA_LAYER_API LONG_PTR WINAPI SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value)
{
    return SetLongCommon(hwnd, index, value, sizeof(LONG_PTR));
}

KOVA_LAYER_API BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->text = text ? text : "";
    return TRUE;
}

KOVA_LAYER_API int WINAPI GetWindowTextA(HWND hwnd, LPSTR text, int size)
{
    auto lock = LockDesktop();
    Window *w = FindWindowLocked(hwnd);
    if (!w || !text || size <= 0) {
        if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        if (text && size > 0) text[0] = '\0';
        return 0;
    }
    int n = std::min((int)w->text.size(), size - 1);
    memcpy(text, w->text.data(), (size_t)n);
    text[n] = '\0';
    return n;
}

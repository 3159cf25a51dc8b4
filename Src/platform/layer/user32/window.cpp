/* Window classes and windows: creation, destruction, geometry, z-order and
 * visibility. */
#include "desktop/desktop_state.h"
#include "fault/fault.h"
#include "gdi32/dc.h"
#include "user32/exposure.h"
#include "user32/msgqueue.h"
#include "user32/window_messages.h"

#include <ctype.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

using namespace kova;
using namespace kova::desktop;

#ifndef ERROR_CANNOT_FIND_WND_CLASS
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#endif
#ifndef ERROR_TLW_WITH_WSCHILD
#define ERROR_TLW_WITH_WSCHILD 1406L
#endif
#ifndef ERROR_INVALID_INDEX_VALUE
#define ERROR_INVALID_INDEX_VALUE 1413L
#endif
#ifndef ERROR_CLASS_HAS_WINDOWS
#define ERROR_CLASS_HAS_WINDOWS 1412L
#endif

/* ---- Classes ---------------------------------------------------------- */

static bool IsAtomName(LPCSTR name) { return (uintptr_t)name < 0x10000; }

static std::string ClassKey(const std::string &name)
{
    std::string key = name;
    for (char &c : key) c = (char)tolower((unsigned char)c);
    return key;
}

static std::shared_ptr<WindowClass> FindClassLocked(LPCSTR name)
{
    State &s = GetState();
    if (!name) return nullptr;
    if (IsAtomName(name)) {
        for (auto &entry : s.classes)
            if (entry.second->atom == (ATOM)(uintptr_t)name) return entry.second;
        return nullptr;
    }
    auto it = s.classes.find(ClassKey(name));
    return it == s.classes.end() ? nullptr : it->second;
}

static ATOM RegisterClassCommon(const WNDCLASSEXA &wc)
{
    if (!wc.lpszClassName || IsAtomName(wc.lpszClassName) || !wc.lpszClassName[0] || !wc.lpfnWndProc ||
        wc.cbClsExtra < 0 || wc.cbWndExtra < 0 || wc.cbWndExtra > 40960) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto lock = LockDesktop();
    State &s = GetState();
    std::string key = ClassKey(wc.lpszClassName);
    if (s.classes.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc.lpszClassName;
    cls->atom = s.nextAtom++;
    cls->style = wc.style;
    cls->proc = wc.lpfnWndProc;
    cls->classExtra = wc.cbClsExtra;
    cls->windowExtra = wc.cbWndExtra;
    cls->instance = wc.hInstance;
    cls->icon = wc.hIcon;
    cls->smallIcon = wc.hIconSm;
    cls->cursor = wc.hCursor;
    cls->background = wc.hbrBackground;
    s.classes[key] = cls;
    return cls->atom;
}

KOVA_LAYER_API ATOM WINAPI RegisterClassA(const WNDCLASSA *wc)
{
    KOVA_FAULT_POINT("RegisterClassA", ATOM);
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXA ex{};
    ex.cbSize = sizeof ex;
    ex.style = wc->style;
    ex.lpfnWndProc = wc->lpfnWndProc;
    ex.cbClsExtra = wc->cbClsExtra;
    ex.cbWndExtra = wc->cbWndExtra;
    ex.hInstance = wc->hInstance;
    ex.hIcon = wc->hIcon;
    ex.hCursor = wc->hCursor;
    ex.hbrBackground = wc->hbrBackground;
    ex.lpszMenuName = wc->lpszMenuName;
    ex.lpszClassName = wc->lpszClassName;
    return RegisterClassCommon(ex);
}

KOVA_LAYER_API ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *wc)
{
    KOVA_FAULT_POINT("RegisterClassExA", ATOM);
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return RegisterClassCommon(*wc);
}

KOVA_LAYER_API BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE)
{
    auto lock = LockDesktop();
    std::shared_ptr<WindowClass> cls = FindClassLocked(className);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (cls->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    GetState().classes.erase(ClassKey(cls->name));
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI GetClassInfoExA(HINSTANCE, LPCSTR className, LPWNDCLASSEXA wc)
{
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto lock = LockDesktop();
    std::shared_ptr<WindowClass> cls = FindClassLocked(className);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    wc->style = cls->style;
    wc->lpfnWndProc = cls->proc;
    wc->cbClsExtra = cls->classExtra;
    wc->cbWndExtra = cls->windowExtra;
    wc->hInstance = cls->instance;
    wc->hIcon = cls->icon;
    wc->hCursor = cls->cursor;
    wc->hbrBackground = cls->background;
    wc->lpszMenuName = nullptr;
    wc->lpszClassName = className;
    wc->hIconSm = cls->smallIcon;
    return (BOOL)cls->atom;
}

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

static void UpdateClientLocked(Window &w)
{
    RECT in = FrameInsets(w.style, w.exStyle);
    w.client = RECT{w.rect.left + in.left, w.rect.top + in.top, w.rect.right - in.right, w.rect.bottom - in.bottom};
    if (w.client.right < w.client.left) w.client.right = w.client.left;
    if (w.client.bottom < w.client.top) w.client.bottom = w.client.top;
}

static std::vector<HWND> &SiblingListLocked(Window &w)
{
    if (w.parent)
        if (Window *p = FindWindowLocked(w.parent)) return p->children;
    return GetState().topLevel;
}

// Topmost windows stay in front of the others.
static void SortTopmostLocked()
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

/* ---- Creation --------------------------------------------------------- */

static BOOL DestroyWindowTree(HWND hwnd, bool sendDestroy);

static void SendSizeAndMove(HWND hwnd)
{
    RECT client{};
    POINT origin{0, 0};
    DWORD style = 0;
    {
        auto lock = LockDesktop();
        Window *w = FindWindowLocked(hwnd);
        if (!w) return;
        w->needSize = false;
        client = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
        origin = POINT{w->client.left, w->client.top};
        style = w->style;
    }
    WPARAM kind = (style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : (style & WS_MINIMIZE) ? SIZE_MINIMIZED : SIZE_RESTORED;
    SendMessageA(hwnd, WM_SIZE, kind, MAKELONG(client.right, client.bottom));
    SendMessageA(hwnd, WM_MOVE, 0, MAKELONG(origin.x, origin.y));
}

KOVA_LAYER_API HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                                           int x, int y, int width, int height, HWND parent, HMENU menu,
                                           HINSTANCE instance, LPVOID param)
{
    KOVA_FAULT_POINT("CreateWindowExA", HWND);
    const DWORD thread = kova::msg::EnsureQueue();
    HWND hwnd = nullptr;
    WNDPROC proc = nullptr;
    {
        auto lock = LockDesktop();
        State &s = GetState();
        std::shared_ptr<WindowClass> cls = FindClassLocked(className);
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (parent == DesktopWindowHandle()) parent = nullptr;
        if (parent && !FindWindowLocked(parent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if ((style & WS_CHILD) && !parent) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        auto w = std::make_unique<Window>();
        hwnd = (HWND)(uintptr_t)(0x20000 + 4 * NextHandleLocked(s));
        w->handle = hwnd;
        w->cls = cls;
        w->proc = cls->proc;
        w->style = style & ~(DWORD)WS_VISIBLE;  // shown after WM_CREATE
        w->exStyle = exStyle;
        if (style & WS_CHILD) {
            w->parent = parent;
            w->id = (LONG_PTR)menu;
        } else {
            w->owner = parent;
            w->style |= WS_CLIPSIBLINGS;  // top-level windows always clip each other
        }
        w->instance = instance;
        w->text = windowName && !IsAtomName(windowName) ? windowName : "";
        w->threadId = thread;
        w->extra.assign((size_t)cls->windowExtra, 0);
        // Windows chooses the place and size of overlapped windows given
        // CW_USEDEFAULT; other windows get zero.
        const bool overlapped = !(style & (WS_CHILD | WS_POPUP));
        if (x == CW_USEDEFAULT) {
            x = y = overlapped ? 32 + 24 * (int)(s.topLevel.size() % 8) : 0;
        }
        if (width == CW_USEDEFAULT) {
            const RECT &primary = s.monitors[0].rect;
            width = overlapped ? std::min(800, (int)(primary.right - primary.left)) : 0;
            height = overlapped ? std::min(600, (int)(primary.bottom - primary.top)) : 0;
        }
        if (width < 0) width = 0;
        if (height < 0) height = 0;
        w->rect = RECT{x, y, x + width, y + height};
        UpdateClientLocked(*w);
        ++cls->windows;
        Window &ref = *w;
        s.windows[hwnd] = std::move(w);
        if (ref.parent) {
            // New children go to the bottom of their siblings, new top-level
            // windows to the top.
            FindWindowLocked(ref.parent)->children.push_back(hwnd);
        } else {
            s.topLevel.insert(s.topLevel.begin(), hwnd);
            SortTopmostLocked();
        }
        ++s.layoutGeneration;
        proc = ref.proc;
    }

    CREATESTRUCTA cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cx = width;
    cs.cy = height;
    cs.x = x;
    cs.y = y;
    cs.style = (LONG)style;
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    // A window refused by its procedure goes without WM_DESTROY: it was
    // never created.
    if (!proc(hwnd, WM_NCCREATE, 0, (LPARAM)&cs) || SendMessageA(hwnd, WM_CREATE, 0, (LPARAM)&cs) == -1) {
        DestroyWindowTree(hwnd, false);
        return nullptr;
    }
    if (!IsWindow(hwnd)) return nullptr;  // destroyed while being created
    bool needSize = false;
    {
        auto lock = LockDesktop();
        if (Window *w = FindWindowLocked(hwnd)) {
            w->created = true;
            needSize = w->needSize = !(style & (WS_CHILD | WS_POPUP));
        }
    }
    if (!needSize) SendSizeAndMove(hwnd);
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

/* ---- Destruction ------------------------------------------------------ */

static void CollectTreeLocked(HWND hwnd, std::vector<HWND> *out)
{
    Window *w = FindWindowLocked(hwnd);
    if (!w) return;
    out->push_back(hwnd);
    for (HWND c : w->children) CollectTreeLocked(c, out);
}

KOVA_LAYER_API BOOL WINAPI DestroyWindow(HWND hwnd)
{
    KOVA_FAULT_POINT("DestroyWindow", BOOL);
    return DestroyWindowTree(hwnd, true);
}

static BOOL DestroyWindowTree(HWND hwnd, bool sendDestroy)
{
    std::vector<HWND> tree;
    std::vector<HWND> owned;
    {
        auto lock = LockDesktop();
        Window *w = FindWindowLocked(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (w->destroying) return TRUE;
        for (auto &entry : GetState().windows)
            if (entry.second->owner == hwnd) owned.push_back(entry.first);
    }
    for (HWND o : owned) DestroyWindow(o);

    // Hide first, so what lay beneath is repainted.
    ShowWindow(hwnd, SW_HIDE);
    {
        auto lock = LockDesktop();
        CollectTreeLocked(hwnd, &tree);
        for (HWND h : tree) FindWindowLocked(h)->destroying = true;
    }
    if (sendDestroy)
        for (HWND h : tree) SendMessageA(h, WM_DESTROY, 0, 0);
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) SendMessageA(*it, WM_NCDESTROY, 0, 0);

    std::vector<std::pair<DWORD, HWND>> purge;
    {
        auto lock = LockDesktop();
        State &s = GetState();
        Window *w = FindWindowLocked(hwnd);
        if (w) {
            std::vector<HWND> &siblings = SiblingListLocked(*w);
            siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
        }
        for (HWND h : tree) {
            Window *t = FindWindowLocked(h);
            if (!t) continue;
            --t->cls->windows;
            purge.emplace_back(t->threadId, h);
            DeleteWindowDcsLocked(h);
            s.windows.erase(h);
        }
        ++s.layoutGeneration;
    }
    for (auto &p : purge) kova::msg::PurgeWindow(p.first, p.second);
    return TRUE;
}

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

KOVA_LAYER_API BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point)
{
    KOVA_FAULT_POINT("ClientToScreen", BOOL);
    auto lock = LockDesktop();
    POINT o;
    if (!point || !hwnd || !OriginLocked(hwnd, &o)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point)
{
    KOVA_FAULT_POINT("ScreenToClient", BOOL);
    auto lock = LockDesktop();
    POINT o;
    if (!point || !hwnd || !OriginLocked(hwnd, &o)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
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

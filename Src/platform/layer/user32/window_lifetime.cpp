/* Windows coming and going: creation (WM_NCCREATE, WM_CREATE, the first
 * WM_SIZE and WM_MOVE) and destruction of a window and its descendants. */
#include "fault/fault.h"
#include "gdi32/dc.h"
#include "user32/message_queue.h"
#include "user32/window_common.h"

#include <algorithm>

using namespace kova;
using namespace kova::desktop;

#ifndef ERROR_CANNOT_FIND_WND_CLASS
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#endif
#ifndef ERROR_TLW_WITH_WSCHILD
#define ERROR_TLW_WITH_WSCHILD 1406L
#endif

/* ---- Creation --------------------------------------------------------- */

static BOOL DestroyWindowTree(HWND hwnd, bool sendDestroy);

void kova::desktop::SendSizeAndMove(HWND hwnd)
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

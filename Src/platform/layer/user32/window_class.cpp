/* Window classes: registering, looking up and unregistering them. */
#include "fault/fault.h"
#include "user32/window_common.h"

#include <ctype.h>

using namespace kova;
using namespace kova::desktop;

#ifndef ERROR_CLASS_HAS_WINDOWS
#define ERROR_CLASS_HAS_WINDOWS 1412L
#endif

/* ---- Classes ---------------------------------------------------------- */

static std::string ClassKey(const std::string &name)
{
    std::string key = name;
    for (char &c : key) c = (char)tolower((unsigned char)c);
    return key;
}

std::shared_ptr<WindowClass> kova::desktop::FindClassLocked(LPCSTR name)
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

/* IDirectDrawClipper: limits blits onto a primary surface to what can be
 * seen of a window, or to a list of rectangles. */
#include "ddraw/ddraw_private.h"

#include "desktop/desktop_state.h"

#include <string.h>

namespace kova {
namespace ddraw {

Region WindowClipLocked(HWND window)
{
    const desktop::Window *w = desktop::FindWindowLocked(window);
    if (!w) return Region();
    return desktop::VisibleRegionLocked(*w, desktop::VisibleArea::Client, (w->style & WS_CLIPCHILDREN) != 0);
}

Clipper::Clipper()
{
    ++Live().clippers;
}

Clipper::~Clipper()
{
    --Live().clippers;
}

void Clipper::Snapshot(HWND *window, bool *hasList, Region *list)
{
    std::lock_guard<std::mutex> hold(mutex_);
    *window = window_;
    *hasList = hasList_;
    if (hasList_) *list = list_;
}

HRESULT Clipper::QueryInterface(REFIID riid, void **object)
{
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectDrawClipper) {
        AddRef();
        *object = static_cast<IDirectDrawClipper *>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Clipper::AddRef()
{
    return ++refs_;
}

ULONG Clipper::Release()
{
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT Clipper::SetHWnd(DWORD flags, HWND window)
{
    HRESULT hr;
    if (Intercept("IDirectDrawClipper::SetHWnd", {}, &hr)) return hr;
    if (flags) return DDERR_INVALIDPARAMS;
    if (window && !IsWindow(window)) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::mutex> hold(mutex_);
    window_ = window;
    seenLayout_ = 0;
    return DD_OK;
}

HRESULT Clipper::GetHWnd(HWND *window)
{
    if (!window) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::mutex> hold(mutex_);
    *window = window_;
    return DD_OK;
}

HRESULT Clipper::SetClipList(LPRGNDATA clipList, DWORD flags)
{
    if (flags) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::mutex> hold(mutex_);
    if (window_) return DDERR_CLIPPERISUSINGHWND;
    if (!clipList) {
        hasList_ = false;
        list_.Clear();
        return DD_OK;
    }
    if (clipList->rdh.dwSize != sizeof(RGNDATAHEADER) || clipList->rdh.iType != RDH_RECTANGLES)
        return DDERR_INVALIDCLIPLIST;
    Region list;
    const RECT *rects = (const RECT *)clipList->Buffer;
    for (DWORD i = 0; i < clipList->rdh.nCount; ++i) {
        RECT r;
        memcpy(&r, rects + i, sizeof r);
        list.Add(r);
    }
    list_ = list;
    hasList_ = true;
    return DD_OK;
}

HRESULT Clipper::GetClipList(LPRECT rect, LPRGNDATA clipList, LPDWORD size)
{
    if (!size) return DDERR_INVALIDPARAMS;
    HWND window;
    bool hasList;
    Region region;
    Snapshot(&window, &hasList, &region);
    if (window) {
        auto lock = desktop::LockDesktop();
        region = WindowClipLocked(window);
        std::lock_guard<std::mutex> hold(mutex_);
        seenLayout_ = desktop::LayoutGenerationLocked();
    } else if (!hasList) {
        return DDERR_NOCLIPLIST;
    }
    if (rect) region.Intersect(*rect);
    const std::vector<RECT> &rects = region.Rects();
    const DWORD needed = (DWORD)(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    if (!clipList) {
        *size = needed;
        return DD_OK;
    }
    if (*size < needed) {
        *size = needed;
        return DDERR_REGIONTOOSMALL;
    }
    clipList->rdh.dwSize = sizeof(RGNDATAHEADER);
    clipList->rdh.iType = RDH_RECTANGLES;
    clipList->rdh.nCount = (DWORD)rects.size();
    clipList->rdh.nRgnSize = (DWORD)(rects.size() * sizeof(RECT));
    clipList->rdh.rcBound = region.Bounds();
    if (!rects.empty()) memcpy(clipList->Buffer, rects.data(), rects.size() * sizeof(RECT));
    *size = needed;
    return DD_OK;
}

HRESULT Clipper::IsClipListChanged(BOOL *changed)
{
    if (!changed) return DDERR_INVALIDPARAMS;
    HWND window;
    unsigned long long seen;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        window = window_;
        seen = seenLayout_;
    }
    *changed = window && desktop::LayoutGeneration() != seen;
    return DD_OK;
}

HRESULT Clipper::Initialize(LPDIRECTDRAW, DWORD)
{
    return DDERR_ALREADYINITIALIZED;
}

}  // namespace ddraw
}  // namespace kova

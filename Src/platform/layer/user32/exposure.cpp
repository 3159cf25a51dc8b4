/* Window frames and exposure, drawn straight into the framebuffers in the
 * system colours. */
#include "user32/exposure.h"

namespace kova {
namespace desktop {

RECT FrameInsets(DWORD style, DWORD exStyle)
{
    int side = 0;
    if (style & WS_THICKFRAME)
        side = GetSystemMetrics(SM_CXFRAME);
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        side = GetSystemMetrics(SM_CXDLGFRAME);
    else if (style & WS_BORDER)
        side = GetSystemMetrics(SM_CXBORDER);
    if (exStyle & WS_EX_CLIENTEDGE) side += GetSystemMetrics(SM_CXEDGE);
    if (exStyle & WS_EX_STATICEDGE) side += GetSystemMetrics(SM_CXBORDER);
    RECT r{side, side, side, side};
    if ((style & WS_CAPTION) == WS_CAPTION)
        r.top += GetSystemMetrics((exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
    return r;
}

// The frame as the layer draws it: a border in the border colour and, for
// windows with a caption, a caption bar over the client area's width.
static void PaintFrameLocked(const Window &w, const Region &visibleFrame)
{
    FillScreenRegionLocked(visibleFrame, GetSysColor(COLOR_ACTIVEBORDER));
    if ((w.style & WS_CAPTION) != WS_CAPTION) return;
    RECT wr = WindowRectOnScreenLocked(w);
    RECT cr = ClientRectOnScreenLocked(w);
    RECT insets = FrameInsets(w.style, w.exStyle);
    Region caption(RECT{cr.left, wr.top + insets.left, cr.right, cr.top});
    caption.Intersect(visibleFrame);
    FillScreenRegionLocked(caption, GetSysColor(COLOR_ACTIVECAPTION));
}

static void ExposeWindowLocked(Window &w, const Region &exposed, std::vector<HWND> *needPaint)
{
    if (!(w.style & WS_VISIBLE)) return;
    Region whole = VisibleRegionLocked(w, VisibleArea::Window, true);
    whole.Intersect(exposed);
    if (!whole.Empty()) {
        Region frame = whole;
        frame.Subtract(ClientRectOnScreenLocked(w));
        if (!frame.Empty()) PaintFrameLocked(w, frame);
        Region client = whole;
        client.Intersect(ClientRectOnScreenLocked(w));
        if (!client.Empty()) {
            POINT o = ClientOriginLocked(w);
            client.Offset(-o.x, -o.y);
            bool any = false;
            for (const RECT &r : client.Rects()) any |= InvalidateLocked(w, &r, true);
            if (any && needPaint) needPaint->push_back(w.handle);
        }
    }
    for (HWND c : w.children)
        if (Window *child = FindWindowLocked(c)) ExposeWindowLocked(*child, exposed, needPaint);
}

void ExposeLocked(const Region &exposed, std::vector<HWND> *needPaint)
{
    if (exposed.Empty()) return;
    State &s = GetState();
    Region background = exposed;
    for (HWND h : s.topLevel) {
        Window *w = FindWindowLocked(h);
        if (w && (w->style & WS_VISIBLE)) background.Subtract(WindowRectOnScreenLocked(*w));
    }
    FillScreenRegionLocked(background, s.background);
    for (HWND h : s.topLevel)
        if (Window *w = FindWindowLocked(h)) ExposeWindowLocked(*w, exposed, needPaint);
}

}  // namespace desktop
}  // namespace kova

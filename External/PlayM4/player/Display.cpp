#include "Display.h"

#include <algorithm>

namespace playm4 {

RECT SourceRect(const Region &region, int width, int height)
{
    RECT whole = {0, 0, width, height};
    if (region.whole)
        return whole;
    RECT cut = {std::max<LONG>(region.left, 0), std::max<LONG>(region.top, 0), std::min<LONG>(region.right, width),
                std::min<LONG>(region.bottom, height)};
    if (cut.left >= cut.right || cut.top >= cut.bottom)
        return whole;
    return cut;
}

bool Display::Show(const AVFrame *frame, HWND window, const Region &region)
{
    if (!image_.Convert(frame))
        return false;
    Draw(window, region);
    return true;
}

void Display::Redraw(HWND window, const Region &region)
{
    if (!image_.Empty())
        Draw(window, region);
}

void Display::Draw(HWND window, const Region &region)
{
    if (!window)
        return;
    RECT client;
    if (!GetClientRect(window, &client))
        return;  /* the window is gone: play on without drawing */
    const int destWidth = client.right - client.left;
    const int destHeight = client.bottom - client.top;
    if (destWidth <= 0 || destHeight <= 0)
        return;
    HDC dc = GetDC(window);
    if (!dc)
        return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image_.BitmapWidth();
    info.bmiHeader.biHeight = image_.Height();  /* bottom-up */
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const RECT source = SourceRect(region, image_.Width(), image_.Height());
    SetStretchBltMode(dc, COLORONCOLOR);
    /* Rows of a bottom-up bitmap count from its bottom. */
    StretchDIBits(dc, 0, 0, destWidth, destHeight, source.left, image_.Height() - source.bottom,
                  source.right - source.left, source.bottom - source.top, image_.Pixels(), &info, DIB_RGB_COLORS,
                  SRCCOPY);
    ReleaseDC(window, dc);
}

}  // namespace playm4

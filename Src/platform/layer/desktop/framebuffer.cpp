#include "desktop/framebuffer.h"
#include "desktop/region.h"

#include <string.h>

namespace kova {

int LayoutDepth(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Bgrx32: return 32;
    case PixelLayout::Bgr24: return 24;
    case PixelLayout::Rgb565: return 16;
    case PixelLayout::Rgb555: return 15;
    case PixelLayout::Pal8: return 8;
    }
    return 0;
}

int LayoutBytes(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Bgrx32: return 4;
    case PixelLayout::Bgr24: return 3;
    case PixelLayout::Rgb565:
    case PixelLayout::Rgb555: return 2;
    case PixelLayout::Pal8: return 1;
    }
    return 0;
}

bool LayoutFromDepth(int depth, PixelLayout *layout)
{
    switch (depth) {
    case 32: *layout = PixelLayout::Bgrx32; return true;
    case 24: *layout = PixelLayout::Bgr24; return true;
    case 16: *layout = PixelLayout::Rgb565; return true;
    case 15: *layout = PixelLayout::Rgb555; return true;
    case 8: *layout = PixelLayout::Pal8; return true;
    default: return false;
    }
}

PixelMasks LayoutMasks(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Bgrx32:
    case PixelLayout::Bgr24: return {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
    case PixelLayout::Rgb565: return {0xF800u, 0x07E0u, 0x001Fu};
    case PixelLayout::Rgb555: return {0x7C00u, 0x03E0u, 0x001Fu};
    case PixelLayout::Pal8: break;
    }
    return {0, 0, 0};
}

static BYTE Widen5(DWORD v) { return (BYTE)((v << 3) | (v >> 2)); }
static BYTE Widen6(DWORD v) { return (BYTE)((v << 2) | (v >> 4)); }
static BYTE Widen3(DWORD v) { return (BYTE)((v << 5) | (v << 2) | (v >> 1)); }
static BYTE Widen2(DWORD v) { return (BYTE)(v * 0x55); }

Framebuffer::Framebuffer(int w, int h, PixelLayout l)
    : width(w), height(h), layout(l), bytesPerPixel(LayoutBytes(l)),
      pitch((w * LayoutBytes(l) + 15) & ~15)
{
    pixels_.reset(new BYTE[(size_t)pitch * h]());
    for (int i = 0; i < 256; ++i) {
        palette_[i].rgbRed = Widen3((DWORD)i >> 5);
        palette_[i].rgbGreen = Widen3(((DWORD)i >> 2) & 7);
        palette_[i].rgbBlue = Widen2((DWORD)i & 3);
        palette_[i].rgbReserved = 0;
    }
}

DWORD Framebuffer::Encode(BYTE r, BYTE g, BYTE b) const
{
    switch (layout) {
    case PixelLayout::Bgrx32:
    case PixelLayout::Bgr24: return ((DWORD)r << 16) | ((DWORD)g << 8) | b;
    case PixelLayout::Rgb565: return ((DWORD)(r >> 3) << 11) | ((DWORD)(g >> 2) << 5) | (b >> 3);
    case PixelLayout::Rgb555: return ((DWORD)(r >> 3) << 10) | ((DWORD)(g >> 3) << 5) | (b >> 3);
    case PixelLayout::Pal8: return ((DWORD)(r >> 5) << 5) | ((DWORD)(g >> 5) << 2) | (b >> 6);
    }
    return 0;
}

COLORREF Framebuffer::Decode(DWORD p) const
{
    switch (layout) {
    case PixelLayout::Bgrx32:
    case PixelLayout::Bgr24: return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    case PixelLayout::Rgb565: return RGB(Widen5((p >> 11) & 31), Widen6((p >> 5) & 63), Widen5(p & 31));
    case PixelLayout::Rgb555: return RGB(Widen5((p >> 10) & 31), Widen5((p >> 5) & 31), Widen5(p & 31));
    case PixelLayout::Pal8: {
        const RGBQUAD &q = palette_[p & 0xFF];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    }
    return 0;
}

DWORD Framebuffer::Load(int x, int y) const
{
    const BYTE *p = Row(y) + (size_t)x * bytesPerPixel;
    switch (bytesPerPixel) {
    case 4: { DWORD v; memcpy(&v, p, 4); return v & 0x00FFFFFFu; }
    case 3: return p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16);
    case 2: { WORD v; memcpy(&v, p, 2); return v; }
    default: return p[0];
    }
}

void Framebuffer::Store(int x, int y, DWORD v)
{
    BYTE *p = Row(y) + (size_t)x * bytesPerPixel;
    switch (bytesPerPixel) {
    case 4: memcpy(p, &v, 4); break;
    case 3: p[0] = (BYTE)v; p[1] = (BYTE)(v >> 8); p[2] = (BYTE)(v >> 16); break;
    case 2: { WORD w = (WORD)v; memcpy(p, &w, 2); break; }
    default: p[0] = (BYTE)v; break;
    }
}

void Framebuffer::Fill(const RECT &area, DWORD v)
{
    RECT r = RectIntersect(area, RECT{0, 0, width, height});
    if (RectIsEmpty(r)) return;
    const int n = r.right - r.left;
    for (int y = r.top; y < r.bottom; ++y) {
        BYTE *p = Row(y) + (size_t)r.left * bytesPerPixel;
        switch (bytesPerPixel) {
        case 4: for (int i = 0; i < n; ++i) memcpy(p + 4 * i, &v, 4); break;
        case 3:
            for (int i = 0; i < n; ++i) {
                p[3 * i] = (BYTE)v; p[3 * i + 1] = (BYTE)(v >> 8); p[3 * i + 2] = (BYTE)(v >> 16);
            }
            break;
        case 2: { WORD w = (WORD)v; for (int i = 0; i < n; ++i) memcpy(p + 2 * i, &w, 2); break; }
        default: memset(p, (int)(v & 0xFF), (size_t)n); break;
        }
    }
}

}  // namespace kova

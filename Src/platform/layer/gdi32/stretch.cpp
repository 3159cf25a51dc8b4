/* Stretch modes and StretchDIBits: a device-independent bitmap, or part of
 * it, stretched onto a device context and written into the framebuffer of
 * every monitor the destination covers, clipped to what the DC may touch. */
#include "fault/fault.h"
#include "gdi32/dc.h"

#include <string.h>

#include <algorithm>
#include <vector>

using namespace kova;
using namespace kova::desktop;

KOVA_LAYER_API int WINAPI SetStretchBltMode(HDC dc, int mode)
{
    KOVA_FAULT_POINT("SetStretchBltMode", int);
    if (mode < BLACKONWHITE || mode > HALFTONE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto lock = LockDesktop();
    DeviceContext *ctx = FindDcLocked(dc);
    if (!ctx) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    int old = ctx->stretchMode;
    ctx->stretchMode = mode;
    return old;
}

KOVA_LAYER_API int WINAPI GetStretchBltMode(HDC dc)
{
    auto lock = LockDesktop();
    DeviceContext *ctx = FindDcLocked(dc);
    if (!ctx) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return ctx->stretchMode;
}

namespace {

// Reads source pixels of one bitmap format as 0x00RRGGBB.
struct DibReader {
    const BYTE *bits;
    int width, height;
    size_t stride;
    bool topDown;
    int bitCount;
    DWORD masks[3];
    int shifts[3];
    int widths[3];
    DWORD palette[256];
    int paletteSize;

    const BYTE *Row(int topDownRow) const
    {
        int memoryRow = topDown ? topDownRow : height - 1 - topDownRow;
        return bits + (size_t)memoryRow * stride;
    }

    static BYTE Scale(DWORD v, int width)
    {
        if (width >= 8) return (BYTE)(v >> (width - 8));
        if (width <= 0) return 0;
        // Widen by repeating the high bits.
        DWORD out = 0;
        for (int filled = 0; filled < 8; filled += width) out = (out << width) | v;
        return (BYTE)(out >> (((8 + width - 1) / width) * width - 8));
    }

    DWORD Masked(DWORD p) const
    {
        DWORD r = Scale((p & masks[0]) >> shifts[0], widths[0]);
        DWORD g = Scale((p & masks[1]) >> shifts[1], widths[1]);
        DWORD b = Scale((p & masks[2]) >> shifts[2], widths[2]);
        return (r << 16) | (g << 8) | b;
    }

    DWORD Pixel(const BYTE *row, int x) const
    {
        switch (bitCount) {
        case 32: {
            DWORD p;
            memcpy(&p, row + 4 * (size_t)x, 4);
            return masks[0] == 0x00FF0000u && masks[2] == 0xFFu ? (p & 0x00FFFFFFu) : Masked(p);
        }
        case 24: {
            const BYTE *p = row + 3 * (size_t)x;
            return ((DWORD)p[2] << 16) | ((DWORD)p[1] << 8) | p[0];
        }
        case 16: {
            WORD p;
            memcpy(&p, row + 2 * (size_t)x, 2);
            return Masked(p);
        }
        default: {
            BYTE i = row[x];
            return i < paletteSize ? palette[i] : 0;
        }
        }
    }
};

void SetMasks(DibReader &r, DWORD red, DWORD green, DWORD blue)
{
    DWORD m[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        r.masks[c] = m[c];
        int shift = 0, width = 0;
        if (m[c]) {
            while (!((m[c] >> shift) & 1)) ++shift;
            while ((m[c] >> (shift + width)) & 1) ++width;
        }
        r.shifts[c] = shift;
        r.widths[c] = width;
    }
}

bool MakeReader(const void *bits, const BITMAPINFO *info, UINT usage, DibReader *r)
{
    const BITMAPINFOHEADER &h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1) return false;
    if (h.biWidth > 65536 || h.biHeight > 65536 || h.biHeight < -65536) return false;
    r->bits = (const BYTE *)bits;
    r->width = h.biWidth;
    r->height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    r->topDown = h.biHeight < 0;
    r->bitCount = h.biBitCount;
    r->stride = (((size_t)h.biWidth * h.biBitCount + 31) / 32) * 4;
    r->paletteSize = 0;
    const BYTE *colors = (const BYTE *)info + h.biSize;
    switch (h.biBitCount) {
    case 32:
    case 16:
        if (h.biCompression == BI_BITFIELDS) {
            DWORD m[3];
            memcpy(m, colors, sizeof m);
            if (!m[0] || !m[1] || !m[2]) return false;
            SetMasks(*r, m[0], m[1], m[2]);
        } else if (h.biCompression == BI_RGB) {
            if (h.biBitCount == 32)
                SetMasks(*r, 0x00FF0000u, 0x0000FF00u, 0x000000FFu);
            else
                SetMasks(*r, 0x7C00u, 0x03E0u, 0x001Fu);
        } else {
            return false;
        }
        return true;
    case 24:
        return h.biCompression == BI_RGB;
    case 8: {
        if (h.biCompression != BI_RGB || usage != DIB_RGB_COLORS) return false;
        r->paletteSize = h.biClrUsed && h.biClrUsed < 256 ? (int)h.biClrUsed : 256;
        const RGBQUAD *table = (const RGBQUAD *)colors;
        for (int i = 0; i < r->paletteSize; ++i)
            r->palette[i] = ((DWORD)table[i].rgbRed << 16) | ((DWORD)table[i].rgbGreen << 8) | table[i].rgbBlue;
        return true;
    }
    default:
        return false;
    }
}

// Stores a row of 0x00RRGGBB colours in the framebuffer's format.
void StoreRow(Framebuffer &fb, BYTE *dst, const DWORD *rgb, int n)
{
    switch (fb.layout) {
    case PixelLayout::Bgrx32:
        memcpy(dst, rgb, (size_t)n * 4);
        break;
    case PixelLayout::Bgr24:
        for (int i = 0; i < n; ++i) {
            dst[3 * i] = (BYTE)rgb[i];
            dst[3 * i + 1] = (BYTE)(rgb[i] >> 8);
            dst[3 * i + 2] = (BYTE)(rgb[i] >> 16);
        }
        break;
    case PixelLayout::Rgb565:
        for (int i = 0; i < n; ++i) {
            DWORD c = rgb[i];
            WORD v = (WORD)(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F));
            memcpy(dst + 2 * i, &v, 2);
        }
        break;
    case PixelLayout::Rgb555:
        for (int i = 0; i < n; ++i) {
            DWORD c = rgb[i];
            WORD v = (WORD)(((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F));
            memcpy(dst + 2 * i, &v, 2);
        }
        break;
    case PixelLayout::Pal8:
        for (int i = 0; i < n; ++i) dst[i] = (BYTE)fb.Encode((BYTE)(rgb[i] >> 16), (BYTE)(rgb[i] >> 8), (BYTE)rgb[i]);
        break;
    }
}

// Nearest source index for destination index i of n (mirrored when flip):
// the source pixel under the destination pixel's centre.
inline int MapNearest(int i, int n, int srcStart, int srcCount, bool flip)
{
    long long k = flip ? n - 1 - i : i;
    return srcStart + (int)((2 * k + 1) * srcCount / (2LL * n));
}

}  // namespace

KOVA_LAYER_API int WINAPI StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight,
                                        int xSrc, int ySrc, int srcWidth, int srcHeight,
                                        const void *bits, const BITMAPINFO *info, UINT usage, DWORD rop)
{
    KOVA_FAULT_POINT("StretchDIBits", int);
    DibReader reader;
    if (!bits || !info || !MakeReader(bits, info, usage, &reader) || rop != SRCCOPY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!destWidth || !destHeight || !srcWidth || !srcHeight) return 0;

    // Negative extents mirror; bring everything to positive extents.
    bool flipX = false, flipY = false;
    if (destWidth < 0) { xDest += destWidth; destWidth = -destWidth; flipX = !flipX; }
    if (destHeight < 0) { yDest += destHeight; destHeight = -destHeight; flipY = !flipY; }
    if (srcWidth < 0) { xSrc += srcWidth; srcWidth = -srcWidth; flipX = !flipX; }
    if (srcHeight < 0) { ySrc += srcHeight; srcHeight = -srcHeight; flipY = !flipY; }
    // The source rectangle counts rows from the bottom of the picture, for
    // top-down bitmaps too.
    const int srcTop = reader.height - (ySrc + srcHeight);

    auto lock = LockDesktop();
    POINT origin;
    Region clip;
    if (!DcClipLocked(dc, &origin, &clip)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const RECT dest{origin.x + xDest, origin.y + yDest, origin.x + xDest + destWidth, origin.y + yDest + destHeight};
    clip.Intersect(dest);

    std::vector<int> columns;
    std::vector<DWORD> row;
    std::vector<Framebuffer *> touched;
    ForEachMonitorPieceLocked(clip, [&](Framebuffer &fb, const RECT &monitor, const RECT &piece) {
        const int n = piece.right - piece.left;
        columns.resize((size_t)n);
        row.resize((size_t)n);
        for (int i = 0; i < n; ++i)
            columns[(size_t)i] = MapNearest(piece.left + i + monitor.left - dest.left, destWidth, xSrc, srcWidth, flipX);
        int first = -1, last = -1;  // destination columns with a source pixel
        for (int i = 0; i < n; ++i)
            if (columns[(size_t)i] >= 0 && columns[(size_t)i] < reader.width) {
                if (first < 0) first = i;
                last = i;
            }
        if (first < 0) return;
        for (int y = piece.top; y < piece.bottom; ++y) {
            int sy = MapNearest(y + monitor.top - dest.top, destHeight, srcTop, srcHeight, flipY);
            if (sy < 0 || sy >= reader.height) continue;
            const BYTE *src = reader.Row(sy);
            for (int i = first; i <= last; ++i) {
                int sx = columns[(size_t)i];
                row[(size_t)i] = sx >= 0 && sx < reader.width ? reader.Pixel(src, sx) : 0;
            }
            // Columns outside the bitmap leave the screen as it was.
            int i = first;
            while (i <= last) {
                while (i <= last && (columns[(size_t)i] < 0 || columns[(size_t)i] >= reader.width)) ++i;
                int j = i;
                while (j <= last && columns[(size_t)j] >= 0 && columns[(size_t)j] < reader.width) ++j;
                if (j > i)
                    StoreRow(fb, fb.Row(y) + (size_t)(piece.left + i) * fb.bytesPerPixel, row.data() + i, j - i);
                i = j;
            }
        }
        if (std::find(touched.begin(), touched.end(), &fb) == touched.end()) touched.push_back(&fb);
    });
    for (Framebuffer *fb : touched) fb->MarkChanged();
    return srcHeight;
}

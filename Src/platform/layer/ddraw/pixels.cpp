/* Surface pixel formats and the blitter: stretching with conversion between
 * formats (FOURCC YUV to RGB with BT.601 limited-range coefficients) and
 * colour fill. Sampling is nearest-neighbour at pixel centres, like a
 * blitter without filtering, so every output pixel is one source pixel. */
#include "ddraw/ddraw_private.h"

#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kova {
namespace ddraw {

/* ---- Formats ---------------------------------------------------------- */

int BytesPerPixel(Format f)
{
    switch (f) {
    case Format::Rgb32: return 4;
    case Format::Rgb24: return 3;
    case Format::Rgb565:
    case Format::Rgb555:
    case Format::Yuy2:
    case Format::Uyvy: return 2;
    case Format::Pal8: return 1;
    }
    return 0;
}

LONG PitchFor(Format f, int width)
{
    // A YUV row holds whole macropixels, so an odd width rounds up.
    LONG bytes = IsYuv(f) ? (LONG)((width + 1) / 2) * 4 : (LONG)width * BytesPerPixel(f);
    return (bytes + 15) & ~15;
}

Format FromLayout(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Bgrx32: return Format::Rgb32;
    case PixelLayout::Bgr24: return Format::Rgb24;
    case PixelLayout::Rgb565: return Format::Rgb565;
    case PixelLayout::Rgb555: return Format::Rgb555;
    case PixelLayout::Pal8: return Format::Pal8;
    }
    return Format::Rgb32;
}

void Describe(Format f, DDPIXELFORMAT *pf)
{
    memset(pf, 0, sizeof *pf);
    pf->dwSize = sizeof(DDPIXELFORMAT);
    switch (f) {
    case Format::Rgb32:
    case Format::Rgb24:
        pf->dwFlags = DDPF_RGB;
        pf->dwRGBBitCount = f == Format::Rgb32 ? 32 : 24;
        pf->dwRBitMask = 0x00FF0000;
        pf->dwGBitMask = 0x0000FF00;
        pf->dwBBitMask = 0x000000FF;
        break;
    case Format::Rgb565:
        pf->dwFlags = DDPF_RGB;
        pf->dwRGBBitCount = 16;
        pf->dwRBitMask = 0xF800;
        pf->dwGBitMask = 0x07E0;
        pf->dwBBitMask = 0x001F;
        break;
    case Format::Rgb555:
        pf->dwFlags = DDPF_RGB;
        pf->dwRGBBitCount = 16;
        pf->dwRBitMask = 0x7C00;
        pf->dwGBitMask = 0x03E0;
        pf->dwBBitMask = 0x001F;
        break;
    case Format::Pal8:
        pf->dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
        pf->dwRGBBitCount = 8;
        break;
    case Format::Yuy2:
    case Format::Uyvy:
        pf->dwFlags = DDPF_FOURCC;
        pf->dwFourCC = f == Format::Yuy2 ? MAKEFOURCC('Y', 'U', 'Y', '2') : MAKEFOURCC('U', 'Y', 'V', 'Y');
        pf->dwYUVBitCount = 16;
        break;
    }
}

bool FromPixelFormat(const DDPIXELFORMAT &pf, Format *out)
{
    if (pf.dwSize != sizeof(DDPIXELFORMAT)) return false;
    if (pf.dwFlags & DDPF_FOURCC) {
        if (pf.dwFourCC == MAKEFOURCC('Y', 'U', 'Y', '2')) *out = Format::Yuy2;
        else if (pf.dwFourCC == MAKEFOURCC('U', 'Y', 'V', 'Y')) *out = Format::Uyvy;
        else return false;
        return true;
    }
    if (!(pf.dwFlags & DDPF_RGB) || (pf.dwFlags & DDPF_ALPHAPIXELS)) return false;
    if (pf.dwFlags & DDPF_PALETTEINDEXED8) {
        if (pf.dwRGBBitCount != 8) return false;
        *out = Format::Pal8;
        return true;
    }
    const DWORD r = pf.dwRBitMask, g = pf.dwGBitMask, b = pf.dwBBitMask;
    switch (pf.dwRGBBitCount) {
    case 32:
    case 24:
        if (r != 0x00FF0000 || g != 0x0000FF00 || b != 0x000000FF) return false;
        *out = pf.dwRGBBitCount == 32 ? Format::Rgb32 : Format::Rgb24;
        return true;
    case 16:
        if (r == 0xF800 && g == 0x07E0 && b == 0x001F) *out = Format::Rgb565;
        else if (r == 0x7C00 && g == 0x03E0 && b == 0x001F) *out = Format::Rgb555;
        else return false;
        return true;
    default:
        return false;
    }
}

const char *FormatTag(Format f)
{
    switch (f) {
    case Format::Rgb32: return "RGB32";
    case Format::Rgb24: return "RGB24";
    case Format::Rgb565: return "RGB565";
    case Format::Rgb555: return "RGB555";
    case Format::Pal8: return "PAL8";
    case Format::Yuy2: return "YUY2";
    case Format::Uyvy: return "UYVY";
    }
    return "";
}

/* ---- YUV to RGB ------------------------------------------------------- */

namespace {

// BT.601 limited range in 16.16 fixed point: luma 16..235 and chroma
// 16..240 (centred on 128) span the full 0..255 RGB range.
struct YuvTables {
    int y[256], rv[256], gu[256], gv[256], bu[256];
};

YuvTables BuildYuvTables()
{
    const double kr = 0.299, kb = 0.114, kg = 1.0 - kr - kb;
    const double ys = 255.0 / 219.0, cs = 255.0 / 112.0;
    const double one = 65536.0;
    YuvTables t;
    for (int i = 0; i < 256; ++i) {
        t.y[i] = (int)lround(ys * (i - 16) * one) + 32768;  // + one half: rounding
        t.rv[i] = (int)lround(cs * (1.0 - kr) * (i - 128) * one);
        t.gu[i] = (int)lround(-cs * (1.0 - kb) * kb / kg * (i - 128) * one);
        t.gv[i] = (int)lround(-cs * (1.0 - kr) * kr / kg * (i - 128) * one);
        t.bu[i] = (int)lround(cs * (1.0 - kb) * (i - 128) * one);
    }
    return t;
}

const YuvTables &Tables()
{
    static const YuvTables tables = BuildYuvTables();
    return tables;
}

inline DWORD Clamp8(int v)
{
    v >>= 16;
    return (DWORD)(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline DWORD YuvPixel(const YuvTables &t, int y, int u, int v)
{
    const int yy = t.y[y];
    return (Clamp8(yy + t.rv[v]) << 16) | (Clamp8(yy + t.gu[u] + t.gv[v]) << 8) | Clamp8(yy + t.bu[u]);
}

}  // namespace

DWORD YuvToRgb(int y, int u, int v)
{
    return YuvPixel(Tables(), y & 0xFF, u & 0xFF, v & 0xFF);
}

/* ---- Pixel readers (to 0x00RRGGBB) and writers ------------------------ */

namespace {

inline BYTE Widen5(DWORD v) { return (BYTE)((v << 3) | (v >> 2)); }
inline BYTE Widen6(DWORD v) { return (BYTE)((v << 2) | (v >> 4)); }
inline BYTE Widen3(DWORD v) { return (BYTE)((v << 5) | (v << 2) | (v >> 1)); }
inline DWORD Rgb(DWORD r, DWORD g, DWORD b) { return (r << 16) | (g << 8) | b; }

struct ReadRgb32 {
    DWORD operator()(const BYTE *row, int x) const
    {
        DWORD v;
        memcpy(&v, row + 4 * x, 4);
        return v & 0x00FFFFFF;
    }
};
struct ReadRgb24 {
    DWORD operator()(const BYTE *row, int x) const
    {
        const BYTE *p = row + 3 * x;
        return p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16);
    }
};
struct ReadRgb565 {
    DWORD operator()(const BYTE *row, int x) const
    {
        WORD v;
        memcpy(&v, row + 2 * x, 2);
        return Rgb(Widen5(v >> 11), Widen6((v >> 5) & 63), Widen5(v & 31));
    }
};
struct ReadRgb555 {
    DWORD operator()(const BYTE *row, int x) const
    {
        WORD v;
        memcpy(&v, row + 2 * x, 2);
        return Rgb(Widen5((v >> 10) & 31), Widen5((v >> 5) & 31), Widen5(v & 31));
    }
};
// The desktop's 8-bit palette: 3 bits red, 3 green, 2 blue.
struct ReadPal8 {
    DWORD operator()(const BYTE *row, int x) const
    {
        const DWORD i = row[x];
        return Rgb(Widen3(i >> 5), Widen3((i >> 2) & 7), (i & 3) * 0x55);
    }
};
struct WriteRgb32 {
    void operator()(BYTE *row, int x, DWORD rgb) const { memcpy(row + 4 * x, &rgb, 4); }
};
struct WriteRgb24 {
    void operator()(BYTE *row, int x, DWORD rgb) const
    {
        BYTE *p = row + 3 * x;
        p[0] = (BYTE)rgb;
        p[1] = (BYTE)(rgb >> 8);
        p[2] = (BYTE)(rgb >> 16);
    }
};
struct WriteRgb565 {
    void operator()(BYTE *row, int x, DWORD rgb) const
    {
        WORD v = (WORD)(((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb >> 3) & 0x001F));
        memcpy(row + 2 * x, &v, 2);
    }
};
struct WriteRgb555 {
    void operator()(BYTE *row, int x, DWORD rgb) const
    {
        WORD v = (WORD)(((rgb >> 9) & 0x7C00) | ((rgb >> 6) & 0x03E0) | ((rgb >> 3) & 0x001F));
        memcpy(row + 2 * x, &v, 2);
    }
};
struct WritePal8 {
    void operator()(BYTE *row, int x, DWORD rgb) const
    {
        row[x] = (BYTE)(((rgb >> 16) & 0xE0) | ((rgb >> 11) & 0x1C) | ((rgb >> 6) & 0x03));
    }
};

/* Source coordinates of each destination column or row, sampled at pixel
 * centres: destination i of n covers source (i + 0.5) * m / n. */
void BuildMap(std::vector<int> &map, int dstLen, int srcStart, int srcLen, bool mirror)
{
    map.resize((size_t)dstLen);
    for (int i = 0; i < dstLen; ++i) {
        int s = (int)(((2LL * i + 1) * srcLen) / (2LL * dstLen));
        map[(size_t)i] = srcStart + (mirror ? srcLen - 1 - s : s);
    }
}

struct Maps {
    std::vector<int> x, y;
    int xKey[4] = {-1, -1, -1, -1}, yKey[4] = {-1, -1, -1, -1};  // what x and y were built for
};

/* A video output blits the same rectangles picture after picture: the maps
 * of the last blit on this thread are kept while they fit. */
void BuildMapOnce(std::vector<int> &map, int (&key)[4], int dstLen, int srcStart, int srcLen, bool mirror)
{
    const int wanted[4] = {dstLen, srcStart, srcLen, mirror ? 1 : 0};
    if (memcmp(key, wanted, sizeof wanted) == 0) return;
    BuildMap(map, dstLen, srcStart, srcLen, mirror);
    memcpy(key, wanted, sizeof wanted);
}

Maps &ThreadMaps()
{
    static thread_local Maps maps;  // reused: no allocation per blit once grown
    return maps;
}

template <class Reader, class Writer>
void Convert(const PixelView &dst, const RECT &dstRect, const PixelView &src, const Maps &maps,
             const std::vector<RECT> &pieces)
{
    Reader read;
    Writer write;
    for (const RECT &p : pieces) {
        for (LONG y = p.top; y < p.bottom; ++y) {
            const BYTE *srow = src.bits + (size_t)maps.y[(size_t)(y - dstRect.top)] * src.pitch;
            BYTE *drow = dst.bits + (size_t)y * dst.pitch;
            const int *xs = maps.x.data() - dstRect.left;
            for (LONG x = p.left; x < p.right; ++x) write(drow, (int)x, read(srow, xs[x]));
        }
    }
}

/* Packed YUV to RGB: the chroma terms are worked out once per macropixel
 * and reused while consecutive pixels sample the same one. */
template <class Writer, int Y0, int U, int V>
void ConvertYuv(const PixelView &dst, const RECT &dstRect, const PixelView &src, const Maps &maps,
                const std::vector<RECT> &pieces)
{
    const YuvTables &t = Tables();
    Writer write;
    const int *xs = maps.x.data() - dstRect.left;
    for (const RECT &p : pieces) {
        for (LONG y = p.top; y < p.bottom; ++y) {
            const BYTE *srow = src.bits + (size_t)maps.y[(size_t)(y - dstRect.top)] * src.pitch;
            BYTE *drow = dst.bits + (size_t)y * dst.pitch;
            const BYTE *cached = nullptr;
            int rv = 0, guv = 0, bu = 0;
            for (LONG x = p.left; x < p.right; ++x) {
                const int sx = xs[x];
                const BYTE *pair = srow + (sx >> 1) * 4;
                if (pair != cached) {
                    cached = pair;
                    rv = t.rv[pair[V]];
                    guv = t.gu[pair[U]] + t.gv[pair[V]];
                    bu = t.bu[pair[U]];
                }
                const int yy = t.y[pair[Y0 + (sx & 1) * 2]];
                write(drow, (int)x, (Clamp8(yy + rv) << 16) | (Clamp8(yy + guv) << 8) | Clamp8(yy + bu));
            }
        }
    }
}

template <int Y0, int U, int V>
void ConvertYuvTo(const PixelView &dst, const RECT &dstRect, const PixelView &src, const Maps &maps,
                  const std::vector<RECT> &pieces)
{
    switch (dst.format) {
    case Format::Rgb32: ConvertYuv<WriteRgb32, Y0, U, V>(dst, dstRect, src, maps, pieces); break;
    case Format::Rgb24: ConvertYuv<WriteRgb24, Y0, U, V>(dst, dstRect, src, maps, pieces); break;
    case Format::Rgb565: ConvertYuv<WriteRgb565, Y0, U, V>(dst, dstRect, src, maps, pieces); break;
    case Format::Rgb555: ConvertYuv<WriteRgb555, Y0, U, V>(dst, dstRect, src, maps, pieces); break;
    case Format::Pal8: ConvertYuv<WritePal8, Y0, U, V>(dst, dstRect, src, maps, pieces); break;
    case Format::Yuy2:
    case Format::Uyvy: break;  // refused by CanConvert
    }
}

template <class Reader>
void ConvertTo(const PixelView &dst, const RECT &dstRect, const PixelView &src, const Maps &maps,
               const std::vector<RECT> &pieces)
{
    switch (dst.format) {
    case Format::Rgb32: Convert<Reader, WriteRgb32>(dst, dstRect, src, maps, pieces); break;
    case Format::Rgb24: Convert<Reader, WriteRgb24>(dst, dstRect, src, maps, pieces); break;
    case Format::Rgb565: Convert<Reader, WriteRgb565>(dst, dstRect, src, maps, pieces); break;
    case Format::Rgb555: Convert<Reader, WriteRgb555>(dst, dstRect, src, maps, pieces); break;
    case Format::Pal8: Convert<Reader, WritePal8>(dst, dstRect, src, maps, pieces); break;
    case Format::Yuy2:
    case Format::Uyvy: break;  // refused by CanConvert
    }
}

/* A blit of more bytes than this writes its rows with streaming stores:
 * its destination does not fit the caches, is not read back soon (the
 * next picture overwrites it), and writing around the cache spares the
 * memory the read of every line before it is overwritten. */
const size_t kStreamBytes = 1u << 20;

bool StreamEnabled()
{
    static const bool on = !getenv("KOVA_LAYER_STREAM") || atoi(getenv("KOVA_LAYER_STREAM")) != 0;
    return on;
}

void StreamRow(BYTE *dst, const BYTE *src, size_t bytes)
{
#if defined(__SSE2__)
    size_t head = (16 - ((uintptr_t)dst & 15)) & 15;
    if (head > bytes) head = bytes;
    memcpy(dst, src, head);
    dst += head;
    src += head;
    bytes -= head;
    size_t i = 0;
    for (; i + 64 <= bytes; i += 64) {
        const __m128i a = _mm_loadu_si128((const __m128i *)(src + i));
        const __m128i b = _mm_loadu_si128((const __m128i *)(src + i + 16));
        const __m128i c = _mm_loadu_si128((const __m128i *)(src + i + 32));
        const __m128i d = _mm_loadu_si128((const __m128i *)(src + i + 48));
        _mm_stream_si128((__m128i *)(dst + i), a);
        _mm_stream_si128((__m128i *)(dst + i + 16), b);
        _mm_stream_si128((__m128i *)(dst + i + 32), c);
        _mm_stream_si128((__m128i *)(dst + i + 48), d);
    }
    memcpy(dst + i, src + i, bytes - i);
#else
    memcpy(dst, src, bytes);
#endif
}

template <int N>
void CopySame(const PixelView &dst, const RECT &dstRect, const PixelView &src, const Maps &maps,
              const std::vector<RECT> &pieces)
{
    const int *xs = maps.x.data() - dstRect.left;
    for (const RECT &p : pieces) {
        // Unstretched, unmirrored columns are one run of bytes.
        const bool run = xs[p.right - 1] - xs[p.left] == p.right - 1 - p.left;
        const size_t rowBytes = (size_t)(p.right - p.left) * N;
        const bool stream = run && StreamEnabled() && rowBytes * (size_t)(p.bottom - p.top) >= kStreamBytes;
        for (LONG y = p.top; y < p.bottom; ++y) {
            const BYTE *srow = src.bits + (size_t)maps.y[(size_t)(y - dstRect.top)] * src.pitch;
            BYTE *drow = dst.bits + (size_t)y * dst.pitch;
            if (stream) {
                StreamRow(drow + (size_t)p.left * N, srow + (size_t)xs[p.left] * N, rowBytes);
                continue;
            }
            if (run) {
                memcpy(drow + (size_t)p.left * N, srow + (size_t)xs[p.left] * N, rowBytes);
                continue;
            }
            for (LONG x = p.left; x < p.right; ++x) memcpy(drow + (size_t)x * N, srow + (size_t)xs[x] * N, N);
        }
    }
#if defined(__SSE2__)
    _mm_sfence();  // streamed rows are visible before the blit returns
#endif
}

/* YUV to the same YUV layout: each destination pixel takes its source
 * pixel's luma and the chroma sample its own position in the macropixel
 * holds (U for even pixels, V for odd ones). */
void CopyYuv(const PixelView &dst, const RECT &dstRect, const PixelView &src, const Maps &maps,
             const std::vector<RECT> &pieces)
{
    const int lumaAt = dst.format == Format::Yuy2 ? 0 : 1;     // of a pixel's two bytes
    const int chromaAt = 1 - lumaAt;
    const int *xs = maps.x.data() - dstRect.left;
    for (const RECT &p : pieces) {
        for (LONG y = p.top; y < p.bottom; ++y) {
            const BYTE *srow = src.bits + (size_t)maps.y[(size_t)(y - dstRect.top)] * src.pitch;
            BYTE *drow = dst.bits + (size_t)y * dst.pitch;
            for (LONG x = p.left; x < p.right; ++x) {
                const int sx = xs[x];
                const BYTE *pair = srow + (sx >> 1) * 4;
                BYTE *out = drow + (size_t)x * 2;
                out[lumaAt] = pair[(sx & 1) * 2 + lumaAt];
                out[chromaAt] = pair[(x & 1) * 2 + chromaAt];
            }
        }
    }
}

}  // namespace

bool CanConvert(Format from, Format to)
{
    return !IsYuv(to) || from == to;
}

void StretchBlit(const PixelView &dst, const RECT &dstRect, const PixelView &src, const RECT &srcRect,
                 bool mirrorX, bool mirrorY, const std::vector<RECT> &pieces)
{
    if (pieces.empty()) return;
    Maps &maps = ThreadMaps();
    BuildMapOnce(maps.x, maps.xKey, dstRect.right - dstRect.left, srcRect.left, srcRect.right - srcRect.left,
                 mirrorX);
    BuildMapOnce(maps.y, maps.yKey, dstRect.bottom - dstRect.top, srcRect.top, srcRect.bottom - srcRect.top,
                 mirrorY);
    if (src.format == dst.format) {
        switch (dst.format) {
        case Format::Rgb32: CopySame<4>(dst, dstRect, src, maps, pieces); return;
        case Format::Rgb24: CopySame<3>(dst, dstRect, src, maps, pieces); return;
        case Format::Rgb565:
        case Format::Rgb555: CopySame<2>(dst, dstRect, src, maps, pieces); return;
        case Format::Pal8: CopySame<1>(dst, dstRect, src, maps, pieces); return;
        case Format::Yuy2:
        case Format::Uyvy: CopyYuv(dst, dstRect, src, maps, pieces); return;
        }
    }
    switch (src.format) {
    case Format::Rgb32: ConvertTo<ReadRgb32>(dst, dstRect, src, maps, pieces); break;
    case Format::Rgb24: ConvertTo<ReadRgb24>(dst, dstRect, src, maps, pieces); break;
    case Format::Rgb565: ConvertTo<ReadRgb565>(dst, dstRect, src, maps, pieces); break;
    case Format::Rgb555: ConvertTo<ReadRgb555>(dst, dstRect, src, maps, pieces); break;
    case Format::Pal8: ConvertTo<ReadPal8>(dst, dstRect, src, maps, pieces); break;
    case Format::Yuy2: ConvertYuvTo<0, 1, 3>(dst, dstRect, src, maps, pieces); break;  // Y0 U Y1 V
    case Format::Uyvy: ConvertYuvTo<1, 0, 2>(dst, dstRect, src, maps, pieces); break;  // U Y0 V Y1
    }
}

void FillPieces(const PixelView &dst, DWORD value, const std::vector<RECT> &pieces)
{
    const int n = BytesPerPixel(dst.format);
    BYTE pattern[4];
    memcpy(pattern, &value, 4);
    for (const RECT &p : pieces) {
        for (LONG y = p.top; y < p.bottom; ++y) {
            BYTE *row = dst.bits + (size_t)y * dst.pitch;
            if (n == 1) {
                memset(row + p.left, pattern[0], (size_t)(p.right - p.left));
                continue;
            }
            for (LONG x = p.left; x < p.right; ++x) {
                // A YUV pixel takes the half of the macropixel it owns.
                const BYTE *from = IsYuv(dst.format) ? pattern + (x & 1) * 2 : pattern;
                memcpy(row + (size_t)x * n, from, (size_t)n);
            }
        }
    }
}

}  // namespace ddraw
}  // namespace kova

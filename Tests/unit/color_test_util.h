/* Shared helpers of the colour conversion tests: the conversions as callers
 * reach them, pixel values computed from the documented arithmetic, and
 * buffers that catch reads and writes outside the picture. */
#ifndef KOVA_TESTS_COLOR_TEST_UTIL_H
#define KOVA_TESTS_COLOR_TEST_UTIL_H

#include "color/ZR_VO_ColorConvert.h"
#include "color/ColorRows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if KOVA_COLOR_X86
#include <cpuid.h>
#endif

namespace colortest {

using kova::color::KernelLevel;
using kova::color::Layout;

using Method = void (CZR_VO_ColorConvert::*)(const uint8_t *, int, const uint8_t *, const uint8_t *,
                                             int, uint8_t *, int, int, int) const;

struct Conversion {
    const char *name;
    Method method;
    Layout layout;
    int bytes;
};

/* The six conversions, written out here rather than read from the
 * library's table of layouts, so that the table is checked too. */
inline const std::vector<Conversion> &Conversions()
{
    static const std::vector<Conversion> all = {
        {"Yuy2", &CZR_VO_ColorConvert::ConvertToYuy2, Layout::Yuy2, 2},
        {"Uyvy", &CZR_VO_ColorConvert::ConvertToUyvy, Layout::Uyvy, 2},
        {"Rgb32", &CZR_VO_ColorConvert::ConvertToRgb32, Layout::Rgb32, 4},
        {"Rgb24", &CZR_VO_ColorConvert::ConvertToRgb24, Layout::Rgb24, 3},
        {"Rgb565", &CZR_VO_ColorConvert::ConvertToRgb565, Layout::Rgb565, 2},
        {"Rgb555", &CZR_VO_ColorConvert::ConvertToRgb555, Layout::Rgb555, 2},
    };
    return all;
}

/* Whether this processor and its operating system run a level, asked of
 * the processor itself rather than of the library's own detection. */
inline bool MachineRuns(KernelLevel level)
{
#if KOVA_COLOR_X86
    unsigned a, b, c, d;
    switch (level) {
    case KernelLevel::Sse2:
        return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2);
    case KernelLevel::Avx2: {
        if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX))
            return false;
        unsigned lo, hi;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        if ((lo & 6) != 6)  // the system saves the vector registers
            return false;
        return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2);
    }
    default:
        return true;
    }
#else
    return level == KernelLevel::Scalar;
#endif
}

/* The levels this build contains. */
inline std::vector<KernelLevel> BuiltLevels()
{
#if KOVA_COLOR_X86
    return {KernelLevel::Scalar, KernelLevel::Sse2, KernelLevel::Avx2};
#else
    return {KernelLevel::Scalar};
#endif
}

/* The levels the tests run here: every level the build contains and the
 * machine runs. A level that the machine runs but the library refuses to
 * pin fails the calling test instead of being left out quietly; the levels
 * covered are printed once per program. */
inline std::vector<KernelLevel> SupportedLevels()
{
    std::vector<KernelLevel> levels;
    std::string covered, missed;
    for (KernelLevel level : BuiltLevels()) {
        const char *name = kova::color::KernelLevelName(level);
        if (!MachineRuns(level)) {
            missed += std::string(" ") + name;
            continue;
        }
        if (!kova::color::KernelsFor(level)) {
            ADD_FAILURE() << "this processor runs " << name << " but the library does not use it";
            continue;
        }
        levels.push_back(level);
        covered += std::string(" ") + name;
    }
    static bool told = false;
    if (!told) {
        told = true;
        std::printf("colour kernel levels tested:%s%s%s\n", covered.c_str(),
                    missed.empty() ? "" : "; built but not run by this processor:", missed.c_str());
    }
    return levels;
}

struct Rgb {
    int r, g, b;
};

/* The documented fixed-point arithmetic, written out plainly. */
inline int HighProduct(int a, int b)
{
    const long long p = static_cast<long long>(a) * b;
    return static_cast<int>(p >= 0 ? p / 65536 : -((-p + 65535) / 65536));  // floor
}

inline Rgb ExpectedRgb(int y, int u, int v)
{
    const int yc = HighProduct((y < 16 ? 0 : y - 16) * 8, 9576);
    const int cu = (u - 128) * 8, cv = (v - 128) * 8;
    auto clamp = [](int x) { return x < 0 ? 0 : (x > 255 ? 255 : x); };
    return {clamp(yc + HighProduct(cv, 13123)),
            clamp(yc + HighProduct(cu, -3218) + HighProduct(cv, -6686)),
            clamp(yc + HighProduct(cu, 16591))};
}

/* The destination bytes of pixel x (its column) with luma y and the chroma
 * of its block. */
inline void ExpectedPixel(Layout layout, int x, int y, int u, int v, uint8_t *out)
{
    const Rgb p = ExpectedRgb(y, u, v);
    unsigned w;
    switch (layout) {
    case Layout::Yuy2:
        out[0] = static_cast<uint8_t>(y);
        out[1] = static_cast<uint8_t>(x % 2 ? v : u);
        return;
    case Layout::Uyvy:
        out[0] = static_cast<uint8_t>(x % 2 ? v : u);
        out[1] = static_cast<uint8_t>(y);
        return;
    case Layout::Rgb32:
        out[3] = 0;
        /* fall through */
    case Layout::Rgb24:
        out[0] = static_cast<uint8_t>(p.b);
        out[1] = static_cast<uint8_t>(p.g);
        out[2] = static_cast<uint8_t>(p.r);
        return;
    case Layout::Rgb565:
        w = ((p.r & 0xF8u) << 8) | ((p.g & 0xFCu) << 3) | (p.b >> 3);
        break;
    default:
        w = ((p.r & 0xF8u) << 7) | ((p.g & 0xF8u) << 2) | (p.b >> 3);
        break;
    }
    out[0] = static_cast<uint8_t>(w);
    out[1] = static_cast<uint8_t>(w >> 8);
}

/* A picture whose planes are separate heap blocks that end right after the
 * last sample of their last row, so the address sanitizer sees any read
 * past the picture. */
struct Picture {
    int width, height, lumaPitch, chromaPitch;
    std::vector<uint8_t> y, u, v;

    Picture(int w, int h, int lumaPad = 0, int chromaPad = 0)
        : width(w), height(h), lumaPitch(w + lumaPad), chromaPitch((w + 1) / 2 + chromaPad)
    {
        const int cw = (w + 1) / 2, ch = (h + 1) / 2;
        y.assign(static_cast<size_t>(h - 1) * lumaPitch + w, 0);
        u.assign(static_cast<size_t>(ch - 1) * chromaPitch + cw, 0);
        v.assign(u.size(), 0);
    }
    uint8_t &Y(int x, int r) { return y[static_cast<size_t>(r) * lumaPitch + x]; }
    uint8_t &U(int i, int k) { return u[static_cast<size_t>(k) * chromaPitch + i]; }
    uint8_t &V(int i, int k) { return v[static_cast<size_t>(k) * chromaPitch + i]; }
};

/* A destination of `height` rows of `width` pixels, with canary bytes
 * before, after and between the rows. */
struct Dest {
    static constexpr uint8_t kCanary = 0xA5;
    static constexpr int kGuard = 64;
    int bytes, width, height, pitch;
    std::vector<uint8_t> mem;

    Dest(int bpp, int w, int h, int pad = 0)
        : bytes(bpp), width(w), height(h), pitch(w * bpp + pad),
          mem(static_cast<size_t>(pitch) * h + 2 * kGuard, kCanary)
    {
    }
    uint8_t *data() { return mem.data() + kGuard; }
    const uint8_t *Row(int r) const { return mem.data() + kGuard + static_cast<size_t>(r) * pitch; }
    const uint8_t *Pixel(int x, int r) const { return Row(r) + x * bytes; }
    bool InPicture(size_t offset) const
    {
        if (offset < static_cast<size_t>(kGuard))
            return false;
        const size_t inside = offset - kGuard;
        return inside / pitch < static_cast<size_t>(height) &&
               inside % pitch < static_cast<size_t>(width * bytes);
    }
    /* Offset of the first byte outside the picture that is not a canary,
     * or -1. */
    long FirstStrayWrite() const
    {
        for (size_t i = 0; i < mem.size(); ++i)
            if (!InPicture(i) && mem[i] != kCanary)
                return static_cast<long>(i) - kGuard;
        return -1;
    }
};

/* Converts at a kernel level: the best level through CZR_VO_ColorConvert,
 * as callers do, the others with that level's kernels. */
inline void Convert(KernelLevel level, const Conversion &c, Picture &p, Dest &d, int height)
{
    if (level == kova::color::BestKernelLevel()) {
        CZR_VO_ColorConvert converter;
        (converter.*c.method)(p.y.data(), p.lumaPitch, p.u.data(), p.v.data(), p.chromaPitch,
                              d.data(), d.pitch, p.width, height);
        return;
    }
    kova::color::ConvertPicture(*kova::color::KernelsFor(level), c.layout, p.y.data(), p.lumaPitch,
                                p.u.data(), p.v.data(), p.chromaPitch, d.data(), d.pitch, p.width,
                                height);
}

}  // namespace colortest

#endif

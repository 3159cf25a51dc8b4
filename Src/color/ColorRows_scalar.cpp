/* The scalar row kernels: the definition of every conversion's bytes.
 *
 * The arithmetic is that of ColorCoefficients.h, done here in plain int.
 * No intermediate value comes near the 16-bit limits, so the saturating
 * adds of the SIMD kernels never saturate and plain int arithmetic gives
 * the same results. */
#include "color/ColorRows.h"

#include "color/ColorCoefficients.h"

namespace kova {
namespace color {
namespace {

static_assert((-65536 >> 16) == -1 && (-1 >> 16) == -1, "arithmetic right shift expected");

inline int MulHigh(int a, int b) { return (a * b) >> 16; }

inline uint8_t Clamp255(int x) { return static_cast<uint8_t>(x < 0 ? 0 : (x > 255 ? 255 : x)); }

struct ChromaTerms {
    int r, g, b;
};

inline ChromaTerms Chroma(int u, int v)
{
    const int cu = (u - kChromaZero) * (1 << kPreShift);
    const int cv = (v - kChromaZero) * (1 << kPreShift);
    return {MulHigh(cv, kRedFromV), MulHigh(cu, kGreenFromU) + MulHigh(cv, kGreenFromV),
            MulHigh(cu, kBlueFromU)};
}

inline int Luma(int y)
{
    return MulHigh((y > kLumaBlack ? y - kLumaBlack : 0) << kPreShift, kLumaScale);
}

struct Rgb {
    uint8_t r, g, b;
};

inline Rgb ToRgb(int y, const ChromaTerms &c)
{
    const int yc = Luma(y);
    return {Clamp255(yc + c.r), Clamp255(yc + c.g), Clamp255(yc + c.b)};
}

struct PutRgb32 {
    static constexpr int kBytes = 4;
    static void Put(uint8_t *d, Rgb p) { d[0] = p.b; d[1] = p.g; d[2] = p.r; d[3] = 0; }
};
struct PutRgb24 {
    static constexpr int kBytes = 3;
    static void Put(uint8_t *d, Rgb p) { d[0] = p.b; d[1] = p.g; d[2] = p.r; }
};
struct PutRgb565 {
    static constexpr int kBytes = 2;
    static void Put(uint8_t *d, Rgb p)
    {
        const unsigned w = ((p.r & 0xF8u) << 8) | ((p.g & 0xFCu) << 3) | (p.b >> 3);
        d[0] = static_cast<uint8_t>(w);
        d[1] = static_cast<uint8_t>(w >> 8);
    }
};
struct PutRgb555 {
    static constexpr int kBytes = 2;
    static void Put(uint8_t *d, Rgb p)
    {
        const unsigned w = ((p.r & 0xF8u) << 7) | ((p.g & 0xF8u) << 2) | (p.b >> 3);
        d[0] = static_cast<uint8_t>(w);
        d[1] = static_cast<uint8_t>(w >> 8);
    }
};

template <class Put>
void RgbRow(const uint8_t *y, const uint8_t *u, const uint8_t *v, uint8_t *d, int width)
{
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        const ChromaTerms c = Chroma(u[i], v[i]);
        Put::Put(d, ToRgb(y[0], c));
        Put::Put(d + Put::kBytes, ToRgb(y[1], c));
        y += 2;
        d += 2 * Put::kBytes;
    }
    if (width & 1)
        Put::Put(d, ToRgb(y[0], Chroma(u[pairs], v[pairs])));
}

template <class Put>
void RgbPair(const uint8_t *y0, const uint8_t *y1, const uint8_t *u, const uint8_t *v,
             uint8_t *d0, uint8_t *d1, int width)
{
    RgbRow<Put>(y0, u, v, d0, width);
    if (d1)
        RgbRow<Put>(y1, u, v, d1, width);
}

/* Packed 4:2:2: luma byte at `lumaAt`, chroma byte at the other position of
 * each 2-byte pixel; even pixels carry U, odd pixels V. An odd last pixel
 * gets its luma and U only: its V would lie outside the row. */
template <int kLumaAt>
void PackedRow(const uint8_t *y, const uint8_t *u, const uint8_t *v, uint8_t *d, int width)
{
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        d[kLumaAt] = y[0];
        d[1 - kLumaAt] = u[i];
        d[2 + kLumaAt] = y[1];
        d[3 - kLumaAt] = v[i];
        y += 2;
        d += 4;
    }
    if (width & 1) {
        d[kLumaAt] = y[0];
        d[1 - kLumaAt] = u[pairs];
    }
}

template <int kLumaAt>
void PackedPair(const uint8_t *y0, const uint8_t *y1, const uint8_t *u, const uint8_t *v,
                uint8_t *d0, uint8_t *d1, int width)
{
    PackedRow<kLumaAt>(y0, u, v, d0, width);
    if (d1)
        PackedRow<kLumaAt>(y1, u, v, d1, width);
}

}  // namespace

const RowKernels kScalarRows = {
    KernelLevel::Scalar,
    1,
    nullptr,
    {
        /* Yuy2 */ PackedPair<0>,
        /* Uyvy */ PackedPair<1>,
        /* Rgb32 */ RgbPair<PutRgb32>,
        /* Rgb24 */ RgbPair<PutRgb24>,
        /* Rgb565 */ RgbPair<PutRgb565>,
        /* Rgb555 */ RgbPair<PutRgb555>,
    },
};

}  // namespace color
}  // namespace kova

/* SSE2 row kernels: 16 pixels per step, 16-bit lanes, the scalar kernels'
 * arithmetic lane by lane. Luma is split into its 8 even and 8 odd pixels so
 * that each half lines up with the 8 chroma samples of the step; the packing
 * puts the pixels back in order. Each chroma row is loaded and its terms
 * computed once for the two picture rows that share it. The kernels do
 * whole steps only; ConvertRows gives the rest of a row to the scalar ones.
 *
 * Compiled for SSE2 through function attributes only: the rest of the build
 * stays at the baseline instruction set and these run only when the
 * processor has SSE2. */
#include "color/ColorRows.h"

#include "color/ColorCoefficients.h"

#if KOVA_COLOR_X86

#include <emmintrin.h>

#if defined(_WIN32) && defined(__i386__)
/* 32-bit Windows callers keep the stack 4-byte aligned only. */
#define KOVA_SSE2_ENTRY __attribute__((target("sse2"), force_align_arg_pointer))
#else
#define KOVA_SSE2_ENTRY __attribute__((target("sse2")))
#endif
#define KOVA_SSE2_INLINE __attribute__((target("sse2"), always_inline)) inline

namespace kova {
namespace color {
namespace {

/* Chroma contributions of 8 chroma samples, one 16-bit lane each. */
struct ChromaVec {
    __m128i r, g, b;
};

/* The colour channels of 16 pixels, clamped to bytes: the 8 even pixels in
 * bytes 0..7, the 8 odd pixels in bytes 8..15. */
struct Channels {
    __m128i b, g, r;
};

KOVA_SSE2_INLINE __m128i Load8(const uint8_t *p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
}

KOVA_SSE2_INLINE __m128i Load16(const uint8_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

KOVA_SSE2_INLINE void Store16(uint8_t *p, __m128i x)
{
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), x);
}

KOVA_SSE2_INLINE ChromaVec ChromaTerms(const uint8_t *u, const uint8_t *v)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i neutral = _mm_set1_epi16(kChromaZero);
    const __m128i cu =
        _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(Load8(u), zero), neutral), kPreShift);
    const __m128i cv =
        _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(Load8(v), zero), neutral), kPreShift);
    ChromaVec c;
    c.r = _mm_mulhi_epi16(cv, _mm_set1_epi16(kRedFromV));
    c.g = _mm_adds_epi16(_mm_mulhi_epi16(cu, _mm_set1_epi16(kGreenFromU)),
                         _mm_mulhi_epi16(cv, _mm_set1_epi16(kGreenFromV)));
    c.b = _mm_mulhi_epi16(cu, _mm_set1_epi16(kBlueFromU));
    return c;
}

KOVA_SSE2_INLINE Channels RgbStep(const uint8_t *y, const ChromaVec &c)
{
    const __m128i yp = _mm_subs_epu8(Load16(y), _mm_set1_epi8(kLumaBlack));
    const __m128i kY = _mm_set1_epi16(kLumaScale);
    /* (Y' * 8) of the even pixels (low bytes) and of the odd ones (high). */
    const __m128i ye =
        _mm_mulhi_epi16(_mm_slli_epi16(_mm_and_si128(yp, _mm_set1_epi16(0x00FF)), kPreShift), kY);
    const __m128i yo = _mm_mulhi_epi16(
        _mm_and_si128(_mm_srli_epi16(yp, 8 - kPreShift), _mm_set1_epi16(kHighByteShifted)), kY);
    Channels p;
    p.b = _mm_packus_epi16(_mm_adds_epi16(ye, c.b), _mm_adds_epi16(yo, c.b));
    p.g = _mm_packus_epi16(_mm_adds_epi16(ye, c.g), _mm_adds_epi16(yo, c.g));
    p.r = _mm_packus_epi16(_mm_adds_epi16(ye, c.r), _mm_adds_epi16(yo, c.r));
    return p;
}

/* Four vectors of 4 pixels B, G, R, 0 in picture order. */
struct Bgr0 {
    __m128i q[4];
};

KOVA_SSE2_INLINE Bgr0 ToBgr0(const Channels &p)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bgE = _mm_unpacklo_epi8(p.b, p.g);
    const __m128i bgO = _mm_unpackhi_epi8(p.b, p.g);
    const __m128i r0E = _mm_unpacklo_epi8(p.r, zero);
    const __m128i r0O = _mm_unpackhi_epi8(p.r, zero);
    const __m128i e0 = _mm_unpacklo_epi16(bgE, r0E);  // pixels 0, 2, 4, 6
    const __m128i e1 = _mm_unpackhi_epi16(bgE, r0E);  // pixels 8 .. 14
    const __m128i o0 = _mm_unpacklo_epi16(bgO, r0O);  // pixels 1, 3, 5, 7
    const __m128i o1 = _mm_unpackhi_epi16(bgO, r0O);  // pixels 9 .. 15
    Bgr0 out;
    out.q[0] = _mm_unpacklo_epi32(e0, o0);
    out.q[1] = _mm_unpackhi_epi32(e0, o0);
    out.q[2] = _mm_unpacklo_epi32(e1, o1);
    out.q[3] = _mm_unpackhi_epi32(e1, o1);
    return out;
}

struct StoreRgb32 {
    static constexpr int kBytes = 4;
    KOVA_SSE2_INLINE static void Put(const Channels &p, uint8_t *d)
    {
        const Bgr0 px = ToBgr0(p);
        for (int i = 0; i < 4; ++i)
            Store16(d + 16 * i, px.q[i]);
    }
};

/* 4 pixels B, G, R, 0 -> their 12 bytes B, G, R in bytes 0..11, zeros after. */
KOVA_SSE2_INLINE __m128i Drop0(__m128i q)
{
    const __m128i low32 = _mm_set_epi32(0, -1, 0, -1);
    const __m128i x = _mm_or_si128(_mm_and_si128(q, low32), _mm_slli_epi64(_mm_srli_epi64(q, 32), 24));
    return _mm_or_si128(_mm_move_epi64(x), _mm_slli_si128(_mm_srli_si128(x, 8), 6));
}

struct StoreRgb24 {
    static constexpr int kBytes = 3;
    KOVA_SSE2_INLINE static void Put(const Channels &p, uint8_t *d)
    {
        const Bgr0 px = ToBgr0(p);
        const __m128i c0 = Drop0(px.q[0]), c1 = Drop0(px.q[1]);
        const __m128i c2 = Drop0(px.q[2]), c3 = Drop0(px.q[3]);
        Store16(d, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
        Store16(d + 16, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
        Store16(d + 32, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
    }
};

/* Words from their low and high bytes of the even and odd pixels. */
KOVA_SSE2_INLINE void StoreWords(__m128i lo, __m128i hi, uint8_t *d)
{
    const __m128i e = _mm_unpacklo_epi8(lo, hi);
    const __m128i o = _mm_unpackhi_epi8(lo, hi);
    Store16(d, _mm_unpacklo_epi16(e, o));
    Store16(d + 16, _mm_unpackhi_epi16(e, o));
}

KOVA_SSE2_INLINE __m128i Bytes(int x) { return _mm_set1_epi8(static_cast<char>(x)); }

struct StoreRgb565 {
    static constexpr int kBytes = 2;
    KOVA_SSE2_INLINE static void Put(const Channels &p, uint8_t *d)
    {
        /* high byte: R & 0xF8 | G >> 5; low byte: (G << 3) & 0xE0 | B >> 3 */
        const __m128i hi = _mm_or_si128(_mm_and_si128(p.r, Bytes(0xF8)),
                                        _mm_and_si128(_mm_srli_epi16(p.g, 5), Bytes(0x07)));
        const __m128i lo = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(p.g, 3), Bytes(0xE0)),
                                        _mm_and_si128(_mm_srli_epi16(p.b, 3), Bytes(0x1F)));
        StoreWords(lo, hi, d);
    }
};

struct StoreRgb555 {
    static constexpr int kBytes = 2;
    KOVA_SSE2_INLINE static void Put(const Channels &p, uint8_t *d)
    {
        /* high byte: (R & 0xF8) >> 1 | G >> 6; low byte: (G << 2) & 0xE0 | B >> 3 */
        const __m128i hi = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(p.r, 1), Bytes(0x7C)),
                                        _mm_and_si128(_mm_srli_epi16(p.g, 6), Bytes(0x03)));
        const __m128i lo = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(p.g, 2), Bytes(0xE0)),
                                        _mm_and_si128(_mm_srli_epi16(p.b, 3), Bytes(0x1F)));
        StoreWords(lo, hi, d);
    }
};

template <class Store>
KOVA_SSE2_ENTRY void RgbPair(const uint8_t *y0, const uint8_t *y1, const uint8_t *u,
                             const uint8_t *v, uint8_t *d0, uint8_t *d1, int width)
{
    const int steps = width / 16;
    constexpr int kStepBytes = 16 * Store::kBytes;
    if (d1) {
        for (int i = 0; i < steps; ++i) {
            const ChromaVec c = ChromaTerms(u + 8 * i, v + 8 * i);
            Store::Put(RgbStep(y0 + 16 * i, c), d0 + kStepBytes * i);
            Store::Put(RgbStep(y1 + 16 * i, c), d1 + kStepBytes * i);
        }
    } else {
        for (int i = 0; i < steps; ++i)
            Store::Put(RgbStep(y0 + 16 * i, ChromaTerms(u + 8 * i, v + 8 * i)), d0 + kStepBytes * i);
    }
}

/* Packed 4:2:2: 16 luma bytes and 8 (U, V) pairs per step and row. */
template <bool kUyvy>
KOVA_SSE2_INLINE void PackedStep(const uint8_t *y, __m128i uv, uint8_t *d)
{
    const __m128i luma = Load16(y);
    if (kUyvy) {
        Store16(d, _mm_unpacklo_epi8(uv, luma));
        Store16(d + 16, _mm_unpackhi_epi8(uv, luma));
    } else {
        Store16(d, _mm_unpacklo_epi8(luma, uv));
        Store16(d + 16, _mm_unpackhi_epi8(luma, uv));
    }
}

template <bool kUyvy>
KOVA_SSE2_ENTRY void PackedPair(const uint8_t *y0, const uint8_t *y1, const uint8_t *u,
                                const uint8_t *v, uint8_t *d0, uint8_t *d1, int width)
{
    const int steps = width / 16;
    for (int i = 0; i < steps; ++i) {
        const __m128i uv = _mm_unpacklo_epi8(Load8(u + 8 * i), Load8(v + 8 * i));
        PackedStep<kUyvy>(y0 + 16 * i, uv, d0 + 32 * i);
        if (d1)
            PackedStep<kUyvy>(y1 + 16 * i, uv, d1 + 32 * i);
    }
}

}  // namespace

const RowKernels kSse2Rows = {
    KernelLevel::Sse2,
    16,
    &kScalarRows,
    {
        /* Yuy2 */ PackedPair<false>,
        /* Uyvy */ PackedPair<true>,
        /* Rgb32 */ RgbPair<StoreRgb32>,
        /* Rgb24 */ RgbPair<StoreRgb24>,
        /* Rgb565 */ RgbPair<StoreRgb565>,
        /* Rgb555 */ RgbPair<StoreRgb555>,
    },
};

}  // namespace color
}  // namespace kova

#endif

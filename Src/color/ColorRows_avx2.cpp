/* AVX2 row kernels: 32 pixels per step, the SSE2 kernels' arithmetic on
 * twice the lanes. Each 128-bit half of a register holds 16 pixels with
 * their 8 chroma samples, so the in-lane unpacks and shuffles work as in the
 * SSE2 kernels; the pixels are either spread over the halves up front so the
 * unpacks end in memory order, or put in order by a lane permute per store.
 * The kernels do whole steps only; ConvertRows gives the rest of a row
 * to the SSE2 kernels (16 pixels or more) and the scalar ones.
 *
 * Compiled for AVX2 through function attributes only; selected at run time
 * when the processor (and the system, for the wide registers) supports it. */
#include "color/ColorRows.h"

#include "color/ColorCoefficients.h"

#if KOVA_COLOR_X86

#include <immintrin.h>

#if defined(_WIN32) && defined(__i386__)
/* 32-bit Windows callers keep the stack 4-byte aligned only. */
#define KOVA_AVX2_ENTRY __attribute__((target("avx2"), force_align_arg_pointer))
#else
#define KOVA_AVX2_ENTRY __attribute__((target("avx2")))
#endif
#define KOVA_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace kova {
namespace color {
namespace {

struct ChromaVec {
    __m256i r, g, b;
};

/* Per 128-bit half (16 pixels): the 8 even pixels in bytes 0..7, the 8 odd
 * pixels in bytes 8..15. */
struct Channels {
    __m256i b, g, r;
};

KOVA_AVX2_INLINE __m256i Load32(const uint8_t *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

KOVA_AVX2_INLINE __m128i Load16(const uint8_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

KOVA_AVX2_INLINE void Store32(uint8_t *p, __m256i x)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), x);
}

/* Low halves of a and b, then high halves of a and b, in memory order. */
KOVA_AVX2_INLINE void StoreHalves(uint8_t *d, __m256i a, __m256i b, int bytesPerHalfPair)
{
    Store32(d, _mm256_permute2x128_si256(a, b, 0x20));
    Store32(d + bytesPerHalfPair, _mm256_permute2x128_si256(a, b, 0x31));
}

/* How the 32 pixels of a step are spread over the two 128-bit halves.
 * Halves: pixels 0-15 in the low half, 16-31 in the high half. Quads: pixel
 * quads 0, 2, 4, 6 in the low half and 1, 3, 5, 7 in the high half, so that
 * the in-lane unpacks that build 4-byte pixels end with pixels 0-7, 8-15,
 * ... in order and need no lane permute before the stores. */
enum class Order { Halves, Quads };

/* Byte shuffle that widens 16 chroma bytes (broadcast to both halves) to
 * 16-bit lanes in the order the luma of a Quads step needs. */
struct QuadChromaMask {
    uint8_t m[32];
};

constexpr QuadChromaMask MakeQuadChromaMask()
{
    QuadChromaMask t{};
    for (int half = 0; half < 2; ++half)
        for (int j = 0; j < 8; ++j) {
            t.m[16 * half + 2 * j] = static_cast<uint8_t>(4 * (j / 2) + 2 * half + j % 2);
            t.m[16 * half + 2 * j + 1] = 0x80;
        }
    return t;
}

constexpr QuadChromaMask kQuadChromaMask = MakeQuadChromaMask();

template <Order kOrder>
KOVA_AVX2_INLINE __m256i WidenChroma(const uint8_t *p)
{
    if (kOrder == Order::Halves)
        return _mm256_cvtepu8_epi16(Load16(p));
    return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(Load16(p)),
                               _mm256_loadu_si256(reinterpret_cast<const __m256i *>(kQuadChromaMask.m)));
}

template <Order kOrder>
KOVA_AVX2_INLINE __m256i LoadLuma(const uint8_t *p)
{
    if (kOrder == Order::Halves)
        return Load32(p);
    return _mm256_permutevar8x32_epi32(Load32(p), _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
}

template <Order kOrder>
KOVA_AVX2_INLINE ChromaVec ChromaTerms(const uint8_t *u, const uint8_t *v)
{
    const __m256i neutral = _mm256_set1_epi16(kChromaZero);
    const __m256i cu =
        _mm256_slli_epi16(_mm256_sub_epi16(WidenChroma<kOrder>(u), neutral), kPreShift);
    const __m256i cv =
        _mm256_slli_epi16(_mm256_sub_epi16(WidenChroma<kOrder>(v), neutral), kPreShift);
    ChromaVec c;
    c.r = _mm256_mulhi_epi16(cv, _mm256_set1_epi16(kRedFromV));
    c.g = _mm256_adds_epi16(_mm256_mulhi_epi16(cu, _mm256_set1_epi16(kGreenFromU)),
                            _mm256_mulhi_epi16(cv, _mm256_set1_epi16(kGreenFromV)));
    c.b = _mm256_mulhi_epi16(cu, _mm256_set1_epi16(kBlueFromU));
    return c;
}

/* The unclamped 16-bit channel values of a step's even and odd pixels. */
struct Sums {
    __m256i be, bo, ge, go, re, ro;
};

KOVA_AVX2_INLINE Sums RgbSums(__m256i luma, const ChromaVec &c)
{
    const __m256i yp = _mm256_subs_epu8(luma, _mm256_set1_epi8(kLumaBlack));
    const __m256i kY = _mm256_set1_epi16(kLumaScale);
    const __m256i ye = _mm256_mulhi_epi16(
        _mm256_slli_epi16(_mm256_and_si256(yp, _mm256_set1_epi16(0x00FF)), kPreShift), kY);
    const __m256i yo = _mm256_mulhi_epi16(
        _mm256_and_si256(_mm256_srli_epi16(yp, 8 - kPreShift), _mm256_set1_epi16(kHighByteShifted)),
        kY);
    return {_mm256_adds_epi16(ye, c.b), _mm256_adds_epi16(yo, c.b), _mm256_adds_epi16(ye, c.g),
            _mm256_adds_epi16(yo, c.g), _mm256_adds_epi16(ye, c.r), _mm256_adds_epi16(yo, c.r)};
}

KOVA_AVX2_INLINE Channels Clamp(const Sums &s)
{
    Channels p;
    p.b = _mm256_packus_epi16(s.be, s.bo);
    p.g = _mm256_packus_epi16(s.ge, s.go);
    p.r = _mm256_packus_epi16(s.re, s.ro);
    return p;
}

/* Clamps 16-bit lanes to 0..255, leaving them 16 bits wide. */
KOVA_AVX2_INLINE __m256i ClampWords(__m256i x)
{
    return _mm256_min_epi16(_mm256_max_epi16(x, _mm256_setzero_si256()), _mm256_set1_epi16(255));
}

struct StoreRgb32 {
    static constexpr int kBytes = 4;
    static constexpr Order kOrder = Order::Quads;
    KOVA_AVX2_INLINE static void Put(const Sums &s, uint8_t *d)
    {
        /* Blue and green go to bytes through the packing shuffle; red is
         * clamped in place, its high byte being the pixel's zero byte. The
         * shuffle units are the busier ones here. */
        const __m256i b = _mm256_packus_epi16(s.be, s.bo);
        const __m256i g = _mm256_packus_epi16(s.ge, s.go);
        const __m256i bgE = _mm256_unpacklo_epi8(b, g);
        const __m256i bgO = _mm256_unpackhi_epi8(b, g);
        const __m256i r0E = ClampWords(s.re);
        const __m256i r0O = ClampWords(s.ro);
        const __m256i e0 = _mm256_unpacklo_epi16(bgE, r0E);
        const __m256i e1 = _mm256_unpackhi_epi16(bgE, r0E);
        const __m256i o0 = _mm256_unpacklo_epi16(bgO, r0O);
        const __m256i o1 = _mm256_unpackhi_epi16(bgO, r0O);
        Store32(d, _mm256_unpacklo_epi32(e0, o0));
        Store32(d + 32, _mm256_unpackhi_epi32(e0, o0));
        Store32(d + 64, _mm256_unpacklo_epi32(e1, o1));
        Store32(d + 96, _mm256_unpackhi_epi32(e1, o1));
    }
};

/* Byte shuffles that gather 16 pixels' B, G, R (each channel even pixels
 * first, then odd ones) into their 48 bytes B, G, R: for each of the three
 * 16-byte stores, one mask per channel; 0x80 leaves a byte zero. */
struct Rgb24Masks {
    uint8_t m[3][3][16];
};

constexpr Rgb24Masks MakeRgb24Masks()
{
    Rgb24Masks t{};
    for (int s = 0; s < 3; ++s)
        for (int c = 0; c < 3; ++c)
            for (int j = 0; j < 16; ++j) {
                const int k = 16 * s + j, pixel = k / 3;
                const int index = (pixel % 2 == 0) ? pixel / 2 : 8 + pixel / 2;
                t.m[s][c][j] = static_cast<uint8_t>(k % 3 == c ? index : 0x80);
            }
    return t;
}

constexpr Rgb24Masks kRgb24Masks = MakeRgb24Masks();

KOVA_AVX2_INLINE __m256i Mask(int s, int c)
{
    return _mm256_broadcastsi128_si256(Load16(kRgb24Masks.m[s][c]));
}

struct StoreRgb24 {
    static constexpr int kBytes = 3;
    static constexpr Order kOrder = Order::Halves;
    KOVA_AVX2_INLINE static __m256i Gather(const Channels &p, int s)
    {
        return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(p.b, Mask(s, 0)),
                                               _mm256_shuffle_epi8(p.g, Mask(s, 1))),
                               _mm256_shuffle_epi8(p.r, Mask(s, 2)));
    }
    KOVA_AVX2_INLINE static void Put(const Sums &sums, uint8_t *d)
    {
        const Channels p = Clamp(sums);
        /* per half: bytes 0-15, 16-31, 32-47 of its 16 pixels */
        const __m256i s0 = Gather(p, 0), s1 = Gather(p, 1), s2 = Gather(p, 2);
        Store32(d, _mm256_permute2x128_si256(s0, s1, 0x20));
        Store32(d + 32, _mm256_permute2x128_si256(s2, s0, 0x30));
        Store32(d + 64, _mm256_permute2x128_si256(s1, s2, 0x31));
    }
};

KOVA_AVX2_INLINE __m256i Bytes(int x) { return _mm256_set1_epi8(static_cast<char>(x)); }

KOVA_AVX2_INLINE void StoreWords(__m256i lo, __m256i hi, uint8_t *d)
{
    const __m256i e = _mm256_unpacklo_epi8(lo, hi);
    const __m256i o = _mm256_unpackhi_epi8(lo, hi);
    StoreHalves(d, _mm256_unpacklo_epi16(e, o), _mm256_unpackhi_epi16(e, o), 32);
}

struct StoreRgb565 {
    static constexpr int kBytes = 2;
    static constexpr Order kOrder = Order::Halves;
    KOVA_AVX2_INLINE static void Put(const Sums &sums, uint8_t *d)
    {
        const Channels p = Clamp(sums);
        const __m256i hi = _mm256_or_si256(_mm256_and_si256(p.r, Bytes(0xF8)),
                                           _mm256_and_si256(_mm256_srli_epi16(p.g, 5), Bytes(0x07)));
        const __m256i lo = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(p.g, 3), Bytes(0xE0)),
                                           _mm256_and_si256(_mm256_srli_epi16(p.b, 3), Bytes(0x1F)));
        StoreWords(lo, hi, d);
    }
};

struct StoreRgb555 {
    static constexpr int kBytes = 2;
    static constexpr Order kOrder = Order::Halves;
    KOVA_AVX2_INLINE static void Put(const Sums &sums, uint8_t *d)
    {
        const Channels p = Clamp(sums);
        const __m256i hi = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(p.r, 1), Bytes(0x7C)),
                                           _mm256_and_si256(_mm256_srli_epi16(p.g, 6), Bytes(0x03)));
        const __m256i lo = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(p.g, 2), Bytes(0xE0)),
                                           _mm256_and_si256(_mm256_srli_epi16(p.b, 3), Bytes(0x1F)));
        StoreWords(lo, hi, d);
    }
};

template <class Store>
KOVA_AVX2_ENTRY void RgbPair(const uint8_t *y0, const uint8_t *y1, const uint8_t *u,
                             const uint8_t *v, uint8_t *d0, uint8_t *d1, int width)
{
    const int steps = width / 32;
    constexpr int kStepBytes = 32 * Store::kBytes;
    if (d1) {
        for (int i = 0; i < steps; ++i) {
            const ChromaVec c = ChromaTerms<Store::kOrder>(u + 16 * i, v + 16 * i);
            Store::Put(RgbSums(LoadLuma<Store::kOrder>(y0 + 32 * i), c), d0 + kStepBytes * i);
            Store::Put(RgbSums(LoadLuma<Store::kOrder>(y1 + 32 * i), c), d1 + kStepBytes * i);
        }
    } else {
        for (int i = 0; i < steps; ++i) {
            const ChromaVec c = ChromaTerms<Store::kOrder>(u + 16 * i, v + 16 * i);
            Store::Put(RgbSums(LoadLuma<Store::kOrder>(y0 + 32 * i), c), d0 + kStepBytes * i);
        }
    }
}

/* One row's 32 pixels. The luma quarters are reordered 0, 2, 1, 3 so that
 * the in-lane unpacks of the low and high 8 bytes of each half give pixels
 * 0-7 | 8-15 and 16-23 | 24-31: two stores in order, no permute after. */
template <bool kUyvy>
KOVA_AVX2_INLINE void PackedStep(const uint8_t *y, __m256i uv, uint8_t *d)
{
    const __m256i luma = _mm256_permute4x64_epi64(Load32(y), 0xD8);
    if (kUyvy) {
        Store32(d, _mm256_unpacklo_epi8(uv, luma));
        Store32(d + 32, _mm256_unpackhi_epi8(uv, luma));
    } else {
        Store32(d, _mm256_unpacklo_epi8(luma, uv));
        Store32(d + 32, _mm256_unpackhi_epi8(luma, uv));
    }
}

/* Chroma 4-byte groups 0, 2 go to the low half and 1, 3 to the high half:
 * interleaved, the low 8 (U, V) bytes of each half then meet pixels 0-7 and
 * 8-15 and the high 8 bytes pixels 16-23 and 24-31. */
template <bool kUyvy>
KOVA_AVX2_INLINE void PackedRow(const uint8_t *y, const uint8_t *u, const uint8_t *v, uint8_t *d, int steps)
{
    const __m256i order = _mm256_setr_epi32(0, 2, 0, 0, 1, 3, 0, 0);
    for (int i = 0; i < steps; ++i) {
        const __m256i u32 = _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(Load16(u + 16 * i)), order);
        const __m256i v32 = _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(Load16(v + 16 * i)), order);
        PackedStep<kUyvy>(y + 32 * i, _mm256_unpacklo_epi8(u32, v32), d + 64 * i);
    }
}

/* The packed layouts only move bytes and run at memory speed; one row at a
 * time (interleaving the chroma again for the second row, from L1) keeps
 * fewer memory streams open and measured faster than alternating rows. */
template <bool kUyvy>
KOVA_AVX2_ENTRY void PackedPair(const uint8_t *y0, const uint8_t *y1, const uint8_t *u,
                                const uint8_t *v, uint8_t *d0, uint8_t *d1, int width)
{
    const int steps = width / 32;
    PackedRow<kUyvy>(y0, u, v, d0, steps);
    if (d1)
        PackedRow<kUyvy>(y1, u, v, d1, steps);
}

}  // namespace

const RowKernels kAvx2Rows = {
    KernelLevel::Avx2,
    32,
    &kSse2Rows,
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

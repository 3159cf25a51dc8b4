/* Row kernels behind CZR_VO_ColorConvert, one set per instruction-set level.
 *
 * A kernel converts one pair of picture rows that share a chroma row, or a
 * single row when y1 and d1 are null, for `width` pixels starting at the
 * given pointers, `width` being a whole number of its level's steps. It
 * reads width luma bytes per row and width / 2 bytes of u and v, and writes
 * width pixels per row, nothing more. The scalar kernels take any width
 * (step 1; an odd last pixel reads one more chroma byte) and define the
 * bytes; every SIMD kernel must give the same.
 *
 * ConvertRows runs a level over a row of any width: the level's whole
 * steps, then what is left at the levels below it, down to the scalar one,
 * so that no SIMD kernel needs a tail of its own.
 *
 * The product uses the best level the processor supports; tests and
 * benchmarks take any level's kernels with KernelsFor and run them side by
 * side, without touching what the product uses. */
#ifndef KOVA_COLOR_COLORROWS_H
#define KOVA_COLOR_COLORROWS_H

#include <cstdint>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
#define KOVA_COLOR_X86 1
#else
#define KOVA_COLOR_X86 0
#endif

namespace kova {
namespace color {

enum class Layout { Yuy2 = 0, Uyvy, Rgb32, Rgb24, Rgb565, Rgb555, Count };
constexpr int kLayoutCount = static_cast<int>(Layout::Count);

/* What the code needs to know of a destination layout, in Layout order. */
struct LayoutInfo {
    Layout layout;
    const char *name;
    int bytesPerPixel;
};

inline constexpr LayoutInfo kLayouts[kLayoutCount] = {
    {Layout::Yuy2, "Yuy2", 2},     {Layout::Uyvy, "Uyvy", 2},     {Layout::Rgb32, "Rgb32", 4},
    {Layout::Rgb24, "Rgb24", 3},   {Layout::Rgb565, "Rgb565", 2}, {Layout::Rgb555, "Rgb555", 2},
};

constexpr const LayoutInfo &InfoOf(Layout layout) { return kLayouts[static_cast<int>(layout)]; }

enum class KernelLevel { Scalar = 0, Sse2 = 1, Avx2 = 2, Count };
constexpr int kLevelCount = static_cast<int>(KernelLevel::Count);

using PairRowFn = void (*)(const uint8_t *y0, const uint8_t *y1, const uint8_t *u,
                           const uint8_t *v, uint8_t *d0, uint8_t *d1, int width);

/* One level's kernels, indexed by Layout. */
struct RowKernels {
    KernelLevel level;
    /* Pixels per step, a power of two: the kernels are called with whole
     * steps only. */
    int step;
    /* The level that finishes a row after the whole steps; null for the
     * scalar level, whose step is 1. */
    const RowKernels *tail;
    PairRowFn rows[kLayoutCount];
    PairRowFn operator[](Layout layout) const { return rows[static_cast<int>(layout)]; }
};

extern const RowKernels kScalarRows;
#if KOVA_COLOR_X86
extern const RowKernels kSse2Rows;
extern const RowKernels kAvx2Rows;
#endif

inline int BytesPerPixel(Layout layout) { return InfoOf(layout).bytesPerPixel; }

/* The best level this processor runs. */
KernelLevel BestKernelLevel();
/* A level's kernels, or null when this build lacks the level or the
 * processor cannot run it. */
const RowKernels *KernelsFor(KernelLevel level);
const char *KernelLevelName(KernelLevel level);

/* The kernels the conversions use: the best level's. */
const RowKernels &ActiveRows();

/* Converts a pair of rows (or one row: y1 and d1 null) of any width. */
void ConvertRows(const RowKernels &kernels, Layout layout, const uint8_t *y0, const uint8_t *y1,
                 const uint8_t *u, const uint8_t *v, uint8_t *d0, uint8_t *d1, int width);

/* Converts a whole picture with the given kernels (see ZR_VO_ColorConvert.h
 * for the arguments). A negative height flips the picture vertically; only
 * the 24-bit conversion accepts one, the others convert nothing. */
void ConvertPicture(const RowKernels &kernels, Layout layout, const uint8_t *y, int lumaPitch,
                    const uint8_t *u, const uint8_t *v, int chromaPitch, uint8_t *dst,
                    int dstPitch, int width, int height);

}  // namespace color
}  // namespace kova

#endif

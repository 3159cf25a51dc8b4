/* Row kernels behind CZR_VO_ColorConvert, one set per instruction-set level.
 *
 * A kernel converts one pair of picture rows that share a chroma row, or a
 * single row when y1 and d1 are null, for `width` pixels starting at the
 * given pointers. It reads width luma bytes per row and (width + 1) / 2
 * bytes of u and v, and writes width pixels per row, nothing more. The
 * scalar kernels define the bytes; every SIMD kernel must give the same.
 *
 * Tests and benchmarks pin a level with SetKernelLevel; the product picks
 * the best level the processor supports. */
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

enum class KernelLevel { Scalar = 0, Sse2 = 1, Avx2 = 2 };

using PairRowFn = void (*)(const uint8_t *y0, const uint8_t *y1, const uint8_t *u,
                           const uint8_t *v, uint8_t *d0, uint8_t *d1, int width);

struct RowKernels {
    PairRowFn rows[static_cast<int>(Layout::Count)];
    PairRowFn operator[](Layout layout) const { return rows[static_cast<int>(layout)]; }
};

extern const RowKernels kScalarRows;
#if KOVA_COLOR_X86
extern const RowKernels kSse2Rows;
extern const RowKernels kAvx2Rows;
#endif

/* Destination bytes per pixel of a layout. */
int BytesPerPixel(Layout layout);

/* The best level this processor runs. */
KernelLevel BestKernelLevel();
/* The level the conversions use now. */
KernelLevel ActiveKernelLevel();
/* Pins the level the conversions use; refused (false, nothing changes) when
 * the processor cannot run it. */
bool SetKernelLevel(KernelLevel level);
const char *KernelLevelName(KernelLevel level);

const RowKernels &ActiveRows();

/* Converts a whole picture with the given kernels (see ZR_VO_ColorConvert.h
 * for the arguments). A negative height flips the picture vertically; only
 * the 24-bit conversion accepts one, the others convert nothing. */
void ConvertPicture(const RowKernels &kernels, Layout layout, const uint8_t *y, int lumaPitch,
                    const uint8_t *u, const uint8_t *v, int chromaPitch, uint8_t *dst,
                    int dstPitch, int width, int height);

}  // namespace color
}  // namespace kova

#endif

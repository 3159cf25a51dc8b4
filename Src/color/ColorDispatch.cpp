/* Picks the row kernels for the processor and runs them over a picture. */
#include "color/ColorRows.h"

#include <atomic>
#include <climits>
#include <cstddef>

namespace kova {
namespace color {
namespace {

const RowKernels *KernelsOf(KernelLevel level)
{
    switch (level) {
#if KOVA_COLOR_X86
    case KernelLevel::Avx2:
        return &kAvx2Rows;
    case KernelLevel::Sse2:
        return &kSse2Rows;
#endif
    default:
        return &kScalarRows;
    }
}

KernelLevel DetectLevel()
{
#if KOVA_COLOR_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return KernelLevel::Avx2;
    if (__builtin_cpu_supports("sse2"))
        return KernelLevel::Sse2;
#endif
    return KernelLevel::Scalar;
}

struct Selection {
    KernelLevel best;
    std::atomic<KernelLevel> active;
    std::atomic<const RowKernels *> rows;
    Selection() : best(DetectLevel()), active(best), rows(KernelsOf(best)) {}
};

Selection &Selected()
{
    static Selection selection;
    return selection;
}

}  // namespace

int BytesPerPixel(Layout layout)
{
    switch (layout) {
    case Layout::Rgb32:
        return 4;
    case Layout::Rgb24:
        return 3;
    default:
        return 2;
    }
}

KernelLevel BestKernelLevel() { return Selected().best; }

KernelLevel ActiveKernelLevel() { return Selected().active.load(std::memory_order_relaxed); }

bool SetKernelLevel(KernelLevel level)
{
    Selection &s = Selected();
    if (static_cast<int>(level) < 0 || static_cast<int>(level) > static_cast<int>(s.best))
        return false;
    s.active.store(level, std::memory_order_relaxed);
    s.rows.store(KernelsOf(level), std::memory_order_release);
    return true;
}

const char *KernelLevelName(KernelLevel level)
{
    switch (level) {
    case KernelLevel::Scalar:
        return "scalar";
    case KernelLevel::Sse2:
        return "sse2";
    case KernelLevel::Avx2:
        return "avx2";
    }
    return "?";
}

const RowKernels &ActiveRows() { return *Selected().rows.load(std::memory_order_acquire); }

void ConvertPicture(const RowKernels &kernels, Layout layout, const uint8_t *y, int lumaPitch,
                    const uint8_t *u, const uint8_t *v, int chromaPitch, uint8_t *dst,
                    int dstPitch, int width, int height)
{
    if (!y || !u || !v || !dst || width <= 0 || height == 0)
        return;
    bool flip = false;
    if (height < 0) {
        if (layout != Layout::Rgb24 || height == INT_MIN)
            return;
        flip = true;
        height = -height;
    }
    const PairRowFn row = kernels[layout];
    const ptrdiff_t lp = lumaPitch, cp = chromaPitch, dp = dstPitch;
    /* Source rows go in pairs that share a chroma row; when flipped, source
     * row r lands on destination row height - 1 - r, which keeps every row's
     * chroma right for odd heights too. */
    auto dstRow = [&](int r) { return dst + (flip ? height - 1 - r : r) * dp; };
    int r = 0;
    for (; r + 1 < height; r += 2) {
        const ptrdiff_t k = r / 2;
        row(y + r * lp, y + (r + 1) * lp, u + k * cp, v + k * cp, dstRow(r), dstRow(r + 1), width);
    }
    if (r < height) {
        const ptrdiff_t k = r / 2;
        row(y + r * lp, nullptr, u + k * cp, v + k * cp, dstRow(r), nullptr, width);
    }
}

}  // namespace color
}  // namespace kova

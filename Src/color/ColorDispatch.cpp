/* Picks the row kernels for the processor. */
#include "color/ColorRows.h"

#include <atomic>

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

}  // namespace color
}  // namespace kova

/* Picks the row kernels for the processor. */
#include "color/ColorRows.h"

#include <atomic>

namespace kova {
namespace color {
namespace {

/* Every level in KernelLevel order; null where this build has none. */
constexpr const RowKernels *kLevels[kLevelCount] = {
    &kScalarRows,
#if KOVA_COLOR_X86
    &kSse2Rows,
    &kAvx2Rows,
#else
    nullptr,
    nullptr,
#endif
};

const RowKernels *KernelsOf(KernelLevel level) { return kLevels[static_cast<int>(level)]; }

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
    static const char *const kNames[kLevelCount] = {"scalar", "sse2", "avx2"};
    return kNames[static_cast<int>(level)];
}

const RowKernels &ActiveRows() { return *Selected().rows.load(std::memory_order_acquire); }

}  // namespace color
}  // namespace kova

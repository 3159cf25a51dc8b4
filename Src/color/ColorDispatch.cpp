/* The kernel levels: which this build has, which the processor runs, and
 * the one the conversions use (the best, chosen once). */
#include "color/ColorRows.h"

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

}  // namespace

KernelLevel BestKernelLevel()
{
    static const KernelLevel best = DetectLevel();
    return best;
}

const RowKernels *KernelsFor(KernelLevel level)
{
    const int l = static_cast<int>(level);
    if (l < 0 || l > static_cast<int>(BestKernelLevel()))
        return nullptr;
    return kLevels[l];
}

const char *KernelLevelName(KernelLevel level)
{
    static const char *const kNames[kLevelCount] = {"scalar", "sse2", "avx2"};
    return kNames[static_cast<int>(level)];
}

const RowKernels &ActiveRows()
{
    static const RowKernels &rows = *KernelsFor(BestKernelLevel());
    return rows;
}

}  // namespace color
}  // namespace kova

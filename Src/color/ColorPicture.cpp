/* Runs the row kernels over a picture: rows in pairs that share a chroma
 * row, and each row's ragged end finished by the levels below the one
 * asked for, in one place rather than in every SIMD kernel. */
#include "color/ColorRows.h"

#include <climits>
#include <cstddef>

namespace kova {
namespace color {

namespace {

/* The calls that convert a row of some width: the asked level's whole
 * steps, then the rest at each level below it. Planned once per picture,
 * since every row of a picture splits the same way. */
struct RowPlan {
    struct Part {
        PairRowFn row;
        int x;  // first pixel, a whole number of the levels' steps, so even
        int width;
    };
    Part parts[kLevelCount];
    int count;
    int bytes;
};

/* width > 0: the plan has at least one part. */
RowPlan PlanRow(const RowKernels &kernels, Layout layout, int width)
{
    RowPlan plan{};
    plan.bytes = BytesPerPixel(layout);
    int done = 0;
    for (const RowKernels *level = &kernels; level && done < width; level = level->tail) {
        const int left = width - done;
        const int n = level->tail ? left & -level->step : left;
        if (n == 0)
            continue;
        plan.parts[plan.count++] = {level->rows[static_cast<int>(layout)], done, n};
        done += n;
    }
    return plan;
}

inline void RunRow(const RowPlan &plan, const uint8_t *y0, const uint8_t *y1, const uint8_t *u,
                   const uint8_t *v, uint8_t *d0, uint8_t *d1)
{
    /* The first part starts at pixel 0; it is the only one when the width
     * is a whole number of the level's steps. */
    plan.parts[0].row(y0, y1, u, v, d0, d1, plan.parts[0].width);
    for (int i = 1; i < plan.count; ++i) {
        const RowPlan::Part &part = plan.parts[i];
        const int x = part.x, b = part.x * plan.bytes;
        part.row(y0 + x, d1 ? y1 + x : nullptr, u + x / 2, v + x / 2, d0 + b, d1 ? d1 + b : nullptr,
                 part.width);
    }
}

}  // namespace

void ConvertRows(const RowKernels &kernels, Layout layout, const uint8_t *y0, const uint8_t *y1,
                 const uint8_t *u, const uint8_t *v, uint8_t *d0, uint8_t *d1, int width)
{
    if (width > 0)
        RunRow(PlanRow(kernels, layout, width), y0, y1, u, v, d0, d1);
}

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
    const RowPlan plan = PlanRow(kernels, layout, width);
    const ptrdiff_t lp = lumaPitch, cp = chromaPitch, dp = dstPitch;
    /* Source rows go in pairs that share a chroma row; when flipped, source
     * row r lands on destination row height - 1 - r, which keeps every row's
     * chroma right for odd heights too. */
    auto dstRow = [&](int r) { return dst + (flip ? height - 1 - r : r) * dp; };
    int r = 0;
    for (; r + 1 < height; r += 2) {
        const ptrdiff_t k = r / 2;
        RunRow(plan, y + r * lp, y + (r + 1) * lp, u + k * cp, v + k * cp, dstRow(r),
               dstRow(r + 1));
    }
    if (r < height) {
        const ptrdiff_t k = r / 2;
        RunRow(plan, y + r * lp, nullptr, u + k * cp, v + k * cp, dstRow(r), nullptr);
    }
}

}  // namespace color
}  // namespace kova

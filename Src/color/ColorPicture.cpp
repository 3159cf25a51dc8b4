/* Runs the row kernels over a picture: rows in pairs that share a chroma
 * row, and each row's ragged end finished by the levels below the one
 * asked for, in one place rather than in every SIMD kernel. */
#include "color/ColorRows.h"

#include <climits>
#include <cstddef>

namespace kova {
namespace color {

void ConvertRows(const RowKernels &kernels, Layout layout, const uint8_t *y0, const uint8_t *y1,
                 const uint8_t *u, const uint8_t *v, uint8_t *d0, uint8_t *d1, int width)
{
    const int bytes = BytesPerPixel(layout);
    int done = 0;
    for (const RowKernels *level = &kernels; level && done < width; level = level->tail) {
        const int left = width - done;
        const int n = level->tail ? left - left % level->step : left;
        if (n == 0)
            continue;
        /* `done` is a whole number of steps of an even size, so the chroma
         * of the rest starts at done / 2. */
        level->rows[static_cast<int>(layout)](y0 + done, d1 ? y1 + done : nullptr, u + done / 2,
                                              v + done / 2, d0 + done * bytes,
                                              d1 ? d1 + done * bytes : nullptr, n);
        done += n;
    }
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
    const ptrdiff_t lp = lumaPitch, cp = chromaPitch, dp = dstPitch;
    /* Source rows go in pairs that share a chroma row; when flipped, source
     * row r lands on destination row height - 1 - r, which keeps every row's
     * chroma right for odd heights too. */
    auto dstRow = [&](int r) { return dst + (flip ? height - 1 - r : r) * dp; };
    int r = 0;
    for (; r + 1 < height; r += 2) {
        const ptrdiff_t k = r / 2;
        ConvertRows(kernels, layout, y + r * lp, y + (r + 1) * lp, u + k * cp, v + k * cp, dstRow(r),
                    dstRow(r + 1), width);
    }
    if (r < height) {
        const ptrdiff_t k = r / 2;
        ConvertRows(kernels, layout, y + r * lp, nullptr, u + k * cp, v + k * cp, dstRow(r), nullptr,
                    width);
    }
}

}  // namespace color
}  // namespace kova

#include "pool/FieldBlend.h"

void BlendFields(const uint8_t *src, uint8_t *dst, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const size_t pitch = static_cast<size_t>(width);
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = src + pitch * static_cast<size_t>(y);
        const uint8_t *above = y > 0 ? row - pitch : row;
        const uint8_t *below = y + 1 < height ? row + pitch : row;
        uint8_t *out = dst + pitch * static_cast<size_t>(y);
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<uint8_t>((above[x] + 2 * row[x] + below[x] + 2) >> 2);
    }
}

#include "stdstream/OutputSize.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "pool/FrameEntry.h"

namespace {

/* Window sizes the output follows; outside them it stays as it is. */
const LONG kMinWindowWidth = 32;
const LONG kMaxWindowWidth = 2048;
const LONG kMinWindowHeight = 8;
const LONG kMaxWindowHeight = 1536;

/* Output sides are multiples of this (whole macroblocks). */
LONG RoundUpTo16(LONG value)
{
    const int64_t rounded = (static_cast<int64_t>(value) + 15) & ~static_cast<int64_t>(15);
    return static_cast<LONG>(rounded);
}

bool Fits(LONG width, LONG height, LONG payload)
{
    return Yuv420Planes(width, height).FitsIn(static_cast<size_t>(payload));
}

}  // namespace

bool OutputFits(OutputSize size, LONG payload)
{
    return Fits(size.width, size.height, payload);
}

bool WindowSizeFollowed(LONG width, LONG height)
{
    return width >= kMinWindowWidth && width <= kMaxWindowWidth && height >= kMinWindowHeight &&
           height <= kMaxWindowHeight;
}

OutputSize RoundedOutput(LONG width, LONG height)
{
    return OutputSize{RoundUpTo16(width), RoundUpTo16(height)};
}

OutputSize LargestFittingOutput(LONG width, LONG height, LONG payload)
{
    if (width <= 0 || height <= 0 || payload <= 0)
        return OutputSize{16, 16};
    const double scale = std::sqrt(static_cast<double>(payload) /
                                   (1.5 * static_cast<double>(width) * static_cast<double>(height)));
    for (LONG w = static_cast<LONG>(width * scale / 16) * 16; w >= 16; w -= 16) {
        LONG h = static_cast<LONG>(std::lround(static_cast<double>(w) * height / width / 16)) * 16;
        if (h < 16)
            h = 16;
        if (Fits(w, h, payload))
            return OutputSize{w, h};
    }
    return OutputSize{16, 16};
}

OutputSize OutputForSize(LONG width, LONG height, LONG payload)
{
    const OutputSize rounded = RoundedOutput(width, height);
    if (Fits(rounded.width, rounded.height, payload))
        return rounded;
    return LargestFittingOutput(width, height, payload);
}

OutputSize ZoomedOutput(LONG windowWidth, LONG windowHeight, LONG zoom, LONG nativeWidth,
                        LONG nativeHeight)
{
    const LONG zoomedWidth = static_cast<LONG>(static_cast<int64_t>(windowWidth) * 100 / zoom);
    const LONG zoomedHeight = static_cast<LONG>(static_cast<int64_t>(windowHeight) * 100 / zoom);
    if (zoomedWidth > nativeWidth || zoomedHeight > nativeHeight)
        return OutputSize{nativeWidth, nativeHeight};
    return OutputSize{zoomedWidth, zoomedHeight};
}

OutputSize NativeOutput(LONG nativeWidth, LONG nativeHeight, LONG payload)
{
    if (nativeWidth > 0 && nativeHeight > 0 && !Fits(nativeWidth, nativeHeight, payload))
        return LargestFittingOutput(nativeWidth, nativeHeight, payload);
    return OutputSize{0, 0};
}

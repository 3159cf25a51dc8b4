/* The layout of one pooled buffer: what the decode path writes and the
 * presentation thread reads. */
#ifndef KOVA_POOL_FRAMEENTRY_H
#define KOVA_POOL_FRAMEENTRY_H

#include <cstddef>
#include <cstdint>

struct FrameEntry {
    int32_t width;         // picture size at decode time (also filled for sound)
    int32_t height;
    int32_t seconds;       // the client's time stamp, unchanged
    int32_t milliseconds;
    int32_t audioLength;   // 0 for a picture; bytes of PCM for sound
    int32_t segmentId;     // the client's value, unchanged

    /* Picture: planar YUV 4:2:0, Y (width x height), then U, then V (each
     * (width+1)/2 x (height+1)/2, see Yuv420Planes). Sound: audioLength
     * bytes of PCM. */
    unsigned char *Payload() { return reinterpret_cast<unsigned char *>(this) + sizeof(FrameEntry); }
    const unsigned char *Payload() const { return reinterpret_cast<const unsigned char *>(this) + sizeof(FrameEntry); }
};

static_assert(sizeof(FrameEntry) == 24, "six 32-bit fields precede the payload");

/* Payload bytes a buffer of `bufferSize` bytes can hold. */
inline size_t FrameEntryCapacity(int32_t bufferSize)
{
    return bufferSize > static_cast<int32_t>(sizeof(FrameEntry)) ? static_cast<size_t>(bufferSize) - sizeof(FrameEntry) : 0;
}

/* Where the planes of a planar YUV 4:2:0 picture lie in one block: the one
 * rule for the decoding library's output, the size check and the colour
 * conversion. Odd sides round the chroma up, so the last column and row of
 * pixels keep chroma of their own. */
struct Yuv420Planes {
    size_t lumaBytes;    // width x height
    int32_t chromaWidth; // (width + 1) / 2: also the chroma pitch
    int32_t chromaHeight;
    size_t chromaBytes;  // of each of U and V
    size_t uOffset;      // from the start of the Y plane
    size_t vOffset;
    uint64_t totalBytes;

    Yuv420Planes(int32_t width, int32_t height)
    {
        const uint64_t w = width > 0 ? static_cast<uint64_t>(width) : 0;
        const uint64_t h = height > 0 ? static_cast<uint64_t>(height) : 0;
        chromaWidth = static_cast<int32_t>((w + 1) / 2);
        chromaHeight = static_cast<int32_t>((h + 1) / 2);
        const uint64_t luma = w * h;
        const uint64_t chroma = static_cast<uint64_t>(chromaWidth) * static_cast<uint64_t>(chromaHeight);
        totalBytes = luma + 2 * chroma;
        lumaBytes = static_cast<size_t>(luma);
        chromaBytes = static_cast<size_t>(chroma);
        uOffset = lumaBytes;
        vOffset = lumaBytes + chromaBytes;
    }

    /* True for a picture with both sides above 0 whose planes fit in
     * `capacity` bytes. */
    bool FitsIn(size_t capacity) const { return lumaBytes > 0 && totalBytes <= capacity; }
};

#endif

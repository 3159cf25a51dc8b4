/* The layout of one pooled buffer: what the decode path writes and the
 * presentation thread reads. */
#ifndef KOVA_STDSTREAM_FRAMEENTRY_H
#define KOVA_STDSTREAM_FRAMEENTRY_H

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
     * width/2 x height/2). Sound: audioLength bytes of PCM. */
    unsigned char *Payload() { return reinterpret_cast<unsigned char *>(this) + sizeof(FrameEntry); }
    const unsigned char *Payload() const { return reinterpret_cast<const unsigned char *>(this) + sizeof(FrameEntry); }
};

static_assert(sizeof(FrameEntry) == 24, "six 32-bit fields precede the payload");

/* Payload bytes a buffer of `bufferSize` bytes can hold. */
inline size_t FrameEntryCapacity(int32_t bufferSize)
{
    return bufferSize > static_cast<int32_t>(sizeof(FrameEntry)) ? static_cast<size_t>(bufferSize) - sizeof(FrameEntry) : 0;
}

#endif

/* Where the renderer hands a frame's sound at its presentation time. The
 * renderer only writes; opening, format and volume stay with whoever owns
 * the sink (the standard decoder's wave output). */
#ifndef KOVA_RENDER_SOUNDSINK_H
#define KOVA_RENDER_SOUNDSINK_H

#include <cstdint>

class SoundSink {
public:
    /* Queues `length` bytes of PCM in the sink's open format: 1 when taken
     * (or dropped by the sink's own back-pressure), 0 when refused. */
    virtual int Write(const unsigned char *data, int32_t length) = 0;

protected:
    ~SoundSink() = default;
};

#endif

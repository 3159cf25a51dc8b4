/* The program stream demultiplexer of a port: FFmpeg's libavformat reading
 * the port's source buffer through a custom I/O context whose reads block
 * on the buffer. It hands out the payloads of the elementary stream packets
 * with their time stamps, and the stream types of the program stream map
 * (StreamMap), by which the port chooses its decoders. */
#ifndef PLAYM4_PS_DEMUXER_H
#define PLAYM4_PS_DEMUXER_H

#include <cstdint>

#include "SourceBuffer.h"
#include "StreamMap.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace playm4 {

struct Payload {
    int streamId;           /* 0xE0..0xEF video, 0xC0..0xDF sound */
    int streamType;         /* from the map; -1 when no map named it */
    AVCodecID guessed;      /* the demultiplexer's own guess */
    int64_t stamp;          /* milliseconds, or kNoStamp */
    const uint8_t *data;    /* valid until the next call */
    int size;
};

class PsDemuxer {
public:
    explicit PsDemuxer(SourceBuffer &source) : source_(source) {}
    ~PsDemuxer() { Close(); }

    /* Starts reading the source's current generation; false when out of
     * memory. */
    bool Open();
    void Close();

    enum class Result { Payload, Interrupted, NewGeneration, Failed };
    Result Next(Payload *out);

    /* The source generation being read. */
    uint64_t Generation() const { return generation_; }

private:
    static int ReadSource(void *opaque, uint8_t *buffer, int size);

    SourceBuffer &source_;
    uint64_t generation_ = 0;
    SourceBuffer::Got ended_ = SourceBuffer::Got::Data;
    StreamMap map_;
    AVFormatContext *format_ = nullptr;
    AVIOContext *io_ = nullptr;
    AVPacket *packet_ = nullptr;
};

}  // namespace playm4

#endif

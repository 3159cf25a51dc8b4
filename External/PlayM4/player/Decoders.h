/* The elementary stream decoders of a port: libavcodec for the pictures
 * (with FFmpeg's parser, which cuts the packets' payloads into whole
 * pictures) and for the sound. Both run on the port's demultiplexing
 * thread, one thread per decoder. */
#ifndef PLAYM4_DECODERS_H
#define PLAYM4_DECODERS_H

#include <cstdint>
#include <functional>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace playm4 {

/* Time stamps here are milliseconds; kNoStamp marks a payload without. */
constexpr int64_t kNoStamp = INT64_MIN;

class VideoDecoder {
public:
    ~VideoDecoder() { Close(); }

    /* Opens for `codec`, closing what was open; false when it cannot. */
    bool Open(AVCodecID codec);
    void Close();
    AVCodecID Codec() const { return codec_; }

    /* Forgets partial pictures and references (the stream was cut). */
    void Flush();

    /* Decodes a payload; `picture` is called for every picture it
     * completes, with its time stamp (kNoStamp when it has none). Returns
     * false when the decoder refused data (counted by the caller). */
    bool Decode(const uint8_t *data, int size, int64_t stamp,
                const std::function<void(AVFrame *, int64_t)> &picture);

private:
    bool Send(const AVPacket *packet, const std::function<void(AVFrame *, int64_t)> &picture);

    AVCodecID codec_ = AV_CODEC_ID_NONE;
    AVCodecContext *context_ = nullptr;
    AVCodecParserContext *parser_ = nullptr;
    AVPacket *packet_ = nullptr;
    AVFrame *frame_ = nullptr;
};

class AudioDecoder {
public:
    ~AudioDecoder() { Close(); }

    /* G.711 A-law or mu-law, 8000 Hz mono. */
    bool Open(AVCodecID codec);
    void Close();
    AVCodecID Codec() const { return codec_; }

    /* Decodes a payload to 16-bit samples; `sound` gets them in pieces. */
    bool Decode(const uint8_t *data, int size,
                const std::function<void(const int16_t *, int count, int rate)> &sound);

private:
    AVCodecID codec_ = AV_CODEC_ID_NONE;
    AVCodecContext *context_ = nullptr;
    AVPacket *packet_ = nullptr;
    AVFrame *frame_ = nullptr;
};

}  // namespace playm4

#endif

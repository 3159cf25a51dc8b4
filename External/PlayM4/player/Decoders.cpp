#include "Decoders.h"

namespace playm4 {

namespace {

/* A damaged stream is expected and survived: FFmpeg's complaints about it
 * are moved down to its debug level, off the host's console. */
constexpr int kQuieter = AV_LOG_DEBUG - AV_LOG_ERROR;

AVCodecContext *OpenContext(AVCodecID codec, bool sound)
{
    const AVCodec *decoder = avcodec_find_decoder(codec);
    if (!decoder)
        return nullptr;
    AVCodecContext *context = avcodec_alloc_context3(decoder);
    if (!context)
        return nullptr;
    context->log_level_offset = kQuieter;
    /* Every port decodes on its own thread; more would crowd the machine
     * when many cameras play. */
    context->thread_count = 1;
    if (sound) {
        context->sample_rate = 8000;
        av_channel_layout_default(&context->ch_layout, 1);
    }
    if (avcodec_open2(context, decoder, nullptr) < 0) {
        avcodec_free_context(&context);
        return nullptr;
    }
    return context;
}

}  // namespace

bool VideoDecoder::Open(AVCodecID codec)
{
    Close();
    context_ = OpenContext(codec, false);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    parser_ = av_parser_init(codec);
    if (!context_ || !packet_ || !frame_) {
        Close();
        return false;
    }
    codec_ = codec;
    return true;
}

void VideoDecoder::Close()
{
    if (parser_) {
        av_parser_close(parser_);
        parser_ = nullptr;
    }
    avcodec_free_context(&context_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    codec_ = AV_CODEC_ID_NONE;
}

void VideoDecoder::Flush()
{
    if (!context_)
        return;
    avcodec_flush_buffers(context_);
    if (parser_) {
        av_parser_close(parser_);
        parser_ = av_parser_init(codec_);
    }
}

bool VideoDecoder::Send(const AVPacket *packet, const std::function<void(AVFrame *, int64_t)> &picture)
{
    int sent = avcodec_send_packet(context_, packet);
    bool ok = sent >= 0 || sent == AVERROR(EAGAIN);
    for (;;) {
        const int got = avcodec_receive_frame(context_, frame_);
        if (got < 0)
            break;
        const int64_t stamp = frame_->best_effort_timestamp != AV_NOPTS_VALUE ? frame_->best_effort_timestamp
                                                                               : kNoStamp;
        picture(frame_, stamp);
        av_frame_unref(frame_);
    }
    /* A packet refused because output was waiting goes in once it is out. */
    if (sent == AVERROR(EAGAIN))
        ok = avcodec_send_packet(context_, packet) >= 0;
    return ok;
}

bool VideoDecoder::Decode(const uint8_t *data, int size, int64_t stamp,
                          const std::function<void(AVFrame *, int64_t)> &picture)
{
    if (!context_ || size <= 0)
        return false;
    bool ok = true;
    if (!parser_) {
        av_packet_unref(packet_);
        packet_->data = const_cast<uint8_t *>(data);
        packet_->size = size;
        packet_->pts = stamp == kNoStamp ? AV_NOPTS_VALUE : stamp;
        ok = Send(packet_, picture);
        packet_->data = nullptr;
        packet_->size = 0;
        return ok;
    }
    int64_t pts = stamp == kNoStamp ? AV_NOPTS_VALUE : stamp;
    while (size > 0) {
        uint8_t *out = nullptr;
        int outSize = 0;
        const int used = av_parser_parse2(parser_, context_, &out, &outSize, data, size, pts, AV_NOPTS_VALUE, 0);
        if (used < 0)
            return false;
        data += used;
        size -= used;
        /* The stamp belongs to the first picture that starts here. */
        pts = AV_NOPTS_VALUE;
        if (outSize > 0) {
            av_packet_unref(packet_);
            packet_->data = out;
            packet_->size = outSize;
            packet_->pts = parser_->pts;
            packet_->dts = parser_->dts;
            if (parser_->key_frame == 1)
                packet_->flags |= AV_PKT_FLAG_KEY;
            ok = Send(packet_, picture) && ok;
            packet_->data = nullptr;
            packet_->size = 0;
        }
        if (used == 0 && outSize == 0)
            break;
    }
    return ok;
}

bool AudioDecoder::Open(AVCodecID codec)
{
    Close();
    context_ = OpenContext(codec, true);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!context_ || !packet_ || !frame_) {
        Close();
        return false;
    }
    codec_ = codec;
    return true;
}

void AudioDecoder::Close()
{
    avcodec_free_context(&context_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    codec_ = AV_CODEC_ID_NONE;
}

bool AudioDecoder::Decode(const uint8_t *data, int size,
                          const std::function<void(const int16_t *, int count, int rate)> &sound)
{
    if (!context_ || size <= 0)
        return false;
    av_packet_unref(packet_);
    packet_->data = const_cast<uint8_t *>(data);
    packet_->size = size;
    const bool ok = avcodec_send_packet(context_, packet_) >= 0;
    packet_->data = nullptr;
    packet_->size = 0;
    while (avcodec_receive_frame(context_, frame_) >= 0) {
        /* G.711 decodes to packed 16-bit samples, one channel. */
        if (frame_->format == AV_SAMPLE_FMT_S16 && frame_->ch_layout.nb_channels == 1)
            sound(reinterpret_cast<const int16_t *>(frame_->data[0]), frame_->nb_samples, frame_->sample_rate);
        av_frame_unref(frame_);
    }
    return ok;
}

}  // namespace playm4

#include "PsDemuxer.h"

#include "Decoders.h"

namespace playm4 {

namespace {

constexpr int kReadSize = 32768;
constexpr int64_t kProbeBytes = 256 * 1024;
constexpr int kProbePackets = 32;

}  // namespace

int PsDemuxer::ReadSource(void *opaque, uint8_t *buffer, int size)
{
    PsDemuxer *self = static_cast<PsDemuxer *>(opaque);
    size_t copied = 0;
    const SourceBuffer::Got got = self->source_.Read(buffer, size_t(size), self->generation_, &copied);
    if (got != SourceBuffer::Got::Data) {
        self->ended_ = got;
        return got == SourceBuffer::Got::Interrupted ? AVERROR_EXIT : AVERROR_EOF;
    }
    self->map_.Feed(buffer, copied);
    return int(copied);
}

bool PsDemuxer::Open()
{
    Close();
    generation_ = source_.Generation();
    ended_ = SourceBuffer::Got::Data;
    map_.Clear();
    packet_ = av_packet_alloc();
    uint8_t *buffer = static_cast<uint8_t *>(av_malloc(kReadSize));
    io_ = buffer ? avio_alloc_context(buffer, kReadSize, 0, this, &PsDemuxer::ReadSource, nullptr, nullptr) : nullptr;
    if (!io_)
        av_free(buffer);
    format_ = avformat_alloc_context();
    if (!packet_ || !io_ || !format_) {
        Close();
        return false;
    }
    format_->pb = io_;
    /* Pictures are cut out of the payloads by the port's own parser: the
     * demultiplexer's would treat sound it does not know as MPEG audio. */
    format_->flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_CUSTOM_IO;
    /* A stream the map does not name is probed, and every packet after its
     * first waits until the probe decides; noise makes such streams, so
     * the probe must decide soon. */
    format_->probesize = kProbeBytes;
    format_->max_probe_packets = kProbePackets;
    const AVInputFormat *ps = av_find_input_format("mpeg");
    /* Opening reads the first bytes, so it blocks until they come; on a
     * failure the context is freed by FFmpeg. */
    if (!ps || avformat_open_input(&format_, nullptr, ps, nullptr) < 0) {
        format_ = nullptr;
        Close();
        return false;
    }
    return true;
}

void PsDemuxer::Close()
{
    if (format_)
        avformat_close_input(&format_);
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    av_packet_free(&packet_);
}

PsDemuxer::Result PsDemuxer::Next(Payload *out)
{
    if (!format_)
        return ended_ == SourceBuffer::Got::Interrupted ? Result::Interrupted : Result::Failed;
    for (;;) {
        av_packet_unref(packet_);
        const int read = av_read_frame(format_, packet_);
        if (read < 0) {
            if (ended_ == SourceBuffer::Got::Interrupted)
                return Result::Interrupted;
            if (ended_ == SourceBuffer::Got::NewGeneration)
                return Result::NewGeneration;
            return Result::Failed;
        }
        if (packet_->stream_index < 0 || unsigned(packet_->stream_index) >= format_->nb_streams ||
            packet_->size <= 0)
            continue;
        const AVStream *stream = format_->streams[packet_->stream_index];
        const int id = stream->id;
        const bool video = id >= 0x1E0 && id <= 0x1EF;
        const bool sound = id >= 0x1C0 && id <= 0x1DF;
        if (!video && !sound)
            continue;
        out->streamId = id & 0xFF;
        out->streamType = map_.TypeOf(uint8_t(id & 0xFF));
        out->guessed = stream->codecpar->codec_id;
        out->stamp = packet_->pts == AV_NOPTS_VALUE ? kNoStamp
                                                    : av_rescale_q(packet_->pts, stream->time_base, AVRational{1, 1000});
        out->data = packet_->data;
        out->size = packet_->size;
        return Result::Payload;
    }
}

}  // namespace playm4

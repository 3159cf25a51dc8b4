/* Common files (MP4, MKV, MOV, AVI, MPEG-TS, MPEG-PS, raw H.264) through
 * libavformat. Pictures leave in the form cameras send them: H.264 as an
 * Annex B byte stream with its parameter sets in band, MPEG-4 part 2 with its
 * configuration before every key picture. Sound leaves in pieces of at most
 * 40 ms, the size cameras use, so that the library's pacing sees a steady
 * flow. */
#include <algorithm>
#include <cstring>
#include <deque>

#include "AvCommon.h"

namespace kovaplay {
namespace {

constexpr int kAudioPieceMs = 40;

class ContainerSource : public MediaSource {
public:
    ~ContainerSource() override
    {
        av_packet_free(&packet_);
        av_bsf_free(&filter_);
        avformat_close_input(&format_);
    }

    bool Open(const std::string &path, std::string &error)
    {
        int r = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
        if (r < 0) {
            error = "cannot open: " + AvError(r);
            return false;
        }
        if ((r = avformat_find_stream_info(format_, nullptr)) < 0) {
            error = "cannot read the stream information: " + AvError(r);
            return false;
        }
        video_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video_ < 0) {
            error = "no video stream";
            return false;
        }
        const AVCodecParameters *vp = format_->streams[video_]->codecpar;
        if (VideoCodecOf(vp->codec_id) == VideoCodec::None) {
            error = std::string("video codec ") + avcodec_get_name(vp->codec_id) +
                    " is not one the library decodes (H.264, MPEG-4 part 2, Motion JPEG)";
            return false;
        }
        audio_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, video_, nullptr, 0);
        if (audio_ >= 0 && AudioCodecOf(format_->streams[audio_]->codecpar->codec_id) == AudioCodec::None) {
            info_.note = std::string("sound (") + avcodec_get_name(format_->streams[audio_]->codecpar->codec_id) +
                         ") left out: the library plays G.711 and G.726";
            audio_ = -1;
        }
        if (audio_ >= 0 && format_->streams[audio_]->codecpar->sample_rate <= 0) {
            // Sound without a sample rate cannot be timed nor cut into pieces.
            info_.note = std::string("sound (") + avcodec_get_name(format_->streams[audio_]->codecpar->codec_id) +
                         ") left out: the file gives no sample rate";
            audio_ = -1;
        }
        DescribeStreams(format_, video_, audio_, info_);
        if (audio_ >= 0) {
            // Whole codewords only: G.726 packs 8 samples into bits-per-sample bytes.
            const int bytesPerSecond = info_.audio == AudioCodec::G726 ? info_.audioBitRate / 8
                                                                       : info_.sampleRate * std::max(1, info_.channels);
            const int unit = info_.audio == AudioCodec::G726 ? std::max(1, info_.audioBitRate / info_.sampleRate) : 1;
            audioPiece_ = std::max(unit, bytesPerSecond * kAudioPieceMs / 1000 / unit * unit);
            audioBytesPerSecond_ = std::max(1, bytesPerSecond);
        }
        packet_ = av_packet_alloc();
        return packet_ && OpenFilter(error);
    }

    const MediaInfo &Info() const override { return info_; }

    bool Read(Packet &out, std::string &error) override
    {
        // Files interleave loosely (a second of sound may lie before the
        // pictures of that second); the packets leave in time order.
        while (videoQueue_.empty() && !ended_)
            if (!ReadMore(error)) return false;
        const bool audioFirst =
            !audioQueue_.empty() && (videoQueue_.empty() || audioQueue_.front().ms <= videoQueue_.front().ms);
        std::deque<Packet> &from = audioFirst ? audioQueue_ : videoQueue_;
        if (from.empty()) return false;
        out.audio = from.front().audio;
        out.key = from.front().key;
        out.ms = from.front().ms;
        out.data.swap(from.front().data);
        from.pop_front();
        return true;
    }

    bool Seek(int64_t ms, std::string &error) override
    {
        // Some formats (MPEG-TS, PS) land by time stamp, not on a key
        // picture: the next key picture may lie after the target, and then
        // the seek goes back further.
        ms = std::max<int64_t>(0, ms);
        int64_t from = ms;
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (!SeekTo(from, error)) return false;
            while (videoQueue_.empty() && !ended_)
                if (!ReadMore(error)) return false;
            if (videoQueue_.empty() || videoQueue_.front().ms <= ms || from == 0) return true;
            from = std::max<int64_t>(0, from - 2000 * (attempt + 1));
        }
        return true;
    }

private:
    bool OpenFilter(std::string &error)
    {
        return OpenCameraFormFilter(format_->streams[video_], info_.video, false, filter_, error);
    }

    bool SeekTo(int64_t ms, std::string &error)
    {
        const AVStream *s = format_->streams[video_];
        int64_t t = av_rescale_q(ms, AVRational{1, 1000}, s->time_base);
        if (s->start_time != AV_NOPTS_VALUE) t += s->start_time;
        const int r = av_seek_frame(format_, video_, t, AVSEEK_FLAG_BACKWARD);
        if (r < 0) {
            error = "cannot seek in this file: " + AvError(r);
            return false;
        }
        if (filter_) av_bsf_flush(filter_);
        videoQueue_.clear();
        audioQueue_.clear();
        ended_ = false;
        lastVideoMs_ = -1;
        needKey_ = true;
        return true;
    }

    /* Reads one packet of the file into the queues; false on a read error. */
    bool ReadMore(std::string &error)
    {
        const int r = av_read_frame(format_, packet_);
        if (r == AVERROR_EOF) {
            ended_ = true;
            if (filter_ && av_bsf_send_packet(filter_, nullptr) >= 0) DrainFilter();
            return true;
        }
        if (r < 0) {
            error = "read error: " + AvError(r);
            return false;
        }
        if (packet_->stream_index == audio_) {
            QueueAudio(packet_);
        } else if (packet_->stream_index == video_) {
            if (!filter_) {
                QueueVideo(packet_);
            } else if (av_bsf_send_packet(filter_, packet_) >= 0) {
                DrainFilter();
                return true;  // the filter took the packet's reference
            }
        }
        av_packet_unref(packet_);
        return true;
    }

    void DrainFilter()
    {
        while (av_bsf_receive_packet(filter_, packet_) >= 0) {
            QueueVideo(packet_);
            av_packet_unref(packet_);
        }
    }

    void QueueVideo(const AVPacket *p)
    {
        int64_t ms = PacketMs(format_, format_->streams[video_], p);
        if (ms < 0) ms = lastVideoMs_ < 0 ? 0 : lastVideoMs_ + int64_t(1000 / info_.frameRate);
        lastVideoMs_ = ms;
        const bool key = (p->flags & AV_PKT_FLAG_KEY) != 0;
        if (needKey_ && !key) return;  // after a seek, decoding starts at a key picture
        needKey_ = false;
        Packet out;
        out.audio = false;
        out.key = (p->flags & AV_PKT_FLAG_KEY) != 0;
        out.ms = ms;
        out.data.assign(p->data, p->data + p->size);
        videoQueue_.push_back(std::move(out));
    }

    void QueueAudio(const AVPacket *p)
    {
        if (needKey_) return;  // sound before the first picture after a seek
        int64_t ms = PacketMs(format_, format_->streams[audio_], p);
        if (ms < 0) ms = std::max<int64_t>(0, lastVideoMs_);
        for (int offset = 0; offset < p->size; offset += audioPiece_) {
            const int n = std::min(p->size - offset, audioPiece_);
            Packet out;
            out.audio = true;
            out.key = true;
            out.ms = ms + int64_t(offset) * 1000 / audioBytesPerSecond_;
            out.data.assign(p->data + offset, p->data + offset + n);
            audioQueue_.push_back(std::move(out));
        }
    }

    AVFormatContext *format_ = nullptr;
    AVBSFContext *filter_ = nullptr;
    AVPacket *packet_ = nullptr;
    MediaInfo info_;
    int video_ = -1, audio_ = -1;
    int64_t lastVideoMs_ = -1;
    int audioPiece_ = 320, audioBytesPerSecond_ = 8000;
    std::deque<Packet> videoQueue_, audioQueue_;
    bool ended_ = false;
    bool needKey_ = false;
};

}  // namespace

std::unique_ptr<MediaSource> OpenContainer(const std::string &path, std::string &error)
{
    auto source = std::make_unique<ContainerSource>();
    if (!source->Open(path, error)) return nullptr;
    return source;
}

}  // namespace kovaplay

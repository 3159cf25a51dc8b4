/* Live sources through libavformat. What is bounded here: the time to
 * connect and learn the streams (one second of probing at most), the time a
 * read may wait for the next packet, and the buffering (none beyond what
 * demuxing needs), so that a pane shows what the camera sees now. */
#include "LiveSource.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <deque>

#include "AvCommon.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace kovaplay {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int64_t kProbeMicroseconds = 1000000;

bool IsSecretKey(std::string key)
{
    for (char &c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
    static const char *const secrets[] = {"user", "username", "pass", "password", "pwd", "passwd", "token", "auth",
                                          "key", "secret"};
    for (const char *s : secrets)
        if (key == s) return true;
    return false;
}

class LiveSource : public MediaSource {
public:
    ~LiveSource() override
    {
        av_packet_free(&packet_);
        av_bsf_free(&filter_);
        avformat_close_input(&format_);
    }

    bool Open(const std::string &url, const LiveOptions &options, std::string &error, bool &permanent)
    {
        options_ = options;
        format_ = avformat_alloc_context();
        if (!format_) return (error = "out of memory", false);
        format_->interrupt_callback.callback = &LiveSource::Interrupt;
        format_->interrupt_callback.opaque = this;
        format_->flags |= AVFMT_FLAG_NOBUFFER;
        format_->probesize = 1 << 20;
        format_->max_analyze_duration = kProbeMicroseconds;

        AVDictionary *settings = nullptr;
        const std::string ioTimeout = std::to_string(int64_t(options.readTimeoutMs) * 1000);  // microseconds
        av_dict_set(&settings, "rtsp_transport", options.rtspTransport.c_str(), 0);
        av_dict_set(&settings, "timeout", ioTimeout.c_str(), 0);
        av_dict_set(&settings, "rw_timeout", ioTimeout.c_str(), 0);
        av_dict_set(&settings, "fflags", "nobuffer", 0);
        av_dict_set(&settings, "flags", "low_delay", 0);
        av_dict_set(&settings, "overrun_nonfatal", "1", 0);  // UDP: a burst lost, not the source
        deadline_ = Clock::now() + std::chrono::milliseconds(options.openTimeoutMs);
        int r = avformat_open_input(&format_, url.c_str(), nullptr, &settings);
        av_dict_free(&settings);
        if (r < 0) {
            permanent = r == AVERROR_PROTOCOL_NOT_FOUND || r == AVERROR_DEMUXER_NOT_FOUND;
            error = TimedOut() ? "no answer within " + std::to_string(options.openTimeoutMs / 1000) + " s"
                               : "cannot connect: " + AvError(r);
            return false;
        }
        if ((r = avformat_find_stream_info(format_, nullptr)) < 0) {
            error = TimedOut() ? "no stream within " + std::to_string(options.openTimeoutMs / 1000) + " s"
                               : "cannot read the stream information: " + AvError(r);
            return false;
        }
        video_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video_ < 0) return (error = TimedOut() ? "no picture within the open time" : "no video stream", false);
        const AVCodecParameters *vp = format_->streams[video_]->codecpar;
        if (VideoCodecOf(vp->codec_id) == VideoCodec::None) {
            permanent = true;
            error = std::string("video codec ") + avcodec_get_name(vp->codec_id) +
                    " is not one the library decodes (H.264, MPEG-4 part 2, Motion JPEG)";
            return false;
        }
        audio_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, video_, nullptr, 0);
        if (audio_ >= 0 && (AudioCodecOf(format_->streams[audio_]->codecpar->codec_id) == AudioCodec::None ||
                            format_->streams[audio_]->codecpar->sample_rate <= 0)) {
            info_.note = std::string("sound (") + avcodec_get_name(format_->streams[audio_]->codecpar->codec_id) +
                         ") left out: the library plays G.711 and G.726";
            audio_ = -1;
        }
        DescribeStreams(format_, video_, audio_, info_);
        info_.live = true;
        // Motion JPEG over HTTP carries no times: the demuxer numbers the
        // pictures at a rate it guesses.
        stampsByArrival_ = (format_->iformat->flags & AVFMT_NOTIMESTAMPS) != 0 ||
                           std::string(format_->iformat->name) == "mpjpeg";
        info_.durationMs = 0;
        packet_ = av_packet_alloc();
        if (!packet_) return (error = "out of memory", false);
        return OpenCameraFormFilter(format_->streams[video_], info_.video, true, filter_, error);
    }

    const MediaInfo &Info() const override { return info_; }

    bool Read(Packet &out, std::string &error) override
    {
        while (queue_.empty())
            if (!ReadMore(error)) return false;
        out.audio = queue_.front().audio;
        out.key = queue_.front().key;
        out.ms = queue_.front().ms;
        out.data.swap(queue_.front().data);
        queue_.pop_front();
        return true;
    }

    bool Seek(int64_t, std::string &error) override
    {
        error = "a live source cannot seek";
        return false;
    }

private:
    static int Interrupt(void *opaque)
    {
        const auto *self = static_cast<const LiveSource *>(opaque);
        return (self->options_.cancel && self->options_.cancel->load()) || self->TimedOut();
    }
    bool TimedOut() const { return Clock::now() > deadline_; }

    /* One packet from the network; false when the source ended, dropped or
     * stayed silent (the error says which). */
    bool ReadMore(std::string &error)
    {
        deadline_ = Clock::now() + std::chrono::milliseconds(options_.readTimeoutMs);
        const int r = av_read_frame(format_, packet_);
        if (r < 0) {
            if (options_.cancel && options_.cancel->load()) error = "stopped";
            else if (TimedOut()) error = "nothing received for " + std::to_string(options_.readTimeoutMs / 1000) + " s";
            else if (r == AVERROR_EOF) error = "the source ended the stream";
            else error = "connection lost: " + AvError(r);
            return false;
        }
        const Clock::time_point arrival = Clock::now();
        if (packet_->stream_index == audio_) {
            QueueAudio(packet_, arrival);
        } else if (packet_->stream_index == video_) {
            if (!filter_) {
                QueueVideo(packet_, arrival);
            } else if (av_bsf_send_packet(filter_, packet_) >= 0) {
                while (av_bsf_receive_packet(filter_, packet_) >= 0) {
                    QueueVideo(packet_, arrival);
                    av_packet_unref(packet_);
                }
                return true;
            }
        }
        av_packet_unref(packet_);
        return true;
    }

    /* The source's time of a packet in milliseconds from the first packet;
     * a source that stamps nothing (Motion JPEG over HTTP) is timed by
     * arrival. */
    int64_t SourceMs(const AVPacket *p, Clock::time_point arrival)
    {
        if (!started_) {
            started_ = true;
            firstArrival_ = arrival;
        }
        const int64_t t = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
        if (t == AV_NOPTS_VALUE || stampsByArrival_)
            return std::chrono::duration_cast<std::chrono::milliseconds>(arrival - firstArrival_).count();
        const int64_t ms = av_rescale_q(t, format_->streams[p->stream_index]->time_base, AVRational{1, 1000});
        if (originMs_ == AV_NOPTS_VALUE) originMs_ = ms;
        return std::max<int64_t>(0, ms - originMs_);
    }

    void QueueVideo(const AVPacket *p, Clock::time_point arrival)
    {
        // RTP hands over parameter sets and SEI apart from the picture they
        // go with; the library decodes whole pictures, so they wait for it.
        if (info_.video == VideoCodec::H264 && !HasPicture(p->data, p->size)) {
            held_.insert(held_.end(), p->data, p->data + p->size);
            heldKey_ = heldKey_ || (p->flags & AV_PKT_FLAG_KEY) != 0;
            return;
        }
        const bool key = (p->flags & AV_PKT_FLAG_KEY) != 0 || heldKey_;
        if (needKey_ && !key) {
            held_.clear();
            heldKey_ = false;
            return;  // decoding starts at a key picture
        }
        needKey_ = false;
        Packet out;
        out.key = key;
        out.ms = SourceMs(p, arrival);
        out.data.swap(held_);
        out.data.insert(out.data.end(), p->data, p->data + p->size);
        held_.clear();
        heldKey_ = false;
        queue_.push_back(std::move(out));
    }

    /* Whether an Annex B packet holds a coded slice (NAL unit types 1 to 5). */
    static bool HasPicture(const uint8_t *data, int size)
    {
        for (int i = 0; i + 3 < size; ++i)
            if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
                const int type = data[i + 3] & 0x1F;
                if (type >= 1 && type <= 5) return true;
                i += 2;
            }
        return false;
    }

    void QueueAudio(const AVPacket *p, Clock::time_point arrival)
    {
        if (needKey_) return;  // sound before the first picture has nothing to go with
        // Sound leaves in the pieces the camera sent: cut smaller, all but the
        // first piece would be due after the picture that arrived with it,
        // and the library, which presents in order, would hold that picture.
        Packet out;
        out.audio = true;
        out.key = true;
        out.ms = SourceMs(p, arrival);
        out.data.assign(p->data, p->data + p->size);
        queue_.push_back(std::move(out));
    }

    LiveOptions options_;
    Clock::time_point deadline_;
    AVFormatContext *format_ = nullptr;
    AVBSFContext *filter_ = nullptr;
    AVPacket *packet_ = nullptr;
    MediaInfo info_;
    int video_ = -1, audio_ = -1;
    std::deque<Packet> queue_;
    std::vector<uint8_t> held_;  /* parameter sets waiting for their picture */
    bool heldKey_ = false;
    bool stampsByArrival_ = false;  /* the demuxer counts pictures instead of timing them */
    bool needKey_ = true;
    bool started_ = false;
    Clock::time_point firstArrival_;
    int64_t originMs_ = AV_NOPTS_VALUE;
};

}  // namespace

bool IsUrl(const std::string &source)
{
    const size_t colon = source.find("://");
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(source[0]))) return false;
    for (size_t i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(source[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

std::string RedactUrl(const std::string &source)
{
    if (!IsUrl(source)) return source;
    std::string out = source;
    const size_t authority = out.find("://") + 3;
    const size_t pathStart = out.find_first_of("/?#", authority);
    const size_t at = out.rfind('@', pathStart == std::string::npos ? std::string::npos : pathStart);
    if (at != std::string::npos && at >= authority) out.replace(authority, at - authority, "***");
    const size_t query = out.find('?', authority);
    if (query == std::string::npos) return out;
    // Cameras also take their login as query parameters.
    std::string rebuilt = out.substr(0, query + 1);
    size_t start = query + 1;
    while (start <= out.size()) {
        size_t end = out.find_first_of("&#", start);
        if (end == std::string::npos) end = out.size();
        const std::string pair = out.substr(start, end - start);
        const size_t eq = pair.find('=');
        rebuilt += eq != std::string::npos && IsSecretKey(pair.substr(0, eq)) ? pair.substr(0, eq) + "=***" : pair;
        if (end >= out.size()) break;
        rebuilt += out[end];
        if (out[end] == '#') {
            rebuilt += out.substr(end + 1);
            break;
        }
        start = end + 1;
    }
    return rebuilt;
}

std::unique_ptr<MediaSource> OpenLive(const std::string &url, const LiveOptions &options, std::string &error,
                                      bool &permanent)
{
    permanent = false;
    auto source = std::make_unique<LiveSource>();
    if (!source->Open(url, options, error, permanent)) return nullptr;
    return source;
}

}  // namespace kovaplay

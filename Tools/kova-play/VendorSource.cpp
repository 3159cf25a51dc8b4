/* Vendor-stream files: the 40-byte stream header, then an MPEG program
 * stream. The vendor player demultiplexes and paces by itself, so the file
 * leaves as a device sends it: the header first, then the bytes in order, cut
 * at pack starts and timed by the picture each piece carries. libavformat
 * only finds where pictures lie and when they are due. */
#include <cstdio>
#include <cstring>

#include "AvCommon.h"

extern "C" {
#include <libavutil/dict.h>
}

namespace kovaplay {
namespace {

constexpr int kHeaderSize = 40;
const uint8_t kMagic[4] = {'4', 'H', 'K', 'H'};

class VendorSource : public MediaSource {
public:
    ~VendorSource() override
    {
        av_packet_free(&packet_);
        avformat_close_input(&format_);
        if (file_) std::fclose(file_);
    }

    bool Open(const std::string &path, std::string &error)
    {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) {
            error = std::string("cannot open: ") + std::strerror(errno);
            return false;
        }
        header_.resize(kHeaderSize);
        if (std::fread(header_.data(), 1, kHeaderSize, file_) != size_t(kHeaderSize) ||
            std::memcmp(header_.data(), kMagic, 4) != 0) {
            error = "not a vendor stream (no 40-byte stream header)";
            return false;
        }
        std::fseek(file_, 0, SEEK_END);
        fileSize_ = std::ftell(file_);

        AVDictionary *options = nullptr;
        av_dict_set_int(&options, "skip_initial_bytes", kHeaderSize, 0);
        int r = avformat_open_input(&format_, path.c_str(), av_find_input_format("mpeg"), &options);
        av_dict_free(&options);
        if (r < 0) {
            error = "cannot read the program stream: " + AvError(r);
            return false;
        }
        if ((r = avformat_find_stream_info(format_, nullptr)) < 0) {
            error = "cannot read the stream information: " + AvError(r);
            return false;
        }
        video_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video_ < 0) {
            error = "no video in the program stream";
            return false;
        }
        const int audio = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, video_, nullptr, 0);
        DescribeStreams(format_, video_, audio, info_);
        info_.vendor = true;
        packet_ = av_packet_alloc();
        if (!packet_) return false;
        return Restart(error);
    }

    const MediaInfo &Info() const override { return info_; }

    bool Read(Packet &out, std::string &error) override
    {
        if (!headerSent_) {
            headerSent_ = true;
            out.audio = false;
            out.key = true;
            out.ms = pieceMs_;
            out.data = header_;
            return true;
        }
        for (;;) {
            if (sentUpTo_ >= fileSize_) return false;
            int64_t boundary = fileSize_, ms = pieceMs_;
            const int r = av_read_frame(format_, packet_);
            if (r < 0 && r != AVERROR_EOF) {
                error = "read error: " + AvError(r);
                return false;
            }
            if (r >= 0) {
                const bool picture = packet_->stream_index == video_ && packet_->pos >= 0;
                if (picture) {
                    boundary = PackStartBefore(packet_->pos);
                    ms = PacketMs(format_, format_->streams[video_], packet_);
                }
                av_packet_unref(packet_);
                if (!picture || boundary <= sentUpTo_) {
                    if (picture && ms >= 0) pieceMs_ = ms;
                    continue;
                }
            }
            // The bytes before this picture's pack belong to the previous picture.
            if (!ReadRange(sentUpTo_, boundary, out.data, error)) return false;
            out.audio = false;
            out.key = false;
            out.ms = pieceMs_;
            sentUpTo_ = boundary;
            if (ms >= 0) pieceMs_ = ms;
            return true;
        }
    }

    bool Seek(int64_t ms, std::string &error) override
    {
        // The program stream lands by time stamp, not on a key picture: when
        // the next key picture lies after the target, go back further.
        int64_t from = ms;
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (from <= 0) return Restart(error);  // the stream as from its start
            if (!SeekTo(from, error) || !Resync(error)) return false;
            if (sentUpTo_ < fileSize_ && pieceMs_ <= ms) return true;
            from -= 1000 * (attempt + 1);
        }
        return true;
    }

private:
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
        return true;
    }

    /* Back to the first picture: the header goes out again, as after a
     * reconnect. */
    bool Restart(std::string &error)
    {
        int r = avformat_seek_file(format_, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
        if (r < 0) r = av_seek_frame(format_, -1, kHeaderSize, AVSEEK_FLAG_BYTE);
        if (r < 0) {
            error = "cannot rewind: " + AvError(r);
            return false;
        }
        sentUpTo_ = kHeaderSize;
        pieceMs_ = 0;
        headerSent_ = false;
        return true;
    }

    /* After a jump: the next piece starts at the pack of the next key
     * picture; the player cannot decode from any other. */
    bool Resync(std::string &error)
    {
        for (;;) {
            const int r = av_read_frame(format_, packet_);
            if (r < 0) {
                sentUpTo_ = fileSize_;
                return r == AVERROR_EOF ? true : (error = "read error: " + AvError(r), false);
            }
            const bool key = packet_->stream_index == video_ && packet_->pos >= 0 &&
                             (packet_->flags & AV_PKT_FLAG_KEY) != 0;
            const int64_t pos = packet_->pos;
            const int64_t ms = key ? PacketMs(format_, format_->streams[video_], packet_) : -1;
            av_packet_unref(packet_);
            if (!key) continue;
            sentUpTo_ = PackStartBefore(pos);
            if (ms >= 0) pieceMs_ = ms;
            return true;
        }
    }

    /* The start of the pack that holds `pos`: the last pack start code at or
     * before it, searched a little way back. */
    int64_t PackStartBefore(int64_t pos)
    {
        const int64_t from = std::max<int64_t>(kHeaderSize, pos - 4096);
        std::vector<uint8_t> window;
        std::string ignored;
        if (pos <= from || !ReadRange(from, std::min(fileSize_, pos + 4), window, ignored)) return pos;
        for (int64_t i = std::min<int64_t>(pos - from, int64_t(window.size()) - 4); i >= 0; --i)
            if (window[i] == 0 && window[i + 1] == 0 && window[i + 2] == 1 && window[i + 3] == 0xBA)
                return from + i;
        return pos;
    }

    bool ReadRange(int64_t from, int64_t to, std::vector<uint8_t> &out, std::string &error)
    {
        out.resize(size_t(to - from));
        if (std::fseek(file_, long(from), SEEK_SET) != 0 || std::fread(out.data(), 1, out.size(), file_) != out.size()) {
            error = "read error in the program stream";
            return false;
        }
        return true;
    }

    std::FILE *file_ = nullptr;
    AVFormatContext *format_ = nullptr;
    AVPacket *packet_ = nullptr;
    MediaInfo info_;
    std::vector<uint8_t> header_;
    int64_t fileSize_ = 0, sentUpTo_ = kHeaderSize, pieceMs_ = 0;
    int video_ = -1;
    bool headerSent_ = false;
};

}  // namespace

bool IsVendorFile(const std::string &path)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t magic[4] = {};
    const bool vendor = std::fread(magic, 1, 4, f) == 4 && std::memcmp(magic, kMagic, 4) == 0;
    std::fclose(f);
    return vendor;
}

std::unique_ptr<MediaSource> OpenVendorStream(const std::string &path, std::string &error)
{
    auto source = std::make_unique<VendorSource>();
    if (!source->Open(path, error)) return nullptr;
    return source;
}

std::unique_ptr<MediaSource> OpenMedia(const std::string &path, std::string &error)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return nullptr;
    }
    std::fclose(f);
    return IsVendorFile(path) ? OpenVendorStream(path, error) : OpenContainer(path, error);
}

}  // namespace kovaplay

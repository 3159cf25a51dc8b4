/* Reading recordings for kova-play: common files through libavformat, and
 * vendor-stream files (the 40-byte stream header, then an MPEG program
 * stream) as the raw byte ranges a device would send. The library does the
 * decoding; here packets are only found, timed and handed out. */
#ifndef KOVA_PLAY_MEDIA_SOURCE_H
#define KOVA_PLAY_MEDIA_SOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kovaplay {

enum class VideoCodec { None, H264, Mpeg4, Mjpeg };
enum class AudioCodec { None, G711MuLaw, G711ALaw, G726 };

struct MediaInfo {
    bool vendor = false;          /* a vendor-stream file: played by stream type 102 */
    bool live = false;            /* a camera over the network: no end, no seeking */
    VideoCodec video = VideoCodec::None;
    AudioCodec audio = AudioCodec::None;
    std::string videoName = "none", audioName = "none";  /* FFmpeg's codec names */
    std::string formatName;
    int width = 0, height = 0;
    double frameRate = 25;
    int sampleRate = 0, channels = 0, audioBitRate = 0;
    int64_t durationMs = 0;       /* 0 when unknown */
    std::string note;             /* what of the file is left out, if anything */
};

struct Packet {
    bool audio = false;
    bool key = false;
    int64_t ms = 0;               /* presentation time from the start of the file */
    std::vector<uint8_t> data;    /* reused from packet to packet */
};

class MediaSource {
public:
    virtual ~MediaSource() = default;
    virtual const MediaInfo &Info() const = 0;
    /* The next packet in file order. False at the end of the file (error
     * left empty) or on a read error (error set). */
    virtual bool Read(Packet &packet, std::string &error) = 0;
    /* Moves to the key picture at or before `ms`; the next Read starts there. */
    virtual bool Seek(int64_t ms, std::string &error) = 0;
};

/* True when the file starts with the vendor stream header's magic word. */
bool IsVendorFile(const std::string &path);

/* Opens a file of either kind; null with a message a person can act on. */
std::unique_ptr<MediaSource> OpenMedia(const std::string &path, std::string &error);

/* Kinds of file, opened directly (OpenMedia picks one). */
std::unique_ptr<MediaSource> OpenContainer(const std::string &path, std::string &error);
std::unique_ptr<MediaSource> OpenVendorStream(const std::string &path, std::string &error);

/* "h264+g711u", "vendor(h264+g711a)", ... for status lines. */
std::string Describe(const MediaInfo &info);

}  // namespace kovaplay

#endif

/* Vendor stream samples for the tests, made at test time: the 40-byte
 * stream header, then an MPEG-2 program stream with H.264 video of a known
 * picture and G.711 sound of a known tone. The ffmpeg program encodes the
 * elementary streams; the program stream is written here, since ffmpeg
 * cannot put G.711 into one.
 *
 * The picture has four quadrants: red top left, green top right, blue
 * bottom left, white bottom right. Every picture gets a pack of its own
 * (with a system header and the program stream map before key pictures),
 * and the sound of the same span a pack after it: packets as a device
 * sends them, the header being the first. */
#ifndef KOVA_TESTS_MEDIA_VENDOR_SAMPLE_H
#define KOVA_TESTS_MEDIA_VENDOR_SAMPLE_H

#include <cstdint>
#include <string>
#include <vector>

namespace vendor_sample {

using Bytes = std::vector<uint8_t>;

struct Rgb {
    int r, g, b;
};
constexpr Rgb kTopLeft{255, 0, 0};
constexpr Rgb kTopRight{0, 255, 0};
constexpr Rgb kBottomLeft{0, 0, 255};
constexpr Rgb kBottomRight{255, 255, 255};

/* Program stream map stream types. */
constexpr uint8_t kTypeH264 = 0x1B;
constexpr uint8_t kTypeG711ALaw = 0x90;
constexpr uint8_t kTypeG711MuLaw = 0x91;

struct Options {
    int width = 320;
    int height = 240;
    int fps = 25;            /* must divide 8000 */
    int seconds = 4;
    int gop = 25;            /* pictures from one key picture to the next */
    int toneHz = 1000;
    bool muLaw = false;      /* A-law otherwise */
    bool sound = true;
    int soundStampOffsetMs = 0;  /* sound stamped this far from its pictures */
    bool movingSquare = false;   /* a black square crossing the bottom, for viewers */
    /* A still picture of noise with a box of half a quadrant's size at each
     * quadrant's centre, finely quantised: key pictures as large in bytes
     * as a large sensor's (over 1 MB at 2560x1440). */
    bool detailed = false;
};

struct Packet {
    Bytes data;
    bool sound;              /* a pack of sound; else of a picture */
    int64_t ms;              /* its time from the start of the stream */
};

struct Sample {
    Bytes header;                 /* the 40-byte stream header */
    std::vector<Packet> packets;  /* in stream order */
    int pictures = 0;
    int64_t firstStamp90k = 0;    /* time stamp of the first picture */

    /* The header and every packet, as one stream. */
    Bytes Joined() const;
};

/* The stream header every vendor stream starts with. */
Bytes StreamHeader();

/* Makes a sample; the elementary streams are cached in the test media
 * directory by their options. False with a reason when the ffmpeg program
 * is missing or fails. */
bool Make(const Options &options, Sample *sample, std::string *why);

/* The sample of the default options, `seconds` long (the 320x240
 * quadrants at 25 pictures a second with a 1 kHz A-law tone most tests
 * play), made once per process. Null with a reason when it cannot be made;
 * the next call tries again. */
const Sample *Default(int seconds, std::string *why);

/* Program stream pieces. */
Bytes PackHeader(uint64_t scr90k);
Bytes SystemHeader();
Bytes StreamMap(uint8_t videoType, uint8_t soundType);
/* PES packets of one stream id carrying `payload`: the first with the time
 * stamp, more without when the payload does not fit one. */
Bytes PesPackets(uint8_t streamId, uint64_t pts90k, const uint8_t *payload, size_t size);

/* Splits an H.264 Annex B stream into access units at its access unit
 * delimiters. */
std::vector<Bytes> AccessUnits(const Bytes &annexB);
/* True when an access unit holds an IDR slice. */
bool IsKeyUnit(const Bytes &unit);

}  // namespace vendor_sample

#endif

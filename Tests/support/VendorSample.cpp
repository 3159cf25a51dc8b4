#include "VendorSample.h"

#include "Media.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace vendor_sample {

namespace {

/* Time stamps start away from zero, as a device's clock does. */
constexpr uint64_t kFirstStamp90k = 90000 * 10;
/* The system clock runs this far ahead of the presentation times. */
constexpr uint64_t kMuxDelay90k = 3600;
constexpr size_t kMaxPesPayload = 65000;

void Put32LE(Bytes &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void Append(Bytes &out, const Bytes &more)
{
    out.insert(out.end(), more.begin(), more.end());
}

uint32_t Crc32Mpeg(const uint8_t *data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= uint32_t(data[i]) << 24;
        for (int b = 0; b < 8; ++b)
            crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

bool Exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

/* Runs ffmpeg into `path` unless it is there; made under a temporary name
 * so that a run cut short leaves nothing half-written. */
bool RunFfmpeg(const std::string &arguments, const std::string &path, std::string *why)
{
    if (Exists(path))
        return true;
    const std::string partial = path + ".part" + std::to_string(::getpid());
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " " + partial;
    if (std::system(command.c_str()) != 0 || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        *why = "ffmpeg failed: " + command;
        return false;
    }
    return true;
}

}  // namespace

Bytes Sample::Joined() const
{
    Bytes all = header;
    for (const Packet &p : packets)
        Append(all, p.data);
    return all;
}

Bytes StreamHeader()
{
    Bytes h;
    for (uint32_t w : {0x484B4834u, 0xD6D0B3FEu, 0x20040308u, 0u, 0x10011003u, 0x00101001u, 0x00003E80u,
                       0x01200160u, 0x00001011u, 0u})
        Put32LE(h, w);
    return h;
}

Bytes PackHeader(uint64_t scr)
{
    const uint32_t ext = 0;
    const uint32_t muxRate = 20000;  /* in 50 bytes per second: 1 MB/s */
    return Bytes{0x00, 0x00, 0x01, 0xBA,
                 uint8_t(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03)),
                 uint8_t(scr >> 20),
                 uint8_t(((scr >> 12) & 0xF8) | 0x04 | ((scr >> 13) & 0x03)),
                 uint8_t(scr >> 5),
                 uint8_t(((scr << 3) & 0xF8) | 0x04 | ((ext >> 7) & 0x03)),
                 uint8_t(((ext << 1) & 0xFE) | 0x01),
                 uint8_t(muxRate >> 14),
                 uint8_t(muxRate >> 6),
                 uint8_t(((muxRate << 2) & 0xFC) | 0x03),
                 0xF8};  /* no stuffing */
}

Bytes SystemHeader()
{
    const uint32_t rateBound = 20000;
    Bytes h{0x00, 0x00, 0x01, 0xBB, 0x00, 0x00,
            uint8_t(0x80 | ((rateBound >> 15) & 0x7F)),
            uint8_t(rateBound >> 7),
            uint8_t(((rateBound << 1) & 0xFE) | 0x01),
            0x04,   /* one audio stream, variable rate, no CSPS */
            0xE1,   /* audio and video locked, one video stream */
            0x7F};  /* no packet rate restriction */
    /* P-STD buffers: video 1024 x 128 bytes, audio 32 x 128 bytes. */
    for (const Bytes &bound : {Bytes{0xE0, 0xE0 | 0x20 | 0x04, 0x00}, Bytes{0xC0, 0xC0, 0x20}})
        Append(h, bound);
    const size_t length = h.size() - 6;
    h[4] = uint8_t(length >> 8);
    h[5] = uint8_t(length);
    return h;
}

Bytes StreamMap(uint8_t videoType, uint8_t soundType)
{
    Bytes m{0x00, 0x00, 0x01, 0xBC, 0x00, 0x00,
            0x80 | 0x60,  /* current, version 0 */
            0xFF,         /* marker */
            0x00, 0x00,   /* no program descriptors */
            0x00, 0x08,   /* two entries */
            videoType, 0xE0, 0x00, 0x00,
            soundType, 0xC0, 0x00, 0x00};
    const size_t length = m.size() - 6 + 4;
    m[4] = uint8_t(length >> 8);
    m[5] = uint8_t(length);
    const uint32_t crc = Crc32Mpeg(m.data(), m.size());
    for (int i = 3; i >= 0; --i)
        m.push_back(uint8_t(crc >> (8 * i)));
    return m;
}

Bytes PesPackets(uint8_t streamId, uint64_t pts, const uint8_t *payload, size_t size)
{
    Bytes out;
    bool first = true;
    do {
        const size_t n = std::min(size, kMaxPesPayload);
        const size_t header = first ? 5 : 0;
        const size_t length = 3 + header + n;
        Bytes p{0x00, 0x00, 0x01, streamId, uint8_t(length >> 8), uint8_t(length),
                uint8_t(first ? 0x84 : 0x80),  /* MPEG-2, data aligned on the first */
                uint8_t(first ? 0x80 : 0x00),  /* time stamp on the first */
                uint8_t(header)};
        if (first) {
            p.push_back(uint8_t(0x21 | ((pts >> 29) & 0x0E)));
            p.push_back(uint8_t(pts >> 22));
            p.push_back(uint8_t(((pts >> 14) & 0xFE) | 0x01));
            p.push_back(uint8_t(pts >> 7));
            p.push_back(uint8_t(((pts << 1) & 0xFE) | 0x01));
        }
        p.insert(p.end(), payload, payload + n);
        Append(out, p);
        payload += n;
        size -= n;
        first = false;
    } while (size > 0);
    return out;
}

std::vector<Bytes> AccessUnits(const Bytes &s)
{
    /* Start of every NAL unit, including the zero before a 4-byte code. */
    std::vector<size_t> cuts;
    for (size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            const uint8_t type = s[i + 3] & 0x1F;
            if (type == 9)
                cuts.push_back(i > 0 && s[i - 1] == 0 ? i - 1 : i);
            i += 2;
        }
    }
    std::vector<Bytes> units;
    for (size_t k = 0; k < cuts.size(); ++k) {
        const size_t end = k + 1 < cuts.size() ? cuts[k + 1] : s.size();
        units.emplace_back(s.begin() + cuts[k], s.begin() + end);
    }
    return units;
}

bool IsKeyUnit(const Bytes &u)
{
    for (size_t i = 0; i + 3 < u.size(); ++i)
        if (u[i] == 0 && u[i + 1] == 0 && u[i + 2] == 1 && (u[i + 3] & 0x1F) == 5)
            return true;
    return false;
}

bool Make(const Options &o, Sample *sample, std::string *why)
{
    const std::string dir = media::Dir();
    if (o.fps <= 0 || 8000 % o.fps != 0) {
        *why = "the picture rate must divide 8000";
        return false;
    }
#ifdef _WIN32
    ::mkdir(dir.c_str());
#else
    ::mkdir(dir.c_str(), 0755);
#endif
    const int frames = o.fps * o.seconds;
    char name[160];
    std::snprintf(name, sizeof name, "/quad-%dx%d-%dfps-%ds-gop%d%s%s.h264", o.width, o.height, o.fps, o.seconds,
                  o.gop, o.movingSquare ? "-moving" : "", o.detailed ? "-detailed" : "");
    const std::string video = dir + name;
    /* The square moves across the bottom in three seconds, so that a viewer
     * sees the pictures change. */
    char square[200] = "";
    if (o.movingSquare)
        std::snprintf(square, sizeof square,
                      "[bg];color=c=0x000000:s=%dx%d:r=%d:d=%d[sq];[bg][sq]overlay=x='mod(t*W/3\\,W-w)':y=H-h",
                      o.height / 6, o.height / 6, o.fps, o.seconds);
    char source[900];
    if (o.detailed)
        std::snprintf(source, sizeof source,
                      "-f lavfi -i \"color=c=0x808080:s=%dx%d:r=%d:d=%d,noise=alls=40:allf=u,"
                      "trim=end_frame=1,loop=loop=-1:size=1,"
                      "drawbox=x=iw/8:y=ih/8:w=iw/4:h=ih/4:color=0xFF0000:t=fill,"
                      "drawbox=x=5*iw/8:y=ih/8:w=iw/4:h=ih/4:color=0x00FF00:t=fill,"
                      "drawbox=x=iw/8:y=5*ih/8:w=iw/4:h=ih/4:color=0x0000FF:t=fill,"
                      "drawbox=x=5*iw/8:y=5*ih/8:w=iw/4:h=ih/4:color=0xFFFFFF:t=fill\" "
                      "-frames:v %d -c:v libx264 -preset ultrafast -tune zerolatency -qp 24 -g %d -pix_fmt yuv420p "
                      "-x264-params aud=1 -f h264",
                      o.width, o.height, o.fps, o.seconds, frames, o.gop);
    else
        std::snprintf(source, sizeof source,
                      "-f lavfi -i \"color=c=0xFFFFFF:s=%dx%d:r=%d:d=%d,"
                      "drawbox=x=0:y=0:w=iw/2:h=ih/2:color=0xFF0000:t=fill,"
                      "drawbox=x=iw/2:y=0:w=iw/2:h=ih/2:color=0x00FF00:t=fill,"
                      "drawbox=x=0:y=ih/2:w=iw/2:h=ih/2:color=0x0000FF:t=fill%s\" "
                      "-frames:v %d -c:v libx264 -preset ultrafast -tune zerolatency -g %d -pix_fmt yuv420p "
                      "-x264-params aud=1 -f h264",
                      o.width, o.height, o.fps, o.seconds, square, frames, o.gop);
    if (!RunFfmpeg(source, video, why))
        return false;
    Bytes pcm;
    if (o.sound) {
        std::snprintf(name, sizeof name, "/tone-%dhz-%ds.%s", o.toneHz, o.seconds, o.muLaw ? "ulaw" : "alaw");
        const std::string sound = dir + name;
        std::snprintf(source, sizeof source,
                      "-f lavfi -i sine=frequency=%d:sample_rate=8000:duration=%d -ac 1 -c:a %s -f %s", o.toneHz,
                      o.seconds, o.muLaw ? "pcm_mulaw" : "pcm_alaw", o.muLaw ? "mulaw" : "alaw");
        if (!RunFfmpeg(source, sound, why))
            return false;
        pcm = media::ReadFile(sound);
    }

    const std::vector<Bytes> units = AccessUnits(media::ReadFile(video));
    if (units.empty()) {
        *why = "no access units in " + video;
        return false;
    }
    sample->header = StreamHeader();
    sample->packets.clear();
    sample->pictures = int(units.size());
    sample->firstStamp90k = kFirstStamp90k;
    const size_t soundPerPicture = size_t(8000 / o.fps);
    const uint8_t soundType = o.muLaw ? kTypeG711MuLaw : kTypeG711ALaw;
    for (size_t i = 0; i < units.size(); ++i) {
        const int64_t ms = int64_t(i) * 1000 / o.fps;
        const uint64_t pts = kFirstStamp90k + uint64_t(i) * 90000 / uint64_t(o.fps);
        Packet picture{PackHeader(pts - kMuxDelay90k), false, ms};
        if (IsKeyUnit(units[i])) {
            Append(picture.data, SystemHeader());
            Append(picture.data, StreamMap(kTypeH264, soundType));
        }
        Append(picture.data, PesPackets(0xE0, pts, units[i].data(), units[i].size()));
        sample->packets.push_back(std::move(picture));
        const size_t at = i * soundPerPicture;
        if (o.sound && at + soundPerPicture <= pcm.size()) {
            Packet sound{PackHeader(pts - kMuxDelay90k + 1), true, ms};
            const uint64_t soundPts = pts + uint64_t(int64_t(o.soundStampOffsetMs) * 90);
            Append(sound.data, PesPackets(0xC0, soundPts, pcm.data() + at, soundPerPicture));
            sample->packets.push_back(std::move(sound));
        }
    }
    return true;
}

const Sample *Default(int seconds, std::string *why)
{
    static std::map<int, Sample> made;
    auto it = made.find(seconds);
    if (it != made.end())
        return &it->second;
    Options options;
    options.seconds = seconds;
    Sample sample;
    if (!Make(options, &sample, why))
        return nullptr;
    return &made.emplace(seconds, std::move(sample)).first->second;
}

}  // namespace vendor_sample

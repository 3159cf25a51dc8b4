/* The Windows DLL playing under Wine, as a client plays it: only the
 * library's exports and Win32 calls, into real Wine windows. Standard
 * streams (H.264 with G.711 sound, MPEG-4 part 2, Motion JPEG) are checked on
 * the DirectDraw primary surface the renderer draws to, a vendor stream
 * (stream header and program stream) in the window's own pixels, where the
 * vendor player draws with GDI; the log must show the decoders opened and no
 * decode failure. The sample streams are made on the build machine by
 * Tests/windows/make-media.sh (Wine cannot run the ffmpeg program).
 *
 * Sound: the Wine lane points ALSA's default device at a file; when
 * KOVA_WINE_SOUND_FILE names it (as a Windows path), the tone must arrive
 * there. */
#include <windows.h>

#include <ddraw.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "KovaDecoder.h"
#include "LogFile.h"
#include "Media.h"
#include "VendorSample.h"
#include "WindowProbe.h"

namespace {

using media::Bytes;
using vendor_sample::Rgb;

const Rgb kRed{255, 0, 0}, kWhite{255, 255, 255}, kBlack{0, 0, 0}, kBlue{0, 0, 255};

/* The colour of a point of the screen, read from the locked primary surface
 * (what DirectDraw shows, not what GDI keeps for a window). */
bool ScreenPixel(int x, int y, Rgb *out)
{
    IDirectDraw7 *dd = nullptr;
    if (FAILED(DirectDrawCreateEx(nullptr, reinterpret_cast<void **>(&dd), IID_IDirectDraw7, nullptr)))
        return false;
    dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface7 *primary = nullptr;
    bool ok = false;
    if (SUCCEEDED(dd->CreateSurface(&desc, &primary, nullptr))) {
        DDSURFACEDESC2 locked = {};
        locked.dwSize = sizeof locked;
        if (SUCCEEDED(primary->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) {
            const int bytes = int(locked.ddpfPixelFormat.dwRGBBitCount / 8);
            if ((bytes == 3 || bytes == 4) && x >= 0 && y >= 0 && x < int(locked.dwWidth) && y < int(locked.dwHeight)) {
                const uint8_t *p = static_cast<const uint8_t *>(locked.lpSurface) + ptrdiff_t(y) * locked.lPitch + x * bytes;
                *out = Rgb{p[2], p[1], p[0]};
                ok = true;
            }
            primary->Unlock(nullptr);
        }
        primary->Release();
    }
    dd->Release();
    return ok;
}

bool Near(const Rgb &a, const Rgb &b)
{
    const int tolerance = 48;
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

std::string Describe(const Rgb &c)
{
    char text[32];
    std::snprintf(text, sizeof text, "(%d,%d,%d)", c.r, c.g, c.b);
    return text;
}

/* Whether the primary surface shows the standard samples' quadrants over the
 * window's client area. */
bool ScreenShowsQuadrants(HWND window, std::string *seen)
{
    RECT r;
    GetClientRect(window, &r);
    const Rgb want[4] = {kRed, kWhite, kBlack, kBlue};
    const int at[4][2] = {{1, 1}, {3, 1}, {1, 3}, {3, 3}};
    bool all = true;
    seen->clear();
    for (int i = 0; i < 4; ++i) {
        POINT p{r.right * at[i][0] / 4, r.bottom * at[i][1] / 4};
        ClientToScreen(window, &p);
        Rgb c{-1, -1, -1};
        const bool read = ScreenPixel(p.x, p.y, &c);
        *seen += Describe(c) + " ";
        all = all && read && Near(c, want[i]);
    }
    return all;
}

/* The log the library writes beside this program. */
logfile::fs::path LogPath()
{
    return logfile::LogBeside(logfile::ProgramPath());
}

size_t LogSize()
{
    return size_t(logfile::Size(LogPath()));
}

std::string LogSince(size_t from)
{
    return logfile::TextFrom(LogPath(), std::streamoff(from));
}

bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

class WinePlayback : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(KOVA_InitializeLog(), 0);
        logFrom_ = LogSize();
    }
    void TearDown() override { KOVA_ReleaseLog(); }
    std::string Log() const { return LogSince(logFrom_); }

    size_t logFrom_ = 0;
};

/* The bytes the sound device wrote, when the lane made it a file. */
std::string SoundFile()
{
    const char *path = std::getenv("KOVA_WINE_SOUND_FILE");
    return path ? path : "";
}

/* The sound device's file holds what the last opening of the device played,
 * in whatever layout Wine chose (the lane's ALSA configuration writes a WAV
 * header naming it), with Wine's silence wherever nothing was queued: the
 * tone is looked for in the 10 ms stretches that are not silent. */
void CheckTheToneArrived()
{
    if (SoundFile().empty()) {
        std::printf("KOVA_WINE_SOUND_FILE is not set: the tone is not checked\n");
        return;
    }
    const media::Wav played = media::ReadWav(SoundFile());
    ASSERT_TRUE(played.valid) << "no 8- or 16-bit WAV in " << SoundFile();
    const size_t stretch = size_t(played.rate / 100);
    size_t loud = 0;
    int crossings = 0;
    for (size_t at = 0; stretch > 0 && at + stretch <= played.Samples(); at += stretch) {
        double sum = 0;
        int crossed = 0;
        for (size_t i = at; i < at + stretch; ++i) {
            sum += double(played.Sample(i, 0)) * played.Sample(i, 0);
            crossed += i > at && (played.Sample(i - 1, 0) < 0) != (played.Sample(i, 0) < 0);
        }
        if (std::sqrt(sum / double(stretch)) > 1000) {
            ++loud;
            crossings += crossed;
        }
    }
    const std::string layout = std::to_string(played.rate) + " Hz, " + std::to_string(played.channels) +
                               " channels, " + std::to_string(played.bits) + " bits, " +
                               std::to_string(played.Samples()) + " samples";
    EXPECT_GE(loud, 160u) << "the 2 s tone is not there: " << layout;
    /* Twice 440 crossings a second, less one per stretch at its edge. */
    const double rate = loud ? crossings / (loud * 0.01) : 0;
    EXPECT_NEAR(rate, 880.0, 120.0) << "not the 440 Hz tone: " << layout;
}

TEST_F(WinePlayback, StandardStreamsPlayOntoTheScreenWithSound)
{
    struct Case {
        const char *codec;
        LONG type;  // 108: H.264 with 64 kbit/s mu-law sound
        int width, height, frames;
        const char *opened;
    };
    const Case cases[] = {
        {"h264", 108, 320, 240, 50,
         "QXOpenDecoder return 0 VideoCode 28 width 320 height 240 videoformat 0, AudioCode 65542 sample_rate 8000 "
         "channels 1 audio_bitrate 64000."},
        {"mpeg4", 2, 352, 288, 12, "QXOpenDecoder return 0 VideoCode 13 width 352 height 288"},
        {"mjpeg", 192, 640, 360, 12, "QXOpenDecoder return 0 VideoCode 8 width 640 height 360"},
    };
    const std::string tone = media::Make("tone-440-2s.ulaw", media::ToneSource(440, 8000, 2) + " -c:a pcm_mulaw -f mulaw");
    ASSERT_FALSE(tone.empty());
    const std::vector<Bytes> sound = media::Chunks(media::ReadFile(tone), 160);
    ASSERT_EQ(sound.size(), 100u);

    for (const Case &c : cases) {
        SCOPED_TRACE(c.codec);
        const std::vector<Bytes> pictures = media::VideoPackets(media::MakeQuadrants(c.codec, c.width, c.height, c.frames));
        ASSERT_EQ(pictures.size(), size_t(c.frames));
        const size_t from = LogSize();
        HWND window = probe::MakeWindow(100, 100, 400, 300);
        ASSERT_NE(window, nullptr);
        KOVA_HANDLE h = KOVA_CreateInstance(0, c.type);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(KOVA_InitPlayInstance(h, window), 1);
        EXPECT_EQ(KOVA_StartPlayStream(h), 1);
        const bool withSound = c.type == 108;
        if (withSound) {
            EXPECT_EQ(KOVA_SetAudio(h, 1), 1);
        }
        /* Picture k at 40 k ms, sound j at 20 j ms, in time order. */
        size_t k = 0, j = 0;
        while (k < pictures.size() || (withSound && j < sound.size())) {
            if (!withSound || j >= sound.size() || (k < pictures.size() && 40 * k <= 20 * j)) {
                const int ms = 10000 + 40 * int(k);
                EXPECT_EQ(KOVA_SendVideoFrame(h, pictures[k].data(), LONG(pictures[k].size()), c.width, c.height, c.type,
                                              ms / 1000, ms % 1000, 0),
                          1);
                ++k;
            } else {
                const int ms = 10000 + 20 * int(j);
                EXPECT_EQ(KOVA_SendAudioFrame(h, sound[j].data(), LONG(sound[j].size()), ms / 1000, ms % 1000, 0), 1);
                ++j;
            }
        }
        std::string seen;
        EXPECT_TRUE(probe::WaitFor([&] {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&m);
            return ScreenShowsQuadrants(window, &seen);
        }, 10000)) << "the screen shows " << seen;
        if (withSound)
            Sleep(1000);  // the last second of sound plays out
        /* The decoding library's current picture as a 24-bit bitmap. */
        const std::string bitmap = std::string("capture-") + c.codec + ".bmp";
        EXPECT_EQ(KOVA_CaptureBitmap(h, bitmap.c_str()), 1);
        const Bytes bmp = media::ReadFile(bitmap);
        ASSERT_GE(bmp.size(), 54u) << "no bitmap at " << bitmap;
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[28], 24);
        auto le32 = [&](size_t at) { return int32_t(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | bmp[at + 3] << 24); };
        const int32_t w = le32(18), rows = std::abs(le32(22));
        EXPECT_GT(w, 0);
        EXPECT_EQ(bmp.size(), 54u + size_t((w * 3 + 3) / 4 * 4) * size_t(rows));
        std::remove(bitmap.c_str());
        EXPECT_EQ(KOVA_StopPlayStream(h), 1);
        KOVA_ReleaseInstance(h);
        DestroyWindow(window);

        const std::string log = LogSince(from);
        EXPECT_TRUE(Has(log, c.opened)) << log;
        EXPECT_TRUE(Has(log, "QXSetOutput Picture width")) << log;
        EXPECT_FALSE(Has(log, "QXDecodeVideoFrame fail")) << log;
        EXPECT_FALSE(Has(log, "QXDecodeAudioFrame fail")) << log;
        EXPECT_FALSE(Has(log, "Display err.")) << log;
        if (withSound)
            CheckTheToneArrived();
    }

}

TEST_F(WinePlayback, AVendorStreamPlaysIntoTheWindow)
{
    vendor_sample::Sample sample;
    std::string why;
    ASSERT_TRUE(vendor_sample::Make(vendor_sample::Options{}, &sample, &why)) << why;
    HWND window = probe::MakeWindow(500, 100, 320, 240);
    ASSERT_NE(window, nullptr);
    const LONG type = 102;
    KOVA_HANDLE h = KOVA_CreateInstance(0, type);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(KOVA_InitPlayInstance(h, window), 1);
    EXPECT_EQ(KOVA_StartPlayStream(h), 1);
    EXPECT_EQ(KOVA_SendVideoFrame(h, sample.header.data(), LONG(sample.header.size()), 0, 0, type, 0, 0, 0), 1);
    auto send = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            const vendor_sample::Packet &p = sample.packets[i];
            const LONG s = LONG(p.ms / 1000), ms = LONG(p.ms % 1000), n = LONG(p.data.size());
            if (p.sound) {
                EXPECT_EQ(KOVA_SendAudioFrame(h, p.data.data(), n, s, ms, 0), 1);
            } else {
                EXPECT_EQ(KOVA_SendVideoFrame(h, p.data.data(), n, 320, 240, type, s, ms, 0), 1);
            }
        }
    };
    const size_t half = sample.packets.size() / 2;
    send(0, half);
    EXPECT_TRUE(probe::WaitFor([&] { return probe::ShowsQuadrants(window); }, 10000))
        << "top left shows " << probe::Describe(probe::Pixel(window, 80, 60));
    /* Packets sent once a picture is decoded bring its size along. */
    send(half, sample.packets.size());
    LONG width = 0, height = 0;
    EXPECT_EQ(KOVA_GetImagePara(h, &width, &height), 1);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    KOVA_ReleaseInstance(h);
    DestroyWindow(window);
    const std::string log = Log();
    EXPECT_FALSE(Has(log, "Fail")) << log;
}

}  // namespace

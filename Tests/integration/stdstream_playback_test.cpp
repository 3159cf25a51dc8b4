// A client host playing standard streams: it sees only the exported
// functions and the Win32 calls, pushes generated H.264, MPEG-4 and Motion
// JPEG pictures and G.711 sound into an instance bound to a window of the
// virtual desktop, and checks what the screen shows, what the wave device
// played and what the log says.
#include "KovaDecoder.h"

#include <gtest/gtest.h>
#include <kova_control_desktop.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "LogFile.h"
#include "Media.h"
#include "TestWindow.h"

namespace {

using media::Bytes;

const char kWindowClass[] = "KovaPlaybackPane";
const char kNoOutput[] = "Display err. Call ZR_VO_DrawYUV fail with a1888032";

struct Rgb {
    int r, g, b;
};

const Rgb kRed = {255, 0, 0}, kWhite = {255, 255, 255}, kBlack = {0, 0, 0}, kBlue = {0, 0, 255};

bool Near(COLORREF shown, const Rgb &want)
{
    const int tolerance = 48;
    return std::abs(int(GetRValue(shown)) - want.r) <= tolerance &&
           std::abs(int(GetGValue(shown)) - want.g) <= tolerance &&
           std::abs(int(GetBValue(shown)) - want.b) <= tolerance;
}

std::string Hex(COLORREF c)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06lx", static_cast<unsigned long>(c));
    return text;
}

/* The log file the library writes beside this program. */
const logfile::fs::path &LogPath()
{
    static const logfile::fs::path path = logfile::LogBeside(logfile::ProgramPath());
    return path;
}

/* Where this test's lines begin: other tests and other test processes
 * write into the same file. */
std::streamoff logStart = 0;

void MarkLogStart()
{
    logStart = logfile::Size(LogPath());
}

/* The messages logged since the test began; only those of the calling
 * thread (the one that feeds the packets) unless `anyThread`. */
std::vector<std::string> LogLines(bool anyThread = false)
{
    return logfile::MessagesFrom(LogPath(), logStart, anyThread ? -1 : (long long)GetCurrentThreadId());
}

bool Logged(const std::string &message, bool anyThread = false)
{
    for (const std::string &line : LogLines(anyThread))
        if (line == message)
            return true;
    return false;
}

bool LoggedPrefix(const std::string &prefix)
{
    for (const std::string &line : LogLines())
        if (line.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

class Pane {
public:
    Pane(int x, int y, int width, int height) : x_(x), y_(y), width_(width), height_(height)
    {
        handle = kova_test::MakePopup(kWindowClass, x, y, width, height, nullptr, "camera");
        EXPECT_NE(handle, nullptr);
    }
    ~Pane() { DestroyWindow(handle); }

    /* The colour on screen at a point given in percent of the pane. */
    COLORREF At(int xPercent, int yPercent) const
    {
        return KovaControl_GetScreenPixel(x_ + width_ * xPercent / 100, y_ + height_ * yPercent / 100);
    }

    /* Whether the screen shows the four quadrants over the pane. */
    bool ShowsQuadrants(std::string *seen) const
    {
        const COLORREF c[4] = {At(25, 25), At(75, 25), At(25, 75), At(75, 75)};
        *seen = Hex(c[0]) + " " + Hex(c[1]) + " " + Hex(c[2]) + " " + Hex(c[3]);
        return Near(c[0], kRed) && Near(c[1], kWhite) && Near(c[2], kBlack) && Near(c[3], kBlue);
    }

    HWND handle;

private:
    int x_, y_, width_, height_;
};

class Playback : public ::testing::Test {
protected:
    void SetUp() override
    {
        MarkLogStart();
        ASSERT_NE(KOVA_InitializeLog(), 0);
    }
    void TearDown() override { KOVA_ReleaseLog(); }

    /* Pictures the renderer could not draw are logged one by one. */
    static bool NoVideoOutput()
    {
        for (const std::string &line : LogLines(true))
            if (line.compare(0, sizeof kNoOutput - 1, kNoOutput) == 0)
                return true;
        return false;
    }
};

/* Sends pictures and sound interleaved in time order: picture k at 40 k ms,
 * sound j at 20 j ms after 10 s. */
void SendInterleaved(KOVA_HANDLE h, const std::vector<Bytes> &pictures, LONG width, LONG height, LONG type,
                     const std::vector<Bytes> &sound)
{
    size_t k = 0, j = 0;
    while (k < pictures.size() || j < sound.size()) {
        const bool picture = j >= sound.size() || (k < pictures.size() && 40 * k <= 20 * j);
        if (picture) {
            const int ms = 10000 + 40 * int(k);
            EXPECT_EQ(KOVA_SendVideoFrame(h, pictures[k].data(), LONG(pictures[k].size()), width, height,
                                          type, ms / 1000, ms % 1000, 0),
                      1);
            ++k;
        } else {
            const int ms = 10000 + 20 * int(j);
            EXPECT_EQ(KOVA_SendAudioFrame(h, sound[j].data(), LONG(sound[j].size()), ms / 1000, ms % 1000, 0),
                      1);
            ++j;
        }
    }
}

TEST_F(Playback, H264WithG711SoundPlaysIntoAWindow)
{
    const std::string h264 = media::MakeQuadrants("h264", 320, 240, 50);
    const std::string tone = media::Make("tone-440-2s.ulaw", media::ToneSource(440, 8000, 2) + " -c:a pcm_mulaw -f mulaw");
    ASSERT_FALSE(h264.empty());
    ASSERT_FALSE(tone.empty());
    const std::vector<Bytes> pictures = media::VideoPackets(h264);
    const std::vector<Bytes> sound = media::Chunks(media::ReadFile(tone), 160);
    ASSERT_EQ(pictures.size(), 50u);
    ASSERT_EQ(sound.size(), 100u);

    const std::string wav = media::Dir() + "/playback-h264-g711-" + std::to_string(GetCurrentProcessId()) + ".wav";
    setenv("KOVA_WAVE_OUT", ("file:" + wav).c_str(), 1);
    Pane pane(100, 100, 320, 240);
    std::string seen;
    bool shown = false;
    {
        // Type 108: H.264 pictures, 64 kbit/s mu-law sound.
        KOVA_HANDLE h = KOVA_CreateInstance(0, 108);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(KOVA_InitPlayInstance(h, pane.handle), 1);
        EXPECT_EQ(KOVA_StartPlayStream(h), 1);
        EXPECT_EQ(KOVA_SetAudio(h, 1), 1);
        SendInterleaved(h, pictures, 320, 240, 108, sound);
        Sleep(800);  // the last second of sound plays out
        shown = pane.ShowsQuadrants(&seen);
        EXPECT_EQ(KOVA_StopPlayStream(h), 1);
        KOVA_ReleaseInstance(h);
    }
    unsetenv("KOVA_WAVE_OUT");

    EXPECT_TRUE(Logged("QXOpenDecoder return 0 VideoCode 28 width 320 height 240 videoformat 0, AudioCode "
                       "65542 sample_rate 8000 channels 1 audio_bitrate 64000."));
    EXPECT_TRUE(Logged("Window size change from 0x0 to 320x240"));
    EXPECT_TRUE(Logged("QXSetOutput Picture width 320, Picture height 240"));
    EXPECT_FALSE(LoggedPrefix("QXDecodeVideoFrame fail"));
    EXPECT_FALSE(LoggedPrefix("QXDecodeAudioFrame fail"));

    const media::Wav played = media::ReadWav(wav);
    ASSERT_TRUE(played.valid);
    EXPECT_EQ(played.rate, 8000);
    EXPECT_EQ(played.bits, 8);
    EXPECT_EQ(played.channels, 1);
    EXPECT_GE(played.Samples(), 16000u * 9 / 10);
    EXPECT_LE(played.Samples(), 16000u * 11 / 10);
    EXPECT_GT(played.Rms(), 1000.0);
    EXPECT_NEAR(played.CrossingRate(), 880.0, 44.0);
    std::remove(wav.c_str());

    EXPECT_FALSE(NoVideoOutput()) << "pictures were logged as not drawn";
    EXPECT_TRUE(shown) << seen;
}

struct Sample {
    const char *codec;
    LONG type;
    int width, height;
    LONG displayMode;
};

TEST_F(Playback, EveryVideoCodecAndDisplayModeFillsTheWindow)
{
    const Sample samples[] = {
        {"mpeg4", 2, 352, 288, 0}, {"mjpeg", 192, 640, 360, 0}, {"h264", 22, 176, 144, 0},
        {"h264", 22, 320, 240, 1}, {"h264", 22, 320, 240, 2},
    };
    std::vector<std::string> notShown;
    for (const Sample &s : samples) {
        const std::string name = std::string(s.codec) + " mode " + std::to_string(s.displayMode);
        SCOPED_TRACE(name);
        const std::vector<Bytes> pictures = media::VideoPackets(media::MakeQuadrants(s.codec, s.width, s.height, 12));
        ASSERT_EQ(pictures.size(), 12u);
        Pane pane(40, 60, 400, 300);
        KOVA_HANDLE h = KOVA_CreateInstance(0, s.type);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(KOVA_SetDisplayMode(h, s.displayMode), 1);  // nothing selected yet: refused quietly
        EXPECT_EQ(KOVA_InitPlayInstance(h, pane.handle), 1);
        EXPECT_EQ(KOVA_SetDisplayMode(h, s.displayMode), 1);
        EXPECT_EQ(KOVA_StartPlayStream(h), 1);
        for (const Bytes &p : pictures)
            KOVA_SendVideoFrame(h, p.data(), LONG(p.size()), s.width, s.height, s.type, 0, 0, 0);
        Sleep(300);
        std::string seen;
        const bool shown = pane.ShowsQuadrants(&seen);
        KOVA_ReleaseInstance(h);
        EXPECT_FALSE(LoggedPrefix("QXDecodeVideoFrame fail"));
        if (!shown)
            notShown.push_back(name + ": " + seen);
    }
    EXPECT_FALSE(NoVideoOutput()) << "pictures were logged as not drawn";
    EXPECT_TRUE(notShown.empty()) << testing::PrintToString(notShown);
}

/* Follows the green box that moves left to right along the middle row of
 * the camera streams: how often it moved on screen (each picture moves it)
 * and how often it moved back (a picture shown out of order). */
class BoxWatch {
public:
    BoxWatch(int x, int y, int width) : thread_([=] { Run(x, y, width); }) {}
    ~BoxWatch() { Stop(); }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    int moves = 0, backward = 0;

private:
    void Run(int x, int y, int width)
    {
        const int points = std::min(width, 160);
        int last = -1;
        while (!stop_) {
            int at = -1;
            for (int i = 0; i < points && at < 0; ++i) {
                const COLORREF c = KovaControl_GetScreenPixel(x + width * i / points, y);
                if (GetGValue(c) > 100 && GetRValue(c) < 80 && GetBValue(c) < 80)
                    at = i;
            }
            if (at >= 0 && at != last) {
                if (last >= 0 && at < last)
                    ++backward;
                if (last >= 0)
                    ++moves;
                last = at;
            }
            Sleep(2);
        }
    }
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

/* What cameras and recorders send, in real time with each picture's own
 * stamp: reordered pictures, sensors above the pool's 2 MP buffers, sizes
 * that are not whole macroblocks, clocks that jump. Each plays every
 * picture in order (the moving box is followed on screen) with no failure
 * line, and the client's send never waits longer than the pool's normal
 * back-pressure. */
struct CameraStream {
    const char *file;
    const char *codecArgs;
    LONG type;
    int width, height, fps, frames;
    int held;         /* pictures a reordering decoder still holds at the end */
    LONG displayMode;
    int paneWidth, paneHeight;
    int64_t jumpAt;   /* from this picture on, stamps jump ahead by 1 h; -1 none */
    bool unstampedFirst; /* the first picture is sent without a stamp */
};

TEST_F(Playback, CameraStreamsPlayEveryPictureWithoutFailuresInBothDisplayModes)
{
    const char *const h264High = "-c:v libx264 -profile:v high -preset veryfast -x264-params bframes=3";
    const char *const h264 = "-c:v libx264 -preset ultrafast -tune zerolatency";
    const CameraStream streams[] = {
        {"camera-bframes-1280x720.ts", h264High, 22, 1280, 720, 25, 50, 2, 0, 320, 240, -1, false},
        {"camera-bframes-1280x720.ts", h264High, 22, 1280, 720, 25, 50, 2, 1, 320, 240, -1, false},
        {"camera-mpeg4-bf2-640x480.ts", "-c:v mpeg4 -bf 2 -q:v 3", 2, 640, 480, 25, 50, 1, 0, 320, 240, -1, false},
        {"camera-2560x1440.ts", h264, 22, 2560, 1440, 5, 10, 0, 1, 400, 225, -1, false},
        {"camera-3840x2160.ts", h264, 22, 3840, 2160, 2, 4, 0, 1, 400, 225, -1, false},
        {"camera-3840x2160.ts", h264, 22, 3840, 2160, 2, 4, 0, 0, 1920, 1080, -1, false},
        {"camera-642x362.ts", h264, 22, 642, 362, 25, 25, 0, 1, 321, 181, -1, false},
        {"camera-1366x768.ts", h264, 22, 1366, 768, 25, 25, 0, 1, 683, 384, -1, false},
        {"camera-1366x768.ts", h264, 22, 1366, 768, 25, 25, 0, 0, 683, 384, -1, false},
        {"camera-320x240.ts", h264, 22, 320, 240, 25, 50, 0, 0, 320, 240, 25, true},
    };
    std::vector<std::string> faults;
    for (const CameraStream &s : streams) {
        const std::string name = std::string(s.file) + " mode " + std::to_string(s.displayMode);
        SCOPED_TRACE(name);
        MarkLogStart();
        const std::vector<media::StampedPacket> packets = media::StampedVideoPackets(
            media::MakeCameraStream(s.file, s.width, s.height, s.fps, s.frames, s.codecArgs));
        ASSERT_EQ(packets.size(), size_t(s.frames));
        // A pane on the monitor, whatever its size.
        Pane pane(0, 0, s.paneWidth, s.paneHeight);
        KOVA_HANDLE h = KOVA_CreateInstance(0, s.type);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(KOVA_InitPlayInstance(h, pane.handle), 1);
        EXPECT_EQ(KOVA_SetDisplayMode(h, s.displayMode), 1);
        EXPECT_EQ(KOVA_StartPlayStream(h), 1);
        BoxWatch box(0, s.paneHeight / 2, s.paneWidth);

        const DWORD interval = DWORD(1000 / s.fps);
        DWORD longestSend = 0;
        const DWORD start = GetTickCount();
        for (size_t k = 0; k < packets.size(); ++k) {
            // In real time, one packet per picture interval, as a camera sends.
            const LONG wait = LONG(start + DWORD(k) * interval - GetTickCount());
            if (wait > 0)
                Sleep(DWORD(wait));
            int64_t ms = 1700000000000LL % 86400000LL + packets[k].ms;
            if (s.jumpAt >= 0 && int64_t(k) >= s.jumpAt)
                ms += 3600 * 1000;
            const bool unstamped = s.unstampedFirst && k == 0;
            const DWORD before = GetTickCount();
            EXPECT_EQ(KOVA_SendVideoFrame(h, packets[k].data.data(), LONG(packets[k].data.size()), s.width,
                                          s.height, s.type, unstamped ? 0 : LONG(ms / 1000),
                                          unstamped ? 0 : LONG(ms % 1000), 0),
                      1);
            longestSend = std::max(longestSend, GetTickCount() - before);
        }
        Sleep(2 * interval + 500);  // the last pictures play out
        box.Stop();
        std::string seen;
        const bool shown = pane.ShowsQuadrants(&seen);
        KOVA_ReleaseInstance(h);

        // Pictures the decoder still holds at the end are never shown; the
        // first is where the box starts. On a heavily loaded machine the
        // presentation thread may show a picture late and the watcher may
        // miss some, so half must be seen; reordered pictures with their
        // releasing packets' stamps lost about half as late, and their
        // order is checked exactly.
        const int expected = s.frames - s.held - 1;
        if (!shown)
            faults.push_back(name + ": not on screen: " + seen);
        if (box.moves < expected / 2)
            faults.push_back(name + ": " + std::to_string(box.moves) + " of " + std::to_string(expected) +
                             " pictures seen");
        if (box.backward > 0)
            faults.push_back(name + ": " + std::to_string(box.backward) + " pictures out of order");
        if (longestSend > 8 * interval + 1000)
            faults.push_back(name + ": a send waited " + std::to_string(longestSend) + " ms");
        // Decoding failures are logged on the thread that sends, drawing
        // failures on the presentation thread. Other test processes log into
        // the same file at the same time (a garbage-packet test among them),
        // so the decoding lines are taken from this thread only.
        const struct {
            const char *prefix;
            bool anyThread;
        } failures[] = {{"QXDecodeVideoFrame fail", false}, {"QxvideoDecoder::InsertBuffers", false}, {"Display err", true}};
        for (const auto &failure : failures)
            for (const std::string &line : LogLines(failure.anyThread))
                if (line.compare(0, std::strlen(failure.prefix), failure.prefix) == 0)
                    faults.push_back(name + ": " + line);
    }
    EXPECT_TRUE(faults.empty()) << testing::PrintToString(faults);
}

TEST_F(Playback, AZoomShowsPartOfThePicture)
{
    const std::vector<Bytes> pictures = media::VideoPackets(media::MakeQuadrants("h264", 320, 240, 12));
    ASSERT_EQ(pictures.size(), 12u);
    Pane pane(60, 40, 320, 240);
    KOVA_HANDLE h = KOVA_CreateInstance(0, 22);
    ASSERT_NE(h, nullptr);
    KOVA_InitPlayInstance(h, pane.handle);
    KOVA_StartPlayStream(h);
    KOVA_SetDigitalZoom(h, 0, 0, 50, 50);  // the red quadrant over the whole pane
    for (const Bytes &p : pictures)
        KOVA_SendVideoFrame(h, p.data(), LONG(p.size()), 320, 240, 22, 0, 0, 0);
    Sleep(300);
    const COLORREF corners[4] = {pane.At(10, 10), pane.At(90, 10), pane.At(10, 90), pane.At(90, 90)};
    KOVA_ReleaseInstance(h);
    EXPECT_FALSE(NoVideoOutput()) << "pictures were logged as not drawn";
    for (COLORREF c : corners)
        EXPECT_TRUE(Near(c, kRed)) << Hex(c);
}

TEST_F(Playback, GarbagePacketsAreLoggedAndSkipped)
{
    const std::vector<Bytes> pictures = media::VideoPackets(media::MakeQuadrants("h264", 320, 240, 12));
    KOVA_HANDLE h = KOVA_CreateInstance(0, 22);
    ASSERT_NE(h, nullptr);
    Pane pane(0, 0, 320, 240);
    KOVA_InitPlayInstance(h, pane.handle);
    KOVA_StartPlayStream(h);
    KOVA_SetAudio(h, 1);
    const Bytes junk(1000, 0x5C);
    for (const Bytes &p : pictures) {
        EXPECT_EQ(KOVA_SendVideoFrame(h, junk.data(), LONG(junk.size()), 320, 240, 22, 0, 0, 0), 1);
        EXPECT_EQ(KOVA_SendVideoFrame(h, p.data(), LONG(p.size()), 320, 240, 22, 0, 0, 0), 1);
    }
    // Type 22 has no sound of its own: sound packets fail to decode, one line each.
    EXPECT_EQ(KOVA_SendAudioFrame(h, junk.data(), 160, 0, 0, 0), 1);
    KOVA_ReleaseInstance(h);
    EXPECT_TRUE(LoggedPrefix("QXDecodeVideoFrame fail with -"));
    EXPECT_TRUE(Logged("QXDecodeAudioFrame fail with -2"));
}

}  // namespace

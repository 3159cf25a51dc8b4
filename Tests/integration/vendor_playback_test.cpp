/* A vendor stream end to end, as a client plays it: only the exported
 * functions and Win32 calls. The sample (stream header, then an MPEG
 * program stream of H.264 quadrants and a G.711 tone) is made at test
 * time. The picture must appear in the window with the pattern's colours,
 * a capture must write a bitmap of it, zoom must show the region asked,
 * the tone must reach the wave-out device (a WAV file here), and stopping
 * and releasing must leave no thread and no player port behind. */
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>

#include "KovaDecoder.h"
#include "LogFile.h"
#include "Media.h"
#include "VendorSample.h"
#include "VendorSampleTest.h"
#include "WindowProbe.h"

namespace {

using vendor_sample::Bytes;
using vendor_sample::Rgb;

constexpr LONG kVendorStream = 102;

const vendor_sample::Sample *Sample()
{
    return vendor_sample::DefaultOrFailure(6);
}

using namespace probe;

/* Sends packets [from, to) of the sample as a device's client does:
 * pictures through the video call, sound through the audio call. */
void Send(KOVA_HANDLE h, const vendor_sample::Sample &sample, size_t from, size_t to)
{
    for (size_t i = from; i < to && i < sample.packets.size(); ++i) {
        const vendor_sample::Packet &p = sample.packets[i];
        const LONG seconds = LONG(p.ms / 1000), ms = LONG(p.ms % 1000);
        const LONG length = LONG(p.data.size());
        if (p.sound) {
            EXPECT_EQ(KOVA_SendAudioFrame(h, p.data.data(), length, seconds, ms, 0), 1);
        } else {
            EXPECT_EQ(KOVA_SendVideoFrame(h, p.data.data(), length, 320, 240, kVendorStream, seconds, ms, 0), 1);
        }
    }
}

/* A playing vendor instance bound to a window: the stream header first,
 * as a device sends it. */
KOVA_HANDLE StartVendorInstance(HWND window, const vendor_sample::Sample &sample, bool sound)
{
    KOVA_HANDLE h = KOVA_CreateInstance(0, kVendorStream);
    if (!h)
        return nullptr;
    EXPECT_EQ(KOVA_InitPlayInstance(h, window), 1);
    if (sound) {
        EXPECT_EQ(KOVA_SetAudio(h, 1), 1);
    }
    EXPECT_EQ(KOVA_StartPlayStream(h), 1);
    EXPECT_EQ(KOVA_SendVideoFrame(h, sample.header.data(), LONG(sample.header.size()), 0, 0, kVendorStream, 0, 0, 0),
              1);
    return h;
}


TEST(VendorPlayback, PlaysIntoAWindowCapturesZoomsAndSoundsThenLeavesNothing)
{
    const vendor_sample::Sample *sample = Sample();
    ASSERT_NE(sample, nullptr);
    ASSERT_LT(sample->Joined().size(), 400000u) << "the sample must fit the player's source buffer";
    const std::string wav = ::testing::TempDir() + "vendor-playback-" + std::to_string(getpid()) + ".wav";
    setenv("KOVA_WAVE_OUT", ("file:" + wav).c_str(), 1);
    HWND window = MakeWindow(200, 150, 320, 240);
    ASSERT_NE(window, nullptr);

    /* Whatever the libraries start once per process is started now. */
    KOVA_ReleaseInstance(StartVendorInstance(window, *sample, false));
    const int threadsBefore = ThreadCount();

    KOVA_HANDLE h = StartVendorInstance(window, *sample, true);
    ASSERT_NE(h, nullptr);
    const size_t half = sample->packets.size() / 2;
    const auto start = std::chrono::steady_clock::now();
    Send(h, *sample, 0, half);
    EXPECT_TRUE(WaitFor([&] { return ShowsQuadrants(window); }))
        << "top left shows " << std::hex << Pixel(window, 80, 60);
    EXPECT_GT(ThreadCount(), threadsBefore);

    /* Packets sent once a picture is decoded bring its size along. */
    Send(h, *sample, half, sample->packets.size());
    LONG width = 0, height = 0;
    EXPECT_EQ(KOVA_GetImagePara(h, &width, &height), 1);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);

    const std::string bitmap = ::testing::TempDir() + "vendor-capture-" + std::to_string(getpid()) + ".bmp";
    EXPECT_EQ(KOVA_CaptureBitmap(h, bitmap.c_str()), 1);
    const Bytes bmp = media::ReadFile(bitmap);
    ASSERT_EQ(bmp.size(), 54u + 320 * 240 * 3) << "no bitmap captured at " << bitmap;
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(bmp[28], 24);
    auto at = [&](int x, int yTop) {
        const unsigned char *px = &bmp[54 + size_t(239 - yTop) * 960 + size_t(x) * 3];
        return RGB(px[2], px[1], px[0]);
    };
    EXPECT_TRUE(Near(at(80, 60), vendor_sample::kTopLeft));
    EXPECT_TRUE(Near(at(240, 60), vendor_sample::kTopRight));
    EXPECT_TRUE(Near(at(80, 180), vendor_sample::kBottomLeft));
    EXPECT_TRUE(Near(at(240, 180), vendor_sample::kBottomRight));
    std::remove(bitmap.c_str());

    /* The top right quarter over the whole window, then all of it again. */
    EXPECT_EQ(KOVA_SetDigitalZoom(h, 50, 0, 100, 50), 1);
    EXPECT_TRUE(WaitFor([&] { return ShowsOnly(window, vendor_sample::kTopRight); }));
    EXPECT_EQ(KOVA_SetDigitalZoom(h, 0, 0, 0, 0), 1);
    EXPECT_TRUE(WaitFor([&] { return ShowsQuadrants(window); }));

    /* Let the sound play out, then stop. */
    std::this_thread::sleep_until(start + std::chrono::milliseconds(6200));
    EXPECT_EQ(KOVA_StopPlayStream(h), 1);
    KOVA_ReleaseInstance(h);
    /* No thread is left behind. (The platform's pool workers end on their
     * own after ten idle seconds, so there may be fewer than before.) */
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= threadsBefore; }, 3000))
        << ThreadCount() << " threads, " << threadsBefore << " before";

    /* The tone: 8 kHz mono, 1 kHz, for most of the six seconds. */
    const media::Wav played = media::ReadWav(wav);
    ASSERT_TRUE(played.valid) << "nothing played to " << wav;
    EXPECT_EQ(played.rate, 8000);
    EXPECT_EQ(played.channels, 1);
    EXPECT_GT(played.Samples(), size_t(8000 * 4));
    EXPECT_NEAR(played.CrossingRate(), 2000, 100);
    EXPECT_GT(played.Rms(), 1000);
    std::remove(wav.c_str());
    DestroyWindow(window);
}

TEST(VendorPlayback, PlayerPortsComeBackWithEveryInstance)
{
    const vendor_sample::Sample *sample = Sample();
    ASSERT_NE(sample, nullptr);
    HWND window = MakeWindow(600, 150, 160, 120);
    /* More instances than the player has ports, one after the other. */
    for (int i = 0; i < 70; ++i) {
        KOVA_HANDLE h = StartVendorInstance(window, *sample, i % 2 == 0);
        ASSERT_NE(h, nullptr);
        Send(h, *sample, 0, 3);
        if (i % 3 == 0) {
            EXPECT_EQ(KOVA_StopPlayStream(h), 1);
        }
        KOVA_ReleaseInstance(h);
    }
    KOVA_HANDLE h = StartVendorInstance(window, *sample, false);
    ASSERT_NE(h, nullptr);
    Send(h, *sample, 0, 40);
    EXPECT_TRUE(WaitFor([&] { return ShowsQuadrants(window); }));
    KOVA_ReleaseInstance(h);
    DestroyWindow(window);
}

TEST(VendorPlayback, LargeSensorsAndOddSizesPlayWithoutFailures)
{
    /* Key pictures of a 4 MP sensor are larger than the player's whole
     * source buffer (512,000 bytes): they must be taken, not lost. */
    struct Row { int width, height; bool detailed; size_t largestPacketAtLeast; } rows[] = {
        {2688, 1520, true, 512001}, {1366, 768, false, 0}, {642, 362, false, 0},
    };
    ASSERT_NE(KOVA_InitializeLog(), 0);
    const logfile::fs::path logPath = logfile::LogBeside(logfile::ProgramPath());
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        vendor_sample::Options options;
        options.width = row.width;
        options.height = row.height;
        options.seconds = 2;
        options.sound = false;
        options.detailed = row.detailed;
        vendor_sample::Sample sample;
        std::string why;
        ASSERT_TRUE(vendor_sample::Make(options, &sample, &why)) << why;
        size_t largest = 0;
        for (const vendor_sample::Packet &p : sample.packets)
            largest = std::max(largest, p.data.size());
        EXPECT_GE(largest, row.largestPacketAtLeast);

        const std::streamoff before = logfile::Size(logPath);
        HWND window = MakeWindow(100, 100, 400, 225);
        KOVA_HANDLE h = StartVendorInstance(window, sample, false);
        ASSERT_NE(h, nullptr);
        const size_t half = sample.packets.size() / 2;
        Send(h, sample, 0, half);
        EXPECT_TRUE(WaitFor([&] { return ShowsQuadrants(window); }));
        /* Packets sent once a picture is decoded bring its size along. */
        Send(h, sample, half, sample.packets.size());
        LONG width = 0, height = 0;
        EXPECT_EQ(KOVA_GetImagePara(h, &width, &height), 1);
        EXPECT_EQ(width, row.width);
        EXPECT_EQ(height, row.height);
        KOVA_ReleaseInstance(h);
        DestroyWindow(window);

        const std::string added = logfile::TextFrom(logPath, before);
        EXPECT_EQ(added.find(" Fail"), std::string::npos) << added;
    }
    KOVA_ReleaseLog();
}

TEST(VendorPlayback, TheVendorDecodersLinesReachTheLog)
{
    const vendor_sample::Sample *sample = Sample();
    ASSERT_NE(sample, nullptr);
    ASSERT_NE(KOVA_InitializeLog(), 0);
    const logfile::fs::path logPath = logfile::LogBeside(logfile::ProgramPath());
    const std::streamoff before = logfile::Size(logPath);

    HWND window = MakeWindow(800, 150, 160, 120);
    KOVA_HANDLE h = StartVendorInstance(window, *sample, false);
    ASSERT_NE(h, nullptr);
    Send(h, *sample, 0, 10);
    /* A packet larger than the player's whole source buffer grows it; one
     * beyond any the stream may carry is refused. */
    const Bytes huge((64u << 20) + 1, 0);
    EXPECT_EQ(KOVA_SendVideoFrame(h, huge.data(), LONG(huge.size()), 320, 240, kVendorStream, 0, 0, 0), 1);
    /* A zoom rectangle of no width passes the export but not the player. */
    EXPECT_EQ(KOVA_SetDigitalZoom(h, 0, 0, 0, 40), 1);
    KOVA_ReleaseInstance(h);
    KOVA_ReleaseLog();
    DestroyWindow(window);

    ASSERT_GT(logfile::Size(logPath), before);
    const std::string added = logfile::TextFrom(logPath, before);
    const std::regex input(R"(ThreadID\[\d+\] : \[GE_PlayerCtrl\] \S*GE_DecoderHIK\.cpp \d+, CameraName is : )"
                           R"(Call PlayM4_InputData Fail\. PlayM4_GetLastError error code is 2\.)");
    const std::regex zoom(R"(ThreadID\[\d+\] : \[GE_PlayerCtrl\] \S*GE_DecoderHIKControls\.cpp \d+, CameraName is : )"
                          R"(Call PlayM4_SetDisplayRegion Fail\.)");
    EXPECT_TRUE(std::regex_search(added, input)) << added;
    EXPECT_TRUE(std::regex_search(added, zoom)) << added;
}

}  // namespace

// Standard streams through the exported functions and the real facade: the
// facade creates the real standard decoder, and a change of picture size or
// stream type reopens the decoding library as the routing asks.
#include "qxvideo_harness.h"

#include "KovaDecoder.h"

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace qxtest;

namespace {

using Strings = std::vector<std::string>;

bool StartsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

/* An instance bound to a window and started, at the fastest speed. */
class Instance {
public:
    Instance(LONG streamType, int windowWidth, int windowHeight)
        : window(windowWidth, windowHeight), handle(KOVA_CreateInstance(0, streamType))
    {
        EXPECT_NE(handle, nullptr);
        EXPECT_EQ(KOVA_InitPlayInstance(handle, window.handle()), 1);
        EXPECT_EQ(KOVA_StartPlayStream(handle), 1);
        EXPECT_EQ(KOVA_SetSpeed(handle, 5), 1);
    }
    ~Instance() { KOVA_ReleaseInstance(handle); }

    void Send(const std::vector<media::Bytes> &packets, LONG width, LONG height, LONG type)
    {
        for (const media::Bytes &p : packets)
            EXPECT_EQ(KOVA_SendVideoFrame(handle, p.data(), LONG(p.size()), width, height, type, 0, 0, 0), 1);
    }

    Window window;
    KOVA_HANDLE handle;
};

TEST(StandardStreamExports, AnInstancePlaysAStandardStream)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    {
        Instance instance(22, 320, 240);
        instance.Send(packets, 320, 240, 22);
        LONG width = 0, height = 0;
        EXPECT_EQ(KOVA_GetImagePara(instance.handle, &width, &height), 1);
        EXPECT_EQ(width, 320);
        EXPECT_EQ(height, 240);
        EXPECT_EQ(KOVA_StopPlayStream(instance.handle), 1);
    }
    EXPECT_EQ(log.With("QXOpenDecoder"),
              Strings({"QXOpenDecoder return 0 VideoCode 28 width 320 height 240 videoformat 0, "
                       "AudioCode 0 sample_rate 0 channels 0 audio_bitrate 0."}));
    // Start switches the zoom off: the window size once more at the first picture.
    EXPECT_EQ(log.With("QXSetOutput"), Strings(2, "QXSetOutput Picture width 320, Picture height 240"));
    EXPECT_TRUE(log.With("QXDecodeVideoFrame").empty());
}

TEST(StandardStreamExports, ANewPictureSizeReopensOnlyForTypesThatAskForIt)
{
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    const std::vector<media::Bytes> first(packets.begin(), packets.begin() + 6);
    const std::vector<media::Bytes> second(packets.begin() + 6, packets.end());
    {
        LogLines log;
        Instance instance(16, 320, 240);
        instance.Send(first, 320, 240, 16);
        instance.Send(second, 640, 480, 16);  // a key picture begins the second half
        const Strings opens = log.With("QXOpenDecoder");
        ASSERT_EQ(opens.size(), 2u);
        EXPECT_TRUE(StartsWith(opens[0], "QXOpenDecoder return 0 VideoCode 28 width 320 height 240 "));
        EXPECT_TRUE(StartsWith(opens[1], "QXOpenDecoder return 0 VideoCode 28 width 640 height 480 "));
        EXPECT_TRUE(log.With("QXDecodeVideoFrame").empty());
    }
    {
        LogLines log;
        Instance instance(22, 320, 240);
        instance.Send(first, 320, 240, 22);
        instance.Send(second, 640, 480, 22);
        EXPECT_EQ(log.With("QXOpenDecoder").size(), 1u);
    }
}

TEST(StandardStreamExports, ANewStreamTypeReopensWithItsCodec)
{
    LogLines log;
    Instance instance(22, 352, 288);
    instance.Send(QuadrantPackets("h264", 320, 240), 320, 240, 22);
    instance.Send(QuadrantPackets("mpeg4", 352, 288), 352, 288, 2);
    const Strings opens = log.With("QXOpenDecoder");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_TRUE(StartsWith(opens[0], "QXOpenDecoder return 0 VideoCode 28 width 320 height 240 "));
    EXPECT_TRUE(StartsWith(opens[1], "QXOpenDecoder return 0 VideoCode 13 width 352 height 288 "));
    EXPECT_TRUE(log.With("QXDecodeVideoFrame").empty());
}

TEST(StandardStreamExports, ZoomAndTheWindowSetTheDecodingSize)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 1920, 1080, 6);
    Instance instance(22, 640, 480);
    instance.Send({packets[0]}, 1920, 1080, 22);
    EXPECT_EQ(KOVA_SetDigitalZoom(instance.handle, 0, 0, 25, 25), 1);
    instance.Send({packets[1]}, 1920, 1080, 22);
    EXPECT_EQ(log.With("QXSetOutput").back(), "QXSetOutput Picture width 1920, Picture height 1088");
    EXPECT_EQ(KOVA_SetDigitalZoom(instance.handle, 0, 0, 0, 0), 1);
    instance.Send({packets[2]}, 1920, 1080, 22);
    EXPECT_EQ(log.With("QXSetOutput").back(), "QXSetOutput Picture width 640, Picture height 480");
    instance.window.Resize(100, 50);
    instance.Send({packets[3]}, 1920, 1080, 22);
    EXPECT_EQ(log.With("QXSetOutput").back(), "QXSetOutput Picture width 112, Picture height 64");
    EXPECT_TRUE(log.With("QXDecodeVideoFrame").empty());
}

TEST(StandardStreamExports, GarbageIsLoggedAndTheStreamGoesOn)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("mjpeg", 640, 360);
    Instance instance(192, 640, 360);
    const media::Bytes junk(300, 0xA7);
    for (const media::Bytes &p : packets) {
        instance.Send({junk}, 640, 360, 192);
        instance.Send({p}, 640, 360, 192);
    }
    EXPECT_EQ(log.With("QXDecodeVideoFrame fail with -").size(), packets.size());
    EXPECT_EQ(log.With("QXOpenDecoder").size(), 1u);
}

/* Two panes fed from their own threads (video, sound, and now and then a
 * packet that moves one of them to the vendor decoder and back) while a
 * third thread moves the sound between them: the sound switch reaches into
 * the other pane while that pane's thread changes, stops and frees its
 * decoders. Run under ThreadSanitizer by Tools/tsan.sh;
 * KOVA_SOUND_SWITCH_SECONDS sets the length (default 3). */
TEST(StandardStreamExports, MovingTheSoundBetweenBusyPanesIsSafe)
{
    const char *seconds = getenv("KOVA_SOUND_SWITCH_SECONDS");
    const DWORD runMs = 1000 * DWORD(seconds && atoi(seconds) > 0 ? atoi(seconds) : 3);
    const std::vector<media::Bytes> video = QuadrantPackets("mpeg4", 352, 288);
    const std::string mulaw = media::Make("tone-440.ulaw", media::ToneSource(440, 8000, 1) + " -c:a pcm_mulaw -f mulaw");
    const std::vector<media::Bytes> sound = media::Chunks(media::ReadFile(mulaw), 160);
    ASSERT_FALSE(sound.empty());
    Instance a(96, 176, 144), b(96, 176, 144);
    std::atomic<bool> stop{false};
    auto feed = [&](KOVA_HANDLE h, int vendorEvery) {
        for (unsigned n = 0; !stop.load(); ++n) {
            const media::Bytes &picture = video[n % video.size()];
            const bool vendor = vendorEvery && n % vendorEvery == 0;
            KOVA_SendVideoFrame(h, picture.data(), LONG(picture.size()), 352, 288, vendor ? 102 : 96, 0, 0, 0);
            const media::Bytes &tone = sound[n % sound.size()];
            KOVA_SendAudioFrame(h, tone.data(), LONG(tone.size()), 0, 0, 0);
        }
    };
    std::thread feedA(feed, a.handle, 7);
    std::thread feedB(feed, b.handle, 0);
    KOVA_HANDLE last = nullptr;
    int switches = 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < runMs) {
        last = switches % 3 == 1 ? a.handle : b.handle;
        EXPECT_EQ(KOVA_SetAudio(last, 1), 1);
        ++switches;
        Sleep(switches % 5);
    }
    stop = true;
    feedA.join();
    feedB.join();
    // Both panes end on the standard decoder, which tells whether its
    // sound is on by the volume it reports.
    KOVA_SendVideoFrame(a.handle, video[0].data(), LONG(video[0].size()), 352, 288, 96, 0, 0, 0);
    LONG volumeA = -1, volumeB = -1;
    EXPECT_EQ(KOVA_GetVolume(a.handle, &volumeA), 1);
    EXPECT_EQ(KOVA_GetVolume(b.handle, &volumeB), 1);
    EXPECT_EQ(volumeA != 0, last == a.handle) << volumeA << " after " << switches << " switches";
    EXPECT_EQ(volumeB != 0, last == b.handle) << volumeB;
}

}  // namespace

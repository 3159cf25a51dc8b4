// The standard-stream decoder's packet path over the real decoding library:
// pictures reach the output with their colours at the size the window, the
// zoom and the display mode ask for; sound reaches the wave device; bad
// packets are logged and skipped.
#include "qxvideo_harness.h"

#include <QXDecoder.h>
#include <Solvane.h>

#include <algorithm>
#include <random>

#include "render/VideoRenderer.h"
#include "pool/CBufferManager.h"
#include "stdstream/CWaveOut.h"
#include "pool/FieldBlend.h"
#include "pool/FrameEntry.h"
#include "stdstream/OutputSize.h"

using namespace qxtest;

namespace {

using Strings = std::vector<std::string>;

/* A list's count, read under the mutex its users hold. */
int32_t CountOf(CBufferManager *pool, BufferList2 &list)
{
    HANDLE mutex = &list == &pool->fullList ? pool->fullMutex : pool->emptyMutex;
    WaitForSingleObject(mutex, INFINITE);
    const int32_t count = list.count;
    ReleaseMutex(mutex);
    return count;
}

std::string SizeLine(int width, int height)
{
    return "QXSetOutput Picture width " + std::to_string(width) + ", Picture height " +
           std::to_string(height);
}

struct Stream {
    const char *codec;
    LONG type;
    int width, height;
};

TEST(QxvideoDecodePath, PicturesOfEveryVideoCodecReachTheOutputWithTheirColours)
{
    const Stream streams[] = {
        {"h264", 22, 320, 240}, {"mpeg4", 2, 352, 288}, {"mjpeg", 192, 640, 360}, {"h264", 108, 176, 144}};
    for (const Stream &s : streams) {
        SCOPED_TRACE(s.codec);
        const std::vector<media::Bytes> packets = QuadrantPackets(s.codec, s.width, s.height);
        ASSERT_EQ(packets.size(), 12u);
        Player player(s.width, s.height, s.type);
        EXPECT_EQ(player.Feed(packets, s.width, s.height, s.type), 12);
        ASSERT_TRUE(player.screen.WaitForPictures(12));
        for (const Picture &p : player.screen.Pictures()) {
            // The window size, whole macroblocks.
            EXPECT_EQ(p.width, (s.width + 15) / 16 * 16);
            EXPECT_EQ(p.height, (s.height + 15) / 16 * 16);
            EXPECT_TRUE(ShowsQuadrants(p));
        }
    }
}

TEST(QxvideoDecodePath, TheOutputFollowsTheWindowInWholeMacroblocks)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    Player player(100, 50, 22);
    player.Feed({packets.begin(), packets.begin() + 3}, 320, 240, 22);
    ASSERT_TRUE(player.screen.WaitForPictures(3));
    EXPECT_EQ(player.screen.Pictures()[0].width, 112);
    EXPECT_EQ(player.screen.Pictures()[0].height, 64);
    EXPECT_TRUE(ShowsQuadrants(player.screen.Pictures()[2]));
    EXPECT_EQ(log.Count("Window size change from 0x0 to 100x50"), 1u);
    EXPECT_EQ(log.Count(SizeLine(112, 64)), 1u);

    player.window.Resize(640, 480);
    player.Feed({packets.begin() + 3, packets.begin() + 6}, 320, 240, 22, 3);
    ASSERT_TRUE(player.screen.WaitForPictures(6));
    EXPECT_EQ(player.screen.Pictures()[5].width, 640);
    EXPECT_EQ(player.screen.Pictures()[5].height, 480);
    EXPECT_EQ(log.Count("Window size change from 100x50 to 640x480"), 1u);
    EXPECT_EQ(log.Count(SizeLine(640, 480)), 1u);

    // An unchanged window is not applied again.
    player.Feed({packets.begin() + 6, packets.end()}, 320, 240, 22, 6);
    ASSERT_TRUE(player.screen.WaitForPictures(12));
    EXPECT_EQ(log.With("QXSetOutput").size(), 2u);
}

TEST(QxvideoDecodePath, AZoomAsksForMorePixelsUpToTheStreamsOwnSize)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 1920, 1080, 6);
    ASSERT_EQ(packets.size(), 6u);
    Player player(640, 480, 22);
    player.Feed({packets[0]}, 1920, 1080, 22);

    player.decoder->DigitalZoom(0, 0, 50, 50);
    player.Feed({packets[1]}, 1920, 1080, 22, 1);
    player.decoder->DigitalZoom(0, 0, 25, 25);
    player.Feed({packets[2]}, 1920, 1080, 22, 2);
    player.decoder->DigitalZoom(0, 0, 0, 0);
    player.Feed({packets[3]}, 1920, 1080, 22, 3);
    ASSERT_TRUE(player.screen.WaitForPictures(4));
    const std::vector<Picture> pictures = player.screen.Pictures();
    EXPECT_EQ(pictures[0].width, 640);
    EXPECT_EQ(pictures[1].width, 1280);
    EXPECT_EQ(pictures[1].height, 960);
    EXPECT_EQ(pictures[2].width, 1920);  // 2560 x 1920 is more than the stream has
    EXPECT_EQ(pictures[2].height, 1088);
    EXPECT_EQ(pictures[3].width, 640);
    EXPECT_EQ(pictures[3].height, 480);
    for (const Picture &p : pictures)
        EXPECT_TRUE(ShowsQuadrants(p));
    EXPECT_EQ(log.With("QXSetOutput"),
              Strings({SizeLine(640, 480), SizeLine(1280, 960), SizeLine(1920, 1088),
                       SizeLine(640, 480)}));
}

TEST(QxvideoDecodePath, DisplayModeOneDecodesAtTheStreamsSizeAndTwoDrawsWithGdi)
{
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    {
        LogLines log;
        Player native(100, 50, 22, 0, 1);
        native.Feed({packets.begin(), packets.begin() + 2}, 320, 240, 22);
        ASSERT_TRUE(native.screen.WaitForPictures(2));
        EXPECT_EQ(native.screen.Pictures()[1].width, 320);
        EXPECT_EQ(native.screen.Pictures()[1].height, 240);
        EXPECT_TRUE(log.With("Window size change").empty());
        EXPECT_EQ(native.screen.Modes(), std::vector<int>({1}));
    }
    {
        Player gdi(100, 50, 22, 0, 2);
        gdi.Feed({packets.begin(), packets.begin() + 2}, 320, 240, 22);
        ASSERT_TRUE(gdi.screen.WaitForPictures(2));
        EXPECT_EQ(gdi.screen.Pictures()[1].width, 112);
        EXPECT_EQ(gdi.screen.Modes(), std::vector<int>({0}));
    }
    {
        // Switched while playing: applied before the next picture.
        Player player(100, 50, 22);
        player.Feed({packets[0]}, 320, 240, 22);
        player.decoder->SetDisplayMode(1);
        player.Feed({packets[1]}, 320, 240, 22, 1);
        player.decoder->SetDisplayMode(2);
        player.Feed({packets[2]}, 320, 240, 22, 2);
        ASSERT_TRUE(player.screen.WaitForPictures(3));
        std::vector<Picture> pictures = player.screen.Pictures();
        EXPECT_EQ(pictures[0].width, 112);
        EXPECT_EQ(pictures[1].width, 320);
        // Back from mode 1 with the window unchanged: still the stream's size.
        EXPECT_EQ(pictures[2].width, 320);
        EXPECT_EQ(player.screen.Modes(), std::vector<int>({1, 0}));
        // Until the window changes.
        player.window.Resize(160, 120);
        player.Feed({packets[3]}, 320, 240, 22, 3);
        ASSERT_TRUE(player.screen.WaitForPictures(4));
        EXPECT_EQ(player.screen.Pictures()[3].width, 160);
        EXPECT_EQ(player.screen.Pictures()[3].height, 128);
    }
}

TEST(QxvideoDecodePath, AWindowOutOfRangeLeavesTheOutputAndIsLoggedForEveryPicture)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    Player player(20, 300, 22);
    EXPECT_EQ(player.Feed({packets.begin(), packets.begin() + 4}, 320, 240, 22), 4);
    ASSERT_TRUE(player.screen.WaitForPictures(4));
    EXPECT_EQ(player.screen.Pictures()[3].width, 320);  // the library's own size
    // Once at the open, then once per picture.
    EXPECT_EQ(log.Count("Get window size error: width 20 height 300"), 5u);
    EXPECT_TRUE(log.With("QXSetOutput").empty());
}

// The size rules at their edges, where the pictures above cannot reach
// cheaply: the window range's bounds on either side, and a zoom that
// overshoots the stream in one direction only.
TEST(QxvideoDecodePath, OutputSizeRulesAtTheirEdges)
{
    const struct {
        LONG width, height;
        bool followed;
    } windows[] = {{32, 8, true},       {31, 8, false},     {32, 7, false},
                   {2048, 1536, true},  {2049, 1536, false}, {2048, 1537, false}};
    for (const auto &row : windows)
        EXPECT_EQ(WindowSizeFollowed(row.width, row.height), row.followed)
            << row.width << "x" << row.height;

    const LONG payload = 0x300000 - 24;
    const struct {
        LONG windowWidth, windowHeight, zoom, nativeWidth, nativeHeight, width, height;
    } zooms[] = {
        {640, 480, 50, 1920, 1080, 1280, 960},
        {640, 480, 40, 1920, 1080, 1920, 1080},  // 1600 wide fits, 1200 high does not
        {640, 480, 100, 640, 480, 640, 480},
    };
    for (const auto &row : zooms) {
        const OutputSize out = ZoomedOutput(row.windowWidth, row.windowHeight, row.zoom,
                                            row.nativeWidth, row.nativeHeight);
        EXPECT_EQ(out.width, row.width) << row.zoom;
        EXPECT_EQ(out.height, row.height) << row.zoom;
    }

    const struct {
        LONG width, height, outWidth, outHeight;
    } outputs[] = {
        {100, 50, 112, 64}, {1920, 1080, 1920, 1088}, {2048, 1536, 1664, 1248},
        {3840, 2160, 1920, 1088}, {0, 0, 16, 16},
    };
    for (const auto &row : outputs) {
        const OutputSize out = OutputForSize(row.width, row.height, payload);
        EXPECT_EQ(out.width, row.outWidth) << row.width << "x" << row.height;
        EXPECT_EQ(out.height, row.outHeight) << row.width << "x" << row.height;
    }
    EXPECT_EQ(NativeOutput(1920, 1080, payload).width, 0);  // fits: the stream's own size
    EXPECT_EQ(NativeOutput(0, 0, payload).width, 0);        // not known yet
    EXPECT_EQ(NativeOutput(2560, 1440, payload).width, 1920);
}

TEST(QxvideoDecodePath, AnOutputLargerThanABufferShrinksToTheLargestThatFits)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 1920, 1080, 6);
    Player player(2048, 1536, 22);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(player.decoder->InsertBuf(packets[k].data(), LONG(packets[k].size()), 1920, 1080,
                                            22, 0, 0, 0),
                  0);
    ASSERT_TRUE(player.screen.WaitForPictures(3));
    // 4:3 kept, whole macroblocks, 3,115,008 bytes.
    EXPECT_EQ(player.screen.Pictures()[2].width, 1664);
    EXPECT_EQ(player.screen.Pictures()[2].height, 1248);
    EXPECT_TRUE(ShowsQuadrants(player.screen.Pictures()[2]));
    EXPECT_EQ(log.With("QXSetOutput"),
              Strings({"QXSetOutput 2048x1536 exceeds the buffer payload of 3145704 bytes, using 1664x1248",
                       SizeLine(1664, 1248)}));
    EXPECT_TRUE(log.With("QxvideoDecoder::InsertBuffers").empty());

    // The largest window size that fits plays as it is.
    player.window.Resize(1920, 1080);
    EXPECT_EQ(player.decoder->InsertBuf(packets[3].data(), LONG(packets[3].size()), 1920, 1080, 22,
                                        10, 120, 0),
              0);
    ASSERT_TRUE(player.screen.WaitForPictures(4));
    EXPECT_EQ(player.screen.Pictures()[3].height, 1088);

    // The stream's own size in display mode 1, for a sensor above 2 MP.
    const std::vector<media::Bytes> large = QuadrantPackets("h264", 2560, 1440, 3);
    Player native(640, 480, 22, 0, 1);
    EXPECT_EQ(native.Feed(large, 2560, 1440, 22), 3);
    ASSERT_TRUE(native.screen.WaitForPictures(3));
    EXPECT_EQ(native.screen.Pictures()[0].width, 1920);
    EXPECT_EQ(native.screen.Pictures()[0].height, 1088);
    EXPECT_TRUE(ShowsQuadrants(native.screen.Pictures()[2]));
    EXPECT_EQ(log.Count("QXSetOutput 2560x1440 exceeds the buffer payload of 3145704 bytes, using 1920x1088"), 1u);
}

TEST(QxvideoDecodePath, OnlyANewStreamTypeReopensAndTakesThePacketsSize)
{
    LogLines log;
    const std::vector<media::Bytes> small = QuadrantPackets("h264", 320, 240);
    const std::vector<media::Bytes> other = QuadrantPackets("mpeg4", 352, 288);
    Player player(320, 240, 22);
    player.Feed({small.begin(), small.begin() + 2}, 320, 240, 22);
    player.Feed({small.begin() + 2, small.begin() + 4}, 640, 480, 22, 2);  // same type, other size
    EXPECT_EQ(log.With("QXOpenDecoder").size(), 1u);
    EXPECT_EQ(player.decoder->videoWidth, 320);

    player.Feed({other.begin(), other.begin() + 2}, 352, 288, 2, 4);
    const Strings opens = log.With("QXOpenDecoder");
    ASSERT_EQ(opens.size(), 2u);
    const std::string reopened = "QXOpenDecoder return 0 VideoCode 13 width 352 height 288 ";
    EXPECT_EQ(opens[1].substr(0, reopened.size()), reopened);
    LONG width = 0, height = 0;
    player.decoder->GetImagePara(&width, &height);
    EXPECT_EQ(width, 352);
    EXPECT_EQ(height, 288);
    ASSERT_TRUE(player.screen.WaitForPictures(6));
    EXPECT_TRUE(ShowsQuadrants(player.screen.Pictures()[5]));

    // A stop forgets the run: the next packet opens again.
    player.decoder->Stop();
    player.decoder->Start();
    player.Feed({other[0]}, 352, 288, 2, 6);
    EXPECT_EQ(log.With("QXOpenDecoder").size(), 3u);
}

TEST(QxvideoDecodePath, GarbagePacketsAreLoggedAndSkipped)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    Player player(320, 240, 22);
    std::mt19937 random(7);
    int failed = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        media::Bytes junk(50 + random() % 400);
        for (uint8_t &b : junk)
            b = uint8_t(random());
        failed += player.decoder->InsertBuf(junk.data(), LONG(junk.size()), 320, 240, 22, 0, 0, 0);
        EXPECT_EQ(player.decoder->InsertBuf(packets[i].data(), LONG(packets[i].size()), 320, 240, 22,
                                            0, 0, 0),
                  0);
    }
    EXPECT_EQ(failed, int(packets.size()));
    size_t logged = 0;
    for (const std::string &line : log.With("QXDecodeVideoFrame fail with -"))
        logged += line.size() > 0;
    EXPECT_EQ(logged, packets.size());
    ASSERT_TRUE(player.screen.WaitForPictures(packets.size()));
    EXPECT_TRUE(ShowsQuadrants(player.screen.Pictures().back()));
}

TEST(QxvideoDecodePath, AStoppedPoolDropsNewPicturesAndKeepsTheQueuedOnes)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    Player player(320, 240, 22);
    player.decoder->SetSpeed(1);  // quarter speed: 160 ms a picture, so that the queue fills
    player.Feed({packets.begin(), packets.begin() + 6}, 320, 240, 22, 0, true);
    player.decoder->Stop();
    CBufferManager *pool = player.decoder->bufferManager;
    const int queued = CountOf(pool, pool->fullList);
    EXPECT_GE(queued, 2);

    // A stopped pool gives no buffer: the picture is dropped, and that is no failure.
    EXPECT_EQ(player.decoder->InsertBuf(packets[0].data(), LONG(packets[0].size()), 320, 240, 22, 20,
                                        0, 0),
              0);
    EXPECT_EQ(log.Count("QxvideoDecoder::InsertBuffers no empty buffer now!"), 1u);
    EXPECT_EQ(CountOf(pool, pool->fullList), queued);

    // The renderer takes the queued pictures after the restart (whether it
    // still shows them is its pacing's affair).
    player.decoder->Start();
    for (int i = 0; i < 500 && (CountOf(pool, pool->fullList) > 0 || CountOf(pool, pool->emptyList) < 8); ++i)
        Sleep(10);
    EXPECT_EQ(CountOf(pool, pool->fullList), 0);
    EXPECT_EQ(CountOf(pool, pool->emptyList), 8);
}

struct SoundCase {
    const char *name;
    LONG type;
    LONG deviceCode;
    bool decParamDefaults;  // SetDecParam(0, ...) before the open
    std::string file;
    size_t packetBytes;     // 20 ms of coded sound
    int rate, bits;         // of the PCM played
    int tone;
};

TEST(QxvideoDecodePath, SoundOfEveryAudioCodecReachesTheWaveDevice)
{
    const std::string mulaw = media::Make("tone-440.ulaw", media::ToneSource(440, 8000, 1) + " -c:a pcm_mulaw -f mulaw");
    const std::string alaw = media::Make("tone-440.alaw", media::ToneSource(440, 8000, 1) + " -c:a pcm_alaw -f alaw");
    const std::string g726 = media::Make("tone-440-32k.g726", media::ToneSource(440, 8000, 1) + " -c:a g726 -b:a 32k -f g726");
    const std::string g722 = media::Make("tone-1000.g722", media::ToneSource(1000, 16000, 1) + " -c:a g722 -f g722");
    const SoundCase cases[] = {
        {"mu-law", 96, 0, false, mulaw, 160, 8000, 8, 440},
        {"A-law", 9, 0, false, alaw, 160, 8000, 16, 440},
        {"G.726", 22, 103, true, g726, 80, 8000, 16, 440},
        {"G.722", 17, 0, false, g722, 160, 16000, 16, 1000},
    };
    const std::vector<media::Bytes> h264 = QuadrantPackets("h264", 320, 240);
    const std::vector<media::Bytes> mpeg4 = QuadrantPackets("mpeg4", 352, 288);
    for (const SoundCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.file.empty());
        const std::string wav = media::Dir() + "/stddec-" + c.name + ".wav";
        std::remove(wav.c_str());
        setenv("KOVA_WAVE_OUT", ("file:" + wav).c_str(), 1);
        {
            LogLines log;
            Player player(320, 240, c.type, c.deviceCode);
            player.decoder->SetSpeed(3);
            if (c.decParamDefaults)
                player.decoder->SetDecParam(0, 0, 0, 0, 0, 0, 0);
            player.decoder->StartAudio();
            if (c.type == 96)
                player.Feed({mpeg4[0]}, 352, 288, c.type);
            else
                player.Feed({h264[0]}, 320, 240, c.type);
            const std::vector<media::Bytes> sound = media::Chunks(media::ReadFile(c.file), c.packetBytes);
            EXPECT_EQ(player.FeedSound(sound, 20), int(sound.size()));
            EXPECT_TRUE(log.With("QXDecodeAudioFrame").empty());
            EXPECT_EQ(player.decoder->waveOut->bitsPerSample, c.bits);
            EXPECT_EQ(player.decoder->waveOut->samplesPerSec, DWORD(c.rate));
            // Played at the real-time rate: let the second go by.
            Sleep(1500);
        }
        unsetenv("KOVA_WAVE_OUT");
        const media::Wav played = media::ReadWav(wav);
        ASSERT_TRUE(played.valid);
        EXPECT_EQ(played.rate, c.rate);
        EXPECT_EQ(played.bits, c.bits);
        EXPECT_EQ(played.channels, 1);
        EXPECT_GE(played.Samples(), size_t(c.rate * 9 / 10));
        EXPECT_LE(played.Samples(), size_t(c.rate * 11 / 10));
        EXPECT_GT(played.Rms(), 1000.0);
        EXPECT_NEAR(played.CrossingRate(), 2.0 * c.tone, 0.1 * c.tone);
    }
}

TEST(QxvideoDecodePath, SoundOffEmptyAndEarlyPacketsTouchNothing)
{
    LogLines log;
    Player player(320, 240, 96);
    const media::Bytes sound(160, 0xFF);
    // Off: not decoded, and the wave device is not opened.
    EXPECT_EQ(player.decoder->InsertAudioBuf(sound.data(), 160, 10, 0, 0), 2);
    EXPECT_EQ(player.decoder->waveOut->deviceOpen, 0);
    player.decoder->StartAudio();
    EXPECT_EQ(player.decoder->InsertAudioBuf(sound.data(), 0, 10, 0, 0), 0);
    EXPECT_EQ(player.decoder->waveOut->deviceOpen, 0);
    // Sound never opens the library: before the first picture it fails.
    EXPECT_EQ(player.decoder->InsertAudioBuf(sound.data(), 160, 10, 0, 0), 1);
    EXPECT_EQ(log.All().back(), "QXDecodeAudioFrame fail with -2");
}

TEST(QxvideoDecodePath, DecodedSoundIsQueuedOnlyWhenItFitsAndIsNotEmpty)
{
    LogLines log;
    Window window(320, 240);
    QxvideoDecoder decoder;
    decoder.InitPlay(window.handle(), 0, 0, 96);
    // Not started: the renderer takes nothing, so the queue can be counted.
    std::vector<unsigned char> pcm(3145704 + 1, 0x80);
    EXPECT_EQ(decoder.InsertBuffers(pcm.data(), 3145704 + 1, 1, 2, 3), 1);
    EXPECT_EQ(log.All().back(), "QxvideoDecoder::InsertBuffers picture of 3145705 bytes (0x0) exceeds "
                                "the buffer payload of 3145704 bytes, dropped");
    EXPECT_EQ(decoder.InsertBuffers(pcm.data(), 0, 1, 2, 3), 1);
    EXPECT_EQ(log.All().back(), "InsertBuffers param with 0");
    EXPECT_EQ(decoder.InsertBuffers(nullptr, 100, 1, 2, 3), 1);
    EXPECT_EQ(decoder.bufferManager->fullList.count, 0);

    // Sound likewise; an empty block is not queued, since it would pass for a picture.
    EXPECT_EQ(decoder.InsertAudioBuffers(pcm.data(), 3145704 + 1, 1, 2, 3), 1);
    EXPECT_EQ(log.All().back(), "QxvideoDecoder::InsertAudioBuf sound of 3145705 bytes exceeds "
                                "the buffer payload of 3145704 bytes, dropped");
    EXPECT_EQ(decoder.InsertAudioBuffers(pcm.data(), 0, 1, 2, 3), 0);
    EXPECT_EQ(decoder.InsertAudioBuffers(nullptr, 10, 1, 2, 3), 1);
    EXPECT_EQ(decoder.bufferManager->fullList.count, 0);
    EXPECT_EQ(decoder.InsertAudioBuffers(pcm.data(), 320, 4, 5, 6), 0);
    ASSERT_EQ(decoder.bufferManager->fullList.count, 1);
    unsigned char *sound = decoder.bufferManager->GetFullBuffer();
    EXPECT_EQ(reinterpret_cast<const FrameEntry *>(sound)->audioLength, 320);
    decoder.bufferManager->PutEmptyBuffer(sound);

    // A picture that fits exactly is queued whole.
    EXPECT_EQ(decoder.InsertBuffers(pcm.data(), 3145704, 11, 22, 33), 0);
    ASSERT_EQ(decoder.bufferManager->fullList.count, 1);
    unsigned char *buffer = decoder.bufferManager->GetFullBuffer();
    const FrameEntry *entry = reinterpret_cast<const FrameEntry *>(buffer);
    EXPECT_EQ(entry->seconds, 11);
    EXPECT_EQ(entry->milliseconds, 22);
    EXPECT_EQ(entry->segmentId, 33);
    EXPECT_EQ(entry->audioLength, 0);
    decoder.bufferManager->PutEmptyBuffer(buffer);
    decoder.ShutDown();
}

TEST(QxvideoDecodePath, ReorderedPicturesLeaveInOrderWithTheirOwnStamps)
{
    // Decoders that hold pictures back (B-frames) take packets without
    // handing out a picture at first; each picture must carry its own stamp,
    // not that of the packet whose decode released it.
    struct Case { const char *name, *codecArgs; LONG type; } cases[] = {
        {"reordered-h264.ts", "-c:v libx264 -profile:v high -preset veryfast -x264-params bframes=3", 22},
        {"reordered-mpeg4.ts", "-c:v mpeg4 -bf 2 -q:v 3", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LogLines log;
        const std::vector<media::StampedPacket> packets =
            media::StampedVideoPackets(media::MakeCameraStream(c.name, 320, 240, 25, 9, c.codecArgs));
        // At most 8 pictures, so that the pool's 8 buffers hold them all.
        ASSERT_EQ(packets.size(), 9u);
        Window window(320, 240);
        QxvideoDecoder decoder;
        decoder.InitPlay(window.handle(), 0, 0, c.type);
        // Not started: the renderer takes nothing, so the queue can be read.
        for (const media::StampedPacket &p : packets) {
            const int64_t ms = 20000 + p.ms;
            EXPECT_EQ(decoder.InsertBuf(p.data.data(), LONG(p.data.size()), 320, 240, c.type,
                                        LONG(ms / 1000), LONG(ms % 1000), 7),
                      0);
        }
        EXPECT_TRUE(log.With("QXDecodeVideoFrame fail").empty());
        CBufferManager *pool = decoder.bufferManager;
        const int32_t queued = CountOf(pool, pool->fullList);
        EXPECT_GE(queued, 7);  // all but those the decoder still holds
        for (int32_t k = 0; k < queued; ++k) {
            unsigned char *buffer = pool->GetFullBuffer();
            const FrameEntry *entry = reinterpret_cast<const FrameEntry *>(buffer);
            EXPECT_EQ(entry->seconds * 1000 + entry->milliseconds, 20000 + 40 * k) << "picture " << k;
            EXPECT_EQ(entry->segmentId, 7);
            pool->PutEmptyBuffer(buffer);
        }
        decoder.ShutDown();
    }
}

TEST(QxvideoDecodePath, TheFieldBlendIsOffUntilAskedForAndBlendsEveryPlane)
{
    const uint8_t column[4] = {0, 100, 0, 100};
    uint8_t blended[4] = {};
    BlendFields(column, blended, 1, 4);
    EXPECT_EQ(std::vector<uint8_t>(blended, blended + 4), std::vector<uint8_t>({25, 50, 50, 75}));

    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    Window window(320, 240);
    QxvideoDecoder decoder;
    decoder.InitPlay(window.handle(), 0, 0, 22);
    // Not started: each picture can be read from the queue. The fifth
    // argument is the spare value: 1 on, 2 off, anything else unchanged.
    const LONG fieldBlend[4] = {0, 1, 0, 2};
    const bool expectBlended[4] = {false, true, true, false};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        decoder.SetDecParam(2, 8000, 1, 0, 16, fieldBlend[k], 0);
        ASSERT_EQ(decoder.InsertBuf(packets[k].data(), LONG(packets[k].size()), 320, 240, 22, 0, 0, 0), 0);
        const unsigned char *picture = decoder.decoder->QXGetVideoFrame();
        const Yuv420Planes planes(320, 240);
        ASSERT_EQ(uint64_t(decoder.decoder->QXGetVideoFrameSize()), planes.totalBytes);
        std::vector<uint8_t> want(picture, picture + planes.totalBytes);
        if (expectBlended[k]) {
            BlendFields(picture, want.data(), 320, 240);
            BlendFields(picture + planes.uOffset, want.data() + planes.uOffset, 160, 120);
            BlendFields(picture + planes.vOffset, want.data() + planes.vOffset, 160, 120);
        }
        unsigned char *buffer = decoder.bufferManager->GetFullBuffer();
        ASSERT_NE(buffer, nullptr);
        const unsigned char *queued = reinterpret_cast<const FrameEntry *>(buffer)->Payload();
        EXPECT_TRUE(std::equal(want.begin(), want.end(), queued));
        decoder.bufferManager->PutEmptyBuffer(buffer);
    }
    decoder.ShutDown();
}

TEST(QxvideoDecodePath, FramedPacketsAreUnwrappedByTheConverter)
{
    LogLines log;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    Player player(320, 240, 22, SOLVANE_DEVICE_FRAMED);
    auto frame = [](const media::Bytes &payload, uint8_t kind) {
        media::Bytes unit = {SOLVANE_SYNC0, SOLVANE_SYNC1, kind, 0};
        const uint32_t n = uint32_t(payload.size());
        for (int i = 0; i < 4; ++i)
            unit.push_back(uint8_t(n >> (8 * i)));
        unit.insert(unit.end(), payload.begin(), payload.end());
        return unit;
    };
    std::vector<media::Bytes> framed;
    for (const media::Bytes &p : packets)
        framed.push_back(frame(p, SOLVANE_KIND_VIDEO));
    EXPECT_EQ(player.Feed(framed, 320, 240, 22), int(packets.size()));
    ASSERT_TRUE(player.screen.WaitForPictures(packets.size()));
    EXPECT_TRUE(ShowsQuadrants(player.screen.Pictures().back()));

    // Unframed data is refused by the converter.
    EXPECT_EQ(player.decoder->InsertBuf(packets[0].data(), LONG(packets[0].size()), 320, 240, 22, 11,
                                        0, 0),
              1);
    EXPECT_EQ(log.All().back(), "QXDecodeVideoFrame fail with -1");
    player.decoder->StartAudio();
    const media::Bytes sound(160, 0xFF);
    EXPECT_EQ(player.decoder->InsertAudioBuf(sound.data(), 160, 11, 0, 0), 1);
    EXPECT_EQ(log.All().back(), "QXDecodeAudioFrame fail with -1");
}

}  // namespace

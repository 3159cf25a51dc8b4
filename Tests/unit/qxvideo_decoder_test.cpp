// The standard-stream decoder's object: construction and teardown, the
// lifecycle, the codec and sound settings each open uses, and the controls.
#include "qxvideo_harness.h"

#include <kova_control.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "stdstream/CreateStandardDecoder.h"
#include "render/VideoRenderer.h"
#include "pool/CBufferManager.h"
#include "stdstream/CWaveOut.h"
#include "pool/JobThread.h"

using namespace qxtest;

namespace {

using Strings = std::vector<std::string>;

std::string OpenLine(int result, int video, int width, int height, int audio, int rate,
                     int channels, int bitrate)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "QXOpenDecoder return %d VideoCode %d width %d height %d videoformat 0, "
                  "AudioCode %d sample_rate %d channels %d audio_bitrate %d.",
                  result, video, width, height, audio, rate, channels, bitrate);
    return text;
}

void *NoBuffer(size_t) { return nullptr; }

/* Hands a message to the log callback the way the decoding library does. */
void LibraryMessage(int level, const char *text, ...)
{
    va_list args;
    va_start(args, text);
    QxvideoDecoder::FFmpegLogCallback(nullptr, level, text, args);
    va_end(args);
}

const media::Bytes kGarbage(64, 0x11);

TEST(QxvideoDecoder, ConstructionBuildsThePoolTheOutputsAndAnIdlePresentationThread)
{
    QxvideoDecoder decoder;
    EXPECT_EQ(decoder.state, Closed);
    EXPECT_EQ(decoder.zoomPercent, -1);
    EXPECT_TRUE(decoder.audioFormatPending);
    EXPECT_FALSE(decoder.audioOn);
    EXPECT_EQ(decoder.decoder, nullptr);
    EXPECT_EQ(decoder.currentStreamType, 0);
    EXPECT_EQ(decoder.displayMode, 0);

    ASSERT_NE(decoder.bufferManager, nullptr);
    EXPECT_EQ(decoder.bufferManager->bufferCount, 8);
    EXPECT_EQ(decoder.bufferManager->bufferSize, 0x300000);
    EXPECT_EQ(decoder.bufferManager->emptyList.count, 8);
    EXPECT_TRUE(decoder.bufferManager->running);

    ASSERT_NE(decoder.waveOut, nullptr);
    EXPECT_EQ(decoder.waveOut->deviceOpen, 0);
    EXPECT_EQ(decoder.waveOut->channels, 1);
    EXPECT_EQ(decoder.waveOut->samplesPerSec, 8000u);
    EXPECT_EQ(decoder.waveOut->bitsPerSample, 16);

    ASSERT_NE(decoder.renderer, nullptr);
    EXPECT_EQ(decoder.renderer->State(), RendererIdle);
    ASSERT_NE(decoder.jobThread, nullptr);
    ASSERT_NE(decoder.jobThread->thread, nullptr);
    EXPECT_EQ(*decoder.jobThread->handleCell, decoder.jobThread->thread);
    EXPECT_EQ(decoder.jobThread->job, decoder.renderer);
    EXPECT_EQ(WaitForSingleObject(decoder.jobThread->thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(QxvideoDecoder, APoolThatCannotBeAllocatedFailsTheCreationWithOneLogLine)
{
    LogLines log;
    auto saved = CBufferManager::allocateBuffer;
    CBufferManager::allocateBuffer = NoBuffer;
    try {
        QxvideoDecoder decoder;
        ADD_FAILURE() << "construction succeeded without buffers";
    } catch (const std::exception &error) {
        EXPECT_STREQ(error.what(), "Memory allocation failure!");
    }
    EXPECT_EQ(kova::CreateStandardDecoder(), nullptr);
    CBufferManager::allocateBuffer = saved;
    EXPECT_EQ(log.All(), Strings(2, "QxvideoDecoder::QxvideoDecoder new CBufferManager Memory "
                                    "allocation failure!"));
}

TEST(QxvideoDecoder, WithoutAPresentationThreadTheDecoderStillPlaysAndTearsDown)
{
    KovaControl_FailCall("CreateThread", 0, ERROR_NOT_ENOUGH_MEMORY, 1);
    {
        QxvideoDecoder decoder;
        KovaControl_ClearFaults();
        ASSERT_NE(decoder.jobThread, nullptr);
        EXPECT_EQ(decoder.jobThread->thread, nullptr);
        Window window(320, 240);
        EXPECT_EQ(decoder.InitPlay(window.handle(), 0, 0, 22), 0);
        EXPECT_EQ(decoder.Start(), 0);
        EXPECT_EQ(decoder.Stop(), 0);
        EXPECT_EQ(decoder.ShutDown(), 0);
    }
    KovaControl_ClearFaults();
}

TEST(QxvideoDecoder, InitPlayBindsTheWindowAndOpensNothing)
{
    LogLines log;
    Screen screen;
    Window window(320, 240);
    QxvideoDecoder decoder(screen.Factory());
    EXPECT_EQ(decoder.InitPlay(window.handle(), 704, 576, 96), 0);
    EXPECT_EQ(decoder.state, Opened);
    EXPECT_NE(decoder.decoder, nullptr);
    EXPECT_EQ(decoder.window, window.handle());
    EXPECT_EQ(screen.Modes(), std::vector<int>({1}));  // a DirectDraw output
    EXPECT_TRUE(log.All().empty());
    decoder.ShutDown();

    Screen gdi;
    QxvideoDecoder drawnWithGdi(gdi.Factory());
    drawnWithGdi.SetDisplayMode(2);
    drawnWithGdi.InitPlay(window.handle(), 0, 0, 96);
    EXPECT_EQ(gdi.Modes(), std::vector<int>({0}));
    drawnWithGdi.ShutDown();
}

TEST(QxvideoDecoder, StartStopAndShutDownMoveThroughTheStates)
{
    Window window(320, 240);
    QxvideoDecoder decoder;
    // Nothing to start or stop before a window is bound.
    EXPECT_EQ(decoder.Start(), 1);
    EXPECT_EQ(decoder.Stop(), 1);
    EXPECT_EQ(decoder.state, Closed);

    decoder.InitPlay(window.handle(), 0, 0, 22);
    EXPECT_EQ(decoder.Start(), 0);
    EXPECT_EQ(decoder.state, Playing);
    EXPECT_TRUE(decoder.bufferManager->running);
    EXPECT_EQ(decoder.renderer->State(), RendererRunning);

    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(decoder.InsertBuf(packets[0].data(), LONG(packets[0].size()), 320, 240, 22, 10, 0, 0), 0);
    decoder.DigitalZoom(0, 0, 50, 50);
    decoder.SetDisplayMode(2);
    decoder.SetDisplayMode(0);
    EXPECT_EQ(decoder.currentStreamType, 22);
    EXPECT_EQ(decoder.lastWindowWidth, 320);
    EXPECT_TRUE(decoder.displayModeChanged);
    decoder.audioFormatPending = false;

    EXPECT_EQ(decoder.Stop(), 0);
    EXPECT_EQ(decoder.state, Stopped);
    EXPECT_EQ(decoder.currentStreamType, 0);
    EXPECT_TRUE(decoder.audioFormatPending);
    EXPECT_EQ(decoder.zoomPercent, -1);
    EXPECT_FALSE(decoder.displayModeChanged);
    EXPECT_EQ(decoder.lastWindowWidth, 0);
    EXPECT_EQ(decoder.lastWindowHeight, 0);
    EXPECT_FALSE(decoder.bufferManager->running);
    EXPECT_EQ(decoder.renderer->State(), RendererIdle);

    EXPECT_EQ(decoder.Start(), 0);
    EXPECT_EQ(decoder.ShutDown(), 0);
    EXPECT_EQ(decoder.state, Closed);
    EXPECT_EQ(decoder.decoder, nullptr);
    EXPECT_EQ(decoder.ShutDown(), 0);
    // A new window binding makes a new library object.
    EXPECT_EQ(decoder.InitPlay(window.handle(), 0, 0, 22), 0);
    EXPECT_NE(decoder.decoder, nullptr);
    decoder.ShutDown();
}

TEST(QxvideoDecoder, EachOpenUsesTheCodecsAndSoundOfItsStreamType)
{
    LogLines log;
    Window window(320, 240);
    QxvideoDecoder decoder;
    decoder.InitPlay(window.handle(), 0, 0, 2);
    decoder.Start();
    // A packet of each type in turn reopens the library; garbage is enough.
    const LONG types[] = {2, 9, 22, 5, 96, 100, 17, 104, 192, 97, 103, 108, 98};
    for (LONG type : types)
        decoder.InsertBuf(kGarbage.data(), LONG(kGarbage.size()), 352, 288, type, 0, 0, 0);
    const Strings opens = log.With("QXOpenDecoder");
    const Strings expected = {
        // No sound yet, and type 2 lists none: the (empty) parameters stay.
        OpenLine(0, 13, 352, 288, 0, 0, 0, 0),
        OpenLine(0, 28, 352, 288, 0x10007, 8000, 1, 128000),
        // Types without a sound codec of their own keep the current one.
        OpenLine(0, 28, 352, 288, 0x10007, 8000, 1, 128000),
        OpenLine(0, 28, 352, 288, 0x10007, 8000, 1, 128000),
        OpenLine(0, 13, 352, 288, 0x10006, 8000, 1, 64000),
        // Same codec as now: kept, although type 100 implies no sound.
        OpenLine(0, 28, 352, 288, 0x10006, 8000, 1, 64000),
        OpenLine(0, 28, 352, 288, 0x990001, 16000, 1, 16000),
        OpenLine(0, 8, 352, 288, 0x10007, 8000, 1, 128000),
        OpenLine(0, 8, 352, 288, 0x10007, 8000, 1, 128000),
        OpenLine(0, 28, 352, 288, 0x10006, 8000, 1, 128000),
        OpenLine(0, 28, 352, 288, 0x990001, 16000, 1, 16000),
        OpenLine(0, 28, 352, 288, 0x10006, 8000, 1, 64000),
        OpenLine(0, 28, 352, 288, 0x10006, 8000, 1, 64000),
    };
    EXPECT_EQ(opens, expected);
    decoder.ShutDown();
}

TEST(QxvideoDecoder, ANewCodecWithoutParametersTakesTheTypesDerivedOnes)
{
    Window window(320, 240);
    QxvideoDecoder decoder;
    decoder.InitPlay(window.handle(), 0, 0, 100);
    decoder.audioFormatPending = false;
    decoder.ApplyStreamSettings(100);  // lists mu-law, but implies no sound at all
    EXPECT_EQ(decoder.audioCodec, 0);
    EXPECT_EQ(decoder.sampleRate, 0);
    EXPECT_EQ(decoder.audioBitrate, 0);
    EXPECT_TRUE(decoder.audioFormatPending);
    EXPECT_EQ(decoder.videoCodec, 28);

    // Parameters set by the client survive an open with the same codec...
    decoder.SetDecParam(2, 8000, 1, 0, 16, 0, 0);
    decoder.audioFormatPending = false;
    decoder.ApplyStreamSettings(96);
    EXPECT_EQ(decoder.audioCodec, 0x10006);
    EXPECT_EQ(decoder.audioBitrate, 128000);
    EXPECT_EQ(decoder.bitsPerSample, 16);
    EXPECT_FALSE(decoder.audioFormatPending);
    // ...and not one whose type lists another codec.
    decoder.ApplyStreamSettings(9);
    EXPECT_EQ(decoder.audioCodec, 0x10007);
    EXPECT_EQ(decoder.audioBitrate, 128000);
    EXPECT_TRUE(decoder.audioFormatPending);

    // Missing parameters are derived even for the same codec.
    decoder.audioParamsMissing = true;
    decoder.sampleRate = 1;
    decoder.ApplyStreamSettings(16);
    EXPECT_EQ(decoder.sampleRate, 8000);
    EXPECT_FALSE(decoder.audioParamsMissing);
    decoder.ShutDown();
}

struct DecParamCase {
    LONG deviceCode;
    LONG args[5];  // audioType, rate, channels, bitrate, bits
    LONG codec, rate, channels, bitrate, bits;
    bool missing;
};

TEST(QxvideoDecoder, SetDecParamFillsGapsFromTheDeviceAndDerivesTheBitRate)
{
    const DecParamCase cases[] = {
        {103, {0, 0, 0, 0, 0}, 0x1100B, 8000, 1, 32000, 16, false},
        {128, {2, 8000, 1, 0, 16}, 0x10007, 8000, 1, 128000, 16, false},  // mu-law means A-law here
        {112, {0, 0, 0, 0, 0}, 0x10007, 8000, 1, 128000, 16, false},
        {7, {8, 16000, 1, 0, 16}, 0x990001, 16000, 1, 0, 16, true},
        {48, {0, 8000, 1, 5, 16}, 0x990001, 16000, 1, 16000, 16, false},
        {96, {0, 0, 0, 0, 0}, 0x10006, 8000, 1, 64000, 8, false},
        {98, {8, 16000, 1, 0, 16}, 0x990001, 16000, 1, 16000, 16, false},
        {0, {17, 8000, 1, 24000, 16}, 0x1100B, 8000, 1, 24000, 16, false},
        {0, {3, 8000, 2, 999, 8}, 0x10007, 8000, 2, 128000, 8, false},
        // An unknown device keeps the client's values but the bit rate.
        {5, {0, 8000, 1, 64000, 8}, 0x10006, 8000, 1, 0, 8, true},
    };
    for (const DecParamCase &c : cases) {
        QxvideoDecoder decoder;
        decoder.deviceCode = c.deviceCode;
        EXPECT_EQ(decoder.SetDecParam(c.args[0], c.args[1], c.args[2], c.args[3], c.args[4], 0, 0), 0);
        SCOPED_TRACE("device " + std::to_string(c.deviceCode));
        EXPECT_EQ(decoder.audioCodec, c.codec);
        EXPECT_EQ(decoder.sampleRate, c.rate);
        EXPECT_EQ(decoder.channels, c.channels);
        EXPECT_EQ(decoder.audioBitrate, c.bitrate);
        EXPECT_EQ(decoder.bitsPerSample, c.bits);
        EXPECT_EQ(decoder.audioParamsMissing, c.missing);
    }
}

TEST(QxvideoDecoder, ASoundCodecTheLibraryRefusesOpensThePicturesAlone)
{
    LogLines log;
    Player player(320, 240, 22);
    // A codec the library does not know, kept because type 22 lists none.
    player.decoder->audioCodec = 0x12345;
    player.decoder->sampleRate = 8000;
    player.decoder->channels = 1;
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    EXPECT_EQ(player.Feed(packets, 320, 240, 22), int(packets.size()));
    // One line for the refused open; the open without sound is not logged.
    EXPECT_EQ(log.With("QXOpenDecoder"), Strings({OpenLine(-10100, 28, 320, 240, 0x12345, 8000, 1, 0)}));
    EXPECT_EQ(log.With("[FFmpeg]"),
              Strings({"[FFmpeg]Level: 16, Content: QXOpenDecoder: unknown audio codec %d\n"}));
    ASSERT_TRUE(player.screen.WaitForPictures(packets.size()));
    EXPECT_TRUE(ShowsQuadrants(player.screen.Pictures().back()));
    player.decoder->StartAudio();
    const media::Bytes sound(160, 0xFF);
    EXPECT_EQ(player.decoder->InsertAudioBuf(sound.data(), 160, 0, 0, 0), 1);
    EXPECT_EQ(log.All().back(), "QXDecodeAudioFrame fail with -2");
}

TEST(QxvideoDecoder, DigitalZoomTakesTheSmallerSideAndAsksTheOutput)
{
    Screen screen;
    Window window(320, 240);
    QxvideoDecoder decoder(screen.Factory());
    EXPECT_EQ(decoder.DigitalZoom(0, 0, 50, 50), 1);  // no library object yet
    EXPECT_EQ(decoder.zoomPercent, -1);
    decoder.InitPlay(window.handle(), 0, 0, 22);
    EXPECT_EQ(decoder.DigitalZoom(10, 20, 60, 50), 0);
    EXPECT_EQ(decoder.zoomPercent, 30);
    EXPECT_EQ(decoder.DigitalZoom(60, 50, 10, 20), 0);
    EXPECT_EQ(decoder.zoomPercent, 30);
    EXPECT_EQ(decoder.DigitalZoom(0, 0, 0, 0), 0);
    EXPECT_EQ(decoder.zoomPercent, 0);
    EXPECT_EQ(screen.Regions(), Strings({"1 10,20,60,50", "1 60,50,10,20", "0 0,0,0,0"}));
    decoder.ShutDown();

    // Without an output the renderer's answer is passed on.
    QxvideoDecoder noOutput([](int) -> IVideoOutput * { return nullptr; });
    noOutput.InitPlay(window.handle(), 0, 0, 22);
    EXPECT_EQ(noOutput.DigitalZoom(0, 0, 40, 40), 2);
    EXPECT_EQ(noOutput.zoomPercent, 40);
    noOutput.ShutDown();
}

TEST(QxvideoDecoder, OnlyADifferentDisplayModeCountsAsAChange)
{
    QxvideoDecoder decoder;
    EXPECT_EQ(decoder.SetDisplayMode(0), 0);
    EXPECT_FALSE(decoder.displayModeChanged);
    EXPECT_EQ(decoder.SetDisplayMode(1), 0);
    EXPECT_TRUE(decoder.displayModeChanged);
    EXPECT_EQ(decoder.displayMode, 1);
    decoder.displayModeChanged = false;
    EXPECT_EQ(decoder.SetDisplayMode(1), 0);
    EXPECT_FALSE(decoder.displayModeChanged);
}

TEST(QxvideoDecoder, SpeedSeekAndPictureSizeReachTheRenderer)
{
    QxvideoDecoder decoder;
    EXPECT_EQ(decoder.SetSpeed(77), 0);  // stored unchecked
    EXPECT_EQ(decoder.renderer->speed.load(), 77);
    EXPECT_EQ(decoder.NotifySeek(10, 0), 0);
    EXPECT_EQ(decoder.SetVideoSize(704, 576), 0);
    LONG width = 0, height = 0;
    EXPECT_EQ(decoder.GetImagePara(&width, &height), 0);
    EXPECT_EQ(width, 704);
    EXPECT_EQ(height, 576);
}

TEST(QxvideoDecoder, VolumeIsSetAndReadInPercentOfTheDevice)
{
    setenv("KOVA_WAVE_OUT", "null", 1);
    Player player(320, 240, 96);
    LONG volume = -1;
    EXPECT_EQ(player.decoder->GetAudioVolume(&volume), 0);  // sound off: 0 whatever the device
    EXPECT_EQ(volume, 0);

    const std::vector<media::Bytes> pictures = QuadrantPackets("mpeg4", 352, 288);
    player.Feed({pictures[0]}, 352, 288, 96);
    player.decoder->StartAudio();
    const media::Bytes sound(160, 0xFF);  // mu-law silence
    EXPECT_EQ(player.decoder->InsertAudioBuf(sound.data(), 160, 10, 0, 0), 0);
    EXPECT_EQ(player.decoder->waveOut->deviceOpen, 1);
    EXPECT_EQ(player.decoder->waveOut->bitsPerSample, 8);  // 64 kbit/s mu-law plays as 8 bits

    EXPECT_EQ(player.decoder->GetAudioVolume(&volume), 0);
    EXPECT_EQ(volume, 90);  // every open sets 0xE665
    EXPECT_EQ(player.decoder->SetAudioVolume(50), 0);
    EXPECT_EQ(player.decoder->GetAudioVolume(&volume), 0);
    EXPECT_EQ(volume, 50);
    EXPECT_EQ(player.decoder->SetAudioVolume(100), 0);
    EXPECT_EQ(player.decoder->GetAudioVolume(&volume), 0);
    EXPECT_EQ(volume, 100);

    // Off and on again: the device stays open and keeps its volume.
    player.decoder->ShutDownAudio();
    EXPECT_EQ(player.decoder->GetAudioVolume(&volume), 0);
    EXPECT_EQ(volume, 0);
    EXPECT_EQ(player.decoder->InsertAudioBuf(sound.data(), 160, 10, 20, 0), 2);
    player.decoder->StartAudio();
    EXPECT_EQ(player.decoder->GetAudioVolume(&volume), 0);
    EXPECT_EQ(volume, 100);

    // After a restart the first sound reopens the device at 90 %.
    player.decoder->Stop();
    player.decoder->Start();
    player.Feed({pictures[0]}, 352, 288, 96);
    EXPECT_EQ(player.decoder->InsertAudioBuf(sound.data(), 160, 10, 40, 0), 0);
    EXPECT_EQ(player.decoder->GetAudioVolume(&volume), 0);
    EXPECT_EQ(volume, 90);
    unsetenv("KOVA_WAVE_OUT");
}

TEST(QxvideoDecoder, LibraryErrorsAreLoggedWithTheirTextAsReceived)
{
    LogLines log;
    LibraryMessage(24, "warning %d\n", 5);
    LibraryMessage(32, "info\n");
    LibraryMessage(16, nullptr);
    LibraryMessage(16, "error in %s at %d\n", "slice", 3);
    LibraryMessage(8, "fatal\n");
    EXPECT_EQ(log.All(), Strings({"[FFmpeg]Level: 16, Content: error in %s at %d\n",
                                  "[FFmpeg]Level: 8, Content: fatal\n"}));
}

TEST(QxvideoDecoder, CaptureSavesTheLibrarysPicture)
{
    const std::string path = media::Dir() + "/stddec-capture.bmp";
    std::remove(path.c_str());
    QxvideoDecoder idle;
    EXPECT_EQ(idle.CaptureBmpFile(path), 1);

    Player player(320, 240, 22);
    EXPECT_EQ(player.decoder->CaptureBmpFile(path), 0);  // nothing decoded: no file, no failure
    EXPECT_TRUE(media::ReadFile(path).empty());
    const std::vector<media::Bytes> packets = QuadrantPackets("h264", 320, 240);
    player.Feed({packets[0]}, 320, 240, 22);
    EXPECT_EQ(player.decoder->CaptureBmpFile(path), 0);
    const media::Bytes file = media::ReadFile(path);
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
}

TEST(QxvideoDecoder, OperationsWithNothingToDoSucceed)
{
    QxvideoDecoder decoder;
    EXPECT_EQ(decoder.GetSoundInData(1, 2, 3, 4), 0);
    EXPECT_EQ(decoder.ChangeStreamFormat(1, 2, 3), 0);
    EXPECT_EQ(decoder.ReservedA(1), 0);
    EXPECT_EQ(decoder.UpdateBounds(), 0);
    EXPECT_EQ(decoder.ReservedB(1), 0);
    EXPECT_EQ(decoder.CheckTransition(Playing, RequestInit), 0);
    EXPECT_EQ(decoder.ReservedC(1), 0);
    EXPECT_EQ(decoder.GetDecoderKind(), 0);
    EXPECT_EQ(decoder.SetPlaySpeed(3), 0);
    EXPECT_EQ(decoder.GetTotalFrames(), 0);
    EXPECT_EQ(decoder.ReservedD(), 0);
    EXPECT_EQ(decoder.StartAudio(), 0);
    EXPECT_TRUE(decoder.audioOn);
    EXPECT_EQ(decoder.ShutDownAudio(), 0);
    EXPECT_FALSE(decoder.audioOn);
}

}  // namespace

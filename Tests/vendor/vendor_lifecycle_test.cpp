/* The life of a play port: opening, feeding, stopping, shutting down and
 * refreshing, and the lines of each failure. */
#include "VendorTest.h"

using namespace vendor_test;
using fake::Outcome;

namespace {

/* The stream header as the player must receive it. */
const std::vector<unsigned char> kHeaderBytes = {
    '4', 'H', 'K', 'H',     0xFE, 0xB3, 0xD0, 0xD6, 0x08, 0x03, 0x04, 0x20, 0, 0, 0, 0,
    0x03, 0x10, 0x01, 0x10, 0x01, 0x10, 0x10, 0x00, 0x80, 0x3E, 0, 0,       0x60, 0x01, 0x20, 0x01,
    0x11, 0x10, 0, 0,       0, 0, 0, 0,
};

using Args = std::vector<long long>;

TEST_F(VendorTest, StartsAsConstructed)
{
    EXPECT_EQ(decoder->state, Closed);
    EXPECT_EQ(decoder->streamType, 18);
    EXPECT_EQ(decoder->m_hPlayHandle, -1);
    EXPECT_FALSE(decoder->streamOpened);
    EXPECT_TRUE(decoder->normalSpeed);
    EXPECT_FALSE(decoder->audioPrimed);
    EXPECT_FALSE(decoder->soundShareRequested);
    LONG w = 0, h = 0;
    EXPECT_EQ(decoder->GetImagePara(&w, &h), 0);
    EXPECT_EQ(w, 352);
    EXPECT_EQ(h, 288);
    EXPECT_EQ(decoder->GetDecoderKind(), 6);
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(VendorTest, InitPlayTakesAPortStartsSoundInAndSetsTheOpenMode)
{
    EXPECT_EQ(decoder->InitPlay(kWindow, 704, 576, 102), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_GetPort", "TARVIK_AUDIO_StartAudioIn_b",
                                      "PlayM4_SetStreamOpenMode"}));
    EXPECT_EQ(fake::CallsOf("PlayM4_SetStreamOpenMode")[0].args, Args({kPort, 0}));
    EXPECT_EQ(decoder->m_hPlayHandle, kPort);
    EXPECT_EQ(decoder->window, kWindow);
    EXPECT_EQ(decoder->state, Opened);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(VendorTest, InitPlayLogsRefusedSoundInAndOpenModeAndGoesOn)
{
    fake::Script("TARVIK_AUDIO_StartAudioIn_b", Outcome::Fail);
    fake::Script("PlayM4_SetStreamOpenMode", Outcome::Fail);
    EXPECT_EQ(decoder->InitPlay(kWindow, 0, 0, 102), 0);
    EXPECT_EQ(decoder->state, Opened);
    EXPECT_EQ(Texts(), Strings({"Call TARVIK_AUDIO_StartAudioIn_b Fail.",
                                "Call PlayM4_SetStreamOpenMode Fail."}));
}

TEST_F(VendorTest, WithoutAPortEveryOperationLogsItsLineAndReturnsOne)
{
    fake::Script("PlayM4_GetPort", Outcome::Fail);
    EXPECT_EQ(decoder->InitPlay(kWindow, 0, 0, 102), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_GetPort"}));
    EXPECT_EQ(decoder->state, Closed);
    EXPECT_EQ(decoder->m_hPlayHandle, -1);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_GetPort Fail, m_hPlayHandle = -1."}));
    log.Clear();
    fake::ClearCalls();

    const BYTE data[4] = {1, 2, 3, 4};
    LONG volume = 55;
    EXPECT_EQ(decoder->Start(), 0);
    EXPECT_EQ(decoder->state, Playing);
    EXPECT_EQ(decoder->Stop(), 1);
    EXPECT_EQ(decoder->ShutDown(), 1);
    EXPECT_EQ(decoder->InsertBuf(data, 4, 0, 0, 102, 0, 0, 0), 1);
    EXPECT_EQ(decoder->UpdateBounds(), 1);
    EXPECT_EQ(decoder->CaptureBmpFile("/tmp/none.bmp"), 1);
    EXPECT_EQ(decoder->StartAudio(), 1);
    EXPECT_EQ(decoder->ShutDownAudio(), 1);
    EXPECT_EQ(decoder->SetAudioVolume(50), 1);
    EXPECT_EQ(decoder->DigitalZoom(10, 10, 50, 50), 1);
    EXPECT_EQ(decoder->GetTotalFrames(), 1);
    EXPECT_EQ(decoder->SetPlaySpeed(0), 1);
    /* No line and no port needed for these. */
    EXPECT_EQ(decoder->InsertAudioBuf(data, 4, 0, 0, 0), 1);
    EXPECT_EQ(decoder->GetAudioVolume(&volume), 0);
    EXPECT_EQ(volume, 55);
    EXPECT_TRUE(fake::Calls().empty());
    EXPECT_EQ(Texts(), Strings({
                           "Call Hik Stop(), m_hPlayHandle is -1.",
                           "Call Hik ShutDown(), m_hPlayHandle is -1.",
                           "Call Hik InsertBuf(), m_hPlayHandle is -1.",
                           "Call Hik UpdateBounds(), m_hPlayHandle is -1.",
                           "Call Hik CaptureBmpFile(), m_hPlayHandle is -1.",
                           "Call Hik StartAudio(), m_hPlayHandle is -1.",
                           "Call Hik ShutDownAudio(), m_hPlayHandle is -1.",
                           "Call Hik SetAudioVolume(), m_hPlayHandle is -1.",
                           "Call Hik DigitalZoom(), m_hPlayHandle is -1.",
                           "Call Hik GetTotalFrames(), m_hPlayHandle is -1.",
                           "Call HK SetPlaySpeed(), m_hPlayHandle < 0.",
                       }));

    /* A later InitPlay that gets a port brings the decoder to life. */
    log.Clear();
    EXPECT_EQ(decoder->InitPlay(kWindow, 0, 0, 102), 0);
    EXPECT_EQ(decoder->m_hPlayHandle, kPort);
    EXPECT_EQ(decoder->state, Opened);
    EXPECT_EQ(decoder->UpdateBounds(), 0);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(VendorTest, APortOfMinusOneIsNoPortEvenWhenTheCallSucceeds)
{
    fake::SetNextPort(-1);
    EXPECT_EQ(decoder->InitPlay(kWindow, 0, 0, 102), 0);
    EXPECT_EQ(decoder->state, Closed);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_GetPort"}));
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_GetPort Fail, m_hPlayHandle = -1."}));
}

TEST_F(VendorTest, TheFirstPacketOpensTheStreamWithTheHeaderAndIsNotFed)
{
    Open();
    EXPECT_EQ(decoder->state, Playing);
    EXPECT_EQ(Packet({0xAA, 0xBB}), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_OpenStream", "PlayM4_ResetSourceBuffer", "PlayM4_Play",
                                      "PlayM4_InputData"}));
    const auto calls = fake::Calls();
    EXPECT_EQ(calls[0].args, Args({kPort, 40, 512000}));
    EXPECT_EQ(calls[0].data, kHeaderBytes);
    EXPECT_EQ(calls[1].args, Args({kPort}));
    EXPECT_EQ(calls[2].args, Args({kPort, static_cast<long long>(reinterpret_cast<uintptr_t>(kWindow))}));
    EXPECT_EQ(calls[3].args, Args({kPort, 40}));
    EXPECT_EQ(calls[3].data, kHeaderBytes);
    EXPECT_TRUE(decoder->streamOpened);

    /* The second packet is fed whole, then the picture size is asked. */
    fake::ClearCalls();
    EXPECT_EQ(Packet({1, 2, 3}), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_InputData", "PlayM4_GetPictureSize"}));
    EXPECT_EQ(fake::Calls()[0].data, std::vector<unsigned char>({1, 2, 3}));
    LONG w = 0, h = 0;
    decoder->GetImagePara(&w, &h);
    EXPECT_EQ(w, 704);
    EXPECT_EQ(h, 576);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(VendorTest, ARefusedOpenDropsThePacketAndTheNextPacketTriesAgain)
{
    Open();
    fake::Script("PlayM4_OpenStream", Outcome::Fail, 1, 31);
    EXPECT_EQ(Packet({1}), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_OpenStream", "PlayM4_GetLastError"}));
    EXPECT_FALSE(decoder->streamOpened);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_OpenStream Fail.PlayM4_GetLastError code is: 31"}));
    fake::ClearCalls();
    EXPECT_EQ(Packet({2}), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_OpenStream", "PlayM4_ResetSourceBuffer", "PlayM4_Play",
                                      "PlayM4_InputData"}));
}

TEST_F(VendorTest, OpeningLogsRefusedResetAndPlayButNotTheHeaderFeed)
{
    Open();
    fake::Script("PlayM4_ResetSourceBuffer", Outcome::Fail);
    fake::Script("PlayM4_Play", Outcome::Fail);
    fake::Script("PlayM4_InputData", Outcome::Fail);
    EXPECT_EQ(Packet({1}), 0);
    EXPECT_TRUE(decoder->streamOpened);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_ResetSourceBuffer Fail.", "Call PlayM4_Play Fail."}));
}

TEST_F(VendorTest, ARefusedPacketReturnsOneAndTheStreamStaysOpen)
{
    OpenStream();
    fake::Script("PlayM4_InputData", Outcome::Fail, 1, 11);
    EXPECT_EQ(Packet({1, 2}), 1);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_InputData", "PlayM4_GetLastError"}));
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_InputData Fail. PlayM4_GetLastError error code is 11."}));
    fake::ClearCalls();
    EXPECT_EQ(Packet({3}), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_InputData", "PlayM4_GetPictureSize"}));

    // A full source buffer refuses packets in a row: one line per run, so
    // the log shows it without a line for every packet the client retries.
    fake::Script("PlayM4_InputData", Outcome::Fail, 3, PLAYM4_ERR_BUFFER_FULL);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Packet({4}), 1);
    EXPECT_EQ(Packet({5}), 0);
    fake::Script("PlayM4_InputData", Outcome::Fail, 1, PLAYM4_ERR_BUFFER_FULL);
    EXPECT_EQ(Packet({6}), 1);
    const std::string full = "Call PlayM4_InputData Fail. PlayM4_GetLastError error code is " +
                             std::to_string(PLAYM4_ERR_BUFFER_FULL) + ".";
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_InputData Fail. PlayM4_GetLastError error code is 11.", full,
                                full}));
}

TEST_F(VendorTest, ARefusedPictureSizeIsLoggedAndTheSizeKept)
{
    OpenStream();
    fake::Script("PlayM4_GetPictureSize", Outcome::Fail);
    EXPECT_EQ(Packet({1}), 0);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_GetPictureSize Fail."}));
    LONG w = 0, h = 0;
    decoder->GetImagePara(&w, &h);
    EXPECT_EQ(w, 352);
    EXPECT_EQ(h, 288);
}

TEST_F(VendorTest, ANegativeLengthNeverReachesThePlayer)
{
    OpenStream();
    const BYTE data[1] = {0};
    EXPECT_EQ(decoder->InsertBuf(data, -5, 0, 0, 102, 0, 0, 0), 1);
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(VendorTest, StopClosesTheStreamAndStartReopensItWithTheSameHeader)
{
    OpenStream();
    EXPECT_EQ(decoder->Stop(), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_Stop", "PlayM4_ResetSourceBuffer", "PlayM4_CloseStream"}));
    EXPECT_EQ(decoder->state, Stopped);
    EXPECT_TRUE(decoder->streamOpened);  // until the next Start

    EXPECT_EQ(decoder->Start(), 0);
    EXPECT_FALSE(decoder->streamOpened);
    fake::ClearCalls();
    EXPECT_EQ(Packet({9}), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_OpenStream", "PlayM4_ResetSourceBuffer", "PlayM4_Play",
                                      "PlayM4_InputData"}));
    EXPECT_EQ(fake::Calls()[0].data, kHeaderBytes);
    EXPECT_EQ(fake::Calls()[3].data, kHeaderBytes);
}

TEST_F(VendorTest, StopLogsEachRefusedCallAndStillStops)
{
    OpenStream();
    fake::Script("PlayM4_Stop", Outcome::Fail);
    fake::Script("PlayM4_ResetSourceBuffer", Outcome::Fail);
    fake::Script("PlayM4_CloseStream", Outcome::Fail);
    EXPECT_EQ(decoder->Stop(), 0);
    EXPECT_EQ(decoder->state, Stopped);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_Stop Fail.", "Call PlayM4_ResetSourceBuffer Fail.",
                                "Call PlayM4_CloseStream Fail."}));
}

TEST_F(VendorTest, ShutDownStopsSoundInAndGivesThePortBack)
{
    OpenStream();
    decoder->Stop();
    fake::ClearCalls();
    fake::Script("TARVIK_AUDIO_StopAudioIn_b", Outcome::Fail);
    fake::Script("PlayM4_FreePort", Outcome::Fail);
    EXPECT_EQ(decoder->ShutDown(), 0);
    EXPECT_EQ(fake::Names(), Strings({"TARVIK_AUDIO_StopAudioIn_b", "PlayM4_FreePort"}));
    EXPECT_EQ(fake::Calls()[1].args, Args({kPort}));
    EXPECT_EQ(decoder->m_hPlayHandle, -1);
    EXPECT_EQ(decoder->state, Closed);
    EXPECT_EQ(Texts(), Strings({"Call TARVIK_AUDIO_StopAudioIn_b Fail.", "Call PlayM4_FreePort Fail."}));
    log.Clear();
    EXPECT_EQ(decoder->ShutDown(), 1);
    EXPECT_EQ(Texts(), Strings({"Call Hik ShutDown(), m_hPlayHandle is -1."}));
}

TEST_F(VendorTest, UpdateBoundsRefreshesThePicture)
{
    Open();
    EXPECT_EQ(decoder->UpdateBounds(), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_RefreshPlay"}));
    fake::Script("PlayM4_RefreshPlay", Outcome::Fail, 1, 4000000000u);
    EXPECT_EQ(decoder->UpdateBounds(), 1);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_RefreshPlay Fail with 4000000000."}));
}

TEST_F(VendorTest, AudioWaitsForTheStreamAndItsFirstPacketAppliesTheSoundShare)
{
    Open();
    EXPECT_EQ(Audio({1, 2}), 1);  // no stream yet
    EXPECT_TRUE(fake::Calls().empty());
    Packet({0});
    fake::ClearCalls();

    EXPECT_EQ(Audio({}), 0);  // nothing to feed
    EXPECT_FALSE(decoder->audioPrimed);
    EXPECT_EQ(Audio({1, 2}), 0);  // applies the share state only
    EXPECT_TRUE(decoder->audioPrimed);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_StopSoundShare"}));
    fake::ClearCalls();
    EXPECT_EQ(Audio({3, 4, 5}), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_InputData"}));
    EXPECT_EQ(fake::Calls()[0].data, std::vector<unsigned char>({3, 4, 5}));

    fake::ClearCalls();
    fake::Script("PlayM4_InputData", Outcome::Fail, 1, 12);
    EXPECT_EQ(Packet({6}), 1);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_InputData Fail. PlayM4_GetLastError error code is 12."}));

    /* Primed once per decoder: a new stream feeds sound at once. */
    decoder->Stop();
    decoder->Start();
    Packet({0});
    fake::ClearCalls();
    EXPECT_EQ(Audio({7}), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_InputData"}));
}

TEST_F(VendorTest, SoundShareAskedBeforeTheStreamIsAppliedByTheFirstAudioPacket)
{
    Open();
    EXPECT_EQ(decoder->StartAudio(), 0);
    EXPECT_TRUE(decoder->soundShareRequested);
    Packet({0});
    fake::ClearCalls();
    EXPECT_EQ(Audio({1}), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_PlaySoundShare"}));
}

}  // namespace

/* Sound share, volume, sound-in data, zoom, played frames, speed steps and
 * the operations that do nothing. */
#include "VendorTest.h"

using namespace vendor_test;
using fake::Outcome;

namespace {

using Args = std::vector<long long>;

const long long kWindowValue = static_cast<long long>(reinterpret_cast<uintptr_t>(kWindow));

TEST_F(VendorTest, SoundShareFollowsTheLastRequestWhateverThePlayerAnswers)
{
    Open();
    EXPECT_EQ(decoder->StartAudio(), 0);
    EXPECT_EQ(decoder->ShutDownAudio(), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_PlaySoundShare", "PlayM4_StopSoundShare"}));
    EXPECT_EQ(fake::Calls()[0].args, Args({kPort}));

    fake::Script("PlayM4_PlaySoundShare", Outcome::Fail);
    EXPECT_EQ(decoder->StartAudio(), 1);
    EXPECT_TRUE(decoder->soundShareRequested);
    fake::Script("PlayM4_StopSoundShare", Outcome::Fail);
    EXPECT_EQ(decoder->ShutDownAudio(), 1);
    EXPECT_FALSE(decoder->soundShareRequested);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_PlaySoundShare Fail.", "Call PlayM4_StopSoundShare Fail."}));
}

TEST_F(VendorTest, StartAudioWithoutAPortLeavesTheRequestAlone)
{
    EXPECT_EQ(decoder->StartAudio(), 1);
    EXPECT_FALSE(decoder->soundShareRequested);
}

TEST_F(VendorTest, VolumeBecomesASixteenBitLevel)
{
    Open();
    for (LONG v : {100, 50, 1, 0})
        EXPECT_EQ(decoder->SetAudioVolume(v), 0);
    std::vector<long long> levels;
    for (const fake::Call &c : fake::CallsOf("PlayM4_SetVolume")) {
        EXPECT_EQ(c.args[0], kPort);
        levels.push_back(c.args[1]);
    }
    EXPECT_EQ(levels, Args({65535, 32767, 655, 0}));

    fake::Script("PlayM4_SetVolume", Outcome::Fail);
    EXPECT_EQ(decoder->SetAudioVolume(30), 1);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_SetVolume Fail."}));
}

TEST_F(VendorTest, VolumeBeyondTheRangeIsHeldToItsEnds)
{
    Open();
    decoder->SetAudioVolume(250);
    decoder->SetAudioVolume(-3);
    const auto calls = fake::CallsOf("PlayM4_SetVolume");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args[1], 65535);
    EXPECT_EQ(calls[1].args[1], 0);
}

TEST_F(VendorTest, GetAudioVolumeWritesNothing)
{
    Open();
    LONG volume = -77;
    EXPECT_EQ(decoder->GetAudioVolume(&volume), 0);
    EXPECT_EQ(volume, -77);
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(VendorTest, SoundInDataPassesFourValuesThroughInOrder)
{
    /* No port needed. */
    EXPECT_EQ(decoder->GetSoundInData(1, -2, 3, 0x7FFFFFFF), 0);
    ASSERT_EQ(fake::Names(), Strings({"TARVIK_AUDIO_DataFromSondIn"}));
    EXPECT_EQ(fake::Calls()[0].args, Args({1, -2, 3, 0x7FFFFFFF}));
    fake::Script("TARVIK_AUDIO_DataFromSondIn", Outcome::Fail);
    EXPECT_EQ(decoder->GetSoundInData(5, 6, 7, 8), 0);
    EXPECT_TRUE(Texts().empty());  // its result is not looked at
}

TEST_F(VendorTest, ZoomOffAsksForTheWholePictureAndAlwaysSucceeds)
{
    Open();
    EXPECT_EQ(decoder->DigitalZoom(0, 0, 0, 0), 0);
    ASSERT_EQ(fake::Names(), Strings({"PlayM4_SetDisplayRegion"}));
    EXPECT_EQ(fake::Calls()[0].args, Args({kPort, 0, kWindowValue, 1}));
    EXPECT_EQ(fake::Calls()[0].text, "null");

    fake::Script("PlayM4_SetDisplayRegion", Outcome::Fail);
    EXPECT_EQ(decoder->DigitalZoom(0, 0, 0, 0), 0);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_SetDisplayRegion Fail."}));
}

TEST_F(VendorTest, ZoomRegionIsComputedOnThePictureSizeThePlayerReports)
{
    Open();
    EXPECT_EQ(decoder->DigitalZoom(25, 25, 75, 75), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_GetPictureSize", "PlayM4_SetDisplayRegion"}));
    const fake::Call region = fake::Calls()[1];
    EXPECT_EQ(region.text, "set");
    EXPECT_EQ(region.args, Args({kPort, 0, kWindowValue, 1, 176, 144, 528, 432}));
    LONG w = 0, h = 0;
    decoder->GetImagePara(&w, &h);
    EXPECT_EQ(w, 704);
    EXPECT_EQ(h, 576);

    /* Truncating division: 33% of 704 is 232.32. */
    fake::ClearCalls();
    decoder->DigitalZoom(33, 1, 99, 100);
    EXPECT_EQ(fake::CallsOf("PlayM4_SetDisplayRegion")[0].args,
              Args({kPort, 0, kWindowValue, 1, 232, 5, 696, 576}));
}

TEST_F(VendorTest, ZoomBeforeThePlayerKnowsASizeUsesTheSizeHeld)
{
    Open();
    fake::Script("PlayM4_GetPictureSize", Outcome::Fail);
    EXPECT_EQ(decoder->DigitalZoom(50, 50, 100, 100), 0);
    EXPECT_EQ(fake::CallsOf("PlayM4_SetDisplayRegion")[0].args,
              Args({kPort, 0, kWindowValue, 1, 176, 144, 352, 288}));
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_GetPictureSize Fail."}));
}

TEST_F(VendorTest, ARefusedZoomRegionReturnsOne)
{
    Open();
    fake::Script("PlayM4_SetDisplayRegion", Outcome::Fail);
    EXPECT_EQ(decoder->DigitalZoom(10, 10, 20, 20), 1);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_SetDisplayRegion Fail."}));
}

TEST_F(VendorTest, PlayedFramesComeBackUnchanged)
{
    Open();
    fake::SetPlayedFrames(12345);
    EXPECT_EQ(decoder->GetTotalFrames(), 12345);
    fake::SetPlayedFrames(0xFFFFFFFFu);
    EXPECT_EQ(decoder->GetTotalFrames(), -1);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_GetPlayedFrames", "PlayM4_GetPlayedFrames"}));
}

TEST_F(VendorTest, SpeedSwitchesBetweenNormalAndFourStepsAbove)
{
    Open();
    EXPECT_EQ(decoder->SetPlaySpeed(1), 0);  // already normal
    EXPECT_EQ(decoder->SetPlaySpeed(2), 0);  // not a speed
    EXPECT_TRUE(fake::Calls().empty());

    EXPECT_EQ(decoder->SetPlaySpeed(0), 0);
    EXPECT_EQ(decoder->SetPlaySpeed(0), 0);  // already fast
    EXPECT_EQ(fake::Names(), Strings(4, "PlayM4_Fast"));
    EXPECT_FALSE(decoder->normalSpeed);

    fake::ClearCalls();
    EXPECT_EQ(decoder->SetPlaySpeed(2), 0);
    EXPECT_EQ(decoder->SetPlaySpeed(1), 0);
    EXPECT_EQ(fake::Names(), Strings(4, "PlayM4_Slow"));
    EXPECT_TRUE(decoder->normalSpeed);

    /* Stop, Start and ShutDown leave the speed state alone. */
    decoder->SetPlaySpeed(0);
    decoder->Stop();
    decoder->Start();
    EXPECT_FALSE(decoder->normalSpeed);
}

TEST_F(VendorTest, EveryRefusedSpeedStepIsLoggedAndAllFourAreTaken)
{
    Open();
    fake::Script("PlayM4_Fast", Outcome::Fail, 1, 21);
    fake::Script("PlayM4_Fast", Outcome::Succeed, 1);
    fake::Script("PlayM4_Fast", Outcome::Fail, 2, 22);
    EXPECT_EQ(decoder->SetPlaySpeed(0), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_Fast", "PlayM4_GetLastError", "PlayM4_Fast", "PlayM4_Fast",
                                      "PlayM4_GetLastError", "PlayM4_Fast", "PlayM4_GetLastError"}));
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_Fast Fail with 21.", "Call PlayM4_Fast Fail with 22.",
                                "Call PlayM4_Fast Fail with 22."}));
    log.Clear();
    fake::Script("PlayM4_Slow", Outcome::Fail, -1, 5);
    EXPECT_EQ(decoder->SetPlaySpeed(1), 0);
    EXPECT_EQ(fake::CallsOf("PlayM4_Slow").size(), 4u);
    EXPECT_EQ(Texts(), Strings(4, "Call PlayM4_Slow Fail with 5."));
    EXPECT_TRUE(decoder->normalSpeed);
}

TEST_F(VendorTest, TheOperationsThatDoNothingReturnZero)
{
    Open();
    EXPECT_EQ(decoder->ChangeStreamFormat(1920, 1080, 96), 0);
    EXPECT_EQ(decoder->ReservedA(1), 0);
    EXPECT_EQ(decoder->ReservedB(1), 0);
    for (LONG s = -1; s <= 4; ++s)
        for (LONG r = -1; r <= 4; ++r)
            EXPECT_EQ(decoder->CheckTransition(s, r), 0);
    EXPECT_EQ(decoder->ReservedC(1), 0);
    EXPECT_EQ(decoder->SetVideoSize(1280, 720), 0);
    EXPECT_EQ(decoder->ReservedD(), 0);
    EXPECT_EQ(decoder->SetDecParam(1, 8000, 1, 64000, 16, 0, 0), 0);
    EXPECT_EQ(decoder->NotifySeek(1, 2), 0);
    EXPECT_EQ(decoder->SetSpeed(4), 0);
    EXPECT_EQ(decoder->SetDisplayMode(1), 0);
    EXPECT_EQ(decoder->GetDecoderKind(), 6);
    LONG w = 0, h = 0;
    EXPECT_EQ(decoder->GetImagePara(&w, &h), 0);
    EXPECT_EQ(w, 352);  // SetVideoSize is not the vendor's business
    EXPECT_EQ(h, 288);
    EXPECT_TRUE(fake::Calls().empty());
    EXPECT_EQ(decoder->state, Playing);
    EXPECT_TRUE(Texts().empty());
}

}  // namespace

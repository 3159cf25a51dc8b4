/* Faults inside the libraries: each guarded call's "Throw Exception" line,
 * for C++ exceptions and for real processor faults, and what the operation
 * does next. */
#include "VendorTest.h"

#include <functional>

using namespace vendor_test;
using fake::Outcome;

namespace {

enum class Before { Nothing, Opened, Streaming, Primed };

struct FaultCase {
    const char *call;   /* the library function that faults */
    int skip;           /* calls of it that succeed first */
    Before before;
    std::function<LONG(GE_DecoderHIK &)> operation;
    LONG result;
    Strings lines;      /* "{E}" stands for the system's last error */
};

const BYTE kData[3] = {1, 2, 3};

std::vector<FaultCase> Cases()
{
    auto initPlay = [](GE_DecoderHIK &d) { return d.InitPlay(kWindow, 0, 0, 102); };
    auto packet = [](GE_DecoderHIK &d) { return d.InsertBuf(kData, 3, 0, 0, 102, 0, 0, 0); };
    auto audio = [](GE_DecoderHIK &d) { return d.InsertAudioBuf(kData, 3, 0, 0, 0); };
    auto zoom = [](GE_DecoderHIK &d) { return d.DigitalZoom(10, 10, 90, 90); };
    auto throwLine = [](const char *call) {
        return std::string("Call ") + call + " Throw Exception,LastError:{E}.";
    };
    /* The first guarded call of an operation starts from a result of 0, so
     * a fault there also reads as a failure; a fault in a later call leaves
     * the result of the call before it. */
    return {
        {"PlayM4_GetPort", 0, Before::Nothing, initPlay, 0,
         {throwLine("PlayM4_GetPort"), "Call PlayM4_GetPort Fail, m_hPlayHandle = -1."}},
        {"TARVIK_AUDIO_StartAudioIn_b", 0, Before::Nothing, initPlay, 0,
         {throwLine("TARVIK_AUDIO_StartAudioIn_b")}},
        {"PlayM4_SetStreamOpenMode", 0, Before::Nothing, initPlay, 0,
         {throwLine("PlayM4_SetStreamOpenMode")}},
        {"PlayM4_OpenStream", 0, Before::Opened, packet, 0,
         {throwLine("PlayM4_OpenStream"), "Call PlayM4_OpenStream Fail.PlayM4_GetLastError code is: 0"}},
        {"PlayM4_ResetSourceBuffer", 0, Before::Opened, packet, 0, {throwLine("PlayM4_ResetSourceBuffer")}},
        {"PlayM4_Play", 0, Before::Opened, packet, 0, {throwLine("PlayM4_Play")}},
        {"PlayM4_InputData", 0, Before::Opened, packet, 0, {throwLine("PlayM4_InputData")}},
        {"PlayM4_InputData", 0, Before::Streaming, packet, 1,
         {throwLine("PlayM4_InputData"), "Call PlayM4_InputData Fail. PlayM4_GetLastError error code is 0."}},
        {"PlayM4_GetPictureSize", 0, Before::Streaming, packet, 0, {throwLine("PlayM4_GetPictureSize")}},
        {"PlayM4_InputData", 0, Before::Primed, audio, 1,
         {throwLine("PlayM4_InputData"), "Call PlayM4_InputData Fail. PlayM4_GetLastError error code is 0."}},
        {"PlayM4_Stop", 0, Before::Streaming, [](GE_DecoderHIK &d) { return d.Stop(); }, 0,
         {throwLine("PlayM4_Stop"), "Call PlayM4_Stop Fail."}},
        {"PlayM4_ResetSourceBuffer", 0, Before::Streaming, [](GE_DecoderHIK &d) { return d.Stop(); }, 0,
         {throwLine("PlayM4_ResetSourceBuffer")}},
        {"PlayM4_CloseStream", 0, Before::Streaming, [](GE_DecoderHIK &d) { return d.Stop(); }, 0,
         {throwLine("PlayM4_CloseStream")}},
        {"TARVIK_AUDIO_StopAudioIn_b", 0, Before::Opened, [](GE_DecoderHIK &d) { return d.ShutDown(); }, 0,
         {throwLine("TARVIK_AUDIO_StopAudioIn_b"), "Call TARVIK_AUDIO_StopAudioIn_b Fail."}},
        {"PlayM4_FreePort", 0, Before::Opened, [](GE_DecoderHIK &d) { return d.ShutDown(); }, 0,
         {throwLine("PlayM4_FreePort")}},
        {"PlayM4_RefreshPlay", 0, Before::Opened, [](GE_DecoderHIK &d) { return d.UpdateBounds(); }, 1,
         {throwLine("PlayM4_RefreshPlay"), "Call PlayM4_RefreshPlay Fail with 0."}},
        {"PlayM4_PlaySoundShare", 0, Before::Opened, [](GE_DecoderHIK &d) { return d.StartAudio(); }, 1,
         {throwLine("PlayM4_PlaySoundShare"), "Call PlayM4_PlaySoundShare Fail."}},
        {"PlayM4_StopSoundShare", 0, Before::Opened, [](GE_DecoderHIK &d) { return d.ShutDownAudio(); }, 1,
         {throwLine("PlayM4_StopSoundShare"), "Call PlayM4_StopSoundShare Fail."}},
        {"PlayM4_SetVolume", 0, Before::Opened, [](GE_DecoderHIK &d) { return d.SetAudioVolume(40); }, 1,
         {throwLine("PlayM4_SetVolume"), "Call PlayM4_SetVolume Fail."}},
        {"TARVIK_AUDIO_DataFromSondIn", 0, Before::Nothing,
         [](GE_DecoderHIK &d) { return d.GetSoundInData(1, 2, 3, 4); }, 0,
         {throwLine("TARVIK_AUDIO_DataFromSondIn")}},
        {"PlayM4_SetDisplayRegion", 0, Before::Opened,
         [](GE_DecoderHIK &d) { return d.DigitalZoom(0, 0, 0, 0); }, 0,
         {throwLine("PlayM4_SetDisplayRegion"), "Call PlayM4_SetDisplayRegion Fail."}},
        {"PlayM4_GetPictureSize", 0, Before::Opened, zoom, 0,
         {throwLine("PlayM4_GetPictureSize"), "Call PlayM4_GetPictureSize Fail."}},
        /* The picture size was fine, but the region never reached the
         * player: not shown. */
        {"PlayM4_SetDisplayRegion", 0, Before::Opened, zoom, 1, {throwLine("PlayM4_SetDisplayRegion")}},
        {"PlayM4_GetPlayedFrames", 0, Before::Opened, [](GE_DecoderHIK &d) { return d.GetTotalFrames(); }, 0,
         {throwLine("PlayM4_GetPlayedFrames")}},
        {"PlayM4_Fast", 0, Before::Opened, [](GE_DecoderHIK &d) { return d.SetPlaySpeed(0); }, 0,
         {throwLine("PlayM4_Fast"), "Call PlayM4_Fast Fail with 0."}},
        {"PlayM4_Fast", 2, Before::Opened, [](GE_DecoderHIK &d) { return d.SetPlaySpeed(0); }, 0,
         {throwLine("PlayM4_Fast")}},
        {"PlayM4_Slow", 0, Before::Opened,
         [](GE_DecoderHIK &d) {
             d.normalSpeed = false;
             return d.SetPlaySpeed(1);
         },
         0, {throwLine("PlayM4_Slow"), "Call PlayM4_Slow Fail with 0."}},
    };
}

std::string WithError(std::string line, DWORD error)
{
    const auto at = line.find("{E}");
    if (at != std::string::npos)
        line.replace(at, 3, std::to_string(error));
    return line;
}

class VendorFaults : public VendorTest {
protected:
    void Prepare(Before before)
    {
        fake::Reset();
        decoder.reset(new GE_DecoderHIK);
        decoder->cameraName = kCamera;
        if (before != Before::Nothing)
            Open();
        if (before == Before::Streaming || before == Before::Primed)
            OpenStream();
        if (before == Before::Primed)
            Audio({0});
        fake::ClearCalls();
        log.Clear();
    }
};

TEST_F(VendorFaults, EveryGuardedCallSurvivesExceptionsAndProcessorFaults)
{
    DWORD error = 4000;
    for (const FaultCase &c : Cases()) {
        for (Outcome outcome : {Outcome::Throw, Outcome::NullWrite}) {
            ++error;
            SCOPED_TRACE(std::string(c.call) + " after " + std::to_string(c.skip) + " calls, " +
                         (outcome == Outcome::Throw ? "exception" : "null write"));
            Prepare(c.before);
            if (c.skip)
                fake::Script(c.call, Outcome::Succeed, c.skip);
            fake::Script(c.call, outcome, 1, error);
            EXPECT_EQ(c.operation(*decoder), c.result);
            Strings expected;
            for (const std::string &line : c.lines)
                expected.push_back(WithError(line, error));
            EXPECT_EQ(Texts(), expected);
        }
    }
}

TEST_F(VendorFaults, TheOperationGoesOnAfterAFault)
{
    Prepare(Before::Streaming);
    fake::Script("PlayM4_Stop", Outcome::NullWrite);
    EXPECT_EQ(decoder->Stop(), 0);
    EXPECT_EQ(fake::Names(), Strings({"PlayM4_Stop", "PlayM4_ResetSourceBuffer", "PlayM4_CloseStream"}));
    EXPECT_EQ(decoder->state, Stopped);

    Prepare(Before::Opened);
    fake::Script("PlayM4_Fast", Outcome::Throw, 4);
    EXPECT_EQ(decoder->SetPlaySpeed(0), 0);
    EXPECT_EQ(fake::CallsOf("PlayM4_Fast").size(), 4u);
    EXPECT_FALSE(decoder->normalSpeed);

    /* A fault in GetPort writes no port: the decoder has none. */
    Prepare(Before::Nothing);
    fake::Script("PlayM4_GetPort", Outcome::NullWrite);
    decoder->InitPlay(kWindow, 0, 0, 102);
    EXPECT_EQ(decoder->m_hPlayHandle, -1);
    EXPECT_EQ(decoder->state, Closed);
    EXPECT_EQ(decoder->InitPlay(kWindow, 0, 0, 102), 0);
    EXPECT_EQ(decoder->state, Opened);
}

}  // namespace

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedDecoder.h"
#include "facade/CPrivateVideoDecoder.h"

namespace {

using kova_test::Args;
using kova_test::Fault;
using kova_test::LogCapture;
using kova_test::ScriptedCreators;
using Strings = std::vector<std::string>;

const char kUnknownType[] = "Unknown type. Try KOVA.";
const BYTE kPacket[16] = {1, 2, 3};

HWND Window(intptr_t n)
{
    return reinterpret_cast<HWND>(n);
}

class Facade : public ::testing::Test {
protected:
    std::unique_ptr<CPrivateVideoDecoder> Make(LONG streamType, LONG deviceCode = 7)
    {
        auto facade = std::make_unique<CPrivateVideoDecoder>(deviceCode, streamType);
        creators.log->Clear();
        return facade;
    }
    /* A facade playing the given type: routed, opened and started. */
    std::unique_ptr<CPrivateVideoDecoder> MakePlaying(LONG streamType)
    {
        auto facade = Make(streamType);
        EXPECT_EQ(facade->InitPlay(Window(1), 352, 288, 0), 0);
        EXPECT_EQ(facade->Start(), 0);
        creators.log->Clear();
        return facade;
    }
    Strings Calls(const std::string &prefix = "") const { return creators.log->With(prefix); }

    ScriptedCreators creators;
    LogCapture logs;
};

TEST_F(Facade, TransitionTableAnswersEveryStateAndRequest)
{
    auto facade = Make(96);
    const LONG otherRequest = 9;
    /* rows: Closed, Opened, Playing, Stopped; columns: ShutDown, Init,
     * Start, Stop, any other. Playing x ShutDown is a stop, checked below. */
    const LONG expected[4][5] = {
        {2, 0, 2, 2, 2},
        {0, 2, 0, 2, 2},
        {-1, 2, 2, 0, 2},
        {0, 0, 0, 2, 2},
    };
    for (LONG state = Closed; state <= Stopped; ++state) {
        for (LONG column = 0; column < 5; ++column) {
            if (state == Playing && column == RequestShutDown)
                continue;
            const LONG request = column < 4 ? column : otherRequest;
            EXPECT_EQ(facade->CheckTransition(state, request), expected[state][column])
                << "state " << state << " request " << request;
        }
    }
    for (LONG state : {7, -1, 4}) {
        for (LONG request : {0, 1, 2, 3, 9})
            EXPECT_EQ(facade->CheckTransition(state, request), 1) << "state " << state;
    }
    EXPECT_TRUE(Calls().empty());
}

TEST_F(Facade, ShutDownRequestOnAPlayingDecoderStopsItAndGivesTheStopResult)
{
    auto facade = MakePlaying(96);
    EXPECT_EQ(facade->CheckTransition(Playing, RequestShutDown), 0);
    EXPECT_EQ(Calls(), Strings({"standard.Stop"}));
    EXPECT_EQ(creators.standard->state, Stopped);

    facade->Start();
    creators.standard->results["Stop"] = 1;
    creators.log->Clear();
    EXPECT_EQ(facade->CheckTransition(Playing, RequestShutDown), 1);
    EXPECT_EQ(Calls(), Strings({"standard.Stop"}));
}

TEST_F(Facade, RoutesListedTypesToTheStandardDecoderWithoutALogLine)
{
    for (LONG type : {2, 4, 9, 16, 17, 19, 22, 23, 25, 37, 96, 97, 98, 99, 100, 101, 103, 104, 108, 192, 254}) {
        auto facade = Make(type);
        EXPECT_EQ(facade->InitPlay(Window(5), 640, 480, 0), 0) << type;
        EXPECT_EQ(Calls(), Strings({"standard.InitPlay " + Args({5, 640, 480, type})})) << type;
        EXPECT_EQ(creators.standard->streamType, type);
    }
    EXPECT_EQ(logs.Count(kUnknownType), 0u);
}

TEST_F(Facade, RoutesTheVendorTypeToTheVendorDecoder)
{
    auto facade = Make(102);
    EXPECT_EQ(facade->InitPlay(Window(5), 352, 288, 0), 0);
    EXPECT_EQ(Calls(), Strings({"vendor.InitPlay " + Args({5, 352, 288, 102})}));
    EXPECT_EQ(creators.vendor->streamType, 102);
    EXPECT_EQ(logs.Count(kUnknownType), 0u);
}

TEST_F(Facade, UnknownTypesGoToTheStandardDecoderWithOneLogLinePerRouting)
{
    size_t routings = 0;
    for (LONG type : {0, 1, 5, 255, 1000}) {
        auto facade = Make(type);
        EXPECT_EQ(facade->InitPlay(Window(1), 352, 288, 0), 0) << type;
        EXPECT_EQ(Calls(), Strings({"standard.InitPlay " + Args({1, 352, 288, type})})) << type;
        EXPECT_EQ(logs.Count(kUnknownType), ++routings) << type;
        /* The same type again routes nothing, so logs nothing. */
        facade->Start();
        facade->Stop();
        EXPECT_EQ(facade->InitPlay(Window(1), 352, 288, type), 0);
        EXPECT_EQ(logs.Count(kUnknownType), routings) << type;
    }
    /* Another unknown type is another routing. */
    auto facade = Make(5);
    facade->InitPlay(Window(1), 352, 288, 0);
    facade->InitPlay(Window(1), 352, 288, 1000);
    EXPECT_EQ(logs.Count(kUnknownType), routings + 2);
    EXPECT_EQ(logs.Lines().size(), logs.Count(kUnknownType));
}

TEST_F(Facade, InitPlayWithTypeZeroKeepsTheCreationType)
{
    auto facade = Make(102);
    EXPECT_EQ(facade->InitPlay(Window(1), 352, 288, 0), 0);
    EXPECT_EQ(facade->streamType, 102);
    EXPECT_EQ(Calls("standard").size(), 0u);
    EXPECT_EQ(Calls("vendor.InitPlay").size(), 1u);
}

TEST_F(Facade, SecondInitPlayWithTheSameTypeNeverReopensOrRebinds)
{
    struct Case {
        const char *name;
        std::function<void(CPrivateVideoDecoder &)> bringTo;
        LONG expected;
    };
    const std::vector<Case> cases = {
        {"opened", [](CPrivateVideoDecoder &) {}, 2},
        {"playing", [](CPrivateVideoDecoder &f) { f.Start(); }, 2},
        {"stopped", [](CPrivateVideoDecoder &f) { f.Start(), f.Stop(); }, 0},
    };
    for (const Case &c : cases) {
        auto facade = Make(96);
        facade->InitPlay(Window(1), 352, 288, 0);
        c.bringTo(*facade);
        EXPECT_EQ(facade->InitPlay(Window(2), 704, 576, 96), c.expected) << c.name;
        EXPECT_EQ(Calls("standard.InitPlay"), Strings({"standard.InitPlay " + Args({1, 352, 288, 96})})) << c.name;
    }
    /* A decoder that failed to open stays Closed and is not retried. */
    creators.configure = [](kova_test::ScriptedDecoder &d) { d.results["InitPlay"] = 1; };
    auto facade = Make(96);
    EXPECT_EQ(facade->InitPlay(Window(1), 352, 288, 0), 0);
    EXPECT_EQ(creators.standard->state, Closed);
    EXPECT_EQ(facade->InitPlay(Window(2), 352, 288, 0), 0);
    EXPECT_EQ(Calls("standard.InitPlay").size(), 1u);
}

/* One row per operation: how to call it and what it answers with no
 * decoder selected. */
struct NoDecoderRow {
    const char *operation;
    std::function<LONG(CPrivateVideoDecoder &)> call;
    LONG expected;
};

std::vector<NoDecoderRow> NoDecoderTable()
{
    static LONG out1, out2;
    return {
        {"GetSoundInData", [](CPrivateVideoDecoder &f) { return f.GetSoundInData(1, 2, 3, 4); }, 1},
        {"CaptureBmpFile", [](CPrivateVideoDecoder &f) { return f.CaptureBmpFile("a.bmp"); }, 0},
        {"ReservedA", [](CPrivateVideoDecoder &f) { return f.ReservedA(1); }, 0},
        {"UpdateBounds", [](CPrivateVideoDecoder &f) { return f.UpdateBounds(); }, 0},
        {"ReservedB", [](CPrivateVideoDecoder &f) { return f.ReservedB(1); }, 0},
        {"ReservedC", [](CPrivateVideoDecoder &f) { return f.ReservedC(1); }, 0},
        {"GetDecoderKind", [](CPrivateVideoDecoder &f) { return f.GetDecoderKind(); }, 0},
        {"DigitalZoom", [](CPrivateVideoDecoder &f) { return f.DigitalZoom(0, 0, 0, 0); }, 1},
        {"SetPlaySpeed", [](CPrivateVideoDecoder &f) { return f.SetPlaySpeed(1); }, 1},
        {"StartAudio", [](CPrivateVideoDecoder &f) { return f.StartAudio(); }, 0},
        {"ShutDownAudio", [](CPrivateVideoDecoder &f) { return f.ShutDownAudio(); }, 0},
        {"SetAudioVolume", [](CPrivateVideoDecoder &f) { return f.SetAudioVolume(50); }, 0},
        {"GetAudioVolume", [](CPrivateVideoDecoder &f) { return f.GetAudioVolume(&out1); }, 1},
        {"SetVideoSize", [](CPrivateVideoDecoder &f) { return f.SetVideoSize(704, 576); }, 1},
        {"GetImagePara", [](CPrivateVideoDecoder &f) { return f.GetImagePara(&out1, &out2); }, 1},
        {"GetTotalFrames", [](CPrivateVideoDecoder &f) { return f.GetTotalFrames(); }, 0},
        {"ReservedD", [](CPrivateVideoDecoder &f) { return f.ReservedD(); }, 0},
        {"SetDecParam", [](CPrivateVideoDecoder &f) { return f.SetDecParam(1, 2, 3, 4, 5, 6, 7); }, 1},
        {"NotifySeek", [](CPrivateVideoDecoder &f) { return f.NotifySeek(1, 2); }, 1},
        {"SetSpeed", [](CPrivateVideoDecoder &f) { return f.SetSpeed(2); }, 1},
        {"SetDisplayMode", [](CPrivateVideoDecoder &f) { return f.SetDisplayMode(1); }, 1},
        {"ShutDown", [](CPrivateVideoDecoder &f) { return f.ShutDown(); }, 0},
        {"Stop", [](CPrivateVideoDecoder &f) { return f.Stop(); }, 0},
        {"Start", [](CPrivateVideoDecoder &f) { return f.Start(); }, 1},
        {"InsertBuf", [](CPrivateVideoDecoder &f) { return f.InsertBuf(kPacket, 16, 0, 0, 96, 1, 2, 3); }, 1},
        {"InsertAudioBuf", [](CPrivateVideoDecoder &f) { return f.InsertAudioBuf(kPacket, 16, 1, 2, 3); }, 1},
        {"ChangeStreamFormat (listed type)", [](CPrivateVideoDecoder &f) { return f.ChangeStreamFormat(704, 576, 96); }, 1},
        {"ChangeStreamFormat (exempt, same type)", [](CPrivateVideoDecoder &f) { return f.ChangeStreamFormat(704, 576, f.streamType); }, 0},
    };
}

TEST_F(Facade, EveryOperationHasItsFixedAnswerBeforeADecoderIsSelected)
{
    auto facade = Make(4);
    for (const NoDecoderRow &row : NoDecoderTable())
        EXPECT_EQ(row.call(*facade), row.expected) << row.operation;
    EXPECT_TRUE(Calls().empty());
}

TEST_F(Facade, WithoutAStandardDecoderNothingIsEverSelected)
{
    creators.standardMode = ScriptedCreators::Mode::Missing;
    for (LONG type : {4, 102}) {
        auto facade = Make(type);
        EXPECT_EQ(facade->InitPlay(Window(1), 352, 288, 0), 1) << type;
        for (const NoDecoderRow &row : NoDecoderTable())
            EXPECT_EQ(row.call(*facade), row.expected) << row.operation;
        EXPECT_TRUE(Calls().empty()) << type;
    }
}

TEST_F(Facade, WithoutAVendorDecoderTheVendorTypeSelectsNothing)
{
    creators.vendorMode = ScriptedCreators::Mode::Missing;
    auto facade = Make(102);
    EXPECT_EQ(facade->InitPlay(Window(1), 352, 288, 0), 1);
    EXPECT_EQ(facade->Start(), 1);
    EXPECT_TRUE(Calls().empty());
    /* Standard types still work. */
    EXPECT_EQ(facade->InitPlay(Window(1), 352, 288, 96), 0);
    EXPECT_EQ(facade->Start(), 0);
}

TEST_F(Facade, PlainOperationsForwardTheirArgumentsAndResults)
{
    auto facade = Make(96);
    facade->InitPlay(Window(1), 352, 288, 0);
    creators.log->Clear();
    auto &d = *creators.standard;
    d.results = {{"GetSoundInData", 11}, {"CaptureBmpFile", 12}, {"ReservedA", 13}, {"UpdateBounds", 14},
                 {"ReservedC", 15}, {"DigitalZoom", 16}, {"SetPlaySpeed", 17}, {"StartAudio", 18},
                 {"ShutDownAudio", 19}, {"SetAudioVolume", 20}, {"GetAudioVolume", 21},
                 {"SetVideoSize", 22}, {"GetImagePara", 23}, {"GetTotalFrames", 24},
                 {"SetDecParam", 25}, {"NotifySeek", 26}, {"SetSpeed", 27}, {"SetDisplayMode", 28}};
    d.kind = 6;
    LONG volume = 0, w = 0, h = 0;
    EXPECT_EQ(facade->GetSoundInData(1, 2, 3, 4), 11);
    EXPECT_EQ(facade->CaptureBmpFile("C:\\shot.bmp"), 12);
    EXPECT_EQ(facade->ReservedA(5), 13);
    EXPECT_EQ(facade->UpdateBounds(), 14);
    EXPECT_EQ(facade->ReservedB(5), 0);
    EXPECT_EQ(facade->ReservedC(6), 15);
    EXPECT_EQ(facade->GetDecoderKind(), 6);
    EXPECT_EQ(facade->DigitalZoom(10, 20, 30, 40), 16);
    EXPECT_EQ(facade->SetPlaySpeed(1), 17);
    EXPECT_EQ(facade->StartAudio(), 18);
    EXPECT_EQ(facade->ShutDownAudio(), 19);
    EXPECT_EQ(facade->SetAudioVolume(77), 20);
    EXPECT_EQ(facade->GetAudioVolume(&volume), 21);
    EXPECT_EQ(facade->SetVideoSize(704, 576), 22);
    EXPECT_EQ(facade->GetImagePara(&w, &h), 23);
    EXPECT_EQ(facade->GetTotalFrames(), 24);
    EXPECT_EQ(facade->ReservedD(), 0);
    EXPECT_EQ(facade->SetDecParam(1, 2, 3, 4, 5, 6, 7), 25);
    EXPECT_EQ(facade->NotifySeek(8, 9), 26);
    EXPECT_EQ(facade->SetSpeed(-2), 27);
    EXPECT_EQ(facade->SetDisplayMode(3), 28);
    EXPECT_EQ(volume, 42);
    EXPECT_EQ(w, 704);
    EXPECT_EQ(h, 576);
    EXPECT_EQ(Calls(), Strings({"standard.GetSoundInData 1,2,3,4", "standard.CaptureBmpFile C:\\shot.bmp",
                                "standard.ReservedA 5", "standard.UpdateBounds", "standard.ReservedC 6",
                                "standard.GetDecoderKind", "standard.DigitalZoom 10,20,30,40",
                                "standard.SetPlaySpeed 1", "standard.StartAudio", "standard.ShutDownAudio",
                                "standard.SetAudioVolume 77", "standard.GetAudioVolume",
                                "standard.SetVideoSize 704,576", "standard.GetImagePara",
                                "standard.GetTotalFrames", "standard.SetDecParam 1,2,3,4,5,0,0",
                                "standard.NotifySeek 8,9", "standard.SetSpeed -2", "standard.SetDisplayMode 3"}));
}

TEST_F(Facade, SetDecParamUpdatesTheStandardDecoderWhicheverIsSelected)
{
    auto facade = Make(102, 48);
    EXPECT_EQ(facade->SetDecParam(1, 2, 3, 4, 5, 6, 7), 1);
    EXPECT_TRUE(Calls().empty());

    facade->InitPlay(Window(1), 352, 288, 0);
    creators.standard->deviceCode = 0;
    creators.standard->streamType = 0;
    EXPECT_EQ(facade->SetDecParam(8000, 2, 3, 4, 5, 6, 7), 0);
    EXPECT_EQ(Calls("vendor.SetDecParam"), Strings({"vendor.SetDecParam 8000,2,3,4,5,0,0"}));
    EXPECT_EQ(creators.standard->deviceCode, 48);
    EXPECT_EQ(creators.standard->streamType, 102);
}

TEST_F(Facade, CreationCopiesTheCodesIntoTheStandardDecoderOnly)
{
    auto facade = Make(96, 48);
    EXPECT_EQ(creators.standard->deviceCode, 48);
    EXPECT_EQ(creators.standard->streamType, 96);
    EXPECT_EQ(creators.vendor->deviceCode, 0);
    EXPECT_EQ(creators.vendor->streamType, 0);
    EXPECT_EQ(facade->cameraName, "");
}

TEST_F(Facade, LifecycleIsGuardedByTheDecoderState)
{
    auto facade = Make(96);
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 0, 0, 0), 1); /* nothing selected */
    facade->InitPlay(Window(1), 352, 288, 0);
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 0, 0, 0), 2);
    EXPECT_EQ(facade->InsertAudioBuf(kPacket, 16, 0, 0, 0), 2);
    EXPECT_EQ(facade->Stop(), 2);
    EXPECT_EQ(facade->ShutDown(), 0); /* Opened: allowed, and nothing is called */
    creators.log->Clear();

    EXPECT_EQ(facade->Start(), 0);
    EXPECT_EQ(Calls(), Strings({"standard.DigitalZoom 0,0,0,0", "standard.Start"}));
    EXPECT_EQ(facade->Start(), 2);
    EXPECT_EQ(facade->InsertBuf(nullptr, 16, 0, 0, 96, 0, 0, 0), 1);
    EXPECT_EQ(facade->InsertAudioBuf(nullptr, 16, 0, 0, 0), 1);
    creators.log->Clear();
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 1, 2, 3), 0);
    EXPECT_EQ(facade->InsertAudioBuf(kPacket, 8, 4, 5, 6), 0);
    EXPECT_EQ(Calls(), Strings({"standard.InsertBuf data," + Args({16, 0, 0, 96, 1, 2, 3}),
                                "standard.InsertAudioBuf data," + Args({8, 4, 5, 6})}));

    creators.log->Clear();
    EXPECT_EQ(facade->ShutDown(), 0); /* stops, does not shut the decoder down */
    EXPECT_EQ(Calls(), Strings({"standard.Stop"}));
    EXPECT_EQ(creators.standard->state, Stopped);
    EXPECT_EQ(facade->ShutDown(), 0);
    EXPECT_EQ(facade->Stop(), 2);
    creators.standard->state = Closed;
    EXPECT_EQ(facade->ShutDown(), 2);
    creators.standard->state = 9;
    EXPECT_EQ(facade->ShutDown(), 1);
}

TEST_F(Facade, PacketResultsComeFromTheDecoder)
{
    auto facade = MakePlaying(96);
    creators.standard->results["InsertBuf"] = 1;
    creators.standard->results["InsertAudioBuf"] = 2;
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 0, 0, 0), 1);
    EXPECT_EQ(facade->InsertAudioBuf(kPacket, 16, 0, 0, 0), 2);
    creators.standard->results["Start"] = 1;
    facade->Stop();
    EXPECT_EQ(facade->Start(), 1);
}

TEST_F(Facade, ANewSizeRestartsTheSameDecoderUnlessTheTypeIsExempt)
{
    auto facade = MakePlaying(96);
    EXPECT_EQ(facade->ChangeStreamFormat(704, 576, 96), 4);
    EXPECT_EQ(Calls(), Strings({"standard.Stop", "standard.DigitalZoom 0,0,0,0", "standard.Start"}));
    EXPECT_EQ(facade->width, 704);
    EXPECT_EQ(facade->height, 576);
    creators.log->Clear();
    EXPECT_EQ(facade->ChangeStreamFormat(704, 576, 96), 0); /* same size */
    EXPECT_TRUE(Calls().empty());

    /* Through a packet: restarted, then the packet goes in. */
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 1280, 720, 96, 0, 0, 0), 0);
    EXPECT_EQ(Calls(), Strings({"standard.Stop", "standard.DigitalZoom 0,0,0,0", "standard.Start",
                                "standard.InsertBuf data," + Args({16, 1280, 720, 96, 0, 0, 0})}));

    for (LONG exempt : {2, 4, 9, 22, 25, 102, 103, 104, 192, 254}) {
        auto other = MakePlaying(exempt);
        EXPECT_EQ(other->ChangeStreamFormat(1920, 1080, exempt), 0) << exempt;
        EXPECT_TRUE(Calls().empty()) << exempt;
    }
}

TEST_F(Facade, SizeChangesOnlyRestartAPlayingDecoder)
{
    auto facade = Make(96);
    facade->InitPlay(Window(1), 352, 288, 0);
    creators.log->Clear();
    EXPECT_EQ(facade->ChangeStreamFormat(704, 576, 96), 1);
    EXPECT_EQ(facade->ChangeStreamFormat(704, 576, 4), 1);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(Facade, PacketsWithoutASizeNeverReinitialise)
{
    auto facade = MakePlaying(96);
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 576, 4, 0, 0, 0), 0);
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 704, 0, 102, 0, 0, 0), 0);
    EXPECT_EQ(Calls("standard.InsertBuf").size(), 2u);
    EXPECT_EQ(Calls().size(), 2u);
}

TEST_F(Facade, ANewStandardTypeReopensTheStandardDecoder)
{
    auto facade = MakePlaying(96);
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 352, 288, 4, 0, 0, 0), 0);
    EXPECT_EQ(Calls(), Strings({"standard.Stop", "standard.ShutDown", "standard.InitPlay " + Args({1, 352, 288, 4}),
                                "standard.DigitalZoom 0,0,0,0", "standard.Start",
                                "standard.InsertBuf data," + Args({16, 352, 288, 4, 0, 0, 0})}));
    EXPECT_EQ(facade->streamType, 4);
    EXPECT_EQ(creators.standard->streamType, 4);
}

TEST_F(Facade, TheVendorTypeSwitchesToTheVendorDecoder)
{
    auto facade = MakePlaying(96);
    EXPECT_EQ(facade->ChangeStreamFormat(352, 288, 102), 4);
    EXPECT_EQ(Calls(), Strings({"standard.Stop", "standard.ShutDown", "vendor.InitPlay " + Args({1, 352, 288, 102}),
                                "vendor.DigitalZoom 0,0,0,0", "vendor.Start"}));
    creators.log->Clear();
    EXPECT_EQ(facade->InsertAudioBuf(kPacket, 16, 0, 0, 0), 0);
    EXPECT_EQ(Calls(), Strings({"vendor.InsertAudioBuf data," + Args({16, 0, 0, 0})}));
}

/* A change of stream type hands the new decoder the pane's sound setting:
 * a pane switched off while on one decoder stays off when its stream comes
 * back to the other. */
TEST_F(Facade, AChangeOfDecoderCarriesTheSoundSetting)
{
    auto facade = MakePlaying(96);
    EXPECT_EQ(facade->StartAudio(), 0);
    EXPECT_EQ(facade->ChangeStreamFormat(352, 288, 102), 4);
    EXPECT_EQ(facade->ShutDownAudio(), 0);
    EXPECT_EQ(facade->ChangeStreamFormat(352, 288, 96), 4);
    EXPECT_EQ(Calls("vendor.StartAudio").size(), 1u);
    EXPECT_EQ(Calls("vendor.ShutDownAudio").size(), 1u);
    EXPECT_EQ(Calls("standard.StartAudio").size(), 1u);
    EXPECT_EQ(Calls("standard").back(), "standard.Start");
    EXPECT_EQ(Calls("standard.ShutDownAudio").size(), 1u);
}

TEST_F(Facade, PacketsOfStreamTypeZeroKeepTheCurrentType)
{
    auto facade = MakePlaying(96);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(facade->InsertBuf(kPacket, 16, 352, 288, 0, 0, 0, 0), 0);
    EXPECT_EQ(Calls("standard.Stop").size(), 0u);
    /* A new size restarts once, as for the current type itself. */
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(facade->InsertBuf(kPacket, 16, 704, 576, 0, 0, 0, 0), 0);
    EXPECT_EQ(Calls("standard.Stop").size(), 1u);
    EXPECT_EQ(Calls("standard.Start").size(), 1u);
    EXPECT_EQ(Calls("standard.ShutDown").size(), 0u);
    EXPECT_EQ(Calls("standard.InsertBuf").size(), 6u);
    EXPECT_EQ(facade->streamType, 96);
    auto exempt = MakePlaying(4);
    EXPECT_EQ(exempt->ChangeStreamFormat(1920, 1080, 0), 0);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(Facade, AFailedShutDownKeepsTheOldDecoderSelected)
{
    auto facade = MakePlaying(96);
    creators.standard->results["ShutDown"] = 1;
    creators.standard->kind = 33;
    EXPECT_EQ(facade->ChangeStreamFormat(352, 288, 102), 1);
    EXPECT_EQ(Calls(), Strings({"standard.Stop", "standard.ShutDown"}));
    EXPECT_EQ(facade->GetDecoderKind(), 33);
    EXPECT_EQ(Calls("vendor").size(), 0u);
}

TEST_F(Facade, AFaultInAPacketRefusesPacketsUntilTheNextStart)
{
    for (Fault fault : {Fault::NullWrite, Fault::DivideByZero, Fault::Throw}) {
        auto facade = MakePlaying(96);
        creators.standard->faults["InsertBuf"] = fault;
        EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 0, 0, 0), 1);
        creators.standard->faults.clear();
        creators.log->Clear();
        EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 0, 0, 0), 1);
        EXPECT_EQ(facade->InsertAudioBuf(kPacket, 16, 0, 0, 0), 1);
        EXPECT_TRUE(Calls().empty());
        /* Other operations keep forwarding. */
        EXPECT_EQ(facade->SetSpeed(2), 0);
        EXPECT_EQ(facade->Stop(), 0);
        EXPECT_EQ(facade->Start(), 0);
        creators.log->Clear();
        EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 0, 0, 0), 0);
        EXPECT_EQ(facade->InsertAudioBuf(kPacket, 16, 0, 0, 0), 0);
        EXPECT_EQ(Calls().size(), 2u);
    }
}

TEST_F(Facade, FaultsInEachGuardedOperationGiveOneAndSetTheFlag)
{
    const std::vector<std::pair<std::string, std::function<LONG(CPrivateVideoDecoder &)>>> operations = {
        {"Stop", [](CPrivateVideoDecoder &f) { return f.Stop(); }},
        {"InsertAudioBuf", [](CPrivateVideoDecoder &f) { return f.InsertAudioBuf(kPacket, 4, 0, 0, 0); }},
        {"ShutDownViaStop", [](CPrivateVideoDecoder &f) { return f.ShutDown(); }},
        {"Start", [](CPrivateVideoDecoder &f) { return f.Stop(), f.Start(); }},
        {"InitPlay", [](CPrivateVideoDecoder &f) { return f.InitPlay(Window(1), 352, 288, 4); }},
    };
    for (const auto &op : operations) {
        auto facade = MakePlaying(96);
        const std::string target = op.first == "ShutDownViaStop" ? "Stop" : op.first;
        creators.standard->faults[target == "InitPlay" ? "ShutDown" : target] = Fault::NullWrite;
        EXPECT_EQ(op.second(*facade), 1) << op.first;
        creators.standard->faults.clear();
        if (op.first != "Start") {
            creators.log->Clear();
            EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 0, 0, 0), 1) << op.first;
            EXPECT_TRUE(Calls().empty()) << op.first;
        }
    }
}

TEST_F(Facade, AFaultingStartLeavesTheFlagSet)
{
    auto facade = MakePlaying(96);
    facade->Stop();
    creators.standard->faults["Start"] = Fault::Throw;
    EXPECT_EQ(facade->Start(), 1);
    creators.standard->faults.clear();
    creators.standard->state = Playing;
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 0, 0, 0), 1);
    creators.standard->state = Stopped;
    EXPECT_EQ(facade->Start(), 0);
    EXPECT_EQ(facade->InsertBuf(kPacket, 16, 0, 0, 96, 0, 0, 0), 0);
}

TEST_F(Facade, DestructionShutsDownTheSelectedDecoderThenFreesBoth)
{
    {
        auto facade = MakePlaying(102);
    }
    EXPECT_EQ(Calls(), Strings({"vendor.ShutDown", "vendor.~", "standard.~"}));

    {
        auto facade = Make(96);
    }
    EXPECT_EQ(Calls(), Strings({"vendor.~", "standard.~"}));

    {
        auto facade = MakePlaying(96);
        creators.standard->faults["ShutDown"] = Fault::NullWrite;
    }
    EXPECT_EQ(Calls(), Strings({"standard.ShutDown", "vendor.~", "standard.~"}));
}

TEST_F(Facade, ADecoderCreationThatThrowsLeavesNothingBehind)
{
    creators.standardMode = ScriptedCreators::Mode::Throw;
    EXPECT_ANY_THROW(CPrivateVideoDecoder(0, 96));
    EXPECT_EQ(creators.log->Entries(), Strings({"vendor.~"}));
}

}  // namespace

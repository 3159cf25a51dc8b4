#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdlib.h>
#include <string>
#include <thread>
#include <vector>

#include "ExportCalls.h"
#include "KovaDecoder.h"
#include "ScriptedDecoder.h"
#include "api/AudioOwner.h"
#include "api/DecodeHandler.h"
#include "facade/CPrivateVideoDecoder.h"

namespace {

using kova_test::Args;
using kova_test::Fault;
using kova_test::LogCapture;
using kova_test::ScriptedCreators;
using kova_test::ScriptedDecoder;
using Strings = std::vector<std::string>;

const BYTE kPacket[8] = {0, 0, 1};

HWND Window(intptr_t n)
{
    return reinterpret_cast<HWND>(n);
}

CPrivateVideoDecoder *FacadeOf(KOVA_HANDLE h)
{
    return static_cast<DecodeHandler *>(h)->decoder;
}

/* Every export that takes a handle, binding to a window first. */
std::vector<LONG> CallEveryExport(KOVA_HANDLE h)
{
    return kova_test::CallEveryExport(h, Window(1));
}

class Exports : public ::testing::Test {
protected:
    /* A handle whose facade has selected its scripted standard decoder. */
    KOVA_HANDLE Bound(ScriptedDecoder **standard, LONG streamType = 96)
    {
        KOVA_HANDLE h = KOVA_CreateInstance(0, streamType);
        EXPECT_NE(h, nullptr);
        *standard = creators.standard;
        EXPECT_EQ(KOVA_InitPlayInstance(h, Window(1)), 1);
        return h;
    }

    ScriptedCreators creators;
    LogCapture logs;
};

TEST_F(Exports, EveryExportRefusesAHandleWithoutAFacade)
{
    EXPECT_EQ(CallEveryExport(nullptr), std::vector<LONG>(18, 0));
    DecodeHandler empty;
    EXPECT_EQ(CallEveryExport(&empty), std::vector<LONG>(18, 0));
    KOVA_ReleaseInstance(nullptr); /* nothing happens */
    EXPECT_TRUE(creators.log->Entries().empty());
    EXPECT_TRUE(logs.Lines().empty());
}

TEST_F(Exports, CreateInstanceGivesAHandleForAnyStreamType)
{
    for (LONG type : {102, 96, 500, 0}) {
        KOVA_HANDLE h = KOVA_CreateInstance(48, type);
        ASSERT_NE(h, nullptr) << type;
        EXPECT_EQ(FacadeOf(h)->deviceCode, 48);
        EXPECT_EQ(FacadeOf(h)->streamType, type);
        KOVA_ReleaseInstance(h);
    }
    EXPECT_EQ(kova::AudioOwnerLockCreations(), 1);
}

TEST_F(Exports, AHandleWithoutDecodersStillForwardsEverything)
{
    creators.vendorMode = ScriptedCreators::Mode::Missing;
    creators.standardMode = ScriptedCreators::Mode::Missing;
    KOVA_HANDLE h = KOVA_CreateInstance(0, 96);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(CallEveryExport(h), std::vector<LONG>(18, 1));
    KOVA_ReleaseInstance(h);
    EXPECT_TRUE(logs.Lines().empty());
}

TEST_F(Exports, AFacadeThatCannotBeCreatedGivesNoHandleAndOneLogLine)
{
    for (auto mode : {ScriptedCreators::Mode::Throw, ScriptedCreators::Mode::Fault}) {
        LogCapture capture;
        creators.standardMode = mode;
        creators.log->Clear();
        EXPECT_EQ(KOVA_CreateInstance(0, 96), nullptr);
        EXPECT_EQ(capture.Lines(), Strings({"new CPrivateVideoDecoder throw Exception!"}));
    }
    /* A thrown error frees what was built; a fault cannot unwind. */
    creators.log->Clear();
    creators.standardMode = ScriptedCreators::Mode::Throw;
    EXPECT_EQ(KOVA_CreateInstance(0, 96), nullptr);
    EXPECT_EQ(creators.log->Entries(), Strings({"vendor.~"}));
}

TEST_F(Exports, InitPlayPassesTheHandleSizeAndKeepsTheStreamType)
{
    KOVA_HANDLE h = KOVA_CreateInstance(0, 102);
    ScriptedDecoder *vendor = creators.vendor;
    EXPECT_EQ(KOVA_InitPlayInstance(h, nullptr), 0);
    EXPECT_EQ(KOVA_SetVideoSize(h, 704, 576), 1); /* no decoder selected yet */
    EXPECT_EQ(KOVA_InitPlayInstance(h, Window(9)), 1);
    EXPECT_EQ(creators.log->With("vendor"), Strings({"vendor.InitPlay " + Args({9, 352, 288, 102})}));
    EXPECT_EQ(KOVA_SetVideoSize(h, 704, 576), 1);
    EXPECT_EQ(creators.log->With("vendor.SetVideoSize"), Strings({"vendor.SetVideoSize 704,576"}));
    EXPECT_EQ(vendor->state, Opened);
    /* A window the decoder fails to open on is still "forwarded". */
    KOVA_HANDLE other = KOVA_CreateInstance(0, 96);
    creators.standard->results["InitPlay"] = 1;
    EXPECT_EQ(KOVA_InitPlayInstance(other, Window(3)), 1);
    KOVA_ReleaseInstance(other);
    KOVA_ReleaseInstance(h);
}

TEST_F(Exports, SizesAndPacketsReachTheDecoderUnchanged)
{
    ScriptedDecoder *d = nullptr;
    KOVA_HANDLE h = Bound(&d);
    creators.log->Clear();
    LONG width = 0, height = 0;
    EXPECT_EQ(KOVA_SetVideoSize(h, 704, 576), 1);
    EXPECT_EQ(KOVA_GetImagePara(h, &width, &height), 1);
    EXPECT_EQ(KOVA_StartPlayStream(h), 1);
    EXPECT_EQ(KOVA_SendVideoFrame(h, kPacket, 8, 0, 0, 96, 1700000000, 250, 3), 1);
    EXPECT_EQ(KOVA_SendAudioFrame(h, kPacket, 4, 1700000000, 260, 3), 1);
    EXPECT_EQ(KOVA_StopPlayStream(h), 1);
    EXPECT_EQ(width, 704);
    EXPECT_EQ(height, 576);
    EXPECT_EQ(creators.log->Entries(),
              Strings({"standard.SetVideoSize 704,576", "standard.GetImagePara", "standard.DigitalZoom 0,0,0,0",
                       "standard.Start", "standard.InsertBuf data," + Args({8, 0, 0, 96, 1700000000, 250, 3}),
                       "standard.InsertAudioBuf data," + Args({4, 1700000000, 260, 3}), "standard.Stop"}));
    KOVA_ReleaseInstance(h);
}

TEST_F(Exports, ResultsOfTheOperationsAreNotPassedOn)
{
    ScriptedDecoder *d = nullptr;
    KOVA_HANDLE h = Bound(&d);
    for (const char *op : {"Start", "Stop", "InsertBuf", "InsertAudioBuf", "CaptureBmpFile", "SetAudioVolume",
                           "DigitalZoom", "SetDecParam", "NotifySeek", "SetSpeed", "SetDisplayMode"})
        d->results[op] = 1;
    EXPECT_EQ(CallEveryExport(h), std::vector<LONG>(18, 1));
    KOVA_ReleaseInstance(h);
}

TEST_F(Exports, VolumeAndZoomArgumentsAreChecked)
{
    ScriptedDecoder *d = nullptr;
    KOVA_HANDLE h = Bound(&d);
    creators.log->Clear();
    EXPECT_EQ(KOVA_SetVolume(h, 100), 1);
    EXPECT_EQ(KOVA_SetVolume(h, 0), 1);
    EXPECT_EQ(KOVA_SetVolume(h, 101), 0);
    EXPECT_EQ(KOVA_SetVolume(h, -1), 0);
    EXPECT_EQ(creators.log->Entries(), Strings({"standard.SetAudioVolume 100", "standard.SetAudioVolume 0"}));

    struct Zoom {
        LONG l, t, r, b, expected;
    };
    const Zoom zooms[] = {
        {0, 0, 0, 0, 1},     {0, 0, 0, 40, 1},   {20, 0, 20, 50, 0}, {60, 60, 20, 20, 1},
        {0, 0, 101, 50, 0},  {10, 10, 10, 50, 0}, {0, 10, 50, 10, 0}, {-1, 0, 50, 50, 0},
        {10, 20, 90, 80, 1}, {0, 0, 100, 100, 1}, {0, 0, 50, 0, 1},
    };
    for (const Zoom &z : zooms) {
        creators.log->Clear();
        EXPECT_EQ(KOVA_SetDigitalZoom(h, z.l, z.t, z.r, z.b), z.expected)
            << z.l << "," << z.t << "," << z.r << "," << z.b;
        EXPECT_EQ(creators.log->Entries().size(), static_cast<size_t>(z.expected));
        if (z.expected) {
            EXPECT_EQ(creators.log->Entries()[0], "standard.DigitalZoom " + Args({z.l, z.t, z.r, z.b}));
        }
    }
    KOVA_ReleaseInstance(h);
}

TEST_F(Exports, NullPathsAndResultPointersAreRefused)
{
    ScriptedDecoder *d = nullptr;
    KOVA_HANDLE h = Bound(&d);
    creators.log->Clear();
    LONG value = 0;
    EXPECT_EQ(KOVA_CaptureBitmap(h, nullptr), 0);
    EXPECT_EQ(KOVA_GetVolume(h, nullptr), 0);
    EXPECT_EQ(KOVA_GetImagePara(h, nullptr, &value), 0);
    EXPECT_EQ(KOVA_GetImagePara(h, &value, nullptr), 0);
    EXPECT_TRUE(creators.log->Entries().empty());
    EXPECT_EQ(KOVA_CaptureBitmap(h, "D:\\snap shots\\cam 1.bmp"), 1);
    EXPECT_EQ(KOVA_GetVolume(h, &value), 1);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(creators.log->Entries(),
              Strings({"standard.CaptureBmpFile D:\\snap shots\\cam 1.bmp", "standard.GetAudioVolume"}));
    KOVA_ReleaseInstance(h);
}

TEST_F(Exports, BothAudioParameterExportsReachTheDecoderIdentically)
{
    ScriptedDecoder *d = nullptr;
    KOVA_HANDLE h = Bound(&d);
    creators.log->Clear();
    EXPECT_EQ(KOVA_SetAudioParam(h, 1, 2, 3, 4, 5), 1);
    EXPECT_EQ(KOVA_SetDecParam(h, 1, 2, 3, 4, 5, 6, 7), 1);
    EXPECT_EQ(KOVA_NotifySeek(h, 10, 20), 1);
    EXPECT_EQ(KOVA_SetSpeed(h, -4), 1);
    EXPECT_EQ(KOVA_SetDisplayMode(h, 2), 1);
    EXPECT_EQ(creators.log->Entries(),
              Strings({"standard.SetDecParam 1,2,3,4,5,0,0", "standard.SetDecParam 1,2,3,4,5,0,0",
                       "standard.NotifySeek 10,20", "standard.SetSpeed -4", "standard.SetDisplayMode 2"}));
    KOVA_ReleaseInstance(h);
}

TEST_F(Exports, ReleaseStopsThenShutsDownThenFrees)
{
    ScriptedDecoder *d = nullptr;
    KOVA_HANDLE h = Bound(&d);
    KOVA_StartPlayStream(h);
    creators.log->Clear();
    KOVA_ReleaseInstance(h);
    EXPECT_EQ(creators.log->Entries(),
              Strings({"standard.Stop", "standard.ShutDown", "vendor.~", "standard.~"}));
}

TEST_F(Exports, ReleaseSurvivesFaultsInTheDecoder)
{
    ScriptedDecoder *d = nullptr;
    KOVA_HANDLE h = Bound(&d);
    KOVA_StartPlayStream(h);
    d->faults["Stop"] = Fault::NullWrite;
    d->faults["ShutDown"] = Fault::Throw;
    d->faults["~"] = Fault::NullWrite;
    creators.log->Clear();
    KOVA_ReleaseInstance(h);
    EXPECT_EQ(creators.log->With("vendor"), Strings({"vendor.~"}));
}

TEST_F(Exports, ExceptionsNeverLeaveAnExport)
{
    ScriptedDecoder *d = nullptr;
    KOVA_HANDLE h = Bound(&d);
    for (const char *op : {"SetSpeed", "CaptureBmpFile", "StartAudio", "SetDecParam", "GetImagePara"})
        d->faults[op] = Fault::Throw;
    LONG w, hgt;
    EXPECT_EQ(KOVA_SetSpeed(h, 1), 1);
    EXPECT_EQ(KOVA_CaptureBitmap(h, "x.bmp"), 1);
    EXPECT_EQ(KOVA_SetAudio(h, 1), 1);
    EXPECT_EQ(KOVA_SetAudioParam(h, 1, 2, 3, 4, 5), 1);
    EXPECT_EQ(KOVA_GetImagePara(h, &w, &hgt), 1);
    KOVA_ReleaseInstance(h);
}

TEST_F(Exports, SwitchingSoundOnHandsOverUnderTheLock)
{
    ScriptedDecoder *a = nullptr, *b = nullptr;
    KOVA_HANDLE ha = Bound(&a);
    a->name = "a";
    KOVA_HANDLE hb = Bound(&b);
    b->name = "b";
    bool lockHeld = false;
    a->hooks["ShutDownAudio"] = [&] {
        std::thread probe([&] {
            CRITICAL_SECTION &lock = kova::AudioOwnerLock();
            lockHeld = !TryEnterCriticalSection(&lock);
            if (!lockHeld)
                LeaveCriticalSection(&lock);
        });
        probe.join();
    };
    creators.log->Clear();

    EXPECT_EQ(KOVA_SetAudio(ha, 1), 1);
    EXPECT_EQ(kova::CurrentAudioOwner(), FacadeOf(ha));
    EXPECT_EQ(KOVA_SetAudio(hb, 1), 1);
    EXPECT_EQ(creators.log->Entries(), Strings({"a.StartAudio", "b.StartAudio", "a.ShutDownAudio"}));
    EXPECT_TRUE(lockHeld);
    EXPECT_EQ(kova::CurrentAudioOwner(), FacadeOf(hb));

    /* Switching the owner on again switches nobody off. */
    creators.log->Clear();
    EXPECT_EQ(KOVA_SetAudio(hb, 1), 1);
    EXPECT_EQ(creators.log->Entries(), Strings({"b.StartAudio"}));

    /* Off on a non-owner: harmless, the owner stays. */
    creators.log->Clear();
    a->hooks.clear();
    EXPECT_EQ(KOVA_SetAudio(ha, 0), 1);
    EXPECT_EQ(creators.log->Entries(), Strings({"a.ShutDownAudio"}));
    EXPECT_EQ(kova::CurrentAudioOwner(), FacadeOf(hb));

    /* Releasing the owner leaves none; the next owner switches nobody off. */
    KOVA_ReleaseInstance(hb);
    EXPECT_EQ(kova::CurrentAudioOwner(), nullptr);
    creators.log->Clear();
    EXPECT_EQ(KOVA_SetAudio(ha, 1), 1);
    EXPECT_EQ(creators.log->Entries(), Strings({"a.StartAudio"}));
    EXPECT_EQ(KOVA_SetAudio(ha, 0), 1);
    EXPECT_EQ(kova::CurrentAudioOwner(), nullptr);
    KOVA_ReleaseInstance(ha);
}

TEST_F(Exports, APreviousOwnerThatThrowsStillLosesTheSound)
{
    ScriptedDecoder *a = nullptr, *b = nullptr;
    KOVA_HANDLE ha = Bound(&a);
    KOVA_HANDLE hb = Bound(&b);
    KOVA_SetAudio(ha, 1);
    a->faults["ShutDownAudio"] = Fault::Throw;
    EXPECT_EQ(KOVA_SetAudio(hb, 1), 1);
    EXPECT_EQ(kova::CurrentAudioOwner(), FacadeOf(hb));
    /* The lock was released. */
    EXPECT_EQ(KOVA_SetAudio(hb, 0), 1);
    EXPECT_EQ(kova::CurrentAudioOwner(), nullptr);
    KOVA_ReleaseInstance(ha);
    KOVA_ReleaseInstance(hb);
}

TEST_F(Exports, ConcurrentSoundSwitchesLeaveExactlyTheOwnerAudible)
{
    constexpr int kThreads = 6;
    std::vector<KOVA_HANDLE> handles;
    for (int i = 0; i < kThreads; ++i) {
        ScriptedDecoder *d = nullptr;
        handles.push_back(Bound(&d));
        d->name = "d" + std::to_string(i);
    }
    creators.log->Clear();
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 300; ++round)
                KOVA_SetAudio(handles[i], 1);
        });
    for (std::thread &t : threads)
        t.join();
    CPrivateVideoDecoder *owner = kova::CurrentAudioOwner();
    int audible = 0;
    for (int i = 0; i < kThreads; ++i) {
        const Strings calls = creators.log->With("d" + std::to_string(i) + ".");
        ASSERT_FALSE(calls.empty());
        const bool on = calls.back().find("StartAudio") != std::string::npos;
        audible += on;
        EXPECT_EQ(on, FacadeOf(handles[i]) == owner) << i;
    }
    EXPECT_EQ(audible, 1);
    for (KOVA_HANDLE h : handles)
        KOVA_ReleaseInstance(h);
    EXPECT_EQ(kova::CurrentAudioOwner(), nullptr);
}

/* A handle the library has not issued, or has released, is refused by
 * every export and reaches no decoder: released once or twice, forged
 * around a live facade, pointing at junk. A call already inside a handle
 * finishes before its release goes on, and calls racing with the release
 * see 1 until it begins and 0 from then on. */
TEST_F(Exports, OnlyIssuedHandlesAreFollowed)
{
    ScriptedDecoder *d = nullptr, *other = nullptr;
    KOVA_HANDLE live = Bound(&d);
    KOVA_HANDLE released = Bound(&other);
    KOVA_ReleaseInstance(released);
    DecodeHandler forged;
    forged.decoder = FacadeOf(live);
    std::vector<unsigned char> junk(256, 0xA5);
    creators.log->Clear();
    for (KOVA_HANDLE h : {released, static_cast<KOVA_HANDLE>(&forged), static_cast<KOVA_HANDLE>(junk.data())}) {
        EXPECT_EQ(CallEveryExport(h), std::vector<LONG>(18, 0));
        KOVA_ReleaseInstance(h);
    }
    EXPECT_TRUE(creators.log->Entries().empty());
    EXPECT_EQ(junk, std::vector<unsigned char>(256, 0xA5));
    forged.decoder = nullptr;
    EXPECT_EQ(KOVA_SetSpeed(live, 2), 1);

    /* Release waits for the call inside. */
    std::atomic<bool> inside{false};
    d->hooks["SetSpeed"] = [&] {
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        creators.log->Add("SetSpeed left");
    };
    creators.log->Clear();
    std::thread caller([&] { EXPECT_EQ(KOVA_SetSpeed(live, 3), 1); });
    while (!inside)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    KOVA_ReleaseInstance(live);
    caller.join();
    EXPECT_EQ(creators.log->Entries(), Strings({"standard.SetSpeed 3", "SetSpeed left", "standard.ShutDown",
                                                "vendor.~", "standard.~"}));

    /* Threads calling while another releases: 1 before, 0 after, never a
     * call into a freed instance. */
    KOVA_HANDLE raced = Bound(&d);
    KOVA_StartPlayStream(raced);
    std::atomic<int> refusedThenForwarded{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 3; ++t)
        callers.emplace_back([&] {
            bool refused = false;
            for (int n = 0; n < 2000; ++n) {
                const LONG r = n % 2 ? KOVA_SendVideoFrame(raced, kPacket, 8, 0, 0, 96, 0, 0, 0) : KOVA_SetAudio(raced, n % 4 == 0);
                if (r == 1 && refused)
                    ++refusedThenForwarded;
                refused = refused || r == 0;
            }
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    KOVA_ReleaseInstance(raced);
    for (std::thread &t : callers)
        t.join();
    EXPECT_EQ(refusedThenForwarded, 0);
    EXPECT_EQ(kova::CurrentAudioOwner(), nullptr);
}

/* In a fresh process: the lock does not exist until the first instances,
 * which many threads create at the same moment. */
TEST(ExportsFirstUse, ManyThreadsCreatingTheFirstInstancesCreateTheLockOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (kova::AudioOwnerLockCreations() != 0)
                _exit(2);
            constexpr int kThreads = 16;
            std::mutex m;
            std::condition_variable cv;
            bool go = false;
            std::atomic<int> created{0};
            std::vector<std::thread> threads;
            for (int i = 0; i < kThreads; ++i)
                threads.emplace_back([&] {
                    {
                        std::unique_lock<std::mutex> lock(m);
                        cv.wait(lock, [&] { return go; });
                    }
                    KOVA_HANDLE h = KOVA_CreateInstance(0, 96);
                    if (h) {
                        ++created;
                        KOVA_SetAudio(h, 1);
                        KOVA_ReleaseInstance(h);
                    }
                });
            {
                std::lock_guard<std::mutex> lock(m);
                go = true;
            }
            cv.notify_all();
            for (std::thread &t : threads)
                t.join();
            _exit(created == kThreads && kova::AudioOwnerLockCreations() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace

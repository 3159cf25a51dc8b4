/* Snapshots through the player's display callback. */
#include "VendorTest.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace vendor_test;
using fake::Outcome;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t0)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

/* Plays the player's part: shows a picture on each port every few
 * milliseconds, through whatever display callback is installed there. */
class PictureSource {
public:
    explicit PictureSource(std::vector<LONG> ports) : ports_(std::move(ports))
    {
        thread_ = std::thread([this] {
            while (!stop_) {
                for (LONG port : ports_)
                    if (PLAYM4_DISPLAY_CALLBACK cb = fake::InstalledCallback(port))
                        cb(port, picture_, sizeof picture_, 704 + port, 576, 40, PLAYM4_PICTURE_YV12, 0);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~PictureSource()
    {
        stop_ = true;
        thread_.join();
    }
    long long PictureAddress() const { return static_cast<long long>(reinterpret_cast<uintptr_t>(picture_)); }

private:
    std::vector<LONG> ports_;
    char picture_[64] = {};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

/* The callback's own lines carry no camera name. */
Strings CallbackTexts(const Strings &lines)
{
    Strings texts;
    for (const std::string &line : lines) {
        const LogLine parsed = Parse(line);
        EXPECT_TRUE(parsed.parsed) << line;
        EXPECT_FALSE(parsed.hasCamera) << line;
        EXPECT_NE(SourceAt(parsed).find("WriteLog("), std::string::npos)
            << line << "\nnames the source line: " << SourceAt(parsed);
        texts.push_back(parsed.text);
    }
    return texts;
}

TEST_F(VendorTest, ACaptureWithoutAPictureReturnsOneAfterItsWait)
{
    Open();
    const auto t0 = Clock::now();
    EXPECT_EQ(decoder->CaptureBmpFile("/tmp/shot.bmp"), 1);
    const long long elapsed = MsSince(t0);
    EXPECT_GE(elapsed, 450);
    EXPECT_LT(elapsed, 5000);
    const auto calls = fake::Calls();
    ASSERT_EQ(fake::Names(), Strings({"PlayM4_SetDisplayCallBack", "PlayM4_SetDisplayCallBack"}));
    EXPECT_EQ(calls[0].args[0], kPort);
    EXPECT_EQ(calls[0].text, "set");
    EXPECT_EQ(calls[1].args[0], kPort);
    EXPECT_EQ(calls[1].text, "null");
    EXPECT_EQ(fake::InstalledCallback(kPort), nullptr);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(VendorTest, ACaptureConvertsOnePictureOfItsPort)
{
    Open();
    PictureSource source({3, kPort});
    EXPECT_EQ(decoder->CaptureBmpFile("/tmp/gate 3.bmp"), 0);
    const auto converts = fake::CallsOf("PlayM4_ConvertToBmpFile");
    ASSERT_EQ(converts.size(), 1u);  // though pictures kept coming for 500 ms
    EXPECT_EQ(converts[0].args,
              std::vector<long long>({source.PictureAddress(), 64, 704 + kPort, 576, PLAYM4_PICTURE_YV12}));
    EXPECT_EQ(converts[0].text, "/tmp/gate 3.bmp");
    EXPECT_EQ(fake::InstalledCallback(kPort), nullptr);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(VendorTest, AnEarlierSuccessDoesNotMakeALaterCaptureSucceed)
{
    Open();
    {
        PictureSource source({kPort});
        EXPECT_EQ(decoder->CaptureBmpFile("/tmp/a.bmp"), 0);
    }
    EXPECT_EQ(decoder->CaptureBmpFile("/tmp/b.bmp"), 1);
    EXPECT_EQ(fake::CallsOf("PlayM4_ConvertToBmpFile").size(), 1u);
}

TEST_F(VendorTest, PicturesOfOtherPortsAreIgnored)
{
    Open();
    PictureSource source({kPort + 1, kPort - 1});
    EXPECT_EQ(decoder->CaptureBmpFile("/tmp/other.bmp"), 1);
    EXPECT_TRUE(fake::CallsOf("PlayM4_ConvertToBmpFile").empty());
}

TEST_F(VendorTest, APictureWhileNoCaptureWaitsIsNotConverted)
{
    Open();
    char picture[16] = {};
    GE_DecoderHIK::DisplayCBFun(kPort, picture, 16, 4, 4, 0, PLAYM4_PICTURE_YV12, 0);
    GE_DecoderHIK::DisplayCBFun(-1, picture, 16, 4, 4, 0, PLAYM4_PICTURE_YV12, 0);
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(VendorTest, ARefusedConversionIsLoggedWithoutTheCameraAndFails)
{
    Open();
    fake::Script("PlayM4_ConvertToBmpFile", Outcome::Fail);
    PictureSource source({kPort});
    EXPECT_EQ(decoder->CaptureBmpFile("/tmp/x.bmp"), 1);
    EXPECT_EQ(fake::CallsOf("PlayM4_ConvertToBmpFile").size(), 1u);
    EXPECT_EQ(CallbackTexts(log.Lines()), Strings({"Call HIK DisplayCBFun--PlayM4_ConvertToBmpFile failed."}));
}

TEST_F(VendorTest, AFaultInTheConversionIsLoggedAndTheCaptureFails)
{
    for (Outcome outcome : {Outcome::Throw, Outcome::NullWrite}) {
        SCOPED_TRACE(outcome == Outcome::Throw ? "throw" : "null write");
        fake::Reset();
        log.Clear();
        decoder.reset(new GE_DecoderHIK);
        Open();
        fake::Script("PlayM4_ConvertToBmpFile", outcome, 1, 998);
        PictureSource source({kPort});
        EXPECT_EQ(decoder->CaptureBmpFile("/tmp/y.bmp"), 1);
        EXPECT_EQ(fake::CallsOf("PlayM4_ConvertToBmpFile").size(), 1u);
        EXPECT_EQ(CallbackTexts(log.Lines()),
                  Strings({"Call HIK DisplayCBFun Throw Exception. LastError:998",
                           "Call HIK DisplayCBFun--PlayM4_ConvertToBmpFile failed."}));
    }
}

TEST_F(VendorTest, ARefusedCallbackIsLoggedAndTheCaptureGoesOn)
{
    Open();
    fake::Script("PlayM4_SetDisplayCallBack", Outcome::Fail, 2);
    PictureSource source({kPort});
    const auto t0 = Clock::now();
    EXPECT_EQ(decoder->CaptureBmpFile("/tmp/z.bmp"), 1);
    EXPECT_GE(MsSince(t0), 450);
    EXPECT_EQ(Texts(), Strings({"Call PlayM4_SetDisplayCallBack Fail.", "Call PlayM4_SetDisplayCallBack Fail."}));
}

TEST_F(VendorTest, CapturesOnTwoInstancesAtOnceEachGetTheirOwnPicture)
{
    const LONG otherPort = 8;
    Open();
    fake::SetNextPort(otherPort);
    GE_DecoderHIK other;
    other.cameraName = "Yard";
    ASSERT_EQ(other.InitPlay(kWindow, 0, 0, 102), 0);
    ASSERT_EQ(other.m_hPlayHandle, otherPort);

    PictureSource source({kPort, otherPort});
    LONG mine = -1, theirs = -1;
    std::thread t([&] { theirs = other.CaptureBmpFile("/tmp/yard.bmp"); });
    mine = decoder->CaptureBmpFile("/tmp/gate.bmp");
    t.join();
    EXPECT_EQ(mine, 0);
    EXPECT_EQ(theirs, 0);
    const auto converts = fake::CallsOf("PlayM4_ConvertToBmpFile");
    ASSERT_EQ(converts.size(), 2u);
    for (const fake::Call &c : converts) {
        const LONG port = static_cast<LONG>(c.args[2]) - 704;
        EXPECT_EQ(c.text, port == kPort ? "/tmp/gate.bmp" : "/tmp/yard.bmp");
    }
    other.ShutDown();
}

}  // namespace

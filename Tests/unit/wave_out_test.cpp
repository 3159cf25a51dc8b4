#include "stdstream/CWaveOut.h"

#include <kova_control.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Media.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int32_t Queued(CWaveOut &out)
{
    EnterCriticalSection(&out.lock);
    int32_t n = out.queued;
    LeaveCriticalSection(&out.lock);
    return n;
}

bool WaitUntilDrained(CWaveOut &out, int timeoutMs)
{
    auto start = Clock::now();
    while (Queued(out) > 0) {
        if (MsSince(start) > timeoutMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

/* Selects the wave-out sink for the devices opened while it lives. */
class SinkChoice {
public:
    explicit SinkChoice(const std::string &value) { setenv("KOVA_WAVE_OUT", value.c_str(), 1); }
    ~SinkChoice() { unsetenv("KOVA_WAVE_OUT"); }
};

std::string TempPath(const char *name)
{
    const char *dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/kova_wave_" + std::to_string(getpid()) + "_" + name;
    std::remove(path.c_str());
    return path;
}

uint32_t LE(const std::vector<unsigned char> &b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
}

class WaveOutTest : public testing::Test {
protected:
    void TearDown() override { KovaControl_ClearFaults(); }
};

}  // namespace

TEST_F(WaveOutTest, NothingHappensBeforeOpen)
{
    CWaveOut out;
    EXPECT_EQ(out.channels, 1);
    EXPECT_EQ(out.samplesPerSec, 8000u);
    EXPECT_EQ(out.bitsPerSample, 16);
    unsigned char pcm[320] = {};
    EXPECT_EQ(out.Write(pcm, sizeof pcm), 0);
    EXPECT_EQ(out.StopThread(), 0);
    EXPECT_EQ(out.Close(), 1);
    EXPECT_EQ(Queued(out), 0);
}

TEST_F(WaveOutTest, OpenSetsNinetyPercentEveryTimeAndOnlyOnce)
{
    CWaveOut out;
    ASSERT_EQ(out.Open(), 1);
    EXPECT_EQ(out.threadRunning, 1);
    EXPECT_EQ(out.deviceOpen, 1);
    EXPECT_NE(out.messageThreadId, 0u);
    DWORD volume = 0;
    EXPECT_EQ(out.GetVolume(&volume), 1);
    EXPECT_EQ(volume, 58981u);

    HWAVEOUT first = out.device;
    EXPECT_EQ(out.Open(), 0) << "already started";
    EXPECT_EQ(out.device, first);
    EXPECT_EQ(out.deviceOpen, 1);

    // The owner sets a volume; the louder channel is reported.
    ASSERT_EQ(waveOutSetVolume(out.device, 0x40008000u), (MMRESULT)MMSYSERR_NOERROR);
    EXPECT_EQ(out.GetVolume(&volume), 1);
    EXPECT_EQ(volume, 0x8000u);

    EXPECT_EQ(out.Close(), 1);
    EXPECT_EQ(out.threadRunning, 0);
    EXPECT_EQ(out.messageThread, nullptr);
    ASSERT_EQ(out.Open(), 1);
    EXPECT_NE(out.device, first);
    EXPECT_EQ(out.GetVolume(&volume), 1);
    EXPECT_EQ(volume, 58981u) << "reopening restores the opening volume";
    out.Close();
}

TEST_F(WaveOutTest, OpensEveryFormatTheDecoderSetsAndRefusesOthers)
{
    const DWORD rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    for (WORD bits : {8, 16})
        for (WORD channels : {1, 2})
            for (DWORD rate : rates) {
                CWaveOut out;
                out.bitsPerSample = bits;
                out.channels = channels;
                out.samplesPerSec = rate;
                EXPECT_EQ(out.Open(), 1) << bits << " bits, " << channels << " channels, " << rate << " Hz";
                out.Close();
            }

    struct { WORD bits; WORD channels; DWORD rate; } refused[] = {{24, 2, 8000}, {16, 3, 8000}, {16, 1, 96000}, {16, 1, 4000}, {0, 1, 8000}};
    for (auto &f : refused) {
        CWaveOut out;
        out.bitsPerSample = f.bits;
        out.channels = f.channels;
        out.samplesPerSec = f.rate;
        EXPECT_EQ(out.Open(), 0);
        EXPECT_EQ(out.lastResult, (MMRESULT)WAVERR_BADFORMAT);
        EXPECT_EQ(out.threadRunning, 0) << "the message thread was stopped again";
        EXPECT_EQ(out.messageThread, nullptr);
        EXPECT_EQ(out.deviceOpen, 0);
        unsigned char pcm[64] = {};
        EXPECT_EQ(out.Write(pcm, sizeof pcm), 0);
        EXPECT_EQ(out.Close(), 1);
    }
}

TEST_F(WaveOutTest, ElevenBlocksAtMostAndCloseWhilePlayingLosesNothing)
{
    CWaveOut out;  // 8000 Hz, mono, 16 bits: 16000 bytes a second
    ASSERT_EQ(out.Open(), 1);
    std::vector<unsigned char> second(16000, 0x11);
    for (int i = 0; i < 11; ++i) ASSERT_EQ(out.Write(second.data(), (int32_t)second.size()), 1);
    EXPECT_EQ(Queued(out), 11);
    EXPECT_EQ(out.Write(second.data(), (int32_t)second.size()), 1) << "dropped, not refused";
    EXPECT_EQ(Queued(out), 11);

    HWAVEOUT device = out.device;
    auto start = Clock::now();
    EXPECT_EQ(out.Close(), 1);
    EXPECT_LT(MsSince(start), 2000) << "close does not wait for eleven seconds of sound";
    EXPECT_EQ(Queued(out), 0) << "every block came back and was freed";
    EXPECT_EQ(out.deviceOpen, 0);
    EXPECT_EQ(out.device, nullptr);
    EXPECT_EQ(out.threadRunning, 0);
    DWORD volume;
    EXPECT_EQ(waveOutGetVolume(device, &volume), (MMRESULT)MMSYSERR_INVALHANDLE) << "the device really closed";

    ASSERT_EQ(out.Open(), 1) << "and the object opens again";
    EXPECT_EQ(out.Write(second.data(), 1600), 1);
    EXPECT_EQ(Queued(out), 1);
    out.Close();
    EXPECT_EQ(Queued(out), 0);
}

TEST_F(WaveOutTest, BlocksComeBackAtTheRealTimeRate)
{
    CWaveOut out;
    ASSERT_EQ(out.Open(), 1);
    std::vector<unsigned char> tenth(1600, 0);  // 100 ms
    auto start = Clock::now();
    for (int i = 0; i < 4; ++i) ASSERT_EQ(out.Write(tenth.data(), (int32_t)tenth.size()), 1);
    ASSERT_TRUE(WaitUntilDrained(out, 5000));
    long long ms = MsSince(start);
    EXPECT_GE(ms, 350) << "400 ms of sound";
    EXPECT_LE(ms, 2500);
    out.Close();
}

TEST_F(WaveOutTest, PlayedFileHoldsExactlyWhatWasWrittenAtTheOpeningVolume)
{
    struct Case { WORD bits; WORD channels; DWORD rate; WORD align; DWORD byteRate; };
    for (const Case &c : {Case{16, 1, 8000, 2, 16000}, Case{8, 1, 8000, 1, 8000}, Case{16, 2, 22050, 4, 88200}}) {
        std::string path = TempPath(("played_" + std::to_string(c.bits) + "_" + std::to_string(c.channels) + ".wav").c_str());
        SinkChoice sink("file:" + path);
        CWaveOut out;
        out.bitsPerSample = c.bits;
        out.channels = c.channels;
        out.samplesPerSec = c.rate;
        ASSERT_EQ(out.Open(), 1);
        // 60 ms blocks of a ramp, so that order and scaling both show.
        const size_t block = c.byteRate * 60 / 1000 / c.align * c.align;
        std::vector<unsigned char> written;
        for (int b = 0; b < 4; ++b) {
            std::vector<unsigned char> pcm(block);
            for (size_t i = 0; i < block; ++i) pcm[i] = (unsigned char)(b * 37 + i * 7);
            ASSERT_EQ(out.Write(pcm.data(), (int32_t)pcm.size()), 1);
            written.insert(written.end(), pcm.begin(), pcm.end());
        }
        ASSERT_TRUE(WaitUntilDrained(out, 5000));
        out.Close();

        std::vector<unsigned char> file = media::ReadFile(path);
        ASSERT_EQ(file.size(), 44 + written.size()) << path;
        EXPECT_EQ(LE(file, 4, 4), 36 + written.size());
        EXPECT_EQ(LE(file, 20, 2), (uint32_t)WAVE_FORMAT_PCM);
        EXPECT_EQ(LE(file, 22, 2), c.channels);
        EXPECT_EQ(LE(file, 24, 4), c.rate);
        EXPECT_EQ(LE(file, 28, 4), c.byteRate);
        EXPECT_EQ(LE(file, 32, 2), c.align);
        EXPECT_EQ(LE(file, 34, 2), c.bits);
        EXPECT_EQ(LE(file, 40, 4), written.size());
        int wrong = 0;
        for (size_t i = 0; i < written.size(); i += (c.bits / 8)) {
            long expected, played;
            if (c.bits == 16) {
                expected = (int16_t)(written[i] | written[i + 1] << 8) * 0xE665L / 0xFFFF;
                played = (int16_t)(file[44 + i] | file[45 + i] << 8);
            } else {
                expected = (written[i] - 128L) * 0xE665L / 0xFFFF + 128;
                played = file[44 + i];
            }
            if (expected != played) ++wrong;
        }
        EXPECT_EQ(wrong, 0);
        std::remove(path.c_str());
    }
}

TEST_F(WaveOutTest, FailedPrepareOrWriteReleasesTheBlock)
{
    CWaveOut out;
    ASSERT_EQ(out.Open(), 1);
    unsigned char pcm[800] = {};
    KovaControl_FailCall("waveOutPrepareHeader", MMSYSERR_NOMEM, 0, 1);
    EXPECT_EQ(out.Write(pcm, sizeof pcm), 0);
    EXPECT_EQ(out.lastResult, (MMRESULT)MMSYSERR_NOMEM);
    KovaControl_FailCall("waveOutWrite", MMSYSERR_ERROR, 0, 1);
    EXPECT_EQ(out.Write(pcm, sizeof pcm), 0);
    EXPECT_EQ(out.lastResult, (MMRESULT)MMSYSERR_ERROR);
    EXPECT_EQ(Queued(out), 0);
    EXPECT_EQ(out.Write(pcm, sizeof pcm), 1);
    EXPECT_EQ(out.Write(nullptr, 10), 0);
    EXPECT_EQ(out.Write(pcm, 0), 0);
    out.Close();
}

TEST_F(WaveOutTest, DeviceThatWillNotCloseIsKeptAndClosedLater)
{
    CWaveOut out;
    ASSERT_EQ(out.Open(), 1);
    std::vector<unsigned char> second(16000, 0);
    ASSERT_EQ(out.Write(second.data(), (int32_t)second.size()), 1);
    KovaControl_FailCall("waveOutClose", MMSYSERR_ERROR, 0, 1);
    EXPECT_EQ(out.Close(), 1);
    EXPECT_EQ(out.lastResult, (MMRESULT)MMSYSERR_ERROR);
    EXPECT_EQ(out.deviceOpen, 1) << "not forgotten";
    EXPECT_NE(out.device, nullptr);
    EXPECT_EQ(out.threadRunning, 1) << "its message thread still frees its blocks";
    EXPECT_EQ(Queued(out), 0) << "the playing block was returned and freed";
    EXPECT_EQ(out.Open(), 0);

    EXPECT_EQ(out.Close(), 1);
    EXPECT_EQ(out.deviceOpen, 0);
    EXPECT_EQ(out.threadRunning, 0);
}

TEST_F(WaveOutTest, FailedVolumeReadReportsZero)
{
    CWaveOut out;
    ASSERT_EQ(out.Open(), 1);
    KovaControl_FailCall("waveOutGetVolume", MMSYSERR_NOTSUPPORTED, 0, 1);
    DWORD volume = 77;
    EXPECT_EQ(out.GetVolume(&volume), 0);
    EXPECT_EQ(volume, 0u);
    EXPECT_EQ(out.lastResult, (MMRESULT)MMSYSERR_NOTSUPPORTED);
    out.Close();
}

TEST_F(WaveOutTest, FailedThreadStartLeavesTheObjectClosed)
{
    CWaveOut out;
    KovaControl_FailCall("CreateThread", 0, ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(out.Open(), 0);
    EXPECT_EQ(out.threadRunning, 0);
    EXPECT_EQ(out.deviceOpen, 0);
    KovaControl_ClearFaults();
    EXPECT_EQ(out.Open(), 1);
    out.Close();
}

TEST_F(WaveOutTest, DestroyedWhilePlayingReleasesEverything)
{
    auto *out = new CWaveOut;
    ASSERT_EQ(out->Open(), 1);
    std::vector<unsigned char> second(16000, 0);
    for (int i = 0; i < 3; ++i) out->Write(second.data(), (int32_t)second.size());
    delete out;  // the leak checker of a sanitizer build sees the rest
}

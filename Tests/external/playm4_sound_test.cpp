/* The player library's shared sound: the sample's tone reaches the
 * wave-out device (recorded to a WAV file by the platform layer), at the
 * volume asked, only while sound share is on and the speed is normal. */
#include <cstdio>
#include <unistd.h>

#include "PlayM4TestUtil.h"

using namespace playm4_test;

namespace {

/* Sound goes to a WAV file named for this test; each device the process
 * opens writes the next numbered file. */
std::string UseWaveFile(const char *name)
{
    const std::string path = ::testing::TempDir() + "playm4-" + name + "-" + std::to_string(::getpid()) + ".wav";
    setenv("KOVA_WAVE_OUT", ("file:" + path).c_str(), 1);
    return path;
}

/* Plays the sample with the port set up by `setup`; returns after the
 * port is freed, when the device has written its file. */
void PlaySample(const std::function<void(LONG)> &setup)
{
    const vendor_sample::Sample *sample = Sample();
    ASSERT_NE(sample, nullptr);
    OpenPort p;
    ASSERT_TRUE(p.opened);
    setup(p.port);
    ASSERT_TRUE(PlayM4_Play(p.port, nullptr));
    ASSERT_TRUE(FeedSample(p.port, *sample));
    ASSERT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) + 1 >= DWORD(sample->pictures); }, 15000));
}

TEST(PlayM4Sound, SoundShareSendsTheToneToTheWaveOutDevice)
{
    const std::string path = UseWaveFile("tone");
    PlaySample([](LONG port) { ASSERT_TRUE(PlayM4_PlaySoundShare(port)); });
    const media::Wav r = media::ReadWav(path);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.rate, 8000);
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.bits, 16);
    /* Nearly the whole four seconds, of a 1 kHz tone at the sample's
     * level (an eighth of full scale: RMS about 2900). */
    EXPECT_GT(r.Samples(), size_t(8000 * 3));
    EXPECT_NEAR(r.CrossingRate(), 2000, 100);
    EXPECT_NEAR(r.Rms(), 2900, 400);
    std::remove(path.c_str());
}

TEST(PlayM4Sound, SoundWithoutPicturesPlaysOnAfterASourceStall)
{
    const std::string path = UseWaveFile("stall");
    const vendor_sample::Sample *sample = Sample();
    ASSERT_NE(sample, nullptr);
    {
        OpenPort p;
        ASSERT_TRUE(p.opened);
        ASSERT_TRUE(PlayM4_PlaySoundShare(p.port));
        ASSERT_TRUE(PlayM4_Play(p.port, nullptr));
        /* The first pack (with the stream map and the first picture),
         * then only the sound: two seconds, a stall longer than any
         * lateness the player waits out, then the rest. */
        ASSERT_TRUE(Feed(p.port, sample->header));
        ASSERT_TRUE(Feed(p.port, sample->packets.front().data));
        for (const vendor_sample::Packet &packet : sample->packets) {
            if (packet.sound && packet.ms < 2000) {
                ASSERT_TRUE(Feed(p.port, packet.data));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2000 + 1600));
        for (const vendor_sample::Packet &packet : sample->packets) {
            if (packet.sound && packet.ms >= 2000) {
                ASSERT_TRUE(Feed(p.port, packet.data));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2600));
    }
    const media::Wav r = media::ReadWav(path);
    ASSERT_TRUE(r.valid);
    /* Both halves (four seconds), not the first alone and a part of the
     * second. */
    EXPECT_GT(r.Samples(), size_t(8000 * 7 / 2)) << r.Samples();
    std::remove(path.c_str());
}

TEST(PlayM4Sound, TheVolumeScalesTheSamples)
{
    const std::string path = UseWaveFile("volume");
    PlaySample([](LONG port) {
        ASSERT_TRUE(PlayM4_PlaySoundShare(port));
        ASSERT_TRUE(PlayM4_SetVolume(port, 0x4000));
    });
    const media::Wav r = media::ReadWav(path);
    ASSERT_TRUE(r.valid);
    EXPECT_GT(r.Samples(), size_t(8000 * 3));
    EXPECT_NEAR(r.Rms(), 2900 / 4.0, 150);
    std::remove(path.c_str());
}

TEST(PlayM4Sound, NothingSoundsWithoutShareOrAwayFromNormalSpeed)
{
    const std::string path = UseWaveFile("silent");
    PlaySample([](LONG) {});
    PlaySample([](LONG port) {
        ASSERT_TRUE(PlayM4_PlaySoundShare(port));
        ASSERT_TRUE(PlayM4_Fast(port));
    });
    PlaySample([](LONG port) {
        ASSERT_TRUE(PlayM4_PlaySoundShare(port));
        ASSERT_TRUE(PlayM4_StopSoundShare(port));
    });
    /* No device was opened, so no file was written. */
    EXPECT_TRUE(media::ReadFile(path).empty());
}

}  // namespace

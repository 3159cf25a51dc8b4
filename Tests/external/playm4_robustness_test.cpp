/* Garbage in the vendor stream never stops the player: random bytes
 * between packs, damaged packs, cut packs and long runs of noise; it finds
 * the next pack and plays on. */
#include <random>

#include "PlayM4TestUtil.h"

using namespace playm4_test;

namespace {

TEST(PlayM4Robustness, GarbageBetweenAndInsidePacksIsSurvived)
{
    const vendor_sample::Sample *sample = Sample(8);
    if (!sample)
        return;
    HWND window = MakeWindow(300, 300, 320, 240);
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayFaster(p.port, 3, window));
    std::mt19937 random(2024);
    auto noise = [&](size_t n) {
        Bytes b(n);
        for (uint8_t &x : b)
            x = uint8_t(random());
        return b;
    };
    ASSERT_TRUE(Feed(p.port, sample->header));
    size_t index = 0;
    for (const vendor_sample::Packet &packet : sample->packets) {
        Bytes data = packet.data;
        switch (index++ % 7) {
        case 1:  /* noise before the pack */
            ASSERT_TRUE(Feed(p.port, noise(1 + random() % 3000)));
            break;
        case 3:  /* bytes of the pack overwritten, even its headers */
            for (int k = 0; k < 8; ++k)
                data[random() % data.size()] = uint8_t(random());
            break;
        case 5:  /* the pack cut short */
            data.resize(data.size() / 2);
            break;
        default:
            break;
        }
        ASSERT_TRUE(Feed(p.port, data));
    }
    /* Many of the pictures still play, and the last ones show the pattern. */
    EXPECT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) >= DWORD(sample->pictures / 3); }, 10000))
        << PlayM4_GetPlayedFrames(p.port);
    EXPECT_TRUE(WaitFor([&] { return ShowsQuadrants(window); }));
    DestroyWindow(window);
}

TEST(PlayM4Robustness, ALongRunOfNoiseIsFollowedByPlay)
{
    const vendor_sample::Sample *sample = Sample();
    if (!sample)
        return;
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayFaster(p.port, 3, nullptr));
    std::mt19937 random(99);
    Bytes block(50000);
    for (int round = 0; round < 40; ++round) {
        for (uint8_t &x : block)
            x = uint8_t(random());
        /* Start codes of every kind in the noise, with random lengths. */
        for (int k = 0; k < 50; ++k) {
            const size_t at = random() % (block.size() - 6);
            block[at] = 0;
            block[at + 1] = 0;
            block[at + 2] = 1;
            block[at + 3] = uint8_t(0xB9 + random() % 0x40);
        }
        ASSERT_TRUE(Feed(p.port, block));
    }
    EXPECT_EQ(PlayM4_GetPlayedFrames(p.port), 0u);
    ASSERT_TRUE(FeedSample(p.port, *sample));
    EXPECT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) >= DWORD(sample->pictures / 2); }, 10000))
        << PlayM4_GetPlayedFrames(p.port);
}

TEST(PlayM4Robustness, SoundStampedFarAheadDoesNotHoldThePictures)
{
    vendor_sample::Options options;
    options.soundStampOffsetMs = 20000;
    vendor_sample::Sample sample;
    std::string why;
    ASSERT_TRUE(vendor_sample::Make(options, &sample, &why)) << why;
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayM4_PlaySoundShare(p.port));
    ASSERT_TRUE(PlayM4_Play(p.port, nullptr));
    ASSERT_TRUE(FeedSample(p.port, sample));
    /* Four seconds of pictures, not held back for the twenty the sound
     * claims to lie ahead. */
    EXPECT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) + 1 >= DWORD(sample.pictures); }, 9000))
        << PlayM4_GetPlayedFrames(p.port);
}

}  // namespace

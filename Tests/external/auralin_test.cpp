/* Auralin: the reference-counted sound-in capture and the records handed
 * through it. The library's state is one per process: each test leaves it
 * as it found it (no references, nothing queued). */
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Auralin.h"

namespace {

struct SondInState {
    int references = -1, queued = -1, dropped = -1;
};

SondInState Now()
{
    SondInState s;
    TARVIK_AUDIO_GetSondInState(&s.references, &s.queued, &s.dropped);
    return s;
}

void Drain()
{
    int values[4];
    while (TARVIK_AUDIO_ReadSondIn(values)) {
    }
}

class Auralin : public ::testing::Test {
protected:
    void SetUp() override
    {
        Drain();
        ASSERT_EQ(Now().references, 0);
    }
    void TearDown() override
    {
        while (TARVIK_AUDIO_StopAudioIn_b()) {
        }
        Drain();
    }
};

TEST_F(Auralin, CaptureRunsWhileAnyReferenceIsHeld)
{
    EXPECT_EQ(TARVIK_AUDIO_StopAudioIn_b(), 0);  // nothing to give back
    EXPECT_NE(TARVIK_AUDIO_StartAudioIn_b(), 0);
    EXPECT_NE(TARVIK_AUDIO_StartAudioIn_b(), 0);
    EXPECT_EQ(Now().references, 2);
    EXPECT_NE(TARVIK_AUDIO_StopAudioIn_b(), 0);
    EXPECT_NE(TARVIK_AUDIO_DataFromSondIn(1, 2, 3, 4), 0);  // the other port still holds it
    EXPECT_NE(TARVIK_AUDIO_StopAudioIn_b(), 0);
    EXPECT_EQ(Now().references, 0);
    EXPECT_EQ(TARVIK_AUDIO_DataFromSondIn(5, 6, 7, 8), 0);
    EXPECT_EQ(TARVIK_AUDIO_StopAudioIn_b(), 0);
    /* What was accepted stays readable after the capture stopped. */
    EXPECT_EQ(Now().queued, 1);
    int values[4] = {};
    EXPECT_NE(TARVIK_AUDIO_ReadSondIn(values), 0);
    EXPECT_EQ(std::vector<int>(values, values + 4), std::vector<int>({1, 2, 3, 4}));
}

TEST_F(Auralin, RecordsComeOutUnchangedInOrder)
{
    TARVIK_AUDIO_StartAudioIn_b();
    TARVIK_AUDIO_DataFromSondIn(-1, 0, 0x7FFFFFFF, static_cast<int>(0x80000000u));
    TARVIK_AUDIO_DataFromSondIn(10, 20, 30, 40);
    int values[4] = {};
    ASSERT_NE(TARVIK_AUDIO_ReadSondIn(values), 0);
    EXPECT_EQ(std::vector<int>(values, values + 4),
              std::vector<int>({-1, 0, 0x7FFFFFFF, static_cast<int>(0x80000000u)}));
    ASSERT_NE(TARVIK_AUDIO_ReadSondIn(values), 0);
    EXPECT_EQ(std::vector<int>(values, values + 4), std::vector<int>({10, 20, 30, 40}));
    EXPECT_EQ(TARVIK_AUDIO_ReadSondIn(values), 0);
    EXPECT_EQ(TARVIK_AUDIO_ReadSondIn(nullptr), 0);
    TARVIK_AUDIO_GetSondInState(nullptr, nullptr, nullptr);  // any pointer may be null
}

TEST_F(Auralin, AFullQueueDropsItsOldestRecords)
{
    TARVIK_AUDIO_StartAudioIn_b();
    const int droppedBefore = Now().dropped;
    const int extra = 5;
    for (int i = 0; i < AURALIN_QUEUE_RECORDS + extra; ++i)
        ASSERT_NE(TARVIK_AUDIO_DataFromSondIn(i, i, i, i), 0);
    EXPECT_EQ(Now().queued, AURALIN_QUEUE_RECORDS);
    EXPECT_EQ(Now().dropped - droppedBefore, extra);
    int values[4];
    for (int i = extra; i < AURALIN_QUEUE_RECORDS + extra; ++i) {
        ASSERT_NE(TARVIK_AUDIO_ReadSondIn(values), 0);
        EXPECT_EQ(values[0], i);
    }
    EXPECT_EQ(Now().queued, 0);
}

TEST_F(Auralin, PortsOnManyThreadsKeepTheCountBalanced)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 5000; ++i) {
                TARVIK_AUDIO_StartAudioIn_b();
                TARVIK_AUDIO_DataFromSondIn(t, i, 0, 0);
                TARVIK_AUDIO_StopAudioIn_b();
            }
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(Now().references, 0);
    EXPECT_EQ(Now().queued, AURALIN_QUEUE_RECORDS);
}

}  // namespace

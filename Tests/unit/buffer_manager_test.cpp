#include "pool/CBufferManager.h"
#include "pool/FrameEntry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <set>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

/* A pool as the decoder sets it up, with small buffers. */
void SetUpPool(CBufferManager &pool, int count = 8, int size = 4096)
{
    pool.bufferCount = count;
    pool.bufferSize = size;
    ASSERT_TRUE(pool.AllocateBuffers());
    pool.running = true;
}

bool EventSet(HANDLE event)
{
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

int g_allocations;
int g_failingAllocation;
void *FailOneAllocation(size_t size)
{
    return ++g_allocations == g_failingAllocation ? nullptr : std::malloc(size);
}

}  // namespace

TEST(FrameEntry, HeaderIsSixFieldsThenPayload)
{
    EXPECT_EQ(offsetof(FrameEntry, width), 0u);
    EXPECT_EQ(offsetof(FrameEntry, audioLength), 16u);
    EXPECT_EQ(offsetof(FrameEntry, segmentId), 20u);
    alignas(8) unsigned char buffer[64];
    auto *entry = reinterpret_cast<FrameEntry *>(buffer);
    EXPECT_EQ(entry->Payload(), buffer + 24);
    EXPECT_EQ(FrameEntryCapacity(0x300000), 3145704u);
    EXPECT_GE(FrameEntryCapacity(0x300000), 1920u * 1080 * 3 / 2);
    EXPECT_LT(FrameEntryCapacity(0x300000), 2048u * 1024 * 3 / 2);
    EXPECT_EQ(FrameEntryCapacity(10), 0u);
}

TEST(BufferList2, RingOfNodesLinkedInCreationOrder)
{
    BufferList2 list;
    EXPECT_EQ(list.BuildRing(0), -1);
    EXPECT_EQ(list.tail, nullptr);
    ASSERT_EQ(list.BuildRing(3), 0);
    EXPECT_EQ(list.head, list.tail);
    EXPECT_EQ(list.count, 0);
    BufferList2::Node *node = list.tail;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(node->data, nullptr);
        EXPECT_EQ(node->next->prev, node);
        node = node->next;
    }
    EXPECT_EQ(node, list.tail) << "three steps close the ring";

    unsigned char a, b, c, d;
    EXPECT_TRUE(list.Append(&a));
    EXPECT_EQ(list.head, list.tail);
    EXPECT_TRUE(list.Append(&b));
    EXPECT_TRUE(list.Append(&c));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(list.Append(&d)) << "every node is occupied";
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nNULL");
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(list.Take(), &a);
    EXPECT_EQ(list.TakeNewest(), &c);
    EXPECT_EQ(list.Take(), &b);
    EXPECT_EQ(list.count, 0);
    EXPECT_TRUE(list.Append(&d)) << "the ring goes on after it emptied";
    EXPECT_EQ(list.Take(), &d);
}

TEST(CBufferManager, StoppedPoolHandsOutNothingAtOnce)
{
    CBufferManager pool;
    SetUpPool(pool);
    pool.running = false;
    auto start = Clock::now();
    EXPECT_EQ(pool.GetEmptyBuffer(), nullptr);
    EXPECT_EQ(pool.GetFullBuffer(), nullptr);
    EXPECT_LT(MsSince(start), 150);
    EXPECT_EQ(pool.emptyList.count, 8) << "nothing was taken";
}

TEST(CBufferManager, FilledBuffersComeOutInOrder)
{
    CBufferManager pool;
    SetUpPool(pool);
    std::vector<unsigned char *> taken;
    for (int i = 0; i < 8; ++i) {
        unsigned char *buffer = pool.GetEmptyBuffer();
        ASSERT_NE(buffer, nullptr);
        taken.push_back(buffer);
    }
    EXPECT_EQ(std::set<unsigned char *>(taken.begin(), taken.end()).size(), 8u);
    for (int round = 0; round < 3; ++round) {
        for (unsigned char *buffer : taken) ASSERT_TRUE(pool.PutFullBuffer(buffer));
        EXPECT_EQ(pool.fullList.count, 8);
        for (unsigned char *buffer : taken) EXPECT_EQ(pool.GetFullBuffer(), buffer);
        EXPECT_EQ(pool.fullList.count, 0);
    }
    for (unsigned char *buffer : taken) ASSERT_TRUE(pool.PutEmptyBuffer(buffer));
    EXPECT_EQ(pool.emptyList.count, 8);
}

TEST(CBufferManager, PutsSignalTheirEventButANullPutDoesNot)
{
    CBufferManager pool;
    SetUpPool(pool);
    EXPECT_FALSE(pool.PutFullBuffer(nullptr));
    EXPECT_FALSE(pool.PutEmptyBuffer(nullptr));
    EXPECT_FALSE(EventSet(pool.fullEvent));
    EXPECT_FALSE(EventSet(pool.emptyEvent));

    unsigned char *buffer = pool.GetEmptyBuffer();
    ASSERT_TRUE(pool.PutFullBuffer(buffer));
    EXPECT_TRUE(EventSet(pool.fullEvent));
    EXPECT_FALSE(EventSet(pool.fullEvent)) << "auto-reset";
    EXPECT_EQ(pool.GetFullBuffer(), buffer);
    ASSERT_TRUE(pool.PutEmptyBuffer(buffer));
    EXPECT_TRUE(EventSet(pool.emptyEvent));
}

TEST(CBufferManager, PutIntoAListWithoutRingFailsLoudly)
{
    CBufferManager pool;  // never allocated
    unsigned char buffer[32];
    testing::internal::CaptureStdout();
    EXPECT_FALSE(pool.PutFullBuffer(buffer));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nNULL");
    EXPECT_TRUE(EventSet(pool.fullEvent)) << "the event is set even when the put failed";
    pool.ReleaseAll();  // nothing built, nothing to free
    EXPECT_EQ(pool.fullList.count, 0);
}

TEST(CBufferManager, ForeignBufferFillsTheSpareNodeThenPutsFail)
{
    CBufferManager pool;
    SetUpPool(pool, 2, 64);
    unsigned char *extra = static_cast<unsigned char *>(std::malloc(64));
    EXPECT_TRUE(pool.PutEmptyBuffer(extra)) << "rings have one node more than the pool";
    unsigned char second[64];
    testing::internal::CaptureStdout();
    EXPECT_FALSE(pool.PutEmptyBuffer(second));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nNULL");
    EXPECT_EQ(pool.emptyList.count, 3);
    // ReleaseAll frees all three, the foreign one included.
}

TEST(CBufferManager, FailedAllocationShrinksThePoolSilently)
{
    auto saved = CBufferManager::allocateBuffer;
    g_allocations = 0;
    g_failingAllocation = 3;
    CBufferManager::allocateBuffer = FailOneAllocation;
    CBufferManager pool;
    testing::internal::CaptureStdout();
    SetUpPool(pool);
    std::fflush(stdout);
    CBufferManager::allocateBuffer = saved;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(pool.allocated, 1);
    EXPECT_EQ(pool.emptyList.count, 7);

    // Seven buffers circulate; an eighth Get waits until one comes back.
    std::vector<unsigned char *> taken;
    for (int i = 0; i < 7; ++i) taken.push_back(pool.GetEmptyBuffer());
    for (unsigned char *buffer : taken) {
        ASSERT_NE(buffer, nullptr);
        ASSERT_TRUE(pool.PutFullBuffer(buffer));
    }
    auto producer = std::async(std::launch::async, [&] { return pool.GetEmptyBuffer(); });
    EXPECT_EQ(producer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    unsigned char *oldest = pool.GetFullBuffer();
    EXPECT_EQ(oldest, taken[0]);
    ASSERT_TRUE(pool.PutEmptyBuffer(oldest));
    EXPECT_EQ(producer.get(), oldest);
    ASSERT_TRUE(pool.PutEmptyBuffer(oldest));  // the pool frees only what it holds
}

TEST(CBufferManager, BlockedProducerIsReleasedByAPut)
{
    CBufferManager pool;
    SetUpPool(pool);
    std::vector<unsigned char *> taken;
    for (int i = 0; i < 8; ++i) taken.push_back(pool.GetEmptyBuffer());

    std::atomic<long long> waitedMs{-1};
    auto producer = std::async(std::launch::async, [&] {
        auto start = Clock::now();
        unsigned char *buffer = pool.GetEmptyBuffer();
        waitedMs = MsSince(start);
        return buffer;
    });
    // It waits through more than one 1000 ms round while nothing comes back.
    EXPECT_EQ(producer.wait_for(std::chrono::milliseconds(1300)), std::future_status::timeout);
    auto put = Clock::now();
    ASSERT_TRUE(pool.PutEmptyBuffer(taken[5]));
    EXPECT_EQ(producer.get(), taken[5]);
    // The event wakes it, far sooner than its next 1000 ms round.
    EXPECT_LT(MsSince(put), 600);
    EXPECT_GE(waitedMs.load(), 1000) << "more than one round of waiting";
    for (unsigned char *buffer : taken) pool.PutEmptyBuffer(buffer);
}

TEST(CBufferManager, ClearingRunningReleasesBothSides)
{
    CBufferManager pool;
    SetUpPool(pool);
    std::vector<unsigned char *> taken;
    for (int i = 0; i < 8; ++i) taken.push_back(pool.GetEmptyBuffer());

    auto producer = std::async(std::launch::async, [&] { return pool.GetEmptyBuffer(); });
    auto consumer = std::async(std::launch::async, [&] { return pool.GetFullBuffer(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(producer.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    ASSERT_EQ(consumer.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

    auto cleared = Clock::now();
    pool.running = false;
    // Nothing is put: each side notices at the end of its current wait,
    // at most 200 ms for the consumer and 1000 ms for the producer.
    EXPECT_EQ(consumer.get(), nullptr);
    long long consumerMs = MsSince(cleared);
    EXPECT_EQ(producer.get(), nullptr);
    long long producerMs = MsSince(cleared);
    EXPECT_LE(consumerMs, 200 + 400);
    EXPECT_LE(producerMs, 1000 + 500);
    for (unsigned char *buffer : taken) pool.PutEmptyBuffer(buffer);
}

TEST(CBufferManager, ProducerAndConsumerThreadsKeepOrderUnderBackPressure)
{
    CBufferManager pool;
    SetUpPool(pool, 8, 256);
    const int kFrames = 3000;

    std::atomic<bool> producerFailed{false};
    std::thread producer([&] {
        for (int i = 0; i < kFrames; ++i) {
            unsigned char *buffer = pool.GetEmptyBuffer();
            if (!buffer) {
                producerFailed = true;
                break;
            }
            auto *entry = reinterpret_cast<FrameEntry *>(buffer);
            entry->seconds = i;
            entry->audioLength = (i % 3 == 0) ? 16 : 0;
            std::memset(entry->Payload(), i & 0xFF, 16);
            if (!pool.PutFullBuffer(buffer)) {
                producerFailed = true;
                break;
            }
        }
        if (producerFailed) pool.running = false;  // lets the consumer out
    });
    int expected = 0;
    int bad = 0;
    while (expected < kFrames) {
        unsigned char *buffer = pool.GetFullBuffer();
        if (!buffer) break;
        auto *entry = reinterpret_cast<const FrameEntry *>(buffer);
        if (entry->seconds != expected || entry->Payload()[15] != (expected & 0xFF)) ++bad;
        ++expected;
        if (expected % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a slow consumer
        EXPECT_TRUE(pool.PutEmptyBuffer(buffer));
    }
    producer.join();
    EXPECT_FALSE(producerFailed.load());
    EXPECT_EQ(expected, kFrames);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(pool.emptyList.count, 8);
    EXPECT_EQ(pool.fullList.count, 0);
}

TEST(CBufferManager, BuffersGrowToTheFramesTheyCarryNeverShrinkAndKeepTheirOrder)
{
    auto saved = CBufferManager::allocateBuffer;
    CBufferManager pool;
    pool.firstSize = 24;
    SetUpPool(pool, 8, 0x300000);
    g_allocations = 0;
    g_failingAllocation = 0;
    CBufferManager::allocateBuffer = FailOneAllocation;

    // One buffer through a stream whose pictures change size.
    const size_t kCif = 24 + 352 * 288 * 3 / 2, kD1 = 24 + 704 * 576 * 3 / 2, k1080 = 24 + 1920 * 1080 * 3 / 2;
    struct Row {
        size_t bytes;
        bool failAllocation;
        bool fits;       // a buffer comes back to fill
        bool moved;      // it is a different block than before
        size_t capacity; // what the buffer in circulation holds afterwards, at least
    } rows[] = {
        {kCif, false, true, true, kCif},
        {kCif - 1000, false, true, false, kCif},  // a smaller frame never shrinks it
        {16, false, true, false, kCif},
        {kD1, true, false, false, kCif},  // no memory: dropped, the buffer kept as it was
        {kD1, false, true, true, kD1},
        {k1080, false, true, true, k1080},
        {0x300000, false, true, true, 0x300000},
        {0x300000 + 1, false, false, false, 0x300000},  // above the largest: refused
        {kCif, false, true, false, 0x300000},
    };
    unsigned char *previous = nullptr;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.bytes);
        // The free buffer given back last comes out first: one picture at
        // a time keeps reusing the same buffer.
        unsigned char *buffer = pool.GetEmptyBuffer();
        if (previous) EXPECT_EQ(buffer, previous);
        ASSERT_NE(buffer, nullptr);
        g_failingAllocation = row.failAllocation ? g_allocations + 1 : 0;
        const size_t before = pool.Capacity(buffer);
        unsigned char *filled = pool.FitBuffer(buffer, row.bytes);
        EXPECT_EQ(filled != nullptr, row.fits);
        EXPECT_EQ(pool.emptyList.count, row.fits ? 7 : 8) << "a refused buffer goes back to the free list";
        if (filled) {
            EXPECT_EQ(filled != buffer, row.moved);
            EXPECT_GE(pool.Capacity(filled), row.capacity);
            EXPECT_GE(pool.Capacity(filled), before);
            std::memset(filled, 0x5A, row.bytes);  // ASan: all of it is the buffer's
            ASSERT_TRUE(pool.PutFullBuffer(filled));
            ASSERT_EQ(pool.GetFullBuffer(), filled);
            ASSERT_TRUE(pool.PutEmptyBuffer(filled));
            previous = filled;
        } else {
            EXPECT_EQ(pool.Capacity(buffer), before);
            previous = buffer;
        }
    }
    CBufferManager::allocateBuffer = saved;

    // So only that one grew: the other seven hold no more than a header.
    std::vector<unsigned char *> all;
    for (int i = 0; i < 8; ++i) all.push_back(pool.GetEmptyBuffer());
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [&](unsigned char *b) { return pool.Capacity(b) > 24; }), 1);
    for (unsigned char *buffer : all) ASSERT_TRUE(pool.PutEmptyBuffer(buffer));

    // Eight buffers of mixed sizes still circulate as eight: order kept, a
    // ninth Get waits until one comes back, and a grown buffer's picture
    // reaches the consumer whole.
    std::vector<unsigned char *> taken;
    for (int i = 0; i < 8; ++i) {
        unsigned char *buffer = pool.FitBuffer(pool.GetEmptyBuffer(), i % 2 ? kD1 : kCif);
        ASSERT_NE(buffer, nullptr);
        auto *entry = reinterpret_cast<FrameEntry *>(buffer);
        entry->seconds = i;
        std::memset(entry->Payload(), i, (i % 2 ? kD1 : kCif) - 24);
        taken.push_back(buffer);
        ASSERT_TRUE(pool.PutFullBuffer(buffer));
    }
    auto producer = std::async(std::launch::async, [&] { return pool.GetEmptyBuffer(); });
    EXPECT_EQ(producer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    for (int i = 0; i < 8; ++i) {
        unsigned char *buffer = pool.GetFullBuffer();
        ASSERT_EQ(buffer, taken[i]);
        auto *entry = reinterpret_cast<const FrameEntry *>(buffer);
        EXPECT_EQ(entry->seconds, i);
        EXPECT_EQ(entry->Payload()[(i % 2 ? kD1 : kCif) - 25], i);
        ASSERT_TRUE(pool.PutEmptyBuffer(buffer));
        if (i == 0) {
            EXPECT_EQ(producer.get(), taken[0]);
            ASSERT_TRUE(pool.PutEmptyBuffer(taken[0]));
        }
    }
    EXPECT_EQ(pool.emptyList.count, 8);
}

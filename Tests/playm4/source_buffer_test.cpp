/* The source buffer: all-or-nothing writes, bytes in order across the
 * ring's end, and a blocked reader woken by data, interruption and reset. */
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "SourceBuffer.h"

using playm4::SourceBuffer;

namespace {

TEST(SourceBuffer, WritesTakeEverythingOrNothing)
{
    SourceBuffer buffer(100);
    const std::vector<uint8_t> bytes(101, 7);
    EXPECT_EQ(buffer.Write(bytes.data(), 60), SourceBuffer::Put::Taken);
    EXPECT_EQ(buffer.Write(bytes.data(), 41), SourceBuffer::Put::Full);
    EXPECT_EQ(buffer.Filled(), 60u);
    EXPECT_EQ(buffer.Write(bytes.data(), 40), SourceBuffer::Put::Taken);
    EXPECT_EQ(buffer.Write(bytes.data(), 1), SourceBuffer::Put::Full);
    // Larger than half the buffer: it grows and keeps what it held.
    EXPECT_EQ(buffer.Write(bytes.data(), 101), SourceBuffer::Put::Taken);
    EXPECT_EQ(buffer.Filled(), 201u);
    EXPECT_EQ(buffer.Write(bytes.data(), 1), SourceBuffer::Put::Taken);  // room for two of 101
    EXPECT_EQ(buffer.Write(bytes.data(), SourceBuffer::kLargestPacket + 1), SourceBuffer::Put::TooLarge);
    buffer.Reset();
    EXPECT_EQ(buffer.Filled(), 0u);
    EXPECT_EQ(buffer.Write(bytes.data(), 100), SourceBuffer::Put::Taken);
}

TEST(SourceBuffer, GrowingKeepsTheBytesInOrderAcrossTheRingsEnd)
{
    SourceBuffer buffer(10);
    std::vector<uint8_t> in(40), out(64);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = uint8_t(i);
    size_t copied = 0;
    ASSERT_EQ(buffer.Write(in.data(), 7), SourceBuffer::Put::Taken);
    ASSERT_EQ(buffer.Read(out.data(), 5, buffer.Generation(), &copied), SourceBuffer::Got::Data);
    ASSERT_EQ(buffer.Write(in.data() + 7, 6), SourceBuffer::Put::Taken);  // wraps: 8 bytes held
    ASSERT_EQ(buffer.Write(in.data() + 13, 27), SourceBuffer::Put::Taken);
    std::vector<uint8_t> all(out.begin(), out.begin() + 5);
    while (buffer.Filled() > 0) {
        ASSERT_EQ(buffer.Read(out.data(), 64, buffer.Generation(), &copied), SourceBuffer::Got::Data);
        all.insert(all.end(), out.begin(), out.begin() + copied);
    }
    EXPECT_EQ(all, in);
}

TEST(SourceBuffer, BytesComeOutInOrderAcrossTheRingsEnd)
{
    SourceBuffer buffer(97);
    uint8_t next = 0, expected = 0;
    std::vector<uint8_t> in(50), out(64);
    for (int round = 0; round < 200; ++round) {
        const size_t n = 1 + round % 50;
        for (size_t i = 0; i < n; ++i)
            in[i] = next++;
        ASSERT_EQ(buffer.Write(in.data(), n), SourceBuffer::Put::Taken);
        size_t copied = 0;
        while (buffer.Filled() > 0) {
            ASSERT_EQ(buffer.Read(out.data(), 1 + round % 64, buffer.Generation(), &copied), SourceBuffer::Got::Data);
            for (size_t i = 0; i < copied; ++i)
                ASSERT_EQ(out[i], expected++);
        }
    }
}

TEST(SourceBuffer, ABlockedReaderWakesForDataInterruptionAndReset)
{
    SourceBuffer buffer(64);
    std::atomic<int> state{0};
    SourceBuffer::Got got = SourceBuffer::Got::Data;
    size_t copied = 0;
    uint8_t out[8];

    std::thread reader([&] {
        got = buffer.Read(out, sizeof out, 0, &copied);
        state = 1;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(state, 0) << "the reader must wait for data";
    const uint8_t three[3] = {1, 2, 3};
    buffer.Write(three, 3);
    reader.join();
    EXPECT_EQ(got, SourceBuffer::Got::Data);
    EXPECT_EQ(copied, 3u);

    reader = std::thread([&] { got = buffer.Read(out, sizeof out, 0, &copied); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    buffer.Interrupt();
    reader.join();
    EXPECT_EQ(got, SourceBuffer::Got::Interrupted);
    /* Until resumed, reads return at once. */
    EXPECT_EQ(buffer.Read(out, sizeof out, 0, &copied), SourceBuffer::Got::Interrupted);
    buffer.Resume();

    buffer.Write(three, 3);
    reader = std::thread([&] {
        /* Drain the old bytes, then wait on generation 0. */
        buffer.Read(out, sizeof out, 0, &copied);
        got = buffer.Read(out, sizeof out, 0, &copied);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    buffer.Reset();
    reader.join();
    EXPECT_EQ(got, SourceBuffer::Got::NewGeneration);
    EXPECT_EQ(buffer.Generation(), 1u);
    buffer.Write(three, 3);
    EXPECT_EQ(buffer.Read(out, sizeof out, 1, &copied), SourceBuffer::Got::Data);
    EXPECT_EQ(copied, 3u);
}

}  // namespace

/* The program stream map scanner: stream types from maps in any pieces,
 * and nothing taken from payload bytes that only look like a map. */
#include <gtest/gtest.h>

#include <random>

#include "StreamMap.h"
#include "VendorSample.h"

using playm4::StreamMap;
using vendor_sample::Bytes;

namespace {

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Stream()
{
    const Bytes picture(300, 0x11);
    const Bytes sound(160, 0xD5);
    return Join({vendor_sample::PackHeader(1000), vendor_sample::SystemHeader(),
                 vendor_sample::StreamMap(0x1B, 0x90), vendor_sample::PesPackets(0xE0, 4600, picture.data(), picture.size()),
                 vendor_sample::PackHeader(1001), vendor_sample::PesPackets(0xC0, 4600, sound.data(), sound.size())});
}

TEST(StreamMap, TypesFromAMapFedWholeOrByteByByte)
{
    const Bytes stream = Stream();
    StreamMap whole;
    whole.Feed(stream.data(), stream.size());
    EXPECT_EQ(whole.MapsSeen(), 1u);
    EXPECT_EQ(whole.TypeOf(0xE0), 0x1B);
    EXPECT_EQ(whole.TypeOf(0xC0), 0x90);
    EXPECT_EQ(whole.TypeOf(0xE1), -1);

    StreamMap pieces;
    for (uint8_t b : stream)
        pieces.Feed(&b, 1);
    EXPECT_EQ(pieces.MapsSeen(), 1u);
    EXPECT_EQ(pieces.TypeOf(0xE0), 0x1B);
    EXPECT_EQ(pieces.TypeOf(0xC0), 0x90);
}

TEST(StreamMap, AMapInsideAPayloadIsNotTaken)
{
    /* A payload carrying the bytes of a map with other types. */
    const Bytes fake = vendor_sample::StreamMap(0x42, 0x43);
    const Bytes stream = Join({vendor_sample::PackHeader(0), vendor_sample::PesPackets(0xE0, 0, fake.data(), fake.size()),
                               vendor_sample::StreamMap(0x1B, 0x91)});
    StreamMap map;
    map.Feed(stream.data(), stream.size());
    EXPECT_EQ(map.MapsSeen(), 1u);
    EXPECT_EQ(map.TypeOf(0xE0), 0x1B);
    EXPECT_EQ(map.TypeOf(0xC0), 0x91);
}

TEST(StreamMap, ResyncsAfterGarbageAndMpeg1Packs)
{
    std::mt19937 random(7);
    Bytes garbage(5000);
    for (uint8_t &b : garbage)
        b = uint8_t(random() | 0x80);  /* no zero bytes: no start code */
    /* An MPEG-1 pack header is twelve bytes; one with stuffing follows. */
    const Bytes mpeg1Pack{0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x00, 0x01};
    Bytes stuffed = vendor_sample::PackHeader(5);
    stuffed.back() = 0xFB;  /* three stuffing bytes */
    stuffed.insert(stuffed.end(), {0xFF, 0xFF, 0xFF});
    const Bytes stream = Join({garbage, mpeg1Pack, stuffed, vendor_sample::StreamMap(0x1B, 0x90)});
    StreamMap map;
    map.Feed(stream.data(), stream.size());
    EXPECT_EQ(map.TypeOf(0xC0), 0x90);
}

TEST(StreamMap, MalformedOrFutureMapsLeaveTheTableAlone)
{
    StreamMap map;
    const Bytes good = vendor_sample::StreamMap(0x1B, 0x90);
    map.Feed(good.data(), good.size());

    Bytes future = vendor_sample::StreamMap(0x42, 0x42);
    future[6] &= 0x7F;  /* current_next_indicator 0 */
    map.Feed(future.data(), future.size());

    Bytes overlong = vendor_sample::StreamMap(0x42, 0x42);
    overlong[11] = 0x40;  /* entries said to run past the CRC */
    map.Feed(overlong.data(), overlong.size());

    const Bytes tiny{0x00, 0x00, 0x01, 0xBC, 0x00, 0x03, 0x80, 0xFF, 0x00};
    map.Feed(tiny.data(), tiny.size());

    EXPECT_EQ(map.MapsSeen(), 1u);
    EXPECT_EQ(map.TypeOf(0xE0), 0x1B);
    EXPECT_EQ(map.TypeOf(0xC0), 0x90);
}

TEST(StreamMap, ANewMapReplacesTheOldOne)
{
    StreamMap map;
    const Bytes first = vendor_sample::StreamMap(0x1B, 0x90);
    const Bytes second = vendor_sample::StreamMap(0x1B, 0x91);
    map.Feed(first.data(), first.size());
    map.Feed(second.data(), second.size());
    EXPECT_EQ(map.MapsSeen(), 2u);
    EXPECT_EQ(map.TypeOf(0xC0), 0x91);
    map.Clear();
    EXPECT_EQ(map.TypeOf(0xC0), -1);
}

}  // namespace

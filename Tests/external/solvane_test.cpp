// Solvane: which devices get a converter, stripping the framing of the framed
// device, refusing malformed framing and bad handles, and decoding what the
// converter hands out.
#include <gtest/gtest.h>

#include <vector>

#include "Media.h"
#include "QXDecoder.h"
#include "Solvane.h"

namespace {

using media::Bytes;

void AppendUnit(Bytes& out, int kind, const Bytes& payload) {
  const uint32_t n = uint32_t(payload.size());
  out.insert(out.end(), {SOLVANE_SYNC0, SOLVANE_SYNC1, uint8_t(kind), 0, uint8_t(n), uint8_t(n >> 8),
                         uint8_t(n >> 16), uint8_t(n >> 24)});
  out.insert(out.end(), payload.begin(), payload.end());
}

struct Result {
  int code;
  Bytes data;
  bool outCleared;
};

Result Convert(SOLVANE_HANDLE h, Bytes packet, int kind) {
  unsigned char* out = reinterpret_cast<unsigned char*>(&packet);  // must be overwritten
  int length = -7;
  Result r;
  r.code = ConvertStdData(h, packet.data(), int(packet.size()), &out, &length, kind);
  if (r.code == 0) r.data.assign(out, out + length);
  r.outCleared = r.code == 0 || (out == nullptr && length == 0);
  return r;
}

TEST(Solvane, OnlyTheFramedDeviceGetsAConverter) {
  for (int device : {0, 48, 96, 97, 98, 102, 103, 105, 112, 128, 129, 7, -1})
    for (int type : {2, 9, 17, 97, 98, 102, 103, 104, 192})
      EXPECT_EQ(CreateConverter(device, type), nullptr) << device << "/" << type;
  // The vendor stream goes to the vendor player whole, whatever the device.
  EXPECT_EQ(CreateConverter(SOLVANE_DEVICE_FRAMED, SOLVANE_VENDOR_STREAM), nullptr);
  SOLVANE_HANDLE a = CreateConverter(SOLVANE_DEVICE_FRAMED, 98);
  SOLVANE_HANDLE b = CreateConverter(SOLVANE_DEVICE_FRAMED, 98);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  ReleaseConverter(a);
  ReleaseConverter(b);
}

TEST(Solvane, FramingIsStrippedPerKind) {
  SOLVANE_HANDLE h = CreateConverter(SOLVANE_DEVICE_FRAMED, 97);
  ASSERT_NE(h, nullptr);
  Bytes packet;
  AppendUnit(packet, SOLVANE_KIND_VIDEO, {1, 2, 3});
  AppendUnit(packet, SOLVANE_KIND_AUDIO, {9, 9});
  AppendUnit(packet, SOLVANE_KIND_VIDEO, {4, 5});
  Result video = Convert(h, packet, SOLVANE_KIND_VIDEO);
  ASSERT_EQ(video.code, SOLVANE_OK);
  EXPECT_EQ(video.data, (Bytes{1, 2, 3, 4, 5}));
  Result audio = Convert(h, packet, SOLVANE_KIND_AUDIO);
  ASSERT_EQ(audio.code, SOLVANE_OK);
  EXPECT_EQ(audio.data, (Bytes{9, 9}));
  Bytes onlyVideo;
  AppendUnit(onlyVideo, SOLVANE_KIND_VIDEO, {1});
  Result none = Convert(h, onlyVideo, SOLVANE_KIND_AUDIO);
  EXPECT_EQ(none.code, SOLVANE_ERR_EMPTY);
  EXPECT_TRUE(none.outCleared);
  ReleaseConverter(h);
}

TEST(Solvane, MalformedFramingIsRefused) {
  SOLVANE_HANDLE h = CreateConverter(SOLVANE_DEVICE_FRAMED, 2);
  Bytes good;
  AppendUnit(good, SOLVANE_KIND_VIDEO, Bytes(20, 0x11));
  std::vector<Bytes> bad;
  bad.push_back(Bytes(good.begin(), good.begin() + 5));  // header cut short
  bad.push_back(Bytes(good.begin(), good.end() - 1));    // payload cut short
  Bytes b = good;
  b[0] = 0xA4;  // sync
  bad.push_back(b);
  b = good;
  b[2] = 2;  // kind
  bad.push_back(b);
  b = good;
  b[3] = 1;  // reserved
  bad.push_back(b);
  b = good;
  b[7] = 0x80;  // length far beyond the packet
  bad.push_back(b);
  b.clear();
  AppendUnit(b, SOLVANE_KIND_VIDEO, {});  // empty unit
  bad.push_back(b);
  b = good;
  b.push_back(0xA5);  // trailing bytes
  bad.push_back(b);
  for (size_t i = 0; i < bad.size(); ++i) {
    Result r = Convert(h, bad[i], SOLVANE_KIND_VIDEO);
    EXPECT_EQ(r.code, SOLVANE_ERR_FRAMING) << "case " << i;
    EXPECT_TRUE(r.outCleared) << "case " << i;
  }
  unsigned char* out = good.data();
  int length = 3;
  EXPECT_EQ(ConvertStdData(h, good.data(), 0, &out, &length, SOLVANE_KIND_VIDEO), SOLVANE_ERR_FRAMING);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(Convert(h, good, SOLVANE_KIND_VIDEO).code, SOLVANE_OK);  // still usable
  ReleaseConverter(h);
}

TEST(Solvane, BadHandlesAndArgumentsAreRefused) {
  Bytes good;
  AppendUnit(good, SOLVANE_KIND_AUDIO, {7});
  EXPECT_EQ(Convert(nullptr, good, SOLVANE_KIND_AUDIO).code, SOLVANE_ERR_HANDLE);
  EXPECT_EQ(Convert(reinterpret_cast<SOLVANE_HANDLE>(0x12345678), good, SOLVANE_KIND_AUDIO).code,
            SOLVANE_ERR_HANDLE);
  SOLVANE_HANDLE h = CreateConverter(SOLVANE_DEVICE_FRAMED, 17);
  unsigned char* out = nullptr;
  int length = 0;
  EXPECT_EQ(ConvertStdData(h, nullptr, 5, &out, &length, 0), SOLVANE_ERR_ARGUMENT);
  EXPECT_EQ(ConvertStdData(h, good.data(), -1, &out, &length, 0), SOLVANE_ERR_ARGUMENT);
  EXPECT_EQ(ConvertStdData(h, good.data(), int(good.size()), nullptr, &length, 1), SOLVANE_ERR_ARGUMENT);
  EXPECT_EQ(ConvertStdData(h, good.data(), int(good.size()), &out, nullptr, 1), SOLVANE_ERR_ARGUMENT);
  EXPECT_EQ(ConvertStdData(h, good.data(), int(good.size()), &out, &length, 2), SOLVANE_ERR_ARGUMENT);
  EXPECT_EQ(Convert(h, good, SOLVANE_KIND_AUDIO).code, SOLVANE_OK);
  ReleaseConverter(h);
  // A released handle is dead for good, even when new converters are made.
  SOLVANE_HANDLE next = CreateConverter(SOLVANE_DEVICE_FRAMED, 17);
  EXPECT_NE(next, h);
  EXPECT_EQ(Convert(h, good, SOLVANE_KIND_AUDIO).code, SOLVANE_ERR_HANDLE);
  ReleaseConverter(h);  // twice: ignored
  ReleaseConverter(nullptr);
  EXPECT_EQ(Convert(next, good, SOLVANE_KIND_AUDIO).code, SOLVANE_OK);
  ReleaseConverter(next);
}

TEST(Solvane, ConvertedPacketsDecode) {
  std::vector<media::VideoSample> samples = media::VideoSamples();
  const std::string soundPath = media::Make("tone-440.alaw", "-f lavfi -i sine=f=440:r=8000:d=1 -c:a pcm_alaw -f alaw");
  if (samples[0].path.empty() || soundPath.empty()) GTEST_SKIP() << "no sample streams";
  std::vector<Bytes> pictures = media::VideoPackets(samples[0].path);
  std::vector<Bytes> sounds = media::Chunks(media::ReadFile(soundPath), 160);

  SOLVANE_HANDLE h = CreateConverter(SOLVANE_DEVICE_FRAMED, 9);
  ASSERT_NE(h, nullptr);
  QXDecoder decoder;
  ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}, CODEC_ID_PCM_ALAW,
                                  _audio_param{8000, 1, 128000}),
            0);
  for (size_t i = 0; i < pictures.size(); ++i) {
    Bytes packet;
    // A picture split over two units, with sound between them.
    const size_t half = pictures[i].size() / 2;
    AppendUnit(packet, SOLVANE_KIND_VIDEO, Bytes(pictures[i].begin(), pictures[i].begin() + half));
    AppendUnit(packet, SOLVANE_KIND_AUDIO, sounds[i]);
    AppendUnit(packet, SOLVANE_KIND_VIDEO, Bytes(pictures[i].begin() + half, pictures[i].end()));
    unsigned char* out = nullptr;
    int length = 0;
    ASSERT_EQ(ConvertStdData(h, packet.data(), int(packet.size()), &out, &length, SOLVANE_KIND_VIDEO), 0);
    ASSERT_EQ(length, int(pictures[i].size()));
    ASSERT_EQ(decoder.QXDecodeVideoFrame(out, length, 0), 0) << "picture " << i;
    ASSERT_EQ(ConvertStdData(h, packet.data(), int(packet.size()), &out, &length, SOLVANE_KIND_AUDIO), 0);
    ASSERT_EQ(decoder.QXDecodeAudioFrame(out, length), 0);
    EXPECT_EQ(decoder.QXGetAudioFrameSize(), 320);
  }
  ReleaseConverter(h);
}

}  // namespace

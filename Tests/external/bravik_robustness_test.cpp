// Random and damaged data into every decode call: nothing may crash, results
// stay consistent, and a good key picture decodes afterwards.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Media.h"
#include "QXDecoder.h"
#include "Solvane.h"

namespace {

using media::Bytes;

// A damaged copy of a good packet, or noise.
Bytes Damage(const std::vector<Bytes>& good, std::mt19937& rng) {
  std::uniform_int_distribution<int> byte(0, 255);
  const Bytes& base = good[rng() % good.size()];
  Bytes p = base;
  switch (rng() % 6) {
    case 0: {  // noise
      p.resize(1 + rng() % 4000);
      for (auto& b : p) b = uint8_t(byte(rng));
      break;
    }
    case 1:  // cut short
      p.resize(1 + rng() % p.size());
      break;
    case 2:  // flipped bits
      for (int i = 0, n = 1 + int(rng() % 20); i < n; ++i) p[rng() % p.size()] ^= uint8_t(1u << (rng() % 8));
      break;
    case 3:  // overwritten run
      for (size_t at = rng() % p.size(), n = 1 + rng() % 64; n && at < p.size(); --n, ++at) p[at] = uint8_t(byte(rng));
      break;
    case 4: {  // two packets spliced
      const Bytes& other = good[rng() % good.size()];
      p.resize(rng() % p.size());
      p.insert(p.end(), other.begin() + long(rng() % other.size()), other.end());
      if (p.empty()) p.push_back(0);
      break;
    }
    default: {  // start codes and markers sprinkled in
      static const uint8_t marks[][4] = {{0, 0, 1, 0x67}, {0, 0, 1, 0x68}, {0, 0, 1, 0xB6}, {0, 0, 1, 0xBA},
                                         {0xFF, 0xD8, 0xFF, 0xDA}, {0, 0, 1, 0xE0}, {0, 0, 0, 1}};
      for (int i = 0, n = 1 + int(rng() % 4); i < n && p.size() >= 4; ++i) {
        const auto& m = marks[rng() % 7];
        std::copy(m, m + 4, p.begin() + long(rng() % (p.size() - 3)));
      }
      break;
    }
  }
  return p;
}

TEST(BravikRobustness, DamagedVideoNeverCrashesAndKeyPicturesRecover) {
  QXDecoderInitialize();
  std::vector<media::VideoSample> samples = media::VideoSamples();
  std::mt19937 rng(20240611);
  for (const auto& sample : samples) {
    if (sample.path.empty()) GTEST_SKIP() << "no sample streams";
    std::vector<Bytes> good = media::VideoPackets(sample.path);
    for (int mode = 0; mode < 2; ++mode) {
      SCOPED_TRACE(std::string(sample.name) + (mode ? " intact mode, demux, code mode 1" : " default mode"));
      QXDecoder decoder;
      decoder.QXDecoderSetOutputMode(mode);
      decoder.QXDecoderSetDemux(mode);
      decoder.QXDecoderSetEncodeMode(mode);
      ASSERT_EQ(decoder.QXOpenDecoder(CodecID(sample.codec), _picture_param{0, 0, 0}), 0);
      const int iterations = sample.width > 640 ? 150 : 500;
      for (int i = 0; i < iterations; ++i) {
        if (i % 50 == 0) decoder.QXSetOutput(_picture_param{int(16 + rng() % 700), int(16 + rng() % 500), 0}, 0);
        Bytes p = Damage(good, rng);
        const int r = decoder.QXDecodeVideoFrame(p.data(), int(p.size()), 0);
        int w = 0, h = 0;
        decoder.QXGetOutputResolution(w, h);
        if (r == 0) {
          ASSERT_NE(decoder.QXGetVideoFrame(), nullptr);
          ASSERT_EQ(decoder.QXGetVideoFrameSize(), w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2));
        } else {
          ASSERT_EQ(decoder.QXGetVideoFrame(), nullptr);
        }
        if (i % 100 == 99) {
          Bytes key = good[0];
          ASSERT_EQ(decoder.QXDecodeVideoFrame(key.data(), int(key.size()), 0), 0) << "after " << i;
        }
      }
      // Sound calls on a video-only run are refused, whatever the bytes.
      Bytes p = Damage(good, rng);
      EXPECT_EQ(decoder.QXDecodeAudioFrame(p.data(), int(p.size())), QX_ERR_NOT_OPEN);
    }
  }
}

TEST(BravikRobustness, RandomBytesIntoEveryAudioCodec) {
  QXDecoderInitialize();
  std::mt19937 rng(77);
  const std::vector<std::pair<CodecID, _audio_param>> codecs = {
      {CODEC_ID_PCM_MULAW, {8000, 1, 64000}},      {CODEC_ID_PCM_ALAW, {8000, 2, 128000}},
      {CODEC_ID_ADPCM_G726, {8000, 1, 16000}},     {CODEC_ID_ADPCM_G726, {0, 0, 0}},
      {CODEC_ID_QX_SPEECH16K, {16000, 1, 16000}},  {CODEC_ID_QX_SPEECH16K, {-5, -1, 48000}},
  };
  for (const auto& codec : codecs) {
    QXDecoder decoder;
    decoder.QXDecoderSetDemux(1);
    ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_MJPEG, _picture_param{0, 0, 0}, codec.first, codec.second), 0);
    for (int i = 0; i < 400; ++i) {
      Bytes p(1 + rng() % 2000);
      for (auto& b : p) b = uint8_t(rng());
      static const uint8_t pack[4] = {0, 0, 1, 0xBA};  // looks like a program stream
      if (i % 3 == 0 && p.size() >= 4) std::copy_n(pack, 4, p.begin());
      const int r = decoder.QXDecodeAudioFrame(p.data(), int(p.size()));
      // Coded sound never expands beyond 16 samples a byte, two channels of 16 bits.
      if (r == 0) ASSERT_LE(decoder.QXGetAudioFrameSize(), int(p.size()) * 16 * 4);
      else ASSERT_EQ(decoder.QXGetAudioFrameSize(), 0);
    }
  }
}

TEST(BravikRobustness, RandomBytesIntoTheConverter) {
  std::mt19937 rng(99);
  SOLVANE_HANDLE h = CreateConverter(SOLVANE_DEVICE_FRAMED, 97);
  ASSERT_NE(h, nullptr);
  for (int i = 0; i < 3000; ++i) {
    Bytes p(rng() % 300);
    for (auto& b : p) b = uint8_t(rng());
    if (p.size() >= 8 && i % 2) {  // a plausible header with a random length
      p[0] = SOLVANE_SYNC0, p[1] = SOLVANE_SYNC1, p[2] = uint8_t(rng() % 2), p[3] = 0;
    }
    unsigned char* out = nullptr;
    int length = -1;
    const int r = ConvertStdData(h, p.data(), int(p.size()), &out, &length, int(rng() % 2));
    if (r == 0) {
      ASSERT_NE(out, nullptr);
      ASSERT_GT(length, 0);
      ASSERT_LE(length, int(p.size()) - 8);
    } else {
      ASSERT_EQ(out, nullptr);
      ASSERT_EQ(length, 0);
    }
  }
  ReleaseConverter(h);
}

}  // namespace

// QXDecoder sound: every audio codec decodes camera-sized packets into PCM in
// the format the wave output is opened with, and the tone survives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "Media.h"
#include "QXDecoder.h"

namespace {

using media::Bytes;

struct Pcm {
  int channels;
  int bits;
  Bytes data;

  size_t Samples() const { return data.size() / size_t(channels * bits / 8); }
  int Sample(size_t i, int channel) const {
    const size_t at = (i * channels + channel) * (bits / 8);
    if (bits == 8) return (int(data[at]) - 128) * 256;
    return int16_t(data[at] | data[at + 1] << 8);
  }
};

// Zero crossings per second of the first channel: twice the tone's frequency.
double CrossingRate(const Pcm& pcm, int sampleRate) {
  int crossings = 0;
  for (size_t i = 1; i < pcm.Samples(); ++i)
    if ((pcm.Sample(i - 1, 0) < 0) != (pcm.Sample(i, 0) < 0)) ++crossings;
  return crossings * double(sampleRate) / double(pcm.Samples());
}

double Rms(const Pcm& pcm) {
  double sum = 0;
  for (size_t i = 0; i < pcm.Samples(); ++i) sum += double(pcm.Sample(i, 0)) * pcm.Sample(i, 0);
  return std::sqrt(sum / double(pcm.Samples()));
}

struct AudioCase {
  const char* name;
  CodecID codec;
  _audio_param param;
  std::string file;      // made by ffmpeg
  size_t packetBytes;    // 20 ms of coded sound
  size_t samplesPerPacket;
  int outChannels, outBits;
  int rate;              // of the PCM handed out
  int tone;              // Hz
};

std::string Tone(int frequency, int rate) {
  return "-f lavfi -i sine=f=" + std::to_string(frequency) + ":r=" + std::to_string(rate) + ":d=1";
}

std::vector<AudioCase> Cases() {
  const std::string mulaw = media::Make("tone-440.ulaw", Tone(440, 8000) + " -c:a pcm_mulaw -f mulaw");
  const std::string alaw = media::Make("tone-440.alaw", Tone(440, 8000) + " -c:a pcm_alaw -f alaw");
  const std::string g726 = media::Make("tone-440-32k.g726", Tone(440, 8000) + " -c:a g726 -b:a 32k -f g726");
  const std::string g722 = media::Make("tone-1000.g722", Tone(1000, 16000) + " -c:a g722 -f g722");
  return {
      // 64 kbit/s mono G.711 is played as 8-bit sound, 128 kbit/s as 16-bit.
      {"mu-law 8-bit", CODEC_ID_PCM_MULAW, {8000, 1, 64000}, mulaw, 160, 160, 1, 8, 8000, 440},
      {"mu-law 16-bit", CODEC_ID_PCM_MULAW, {8000, 1, 128000}, mulaw, 160, 160, 1, 16, 8000, 440},
      {"A-law 16-bit", CODEC_ID_PCM_ALAW, {8000, 1, 128000}, alaw, 160, 160, 1, 16, 8000, 440},
      {"A-law, channels unknown", CODEC_ID_PCM_ALAW, {8000, 0, 0}, alaw, 160, 160, 2, 16, 8000, 440},
      {"G.726 32 kbit/s", CODEC_ID_ADPCM_G726, {8000, 1, 32000}, g726, 80, 160, 1, 16, 8000, 440},
      {"G.722 as 0x990001", CODEC_ID_QX_SPEECH16K, {16000, 1, 16000}, g722, 160, 320, 1, 16, 16000, 1000},
  };
}

class BravikAudio : public ::testing::Test {
protected:
  void SetUp() override {
    QXDecoderInitialize();
    cases_ = Cases();
    for (const auto& c : cases_)
      if (c.file.empty()) GTEST_SKIP() << "the ffmpeg program could not make the sample sounds";
  }
  std::vector<AudioCase> cases_;
};

TEST_F(BravikAudio, EveryCodecGivesPcmInThePlayedFormat) {
  for (const auto& c : cases_) {
    SCOPED_TRACE(c.name);
    QXDecoder decoder;
    ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}, c.codec, c.param), 0);
    Pcm pcm{c.outChannels, c.outBits, {}};
    const std::vector<Bytes> packets = media::Chunks(media::ReadFile(c.file), c.packetBytes);
    ASSERT_GE(packets.size(), 40u);
    for (size_t i = 0; i + 1 < packets.size(); ++i) {  // the last one may be short
      Bytes packet = packets[i];
      ASSERT_EQ(decoder.QXDecodeAudioFrame(packet.data(), int(packet.size())), 0) << "packet " << i;
      const int size = decoder.QXGetAudioFrameSize();
      ASSERT_EQ(size, int(c.samplesPerPacket) * c.outChannels * c.outBits / 8) << "packet " << i;
      const unsigned char* data = decoder.QXGetAudioFrame();
      ASSERT_NE(data, nullptr);
      pcm.data.insert(pcm.data.end(), data, data + size);
    }
    EXPECT_GT(Rms(pcm), 2000.0);  // the tone peaks at 1/8 of full scale: RMS 2896
    EXPECT_NEAR(CrossingRate(pcm, c.rate), 2.0 * c.tone, 0.05 * 2.0 * c.tone);
    if (c.outChannels == 2) {
      for (size_t i = 0; i < pcm.Samples(); i += 97) ASSERT_EQ(pcm.Sample(i, 0), pcm.Sample(i, 1));
    }

    _video_param param{};
    decoder.QXGetParam(param);
    EXPECT_EQ(param.audio_codec, c.codec);
    EXPECT_EQ(param.audio_sample_rate, c.rate);
    EXPECT_EQ(param.audio_channels, c.outChannels);
  }
}

TEST_F(BravikAudio, PacketsOfAnyLengthDecode) {
  const AudioCase& c = cases_[1];  // mu-law, 16-bit
  QXDecoder decoder;
  ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}, c.codec, c.param), 0);
  Bytes sound = media::ReadFile(c.file);
  for (int length : {1, 7, 320, 4000}) {
    ASSERT_EQ(decoder.QXDecodeAudioFrame(sound.data(), length), 0);
    EXPECT_EQ(decoder.QXGetAudioFrameSize(), 2 * length);
  }
  EXPECT_EQ(decoder.QXDecodeAudioFrame(sound.data(), 0), QX_ERR_ARGUMENT);
  EXPECT_EQ(decoder.QXDecodeAudioFrame(nullptr, 10), QX_ERR_ARGUMENT);
  EXPECT_EQ(decoder.QXGetAudioFrameSize(), 0);
}

TEST_F(BravikAudio, SoundAndPicturesShareOneRun) {
  const AudioCase& c = cases_[5];  // G.722
  std::vector<media::VideoSample> video = media::VideoSamples();
  if (video[0].path.empty()) GTEST_SKIP();
  std::vector<Bytes> pictures = media::VideoPackets(video[0].path);
  std::vector<Bytes> sounds = media::Chunks(media::ReadFile(c.file), c.packetBytes);
  QXDecoder decoder;
  decoder.QXSetOutput(_picture_param{160, 112, 0}, 0);
  ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{320, 240, 0}, c.codec, c.param), 0);
  for (size_t i = 0; i < pictures.size(); ++i) {
    ASSERT_EQ(decoder.QXDecodeVideoFrame(pictures[i].data(), int(pictures[i].size()), 0), 0);
    ASSERT_EQ(decoder.QXDecodeAudioFrame(sounds[i].data(), int(sounds[i].size())), 0);
    // A sound packet leaves the picture alone.
    ASSERT_EQ(decoder.QXGetVideoFrameSize(), 160 * 112 * 3 / 2);
    ASSERT_EQ(decoder.QXGetAudioFrameSize(), 640);
  }
  decoder.QXClose();
  EXPECT_EQ(decoder.QXDecodeAudioFrame(sounds[0].data(), 160), QX_ERR_NOT_OPEN);
}

}  // namespace

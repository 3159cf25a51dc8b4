// QXDecoder packet forms: length-prefixed H.264 (code mode 1) and MPEG
// program stream packs (the demultiplexing switch).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Media.h"
#include "QXDecoder.h"

namespace {

using media::Bytes;

// The NAL units of a start-code packet.
std::vector<Bytes> NalUnits(const Bytes& p) {
  std::vector<size_t> starts;  // first byte after each start code
  for (size_t i = 0; i + 2 < p.size(); ++i)
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) starts.push_back(i + 3);
  std::vector<Bytes> units;
  for (size_t k = 0; k < starts.size(); ++k) {
    size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : p.size();
    while (k + 1 < starts.size() && end > starts[k] && p[end - 1] == 0) --end;  // 4-byte start code
    units.emplace_back(p.begin() + starts[k], p.begin() + end);
  }
  return units;
}

Bytes LengthPrefixed(const Bytes& annexB) {
  Bytes out;
  for (const Bytes& nal : NalUnits(annexB)) {
    const uint32_t n = uint32_t(nal.size());
    out.insert(out.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    out.insert(out.end(), nal.begin(), nal.end());
  }
  return out;
}

void AppendPackHeader(Bytes& out) {
  // MPEG-2 pack header: SCR 0 with its marker bits, mux rate, no stuffing.
  out.insert(out.end(), {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8});
}

// PES packets of at most 60000 payload bytes each; unbounded asks for one
// video PES packet with length 0.
void AppendPes(Bytes& out, uint8_t streamId, const Bytes& payload, bool unbounded = false) {
  const uint8_t header[] = {0x80, 0x80, 0x05, 0x21, 0x00, 0x01, 0x00, 0x01};  // PTS only
  size_t pos = 0;
  do {
    const size_t n = unbounded ? payload.size() : std::min<size_t>(60000, payload.size() - pos);
    const size_t length = unbounded ? 0 : sizeof header + n;
    out.insert(out.end(), {0x00, 0x00, 0x01, streamId, uint8_t(length >> 8), uint8_t(length)});
    out.insert(out.end(), header, header + sizeof header);
    out.insert(out.end(), payload.begin() + pos, payload.begin() + pos + n);
    pos += n;
  } while (pos < payload.size());
}

class BravikPackets : public ::testing::Test {
protected:
  void SetUp() override {
    QXDecoderInitialize();
    std::vector<media::VideoSample> samples = media::VideoSamples();
    if (samples[0].path.empty()) GTEST_SKIP() << "no sample streams";
    pictures_ = media::VideoPackets(samples[0].path);
    ASSERT_GE(pictures_.size(), 6u);
  }
  std::vector<Bytes> pictures_;
};

int DecodeVideo(QXDecoder& d, Bytes p) { return d.QXDecodeVideoFrame(p.data(), int(p.size()), 0); }
int DecodeAudio(QXDecoder& d, Bytes p) { return d.QXDecodeAudioFrame(p.data(), int(p.size())); }

TEST_F(BravikPackets, LengthPrefixedH264NeedsCodeMode1) {
  QXDecoder plain;
  ASSERT_EQ(plain.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}), 0);
  EXPECT_NE(DecodeVideo(plain, LengthPrefixed(pictures_[0])), 0);

  QXDecoder decoder;
  decoder.QXDecoderSetEncodeMode(1);
  ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}), 0);
  for (size_t i = 0; i < pictures_.size(); ++i) {
    // Either form is taken, packet by packet.
    Bytes packet = i % 2 ? pictures_[i] : LengthPrefixed(pictures_[i]);
    ASSERT_EQ(DecodeVideo(decoder, packet), 0) << "packet " << i;
  }
  // Lengths that do not tile the packet are not rewritten, and fail to decode.
  Bytes bad = LengthPrefixed(pictures_[0]);
  bad[3] += 7;
  EXPECT_NE(DecodeVideo(decoder, bad), 0);
  bad[0] = 0x7F;
  EXPECT_NE(DecodeVideo(decoder, bad), 0);
  EXPECT_EQ(DecodeVideo(decoder, pictures_[0]), 0);
}

TEST_F(BravikPackets, ProgramStreamPacksAreUnwrappedWhenDemuxIsOn) {
  const Bytes sound = media::ReadFile(media::Make("tone-440.ulaw", "-f lavfi -i sine=f=440:r=8000:d=1 -c:a pcm_mulaw -f mulaw"));
  ASSERT_GE(sound.size(), 160u * pictures_.size());
  QXDecoder decoder;
  ASSERT_EQ(decoder.QXDecoderSetDemux(1), 0);
  ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}, CODEC_ID_PCM_MULAW,
                                  _audio_param{8000, 1, 128000}),
            0);
  for (size_t i = 0; i < pictures_.size(); ++i) {
    SCOPED_TRACE(i);
    Bytes pack;
    AppendPackHeader(pack);
    if (i == 0) pack.insert(pack.end(), {0x00, 0x00, 0x01, 0xBB, 0x00, 0x02, 0xFF, 0xFF});  // system header
    AppendPes(pack, 0xE0, pictures_[i], i == 3);
    if (i != 3) AppendPes(pack, 0xC0, Bytes(sound.begin() + 160 * i, sound.begin() + 160 * (i + 1)));
    ASSERT_EQ(DecodeVideo(decoder, pack), 0);
    int w = 0, h = 0;
    decoder.QXGetOutputResolution(w, h);
    EXPECT_EQ(w, 320);
    if (i != 3) {
      ASSERT_EQ(DecodeAudio(decoder, pack), 0);
      EXPECT_EQ(decoder.QXGetAudioFrameSize(), 320);
    }
  }
  // Plain elementary packets still pass.
  EXPECT_EQ(DecodeVideo(decoder, pictures_[0]), 0);
  // A pack with sound only has no picture, one with a broken header fails.
  Bytes soundOnly;
  AppendPackHeader(soundOnly);
  AppendPes(soundOnly, 0xC0, Bytes(sound.begin(), sound.begin() + 160));
  EXPECT_EQ(DecodeVideo(decoder, soundOnly), QX_ERR_NO_OUTPUT);
  EXPECT_EQ(DecodeAudio(decoder, soundOnly), 0);
  Bytes broken(soundOnly.begin(), soundOnly.begin() + 9);
  EXPECT_EQ(DecodeVideo(decoder, broken), QX_ERR_DECODE);
  EXPECT_EQ(DecodeAudio(decoder, broken), QX_ERR_DECODE);
  Bytes junkAfter = soundOnly;
  junkAfter.insert(junkAfter.end(), {0x12, 0x34, 0x56, 0x78, 0x9A});
  EXPECT_EQ(DecodeAudio(decoder, junkAfter), QX_ERR_DECODE);
  // A PES packet cut short gives what it holds.
  Bytes cut = soundOnly;
  cut.resize(cut.size() - 60);
  ASSERT_EQ(DecodeAudio(decoder, cut), 0);
  EXPECT_EQ(decoder.QXGetAudioFrameSize(), 200);
}

TEST_F(BravikPackets, ProgramStreamsAreLeftAloneWhenDemuxIsOff) {
  QXDecoder decoder;
  ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_MJPEG, _picture_param{0, 0, 0}, CODEC_ID_PCM_ALAW,
                                  _audio_param{8000, 1, 128000}),
            0);
  Bytes pack;
  AppendPackHeader(pack);
  AppendPes(pack, 0xC0, Bytes(100, 0xD5));
  // Without demultiplexing, the whole pack is sound to the A-law decoder.
  ASSERT_EQ(DecodeAudio(decoder, pack), 0);
  EXPECT_EQ(decoder.QXGetAudioFrameSize(), 2 * int(pack.size()));
}

}  // namespace

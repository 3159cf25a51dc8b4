// QXDecoder video: decoding each codec from packets, the native and scaled
// output, the stream description, the snapshot bitmap, bad packets and the
// log callback.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Media.h"
#include "QXDecoder.h"

namespace {

using media::Bytes;

struct Colour {
  const char* name;
  int y, u, v;
};
// BT.601 video-range values of the quadrant colours.
const Colour kRed{"red", 81, 90, 240};
const Colour kWhite{"white", 235, 128, 128};
const Colour kBlack{"black", 16, 128, 128};
const Colour kBlue{"blue", 41, 240, 110};

struct Picture {
  int width = 0, height = 0;
  const uint8_t* data = nullptr;
  int size = 0;
};

Picture Current(QXDecoder& decoder) {
  Picture p;
  decoder.QXGetOutputResolution(p.width, p.height);
  p.data = decoder.QXGetVideoFrame();
  p.size = decoder.QXGetVideoFrameSize();
  return p;
}

int Yuv420Size(int w, int h) { return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2); }

// Checks the colour at a fraction of the picture's width and height.
void ExpectColour(const Picture& p, double fx, double fy, const Colour& c, int tolerance = 14) {
  ASSERT_NE(p.data, nullptr);
  ASSERT_EQ(p.size, Yuv420Size(p.width, p.height));
  const int x = int(fx * p.width), y = int(fy * p.height);
  const int cw = (p.width + 1) / 2, ch = (p.height + 1) / 2;
  const uint8_t* u = p.data + p.width * p.height;
  const uint8_t* v = u + cw * ch;
  EXPECT_NEAR(p.data[y * p.width + x], c.y, tolerance) << c.name << " Y at " << x << "," << y;
  EXPECT_NEAR(u[(y / 2) * cw + x / 2], c.u, tolerance) << c.name << " U at " << x << "," << y;
  EXPECT_NEAR(v[(y / 2) * cw + x / 2], c.v, tolerance) << c.name << " V at " << x << "," << y;
}

void ExpectQuadrants(const Picture& p) {
  ExpectColour(p, 0.25, 0.25, kRed);
  ExpectColour(p, 0.75, 0.25, kWhite);
  ExpectColour(p, 0.25, 0.75, kBlack);
  ExpectColour(p, 0.75, 0.75, kBlue);
}

int Decode(QXDecoder& decoder, Bytes& packet) {
  return decoder.QXDecodeVideoFrame(packet.data(), int(packet.size()), 0);
}

class BravikVideo : public ::testing::Test {
protected:
  void SetUp() override {
    QXDecoderInitialize();
    samples_ = media::VideoSamples();
    for (const auto& s : samples_)
      if (s.path.empty()) GTEST_SKIP() << "the ffmpeg program could not make the sample streams";
  }
  std::vector<media::VideoSample> samples_;
};

TEST_F(BravikVideo, EveryCodecDecodesEachPacketAtTheNativeSize) {
  for (const auto& sample : samples_) {
    SCOPED_TRACE(sample.name);
    std::vector<Bytes> packets = media::VideoPackets(sample.path);
    ASSERT_GE(packets.size(), 4u);
    QXDecoder decoder;
    ASSERT_EQ(decoder.QXOpenDecoder(CodecID(sample.codec), _picture_param{0, 0, 0}), 0);
    EXPECT_EQ(decoder.QXSetOutputFormat(PIX_FMT_YUV420P, 0), 0);
    for (size_t i = 0; i < packets.size(); ++i) {
      ASSERT_EQ(Decode(decoder, packets[i]), 0) << "packet " << i;
      Picture p = Current(decoder);
      ASSERT_EQ(p.width, sample.width);
      ASSERT_EQ(p.height, sample.height);
      ASSERT_EQ(p.size, sample.width * sample.height * 3 / 2);
    }
    ExpectQuadrants(Current(decoder));

    _video_param param;
    std::memset(&param, 0, sizeof param);
    EXPECT_EQ(decoder.QXGetParam(param), 0);
    EXPECT_EQ(param.codec, sample.codec);
    EXPECT_EQ(param.width, sample.width);
    EXPECT_EQ(param.height, sample.height);
    EXPECT_EQ(param.frames_decoded, int(packets.size()));
    EXPECT_EQ(decoder.QXClose(), 0);
    EXPECT_EQ(decoder.QXClose(), 0);  // closing twice is harmless
  }
}

TEST_F(BravikVideo, OutputFollowsTheRequestedSize) {
  for (const auto& sample : samples_) {
    SCOPED_TRACE(sample.name);
    std::vector<Bytes> packets = media::VideoPackets(sample.path);
    QXDecoder decoder;
    ASSERT_EQ(decoder.QXOpenDecoder(CodecID(sample.codec), _picture_param{sample.width, sample.height, 0}), 0);
    // Before the first picture the size given at open stands for the stream's.
    _video_param param{};
    decoder.QXGetParam(param);
    EXPECT_EQ(param.width, sample.width);

    const int sizes[][2] = {{112, 64}, {640, 480}, {175, 99}, {1920, 1088}};
    size_t next = 0;
    for (const auto& size : sizes) {
      ASSERT_EQ(decoder.QXSetOutput(_picture_param{size[0], size[1], 0}, 0), 0);
      ASSERT_EQ(Decode(decoder, packets[next++ % packets.size()]), 0);
      Picture p = Current(decoder);
      EXPECT_EQ(p.width, size[0]);
      EXPECT_EQ(p.height, size[1]);
      EXPECT_EQ(p.size, Yuv420Size(size[0], size[1]));
      ExpectQuadrants(p);
    }
    // {w, h, -1}: back to the stream's own size, whatever w and h say.
    ASSERT_EQ(decoder.QXSetOutput(_picture_param{1, 1, -1}, 0), 0);
    ASSERT_EQ(Decode(decoder, packets[next++ % packets.size()]), 0);
    Picture p = Current(decoder);
    EXPECT_EQ(p.width, sample.width);
    EXPECT_EQ(p.height, sample.height);
    // The native size stays that of the stream while the output is scaled.
    decoder.QXSetOutput(_picture_param{160, 96, 0}, 0);
    ASSERT_EQ(Decode(decoder, packets[next++ % packets.size()]), 0);
    std::memset(&param, 0, sizeof param);
    decoder.QXGetParam(param);
    EXPECT_EQ(param.width, sample.width);
    EXPECT_EQ(param.height, sample.height);
    EXPECT_EQ(param.output_width, 160);
    EXPECT_EQ(param.output_height, 96);
  }
}

TEST_F(BravikVideo, OutputSizeIsKeptAcrossReopens) {
  const auto& sample = samples_[0];
  std::vector<Bytes> packets = media::VideoPackets(sample.path);
  QXDecoder decoder;
  decoder.QXSetOutput(_picture_param{240, 128, 0}, 0);
  ASSERT_EQ(decoder.QXOpenDecoder(CodecID(sample.codec), _picture_param{0, 0, 0}), 0);
  int w = 0, h = 0;
  decoder.QXGetOutputResolution(w, h);
  EXPECT_EQ(w, 240);  // the size the next picture will have
  ASSERT_EQ(Decode(decoder, packets[0]), 0);
  decoder.QXClose();
  ASSERT_EQ(decoder.QXOpenDecoder(CodecID(sample.codec), _picture_param{0, 0, 0}), 0);
  ASSERT_EQ(Decode(decoder, packets[0]), 0);
  decoder.QXGetOutputResolution(w, h);
  EXPECT_EQ(w, 240);
  EXPECT_EQ(h, 128);
  // A picture already handed out keeps its size until the next decode.
  decoder.QXSetOutput(_picture_param{320, 176, 0}, 0);
  decoder.QXGetOutputResolution(w, h);
  EXPECT_EQ(w, 240);
  EXPECT_EQ(decoder.QXGetVideoFrameSize(), Yuv420Size(240, 128));
  // Sizes no picture can have are refused and change nothing.
  EXPECT_NE(decoder.QXSetOutput(_picture_param{100000, 100, 0}, 0), 0);
  ASSERT_EQ(Decode(decoder, packets[1]), 0);
  decoder.QXGetOutputResolution(w, h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 176);
  EXPECT_NE(decoder.QXSetOutputFormat(PixelFormat(2), 0), 0);
}

TEST_F(BravikVideo, OpenResults) {
  QXDecoder decoder;
  // Video fine, audio refused: the caller is told to open the video alone.
  EXPECT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}, CodecID(0x12345),
                                  _audio_param{8000, 1, 64000}),
            -10100);
  Bytes packet = media::VideoPackets(samples_[0].path)[0];
  EXPECT_NE(Decode(decoder, packet), 0) << "a refused open leaves nothing open";
  EXPECT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}), 0);
  EXPECT_EQ(Decode(decoder, packet), 0);
  // No audio codec: video alone.
  EXPECT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}, CODEC_ID_NONE, _audio_param{0, 0, 0}), 0);
  unsigned char pcm[160] = {};
  EXPECT_NE(decoder.QXDecodeAudioFrame(pcm, sizeof pcm), 0);
  EXPECT_EQ(decoder.QXOpenDecoder(CodecID(63), _picture_param{0, 0, 0}), QX_ERR_UNSUPPORTED);
  EXPECT_EQ(decoder.QXOpenDecoder(CODEC_ID_PCM_ALAW, _picture_param{0, 0, 0}), QX_ERR_UNSUPPORTED);
}

TEST_F(BravikVideo, NothingWorksBeforeAnOpen) {
  QXDecoder decoder;
  Bytes packet = media::VideoPackets(samples_[0].path)[0];
  EXPECT_EQ(Decode(decoder, packet), QX_ERR_NOT_OPEN);
  EXPECT_EQ(decoder.QXGetVideoFrame(), nullptr);
  EXPECT_EQ(decoder.QXGetVideoFrameSize(), 0);
  EXPECT_EQ(decoder.QXDecodeAudioFrame(packet.data(), int(packet.size())), QX_ERR_NOT_OPEN);
  EXPECT_EQ(decoder.QXGetAudioFrameSize(), 0);
  int w = -1, h = -1;
  EXPECT_EQ(decoder.QXGetOutputResolution(w, h), 0);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  _video_param param{};
  EXPECT_EQ(decoder.QXGetParam(param), 0);
  EXPECT_EQ(param.width, 0);
  EXPECT_NE(decoder.QXSaveCurrentImage(KOVA_EXTERNAL_MEDIA_DIR "/never.bmp"), 0);
  EXPECT_EQ(decoder.QXClose(), 0);
  // Bad arguments are refused once open, too.
  ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}), 0);
  EXPECT_EQ(decoder.QXDecodeVideoFrame(nullptr, 100, 0), QX_ERR_ARGUMENT);
  EXPECT_EQ(decoder.QXDecodeVideoFrame(packet.data(), 0, 0), QX_ERR_ARGUMENT);
  EXPECT_EQ(decoder.QXDecodeVideoFrame(packet.data(), -5, 0), QX_ERR_ARGUMENT);
}

uint32_t Le32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

TEST_F(BravikVideo, SnapshotIsA24BitBitmapOfTheStreamPicture) {
  for (const auto& sample : samples_) {
    SCOPED_TRACE(sample.name);
    std::vector<Bytes> packets = media::VideoPackets(sample.path);
    QXDecoder decoder;
    ASSERT_EQ(decoder.QXOpenDecoder(CodecID(sample.codec), _picture_param{0, 0, 0}), 0);
    decoder.QXSetOutput(_picture_param{112, 64, 0}, 0);  // the snapshot ignores the output size
    ASSERT_EQ(Decode(decoder, packets[0]), 0);
    const std::string path = std::string(KOVA_EXTERNAL_MEDIA_DIR) + "/snapshot-" + std::to_string(sample.width) + ".bmp";
    std::remove(path.c_str());
    ASSERT_EQ(decoder.QXSaveCurrentImage(path.c_str()), 0);

    Bytes file = media::ReadFile(path);
    const uint32_t row = (uint32_t(sample.width) * 3 + 3) & ~3u;
    ASSERT_EQ(file.size(), 54 + row * sample.height);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 2), file.size());
    EXPECT_EQ(Le32(file, 10), 54u);
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(int32_t(Le32(file, 18)), sample.width);
    EXPECT_EQ(int32_t(Le32(file, 22)), sample.height);  // bottom-up
    EXPECT_EQ(Le16(file, 26), 1);
    EXPECT_EQ(Le16(file, 28), 24);
    EXPECT_EQ(Le32(file, 30), 0u);
    EXPECT_EQ(Le32(file, 34), row * sample.height);

    // Pixels are B, G, R; the first row in the file is the bottom one.
    auto pixel = [&](double fx, double fy) {
      const int x = int(fx * sample.width);
      const int y = sample.height - 1 - int(fy * sample.height);
      const uint8_t* p = &file[54 + size_t(y) * row + size_t(x) * 3];
      return std::vector<int>{p[2], p[1], p[0]};
    };
    const std::vector<std::pair<std::vector<int>, std::vector<int>>> expected = {
        {pixel(0.25, 0.25), {255, 0, 0}},
        {pixel(0.75, 0.25), {255, 255, 255}},
        {pixel(0.25, 0.75), {0, 0, 0}},
        {pixel(0.75, 0.75), {0, 0, 255}}};
    for (const auto& e : expected)
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(e.first[i], e.second[i], 24) << "component " << i;
    std::remove(path.c_str());
  }
}

TEST_F(BravikVideo, SnapshotFailuresAreReported) {
  std::vector<Bytes> packets = media::VideoPackets(samples_[0].path);
  QXDecoder decoder;
  ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}), 0);
  EXPECT_EQ(decoder.QXSaveCurrentImage(KOVA_EXTERNAL_MEDIA_DIR "/none.bmp"), QX_ERR_NO_PICTURE);
  ASSERT_EQ(Decode(decoder, packets[0]), 0);
  EXPECT_EQ(decoder.QXSaveCurrentImage(KOVA_EXTERNAL_MEDIA_DIR "/no/such/dir/x.bmp"), QX_ERR_IO);
  EXPECT_EQ(decoder.QXSaveCurrentImage(nullptr), QX_ERR_ARGUMENT);
  EXPECT_EQ(decoder.QXSaveCurrentImage(""), QX_ERR_ARGUMENT);
  // A failed decode keeps the last good picture for the snapshot.
  Bytes garbage(500, 0x5A);
  EXPECT_NE(Decode(decoder, garbage), 0);
  const std::string path = KOVA_EXTERNAL_MEDIA_DIR "/kept.bmp";
  EXPECT_EQ(decoder.QXSaveCurrentImage(path.c_str()), 0);
  EXPECT_EQ(media::ReadFile(path).size(), 54u + 960u * 240u);
  std::remove(path.c_str());
}

TEST_F(BravikVideo, BadPacketsFailAndTheNextGoodOneDecodes) {
  for (const auto& sample : samples_) {
    SCOPED_TRACE(sample.name);
    std::vector<Bytes> packets = media::VideoPackets(sample.path);
    QXDecoder decoder;
    decoder.QXDecoderSetOutputMode(1);
    ASSERT_EQ(decoder.QXOpenDecoder(CodecID(sample.codec), _picture_param{0, 0, 0}), 0);
    ASSERT_EQ(Decode(decoder, packets[0]), 0);

    std::vector<Bytes> bad;
    bad.push_back(Bytes(1, 0));
    bad.push_back(Bytes(4096, 0xFF));
    Bytes noise(3000);
    uint32_t seed = 12345;
    for (auto& b : noise) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
    bad.push_back(noise);
    Bytes withStartCode = noise;  // looks like a NAL unit or a marker, then noise
    withStartCode[0] = 0, withStartCode[1] = 0, withStartCode[2] = 0, withStartCode[3] = 1;
    bad.push_back(withStartCode);
    bad.push_back(Bytes(packets[0].begin(), packets[0].begin() + 8));  // just a header
    for (size_t i = 0; i < bad.size(); ++i) {
      EXPECT_NE(Decode(decoder, bad[i]), 0) << "bad packet " << i;
      EXPECT_EQ(decoder.QXGetVideoFrame(), nullptr);
    }
    // A key picture brings the stream back.
    ASSERT_EQ(Decode(decoder, packets[0]), 0);
    ExpectQuadrants(Current(decoder));
    _video_param param{};
    decoder.QXGetParam(param);
    EXPECT_EQ(param.frames_failed, int(bad.size()));
  }
}

TEST_F(BravikVideo, TruncatedPicturesAreNotHandedOutInIntactMode) {
  for (const auto& sample : samples_) {
    SCOPED_TRACE(sample.name);
    std::vector<Bytes> packets = media::VideoPackets(sample.path);
    QXDecoder decoder;
    decoder.QXDecoderSetOutputMode(1);
    ASSERT_EQ(decoder.QXOpenDecoder(CodecID(sample.codec), _picture_param{0, 0, 0}), 0);
    Bytes half(packets[0].begin(), packets[0].begin() + packets[0].size() / 2);
    EXPECT_NE(Decode(decoder, half), 0);
    ASSERT_EQ(Decode(decoder, packets[0]), 0);
    ExpectQuadrants(Current(decoder));
  }
}

TEST_F(BravikVideo, OutputModeDecidesAboutPicturesWithoutTheirKeyPicture) {
  std::vector<Bytes> packets = media::VideoPackets(samples_[0].path);  // H.264, a key picture every 6
  ASSERT_GE(packets.size(), 8u);
  for (int mode = 0; mode < 2; ++mode) {
    SCOPED_TRACE(mode);
    QXDecoder decoder;
    decoder.QXDecoderSetOutputMode(mode);
    ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}), 0);
    Bytes cut(packets[0].begin(), packets[0].begin() + 200);  // parameter sets, half a key picture
    decoder.QXDecodeVideoFrame(cut.data(), int(cut.size()), 0);
    for (size_t i = 1; i < 6; ++i) {
      const int r = Decode(decoder, packets[i]);
      if (mode == 0) EXPECT_EQ(r, 0) << i;  // concealed pictures are handed out
      else EXPECT_NE(r, 0) << i;
    }
    EXPECT_EQ(Decode(decoder, packets[6]), 0);  // the next key picture
    ExpectQuadrants(Current(decoder));
  }
}

std::vector<std::pair<int, std::string>> g_messages;
void Collect(void*, int level, const char* text, va_list) { g_messages.emplace_back(level, text ? text : ""); }

TEST_F(BravikVideo, LogCallbackReceivesFFmpegMessagesWithTheirLevel) {
  std::vector<Bytes> packets = media::VideoPackets(samples_[0].path);
  QXDecoder decoder;
  ASSERT_EQ(decoder.QXDecoderRegisterLog(Collect, 0), 0);
  ASSERT_EQ(decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}), 0);
  g_messages.clear();
  // A picture that refers to a parameter set the stream never sent.
  Bytes orphan = packets[1];
  ASSERT_NE(Decode(decoder, orphan), 0);
  ASSERT_FALSE(g_messages.empty());
  bool error = false;
  for (const auto& m : g_messages) {
    EXPECT_LE(m.first, 32);  // nothing chattier than FFmpeg's information level
    EXPECT_FALSE(m.second.empty());
    if (m.first <= 16) error = true;
  }
  EXPECT_TRUE(error);

  // A limit caps the messages of one call; unregistering stops them.
  QXDecoder limited;
  limited.QXDecoderRegisterLog(Collect, 1);
  ASSERT_EQ(limited.QXOpenDecoder(CODEC_ID_H264, _picture_param{0, 0, 0}), 0);
  for (int i = 0; i < 3; ++i) {
    g_messages.clear();
    Bytes p = packets[1 + i];
    EXPECT_NE(Decode(limited, p), 0);
    EXPECT_EQ(g_messages.size(), 1u);
  }
  limited.QXDecoderRegisterLog(nullptr, 0);
  g_messages.clear();
  Bytes p = packets[1];
  EXPECT_NE(Decode(limited, p), 0);
  EXPECT_TRUE(g_messages.empty());

  // The library's own refusals come through the same callback.
  g_messages.clear();
  EXPECT_NE(decoder.QXOpenDecoder(CodecID(63), _picture_param{0, 0, 0}), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].first, 16);
}

}  // namespace

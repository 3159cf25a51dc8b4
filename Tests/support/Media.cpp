#include "Media.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#ifdef _WIN32
#include <libavcodec/avcodec.h>
#else
#include <libavformat/avformat.h>
#endif
}

namespace media {

std::string QuadrantSource(int width, int height, int frames) {
  char text[512];
  std::snprintf(text, sizeof text,
                "-f lavfi -i color=c=white:s=%dx%d:r=25:d=%d,"
                "drawbox=x=0:y=0:w=iw/2:h=ih/2:color=red:t=fill,"
                "drawbox=x=0:y=ih/2:w=iw/2:h=ih/2:color=black:t=fill,"
                "drawbox=x=iw/2:y=ih/2:w=iw/2:h=ih/2:color=blue:t=fill "
                "-frames:v %d",
                width, height, frames, frames);
  return text;
}

std::string ToneSource(int frequency, int rate, int seconds) {
  return "-f lavfi -i sine=f=" + std::to_string(frequency) + ":r=" + std::to_string(rate) +
         ":d=" + std::to_string(seconds);
}

std::string Dir() { return KOVA_TEST_MEDIA_DIR; }

static void MakeDir(const std::string& dir) {
#ifdef _WIN32
  ::mkdir(dir.c_str());
#else
  ::mkdir(dir.c_str(), 0755);
#endif
}

std::string Make(const std::string& name, const std::string& arguments) {
  const std::string dir = Dir();
  MakeDir(dir);
  const std::string path = dir + "/" + name;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && st.st_size > 0) return path;
  // Made under a temporary name, so that a test run cut short leaves no
  // half-written sample behind.
  const std::string partial = path + ".part" + std::to_string(::getpid());
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " " + partial;
  if (std::system(command.c_str()) != 0) return "";
  if (std::rename(partial.c_str(), path.c_str()) != 0) return "";
  return path;
}

#ifdef _WIN32
// The Windows FFmpeg has no raw-stream demuxers; they only run the codec's
// parser over the file, which is done here directly.
std::vector<Bytes> VideoPackets(const std::string& path) {
  std::vector<Bytes> packets;
  const std::string extension = path.substr(path.rfind('.') + 1);
  const AVCodecID codec = extension == "h264" ? AV_CODEC_ID_H264
                          : extension == "m4v" ? AV_CODEC_ID_MPEG4
                                               : AV_CODEC_ID_MJPEG;
  const Bytes file = ReadFile(path);
  AVCodecParserContext* parser = av_parser_init(codec);
  AVCodecContext* context = avcodec_alloc_context3(nullptr);
  if (!parser || !context || file.empty()) return packets;
  const uint8_t* at = file.data();
  int left = int(file.size());
  for (;;) {
    uint8_t* out = nullptr;
    int size = 0;
    const int used = av_parser_parse2(parser, context, &out, &size, at, left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (size > 0) packets.emplace_back(out, out + size);
    if (left == 0 && size == 0) break;
    at += used;
    left -= used;
  }
  av_parser_close(parser);
  avcodec_free_context(&context);
  return packets;
}
#else
std::vector<Bytes> VideoPackets(const std::string& path) {
  std::vector<Bytes> packets;
  AVFormatContext* format = nullptr;
  // Raw streams are named by their extension: h264, m4v, mjpeg.
  const std::string extension = path.substr(path.rfind('.') + 1);
  const AVInputFormat* input = av_find_input_format(extension.c_str());
  if (avformat_open_input(&format, path.c_str(), input, nullptr) < 0) return packets;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(format, packet) >= 0) {
    packets.emplace_back(packet->data, packet->data + packet->size);
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&format);
  return packets;
}
#endif

// Windows builds link libavcodec only: no container reading there.
#ifndef _WIN32
std::vector<StampedPacket> StampedVideoPackets(const std::string& path) {
  std::vector<StampedPacket> packets;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), av_find_input_format("mpegts"), nullptr) < 0) return packets;
  if (avformat_find_stream_info(format, nullptr) < 0) {
    avformat_close_input(&format);
    return packets;
  }
  const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVPacket* packet = av_packet_alloc();
  int64_t first = AV_NOPTS_VALUE;
  while (video >= 0 && av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == video && packet->pts != AV_NOPTS_VALUE) {
      const int64_t ms = av_rescale_q(packet->pts, format->streams[video]->time_base, AVRational{1, 1000});
      if (first == AV_NOPTS_VALUE || ms < first) first = ms;
      packets.push_back({Bytes(packet->data, packet->data + packet->size), ms});
    }
    av_packet_unref(packet);
  }
  for (StampedPacket& p : packets) p.ms -= first;
  av_packet_free(&packet);
  avformat_close_input(&format);
  return packets;
}
#endif

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Bytes> Chunks(const Bytes& data, size_t size) {
  std::vector<Bytes> chunks;
  for (size_t pos = 0; pos < data.size(); pos += size)
    chunks.emplace_back(data.begin() + pos, data.begin() + std::min(data.size(), pos + size));
  return chunks;
}

std::vector<VideoSample> VideoSamples() {
  std::vector<VideoSample> samples = {
      {"H.264", 28, 320, 240,
       Make("quad-320x240.h264", QuadrantSource(320, 240, 12) +
                                     " -c:v libx264 -preset ultrafast -tune zerolatency -g 6 -pix_fmt yuv420p -f h264")},
      {"H.264 HD", 28, 1280, 720,
       Make("quad-1280x720.h264", QuadrantSource(1280, 720, 4) +
                                      " -c:v libx264 -preset ultrafast -tune zerolatency -g 4 -pix_fmt yuv420p -f h264")},
      {"MPEG-4", 13, 352, 288,
       Make("quad-352x288.m4v", QuadrantSource(352, 288, 12) + " -c:v mpeg4 -g 6 -q:v 2 -f m4v")},
      {"Motion JPEG 4:2:0", 8, 640, 360,
       Make("quad-640x360.mjpeg", QuadrantSource(640, 360, 4) + " -c:v mjpeg -q:v 2 -pix_fmt yuvj420p -f mjpeg")},
      {"Motion JPEG 4:2:2", 8, 176, 144,
       Make("quad-176x144.mjpeg", QuadrantSource(176, 144, 4) + " -c:v mjpeg -q:v 2 -pix_fmt yuvj422p -f mjpeg")},
  };
  return samples;
}

std::string MakeCameraStream(const std::string& name, int width, int height, int fps, int frames,
                             const std::string& codecArgs) {
  const int seconds = frames / fps + 1;
  const int boxWidth = std::max(2, width / 16 & ~1), boxHeight = std::max(2, height / 16 & ~1);
  char source[900];
  std::snprintf(source, sizeof source,
                "-f lavfi -i \"color=c=white:s=%dx%d:r=%d:d=%d,"
                "drawbox=x=0:y=0:w=iw/2:h=ih/2:color=red:t=fill,"
                "drawbox=x=0:y=ih/2:w=iw/2:h=ih/2:color=black:t=fill,"
                "drawbox=x=iw/2:y=ih/2:w=iw/2:h=ih/2:color=blue:t=fill[bg];"
                "color=c=0x00FF00:s=%dx%d:r=%d:d=%d[box];[bg][box]overlay=x='mod(t*W/2\\,W)':y=(H-h)/2\" "
                "-frames:v %d -g %d -pix_fmt yuv420p ",
                width, height, fps, seconds, boxWidth, boxHeight, fps, seconds, frames, fps);
  return Make(name, std::string(source) + codecArgs + " -f mpegts");
}

std::string MakeQuadrants(const std::string& codec, int width, int height, int frames) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const std::string base = "quad-" + size + "-" + std::to_string(frames);
  const std::string source = QuadrantSource(width, height, frames);
  if (codec == "h264")
    return Make(base + ".h264", source + " -c:v libx264 -preset ultrafast -tune zerolatency -g 6"
                                         " -pix_fmt yuv420p -f h264");
  if (codec == "mpeg4") return Make(base + ".m4v", source + " -c:v mpeg4 -g 6 -q:v 2 -f m4v");
  if (codec == "mjpeg")
    return Make(base + ".mjpeg", source + " -c:v mjpeg -q:v 2 -pix_fmt yuvj420p -f mjpeg");
  return "";
}

namespace {

uint32_t Le32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

uint16_t Le16(const Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

}  // namespace

Wav ReadWav(const std::string& path) {
  Wav wav;
  const Bytes file = ReadFile(path);
  if (file.size() < 12 || std::string(file.begin(), file.begin() + 4) != "RIFF" ||
      std::string(file.begin() + 8, file.begin() + 12) != "WAVE")
    return wav;
  bool haveFormat = false;
  for (size_t at = 12; at + 8 <= file.size();) {
    const std::string id(file.begin() + at, file.begin() + at + 4);
    const size_t size = Le32(file, at + 4);
    const size_t body = at + 8;
    const size_t available = std::min(size, file.size() - body);
    if (id == "fmt " && available >= 16) {
      wav.channels = Le16(file, body + 2);
      wav.rate = int(Le32(file, body + 4));
      wav.bits = Le16(file, body + 14);
      haveFormat = true;
    } else if (id == "data") {
      wav.data.assign(file.begin() + body, file.begin() + body + available);
      wav.valid = haveFormat && wav.channels > 0 && (wav.bits == 8 || wav.bits == 16);
      return wav;
    }
    at = body + size + (size & 1);
  }
  return wav;
}

size_t Wav::Samples() const {
  const size_t frame = size_t(channels) * size_t(bits / 8);
  return frame ? data.size() / frame : 0;
}

int Wav::Sample(size_t i, int channel) const {
  const size_t at = (i * size_t(channels) + size_t(channel)) * size_t(bits / 8);
  if (bits == 8) return (int(data[at]) - 128) * 256;
  return int16_t(data[at] | data[at + 1] << 8);
}

double Wav::Rms() const {
  const size_t n = Samples();
  if (n == 0) return 0;
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += double(Sample(i, 0)) * Sample(i, 0);
  return std::sqrt(sum / double(n));
}

double Wav::CrossingRate() const {
  const size_t n = Samples();
  if (n < 2) return 0;
  int crossings = 0;
  for (size_t i = 1; i < n; ++i)
    if ((Sample(i - 1, 0) < 0) != (Sample(i, 0) < 0)) ++crossings;
  return crossings * double(rate) / double(n);
}

}  // namespace media

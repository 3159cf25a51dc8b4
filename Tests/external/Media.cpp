#include "Media.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
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

std::string Make(const std::string& name, const std::string& arguments) {
  const std::string dir = KOVA_EXTERNAL_MEDIA_DIR;
  ::mkdir(dir.c_str(), 0755);
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

}  // namespace media

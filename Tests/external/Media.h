/* Sample streams for the outside-library tests, made at test time with the
 * ffmpeg program into the build tree, and split into packets as a camera
 * would send them. */
#ifndef KOVA_TESTS_EXTERNAL_MEDIA_H
#define KOVA_TESTS_EXTERNAL_MEDIA_H

#include <cstdint>
#include <string>
#include <vector>

namespace media {

using Bytes = std::vector<uint8_t>;

/* A picture of four quadrants: red top left, white top right, black bottom
 * left, blue bottom right. */
std::string QuadrantSource(int width, int height, int frames);

/* Runs "ffmpeg <arguments> <dir>/<name>" unless the file is already there.
 * Returns the path, or "" when ffmpeg is missing or fails. */
std::string Make(const std::string& name, const std::string& arguments);

/* The video packets of a raw elementary stream file (one picture each, as
 * FFmpeg's parser splits them). */
std::vector<Bytes> VideoPackets(const std::string& path);

Bytes ReadFile(const std::string& path);
std::vector<Bytes> Chunks(const Bytes& data, size_t size);

/* The four quadrant pictures of every video codec under test. */
struct VideoSample {
  const char* name;
  int codec;  // CodecID
  int width, height;
  std::string path;
};
std::vector<VideoSample> VideoSamples();

}  // namespace media

#endif

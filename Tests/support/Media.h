/* Sample streams for the tests, made at test time with the ffmpeg program
 * into the build tree, and split into packets as a camera would send them;
 * and reading back the sound a wave-out device wrote to a WAV file. */
#ifndef KOVA_TESTS_MEDIA_H
#define KOVA_TESTS_MEDIA_H

#include <cstdint>
#include <string>
#include <vector>

namespace media {

using Bytes = std::vector<uint8_t>;

/* A picture of four quadrants: red top left, white top right, black bottom
 * left, blue bottom right. */
std::string QuadrantSource(int width, int height, int frames);

/* A sine tone of `frequency` Hz sampled at `rate` Hz, `seconds` long. */
std::string ToneSource(int frequency, int rate, int seconds);

/* The directory samples are made in. */
std::string Dir();

/* Runs "ffmpeg <arguments> <dir>/<name>" unless the file is already there.
 * Returns the path, or "" when ffmpeg is missing or fails. */
std::string Make(const std::string& name, const std::string& arguments);

/* The video packets of a raw elementary stream file (one picture each, as
 * FFmpeg's parser splits them). */
std::vector<Bytes> VideoPackets(const std::string& path);

/* The video packets of a file in a container that keeps time stamps (an
 * MPEG transport stream, ".ts"), in decoding order, each with its
 * presentation time in milliseconds from the first picture's. A stream with
 * B-frames gives stamps out of order, as a camera sends them. */
struct StampedPacket {
  Bytes data;
  int64_t ms;
};
std::vector<StampedPacket> StampedVideoPackets(const std::string& path);

Bytes ReadFile(const std::string& path);
std::vector<Bytes> Chunks(const Bytes& data, size_t size);

/* A camera-like quadrant stream in an MPEG transport stream (read it with
 * StampedVideoPackets): `fps` pictures a second, a key picture every
 * second, a small box moving along the middle row so that every picture
 * differs; `codecArgs` are ffmpeg's encoder options (for example
 * "-c:v libx264 -profile:v high -x264-params bframes=3"). "" on failure. */
std::string MakeCameraStream(const std::string& name, int width, int height, int fps, int frames,
                             const std::string& codecArgs);

/* The four quadrant pictures of every video codec under test. */
struct VideoSample {
  const char* name;
  int codec;  // CodecID
  int width, height;
  std::string path;
};
std::vector<VideoSample> VideoSamples();

/* A quadrant stream of `frames` pictures, a key picture every 6:
 * codec "h264" (Annex B), "mpeg4" (part 2) or "mjpeg". "" on failure. */
std::string MakeQuadrants(const std::string& codec, int width, int height, int frames);

/* PCM read back from a WAV file. */
struct Wav {
  bool valid = false;
  int channels = 0;
  int rate = 0;
  int bits = 0;
  Bytes data;

  size_t Samples() const;
  /* Sample i of a channel, scaled to 16 bits signed. */
  int Sample(size_t i, int channel) const;
  double Rms() const;
  /* Zero crossings per second of the first channel: twice a tone's
   * frequency. */
  double CrossingRate() const;
};
Wav ReadWav(const std::string& path);

}  // namespace media

#endif

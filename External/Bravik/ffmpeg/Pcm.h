/* Decoded sound to the PCM a wave-out device plays: interleaved, one or two
 * channels, signed 16-bit little-endian or unsigned 8-bit. */
#ifndef BRAVIK_PCM_H
#define BRAVIK_PCM_H

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace bravik {

struct PcmFormat {
  int channels = 1;       // 1 or 2
  int bitsPerSample = 16; // 8 or 16
};

/* Appends the frame's samples in the given format: a mono source is copied to
 * both channels of a stereo output, a source with more channels than the
 * output keeps its first ones (a mono output averages them). Returns false
 * for a sample format it does not know. */
bool AppendPcm(const AVFrame* frame, const PcmFormat& format, std::vector<uint8_t>& out);

}  // namespace bravik

#endif

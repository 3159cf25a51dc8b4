#include "Pcm.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace bravik {
namespace {

int16_t FromFloat(double v) {
  const double scaled = std::lround(v * 32768.0);
  return int16_t(std::min(32767.0, std::max(-32768.0, scaled)));
}

// Sample s of channel c as signed 16-bit.
int16_t SampleAt(const AVFrame* frame, AVSampleFormat fmt, int channels, int c, int s) {
  const bool planar = av_sample_fmt_is_planar(fmt);
  const int index = planar ? s : s * channels + c;
  const uint8_t* base = frame->extended_data[planar ? c : 0];
  switch (fmt) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_U8P:
      return int16_t((int(base[index]) - 128) << 8);
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P:
      return reinterpret_cast<const int16_t*>(base)[index];
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S32P:
      return int16_t(reinterpret_cast<const int32_t*>(base)[index] >> 16);
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_FLTP:
      return FromFloat(reinterpret_cast<const float*>(base)[index]);
    case AV_SAMPLE_FMT_DBL:
    case AV_SAMPLE_FMT_DBLP:
      return FromFloat(reinterpret_cast<const double*>(base)[index]);
    default:
      return 0;
  }
}

}  // namespace

bool AppendPcm(const AVFrame* frame, const PcmFormat& format, std::vector<uint8_t>& out) {
  const AVSampleFormat fmt = AVSampleFormat(frame->format);
  switch (fmt) {
    case AV_SAMPLE_FMT_U8: case AV_SAMPLE_FMT_U8P:
    case AV_SAMPLE_FMT_S16: case AV_SAMPLE_FMT_S16P:
    case AV_SAMPLE_FMT_S32: case AV_SAMPLE_FMT_S32P:
    case AV_SAMPLE_FMT_FLT: case AV_SAMPLE_FMT_FLTP:
    case AV_SAMPLE_FMT_DBL: case AV_SAMPLE_FMT_DBLP:
      break;
    default:
      return false;
  }
  const int sourceChannels = frame->ch_layout.nb_channels;
  if (sourceChannels <= 0) return false;
  const int samples = frame->nb_samples;
  const int outChannels = format.channels == 2 ? 2 : 1;
  const int bytes = format.bitsPerSample == 8 ? 1 : 2;
  const size_t start = out.size();
  out.resize(start + size_t(samples) * outChannels * bytes);
  uint8_t* dst = out.data() + start;

  for (int s = 0; s < samples; ++s) {
    for (int c = 0; c < outChannels; ++c) {
      int value;
      if (outChannels == 1 && sourceChannels > 1) {
        int sum = 0;
        for (int k = 0; k < sourceChannels; ++k) sum += SampleAt(frame, fmt, sourceChannels, k, s);
        value = sum / sourceChannels;
      } else {
        value = SampleAt(frame, fmt, sourceChannels, std::min(c, sourceChannels - 1), s);
      }
      if (bytes == 1) {
        *dst++ = uint8_t((value >> 8) + 128);
      } else {
        *dst++ = uint8_t(value & 0xFF);
        *dst++ = uint8_t((value >> 8) & 0xFF);
      }
    }
  }
  return true;
}

}  // namespace bravik

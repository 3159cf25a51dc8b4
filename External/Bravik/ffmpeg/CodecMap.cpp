#include "CodecMap.h"

#include <algorithm>
#include <cstdint>

namespace bravik {

AVCodecID ToFFmpegCodec(CodecID id) {
  switch (id) {
    case CODEC_ID_MJPEG: return AV_CODEC_ID_MJPEG;
    case CODEC_ID_MPEG4: return AV_CODEC_ID_MPEG4;
    case CODEC_ID_H264: return AV_CODEC_ID_H264;
    case CODEC_ID_PCM_MULAW: return AV_CODEC_ID_PCM_MULAW;
    case CODEC_ID_PCM_ALAW: return AV_CODEC_ID_PCM_ALAW;
    case CODEC_ID_ADPCM_G726: return AV_CODEC_ID_ADPCM_G726;
    case CODEC_ID_QX_SPEECH16K: return AV_CODEC_ID_ADPCM_G722;
    default: return AV_CODEC_ID_NONE;
  }
}

bool IsVideoCodec(CodecID id) {
  return id == CODEC_ID_MJPEG || id == CODEC_ID_MPEG4 || id == CODEC_ID_H264;
}

bool IsAudioCodec(CodecID id) {
  return id == CODEC_ID_PCM_MULAW || id == CODEC_ID_PCM_ALAW || id == CODEC_ID_ADPCM_G726 ||
         id == CODEC_ID_QX_SPEECH16K;
}

AudioSetup ChooseAudioSetup(CodecID id, const _audio_param& param) {
  AudioSetup setup{};
  setup.channels = param.channels > 0 ? std::min(param.channels, 8) : 1;
  setup.bitRate = param.bit_rate > 0 ? param.bit_rate : 0;
  // The caller plays one channel when it asked for one and two otherwise.
  setup.output.channels = param.channels == 1 ? 1 : 2;
  setup.output.bitsPerSample = 16;

  switch (id) {
    case CODEC_ID_PCM_MULAW:
    case CODEC_ID_PCM_ALAW:
      setup.sampleRate = param.sample_rate > 0 ? param.sample_rate : 8000;
      // G.711's bit rate is that of the PCM the caller plays: 8 bits per
      // sample when rate x channels x 8 (64 kbit/s mono), else 16.
      if (param.sample_rate > 0 && param.channels > 0 &&
          int64_t(param.bit_rate) == int64_t(param.sample_rate) * param.channels * 8)
        setup.output.bitsPerSample = 8;
      break;
    case CODEC_ID_ADPCM_G726: {
      setup.sampleRate = param.sample_rate > 0 ? param.sample_rate : 8000;
      // 16, 24, 32 or 40 kbit/s: 2 to 5 bits per sample; 32 kbit/s by default.
      int bits = setup.bitRate > 0 ? setup.bitRate / setup.sampleRate : 4;
      if (bits < 2 || bits > 5) bits = 4;
      setup.bitsPerCodedSample = bits;
      setup.bitRate = bits * setup.sampleRate;
      setup.channels = 1;
      break;
    }
    case CODEC_ID_QX_SPEECH16K:
      // G.722 always codes 16 kHz sound; 48 and 56 kbit/s select its 6- and
      // 7-bit modes, anything else the usual 64 kbit/s.
      setup.sampleRate = 16000;
      setup.bitsPerCodedSample = setup.bitRate == 48000 ? 6 : setup.bitRate == 56000 ? 7 : 8;
      setup.bitRate = setup.bitsPerCodedSample * 8000;
      break;
    default:
      break;
  }
  return setup;
}

}  // namespace bravik

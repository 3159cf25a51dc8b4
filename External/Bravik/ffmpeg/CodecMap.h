/* The library's codec identifiers (FFmpeg's historical numbers) mapped to
 * today's FFmpeg, and how each audio codec is set up. */
#ifndef BRAVIK_CODEC_MAP_H
#define BRAVIK_CODEC_MAP_H

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "../QXDecoder.h"
#include "Pcm.h"

namespace bravik {

AVCodecID ToFFmpegCodec(CodecID id);
bool IsVideoCodec(CodecID id);
bool IsAudioCodec(CodecID id);

struct AudioSetup {
  int sampleRate;
  int channels;
  int bitRate;
  int bitsPerCodedSample;
  PcmFormat output;
};

/* Decoder settings and output format for an audio codec and the caller's
 * parameters; missing values get the codec's usual ones. */
AudioSetup ChooseAudioSetup(CodecID id, const _audio_param& param);

}  // namespace bravik

#endif

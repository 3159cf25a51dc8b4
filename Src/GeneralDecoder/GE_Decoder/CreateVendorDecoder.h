/* The vendor-stream decoder's creator, beside the decoder it makes so the
 * facade above never sees the concrete class. */
#ifndef KOVA_GE_DECODER_CREATEVENDORDECODER_H
#define KOVA_GE_DECODER_CREATEVENDORDECODER_H

class ISampleDecoder;

namespace kova {

/* A new GE_DecoderHIK over the PlayM4 player. */
ISampleDecoder *CreateVendorDecoder();

}  // namespace kova

#endif

/* The standard-stream decoder's creator, beside the decoder it makes so the
 * facade above never sees the concrete class. */
#ifndef KOVA_STDSTREAM_CREATESTANDARDDECODER_H
#define KOVA_STDSTREAM_CREATESTANDARDDECODER_H

class ISampleDecoder;

namespace kova {

/* A new QxvideoDecoder, or null when its frame pool could not be made. */
ISampleDecoder *CreateStandardDecoder();

}  // namespace kova

#endif

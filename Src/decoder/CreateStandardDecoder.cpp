#include "decoder/DecoderFactory.h"

/* The standard-stream decoder (QxvideoDecoder) is not part of the build
 * yet: creation fails and facades go on without one. */
ISampleDecoder *kova::CreateStandardDecoder()
{
    return nullptr;
}

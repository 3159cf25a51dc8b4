#include "decoder/DecoderFactory.h"

/* The vendor-stream decoder (GE_DecoderHIK) is not part of the build yet:
 * creation fails and facades go on without one. */
ISampleDecoder *kova::CreateVendorDecoder()
{
    return nullptr;
}

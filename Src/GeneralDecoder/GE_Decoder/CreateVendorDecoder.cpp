#include "GeneralDecoder/GE_Decoder/CreateVendorDecoder.h"
#include "GeneralDecoder/GE_Decoder/GE_DecoderHIK.h"

/* The vendor-stream decoder over the PlayM4 player. */
ISampleDecoder *kova::CreateVendorDecoder()
{
    return new GE_DecoderHIK;
}

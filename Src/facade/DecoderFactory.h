/* Where the facade gets its two decoders from.
 *
 * CreateVendorDecoder and CreateStandardDecoder are the built-in creators:
 * each lives beside its decoder (GeneralDecoder/GE_Decoder,
 * stdstream) and returns a new GE_DecoderHIK or QxvideoDecoder, or null
 * when that decoder cannot be created (the standard creator turns a
 * constructor's exception into null; the facade still lets an exception
 * from a replacement creator through).
 *
 * Tests replace either creator with SetDecoderCreators to put scripted
 * decoders behind a real facade. */
#ifndef KOVA_FACADE_DECODERFACTORY_H
#define KOVA_FACADE_DECODERFACTORY_H

#include <functional>

class ISampleDecoder;

namespace kova {

using DecoderCreator = std::function<ISampleDecoder *()>;

struct DecoderCreators {
    DecoderCreator vendor;   /* empty: CreateVendorDecoder */
    DecoderCreator standard; /* empty: CreateStandardDecoder */
};

/* Installs replacement creators for every facade created from now on and
 * returns the ones installed before. */
DecoderCreators SetDecoderCreators(DecoderCreators creators);

/* What the facade calls: the replacement if one is installed, else the
 * built-in creator. Ownership passes to the caller. */
ISampleDecoder *NewVendorDecoder();
ISampleDecoder *NewStandardDecoder();

}  // namespace kova

#endif

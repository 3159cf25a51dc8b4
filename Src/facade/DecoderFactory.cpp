#include "facade/DecoderFactory.h"

#include "GeneralDecoder/GE_Decoder/CreateVendorDecoder.h"
#include "stdstream/CreateStandardDecoder.h"

#include <mutex>
#include <utility>

namespace kova {
namespace {

std::mutex creatorsLock;
DecoderCreators installed;

DecoderCreator Installed(DecoderCreator DecoderCreators::*which)
{
    std::lock_guard<std::mutex> lock(creatorsLock);
    return installed.*which;
}

}  // namespace

DecoderCreators SetDecoderCreators(DecoderCreators creators)
{
    std::lock_guard<std::mutex> lock(creatorsLock);
    std::swap(installed, creators);
    return creators;
}

ISampleDecoder *NewVendorDecoder()
{
    const DecoderCreator creator = Installed(&DecoderCreators::vendor);
    return creator ? creator() : CreateVendorDecoder();
}

ISampleDecoder *NewStandardDecoder()
{
    const DecoderCreator creator = Installed(&DecoderCreators::standard);
    return creator ? creator() : CreateStandardDecoder();
}

}  // namespace kova

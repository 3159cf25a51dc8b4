#include "stdstream/CreateStandardDecoder.h"

#include "stdstream/QxvideoDecoder.h"

/* A standard decoder that cannot be built (its frame pool could not be
 * allocated) is a failed creation: the facade goes on without one. */
ISampleDecoder *kova::CreateStandardDecoder()
{
    try {
        return new QxvideoDecoder;
    } catch (...) {
        return nullptr;
    }
}

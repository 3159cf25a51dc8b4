#include "pool/FrameCopy.h"

#include <cstdint>
#include <cstring>

#include "pool/FieldBlend.h"

void CopyIntoEntry(FrameEntry *entry, const FrameEntry &header, const unsigned char *payload,
                   size_t size, bool blendFields)
{
    entry->width = header.width;
    entry->height = header.height;
    entry->seconds = header.seconds;
    entry->milliseconds = header.milliseconds;
    entry->audioLength = header.audioLength;
    entry->segmentId = header.segmentId;
    const Yuv420Planes planes(header.width, header.height);
    if (header.audioLength == 0 && blendFields && planes.lumaBytes > 0 &&
        planes.totalBytes == static_cast<uint64_t>(size)) {
        BlendFields(payload, entry->Payload(), header.width, header.height);
        BlendFields(payload + planes.uOffset, entry->Payload() + planes.uOffset, planes.chromaWidth,
                    planes.chromaHeight);
        BlendFields(payload + planes.vOffset, entry->Payload() + planes.vOffset, planes.chromaWidth,
                    planes.chromaHeight);
    } else {
        std::memcpy(entry->Payload(), payload, size);
    }
}

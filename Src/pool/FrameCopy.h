/* The one copy of a decoded frame: from the decoding library's output into
 * a pool buffer, in the FrameEntry layout the presentation thread reads. */
#ifndef KOVA_POOL_FRAMECOPY_H
#define KOVA_POOL_FRAMECOPY_H

#include <cstddef>

#include "pool/FrameEntry.h"

/* Writes `header`'s six fields into `entry`, then `size` bytes of
 * `payload` after them. A picture (audioLength 0) whose size is exactly
 * that of the planes of header.width x header.height is blended field by
 * field on the way when `blendFields` is set (FieldBlend.h); everything
 * else is copied as it is. `entry` must hold sizeof(FrameEntry) + `size`
 * bytes. */
void CopyIntoEntry(FrameEntry *entry, const FrameEntry &header, const unsigned char *payload,
                   size_t size, bool blendFields);

#endif

#include "StreamHeader.h"

#include "PlayM4.h"

namespace playm4 {

namespace {

DWORD Word(const BYTE *header, int index)
{
    const BYTE *p = header + 4 * index;
    return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
}

}  // namespace

bool LooksLikeStreamHeader(const BYTE *data, size_t size)
{
    return data && size >= 4 && Word(data, 0) == PLAYM4_STREAM_HEADER_MAGIC;
}

DWORD CheckStreamHeader(const BYTE *header, DWORD size, StreamHeader *out)
{
    if (!header || size != PLAYM4_STREAM_HEADER_SIZE)
        return PLAYM4_ERR_ARGUMENT;
    if (!LooksLikeStreamHeader(header, size))
        return PLAYM4_ERR_HEADER;
    const DWORD picture = Word(header, 7);
    out->width = LONG(picture & 0xFFFF);
    out->height = LONG(picture >> 16);
    return PLAYM4_ERR_NONE;
}

}  // namespace playm4

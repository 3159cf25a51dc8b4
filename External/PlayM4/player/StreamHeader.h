/* The 40-byte stream header that opens a stream. */
#ifndef PLAYM4_STREAM_HEADER_H
#define PLAYM4_STREAM_HEADER_H

#include <windows.h>

namespace playm4 {

struct StreamHeader {
    LONG width = 0;   /* nominal picture size */
    LONG height = 0;
};

/* PLAYM4_ERR_NONE for a header the player knows, filling `out`;
 * PLAYM4_ERR_ARGUMENT for a null header or a size other than 40,
 * PLAYM4_ERR_HEADER for another magic word. */
DWORD CheckStreamHeader(const BYTE *header, DWORD size, StreamHeader *out);

/* True when `data` begins with the header's magic word. */
bool LooksLikeStreamHeader(const BYTE *data, size_t size);

}  // namespace playm4

#endif

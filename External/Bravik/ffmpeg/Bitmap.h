/* Writing a picture as a Windows bitmap file. */
#ifndef BRAVIK_BITMAP_H
#define BRAVIK_BITMAP_H

#include <cstdint>

namespace bravik {

/* Writes a 24-bit uncompressed bottom-up bitmap (file header, 40-byte info
 * header, rows padded to 4 bytes) from top-down BGR rows. Returns false when
 * the file cannot be created or written completely; a partly written file is
 * removed. */
bool WriteBitmap24(const char* path, const uint8_t* bgr, int stride, int width, int height);

}  // namespace bravik

#endif

/* Writing 24-bit RGB pictures to BMP and PNG files. */
#ifndef KOVA_LAYER_IMAGE_FILE_H
#define KOVA_LAYER_IMAGE_FILE_H

#include <windows.h>

#include <string>
#include <vector>

namespace kova {

// A picture of 0x00RRGGBB pixels, rows top to bottom.
struct RgbPicture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
};

// The format follows the file name: ".png" (any case) writes PNG, anything
// else BMP. False with *error describing the failure.
bool WritePicture(const RgbPicture &picture, const char *path, std::string *error);

}  // namespace kova

#endif

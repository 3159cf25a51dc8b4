#include "Bitmap.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bravik {
namespace {

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

}  // namespace

bool WriteBitmap24(const char* path, const uint8_t* bgr, int stride, int width, int height) {
  if (!path || !bgr || width <= 0 || height <= 0) return false;
  const uint32_t rowBytes = (uint32_t(width) * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * uint32_t(height);
  const uint32_t headerBytes = 14 + 40;

  uint8_t header[54] = {};
  header[0] = 'B';
  header[1] = 'M';
  Put32(header + 2, headerBytes + imageBytes);  // file size
  Put32(header + 10, headerBytes);              // offset of the pixels
  Put32(header + 14, 40);                       // info header size
  Put32(header + 18, uint32_t(width));
  Put32(header + 22, uint32_t(height));         // positive: bottom-up
  Put16(header + 26, 1);                        // planes
  Put16(header + 28, 24);                       // bits per pixel
  Put32(header + 30, 0);                        // uncompressed
  Put32(header + 34, imageBytes);
  Put32(header + 38, 2835);                     // 72 dpi
  Put32(header + 42, 2835);

  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
  std::vector<uint8_t> row(rowBytes, 0);
  for (int y = height - 1; ok && y >= 0; --y) {
    const uint8_t* src = bgr + size_t(y) * size_t(stride);
    std::copy(src, src + size_t(width) * 3, row.begin());
    ok = std::fwrite(row.data(), 1, rowBytes, file) == rowBytes;
  }
  if (std::fclose(file) != 0) ok = false;
  if (!ok) std::remove(path);
  return ok;
}

}  // namespace bravik

/* Conversions of decoded pictures: to the 32-bit bitmap the port draws,
 * and to the YV12 picture the display callback gets. Video range BT.601,
 * as the bitmap writer reads it back. */
#ifndef PLAYM4_PICTURE_H
#define PLAYM4_PICTURE_H

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

struct SwsContext;

namespace playm4 {

/* Bytes of a YV12 picture: Y, then V, then U, each tightly packed. */
size_t Yv12Size(int width, int height);

/* A decoded picture as YV12 of video range, in a buffer kept across
 * pictures (reallocated only when the size grows). */
class Yv12Packer {
public:
    ~Yv12Packer();
    /* Null when the picture cannot be converted. */
    const uint8_t *Pack(const AVFrame *frame, size_t *size);

private:
    std::vector<uint8_t> buffer_;
    AVFrame *converted_ = nullptr;  /* padded, as the converter needs */
    SwsContext *scaler_ = nullptr;
};

/* A decoded picture as a bottom-up 32-bit bitmap (B, G, R, unused), the
 * layout GDI takes without conversion. The bitmap is wider than the
 * picture (BitmapWidth()): the converter writes whole groups of pixels,
 * and the columns beyond the picture take what it writes past the end of
 * a row. */
class BgrxImage {
public:
    ~BgrxImage();
    bool Convert(const AVFrame *frame);
    bool Empty() const { return pixels_.empty(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitmapWidth() const { return bitmapWidth_; }
    const uint8_t *Pixels() const { return pixels_.data(); }

private:
    std::vector<uint8_t> pixels_;
    int width_ = 0;
    int height_ = 0;
    int bitmapWidth_ = 0;
    SwsContext *scaler_ = nullptr;
};

/* Writes a YV12 picture as a 24-bit bottom-up Windows bitmap. False when
 * the file cannot be written; a partly written file is removed. */
bool WriteYv12Bitmap(const uint8_t *yv12, int width, int height, const char *path);

}  // namespace playm4

#endif

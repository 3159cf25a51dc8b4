/* Colour conversion of decoded pictures (planar YUV 4:2:0: a luma plane and
 * Cb, Cr planes at half width and half height) into the packed layouts of
 * DirectDraw picture surfaces and of the 24-bit GDI bitmap.
 *
 * Every conversion takes the same arguments: the three planes with their
 * pitches, the destination with its pitch, and the picture size. Picture row
 * r uses chroma row r / 2, column c chroma column c / 2; a chroma sample is
 * used unchanged for its whole 2x2 block. Exactly width x height destination
 * pixels are written, and only the width x height luma samples and the
 * (width + 1) / 2 x (height + 1) / 2 chroma samples are read, so any width
 * and height of at least 1 are safe; a size of zero or less (except the
 * negative height of ConvertToRgb24) or a null pointer converts nothing.
 *
 * The conversions pick SIMD kernels for the processor at run time; all
 * kernels produce the same bytes. */
#ifndef KOVA_COLOR_ZR_VO_COLORCONVERT_H
#define KOVA_COLOR_ZR_VO_COLORCONVERT_H

#include <cstdint>

class CZR_VO_ColorConvert {
public:
    CZR_VO_ColorConvert() = default;
    virtual ~CZR_VO_ColorConvert();

    /* 2 bytes per pixel; per two pixels Y0, U, Y1, V. */
    void ConvertToYuy2(const uint8_t *y, int lumaPitch, const uint8_t *u, const uint8_t *v,
                       int chromaPitch, uint8_t *dst, int dstPitch, int width, int height) const;
    /* 2 bytes per pixel; per two pixels U, Y0, V, Y1. */
    void ConvertToUyvy(const uint8_t *y, int lumaPitch, const uint8_t *u, const uint8_t *v,
                       int chromaPitch, uint8_t *dst, int dstPitch, int width, int height) const;
    /* 4 bytes per pixel: B, G, R, 0. */
    void ConvertToRgb32(const uint8_t *y, int lumaPitch, const uint8_t *u, const uint8_t *v,
                        int chromaPitch, uint8_t *dst, int dstPitch, int width, int height) const;
    /* 3 bytes per pixel: B, G, R. A negative height -h writes the picture
     * upside down (its last row first), as a bottom-up bitmap wants it.
     * Never writes past width * 3 bytes of the last destination row. */
    void ConvertToRgb24(const uint8_t *y, int lumaPitch, const uint8_t *u, const uint8_t *v,
                        int chromaPitch, uint8_t *dst, int dstPitch, int width, int height) const;
    /* 16-bit little-endian words, 5:6:5 red, green, blue. */
    void ConvertToRgb565(const uint8_t *y, int lumaPitch, const uint8_t *u, const uint8_t *v,
                         int chromaPitch, uint8_t *dst, int dstPitch, int width, int height) const;
    /* 16-bit little-endian words, 5:5:5 red, green, blue, top bit 0. */
    void ConvertToRgb555(const uint8_t *y, int lumaPitch, const uint8_t *u, const uint8_t *v,
                         int chromaPitch, uint8_t *dst, int dstPitch, int width, int height) const;
};

#endif

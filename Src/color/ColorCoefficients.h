/* The fixed-point constants of the YUV to RGB arithmetic, in one place for
 * every kernel level: the scalar rows, which define the bytes, and the SIMD
 * rows, which must give the same bytes, read the same numbers.
 *
 * Every product is the high half of a signed 16 x 16-bit product (the
 * product shifted right by 16, rounding toward minus infinity), which is
 * one instruction per 16-bit lane. The samples are shifted up by kPreShift
 * bits first, so the high halves keep three bits of fraction before the
 * sums are clamped:
 *   Yc = ((max(Y - kLumaBlack, 0) << kPreShift) * kLumaScale) >> 16
 *   Cu = (U - kChromaZero) << kPreShift, Cv = (V - kChromaZero) << kPreShift
 *   R = Yc + (Cv * kRedFromV >> 16)
 *   G = Yc + (Cu * kGreenFromU >> 16) + (Cv * kGreenFromV >> 16)
 *   B = Yc + (Cu * kBlueFromU >> 16)
 * each clamped to 0..255. */
#ifndef KOVA_COLOR_COLORCOEFFICIENTS_H
#define KOVA_COLOR_COLORCOEFFICIENTS_H

#include <cstdint>

namespace kova {
namespace color {

/* Luma of black; lower luma is black too (a saturating subtraction). */
constexpr int kLumaBlack = 16;
/* Chroma of no colour. */
constexpr int kChromaZero = 128;
/* Bits the samples move up before the high products. */
constexpr int kPreShift = 3;

/* 16-bit lane multipliers; with kPreShift they scale by the factors named. */
constexpr int16_t kLumaScale = 0x2568;    // 1.1689: 219 luma steps to 255
constexpr int16_t kRedFromV = 0x3343;     // 1.6019
constexpr int16_t kGreenFromU = -0x0C92;  // -0.3928 (lane value 0xF36E)
constexpr int16_t kGreenFromV = -0x1A1E;  // -0.8162 (lane value 0xE5E2)
constexpr int16_t kBlueFromU = 0x40CF;    // 2.0253

/* The SIMD rows widen the odd pixels of a 16-bit lane (its high byte) and
 * apply kPreShift in one step: a shift right by 8 - kPreShift and this mask. */
constexpr int16_t kHighByteShifted = 0xFF << kPreShift;

}  // namespace color
}  // namespace kova

#endif

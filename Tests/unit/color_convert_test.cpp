/* Colour conversion through CZR_VO_ColorConvert: the known colours, the
 * layouts, the sharing of chroma, the flipped 24-bit picture and the limits
 * of what a conversion may touch, at every kernel level the processor runs. */
#include "color_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

using namespace colortest;

namespace {

std::string Where(KernelLevel level, const Conversion &c, int w, int h)
{
    return std::string(kova::color::KernelLevelName(level)) + " " + c.name + " " +
           std::to_string(w) + "x" + std::to_string(h);
}

Picture Flat(int w, int h, int y, int u, int v)
{
    Picture p(w, h);
    std::fill(p.y.begin(), p.y.end(), static_cast<uint8_t>(y));
    std::fill(p.u.begin(), p.u.end(), static_cast<uint8_t>(u));
    std::fill(p.v.begin(), p.v.end(), static_cast<uint8_t>(v));
    return p;
}

}  // namespace

TEST(ColorConvert, KnownColoursAtEveryLevel)
{
    struct Case {
        int y, u, v, r, g, b;
    };
    const Case cases[] = {
        {16, 128, 128, 0, 0, 0},    {235, 128, 128, 255, 255, 255}, {128, 128, 128, 130, 130, 130},
        {82, 90, 240, 255, 0, 0},   {145, 54, 34, 0, 255, 0},       {41, 240, 110, 0, 0, 255},
        {0, 128, 128, 0, 0, 0},     {255, 128, 128, 255, 255, 255},
    };
    /* 56 pixels: whole wide steps, a narrower step and a scalar remainder. */
    const int w = 56, h = 4;
    for (KernelLevel level : SupportedLevels()) {
        for (const Case &k : cases) {
            Picture pic = Flat(w, h, k.y, k.u, k.v);
            Dest d32(4, w, h), d24(3, w, h), d565(2, w, h), d555(2, w, h);
            Convert(level, Conversions()[2], pic, d32, h);
            Convert(level, Conversions()[3], pic, d24, h);
            Convert(level, Conversions()[4], pic, d565, h);
            Convert(level, Conversions()[5], pic, d555, h);
            const unsigned w565 = ((k.r & 0xF8u) << 8) | ((k.g & 0xFCu) << 3) | (k.b >> 3);
            const unsigned w555 = ((k.r & 0xF8u) << 7) | ((k.g & 0xF8u) << 2) | (k.b >> 3);
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x) {
                    SCOPED_TRACE(std::string(kova::color::KernelLevelName(level)) + " (" +
                                 std::to_string(k.y) + "," + std::to_string(k.u) + "," +
                                 std::to_string(k.v) + ") pixel " + std::to_string(x));
                    const uint8_t *p32 = d32.Pixel(x, r), *p24 = d24.Pixel(x, r);
                    ASSERT_EQ(p32[0], k.b);
                    ASSERT_EQ(p32[1], k.g);
                    ASSERT_EQ(p32[2], k.r);
                    ASSERT_EQ(p32[3], 0);
                    ASSERT_EQ(p24[0], k.b);
                    ASSERT_EQ(p24[1], k.g);
                    ASSERT_EQ(p24[2], k.r);
                    ASSERT_EQ(d565.Pixel(x, r)[0] | d565.Pixel(x, r)[1] << 8, static_cast<int>(w565));
                    ASSERT_EQ(d555.Pixel(x, r)[0] | d555.Pixel(x, r)[1] << 8, static_cast<int>(w555));
                }
        }
    }
}

TEST(ColorConvert, GreyIsLumaScaledAndClipped)
{
    /* One row of every luma value over neutral chroma. */
    Picture pic(256, 2);
    for (int x = 0; x < 256; ++x)
        pic.Y(x, 0) = pic.Y(x, 1) = static_cast<uint8_t>(x);
    std::fill(pic.u.begin(), pic.u.end(), 128);
    std::fill(pic.v.begin(), pic.v.end(), 128);
    for (KernelLevel level : SupportedLevels()) {
        Dest d(4, 256, 2);
        Convert(level, Conversions()[2], pic, d, 2);
        int previous = 0;
        for (int x = 0; x < 256; ++x) {
            const uint8_t *p = d.Pixel(x, 1);
            ASSERT_EQ(p[0], p[1]) << x;
            ASSERT_EQ(p[1], p[2]) << x;
            if (x <= 16) {
                EXPECT_EQ(p[0], 0) << x;
            }
            if (x >= 235) {
                EXPECT_EQ(p[0], 255) << x;
            }
            EXPECT_GE(p[0], previous) << x;
            EXPECT_EQ(p[0], std::min(255, ((x < 16 ? 0 : x - 16) * 8 * 9576) >> 16)) << x;
            previous = p[0];
        }
    }
}

TEST(ColorConvert, PackedLayoutsRepeatChromaOnBothRows)
{
    Picture pic(16, 2);
    for (int x = 0; x < 16; ++x) {
        pic.Y(x, 0) = static_cast<uint8_t>(x);
        pic.Y(x, 1) = static_cast<uint8_t>(0x40 + x);
    }
    for (int i = 0; i < 8; ++i) {
        pic.U(i, 0) = static_cast<uint8_t>(0x80 + i);
        pic.V(i, 0) = static_cast<uint8_t>(0xC0 + i);
    }
    for (KernelLevel level : SupportedLevels()) {
        Dest yuy2(2, 16, 2), uyvy(2, 16, 2);
        Convert(level, Conversions()[0], pic, yuy2, 2);
        Convert(level, Conversions()[1], pic, uyvy, 2);
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < 8; ++i) {
                const uint8_t y0 = static_cast<uint8_t>(0x40 * r + 2 * i), y1 = y0 + 1;
                const uint8_t u = static_cast<uint8_t>(0x80 + i), v = static_cast<uint8_t>(0xC0 + i);
                const uint8_t *a = yuy2.Row(r) + 4 * i, *b = uyvy.Row(r) + 4 * i;
                EXPECT_EQ(a[0], y0);
                EXPECT_EQ(a[1], u);
                EXPECT_EQ(a[2], y1);
                EXPECT_EQ(a[3], v);
                EXPECT_EQ(b[0], u);
                EXPECT_EQ(b[1], y0);
                EXPECT_EQ(b[2], v);
                EXPECT_EQ(b[3], y1);
            }
        EXPECT_EQ(yuy2.FirstStrayWrite(), -1);
        EXPECT_EQ(uyvy.FirstStrayWrite(), -1);
    }
}

TEST(ColorConvert, SixteenBitLayoutsKeepTheirGreenBits)
{
    /* Y 20 over neutral chroma is grey 4: the lowest of 565's six green
     * bits, below 555's five. */
    for (KernelLevel level : SupportedLevels()) {
        Picture pic = Flat(32, 2, 20, 128, 128);
        Dest d565(2, 32, 2), d555(2, 32, 2);
        Convert(level, Conversions()[4], pic, d565, 2);
        Convert(level, Conversions()[5], pic, d555, 2);
        EXPECT_EQ(d565.Pixel(5, 1)[0] | d565.Pixel(5, 1)[1] << 8, 0x0020);
        EXPECT_EQ(d555.Pixel(5, 1)[0] | d555.Pixel(5, 1)[1] << 8, 0x0000);
    }
}

/* Every pixel of ragged pictures at every level: the value of its own luma
 * and the chroma of its 2x2 block, nothing written outside the width x height
 * pixels (canaries around and between the rows; rows packed tight or
 * padded), nothing read outside the planes (exact-size planes, under ASan). */
TEST(ColorConvert, RaggedPicturesStayInsideTheirBuffers)
{
    std::mt19937 rng(5309);
    for (KernelLevel level : SupportedLevels()) {
        for (const Conversion &c : Conversions())
            for (int w = 1; w <= 70; ++w)
                for (int h = 1; h <= 5; ++h)
                    for (int pad = 0; pad <= 5; pad += 5) {
                        Picture pic(w, h, pad, pad ? 3 : 0);
                        for (auto *plane : {&pic.y, &pic.u, &pic.v})
                            for (uint8_t &s : *plane)
                                s = static_cast<uint8_t>(rng());
                        const int heights[] = {h, -h};
                        for (int signedHeight : heights) {
                            if (signedHeight < 0 && c.layout != Layout::Rgb24)
                                continue;
                            SCOPED_TRACE(Where(level, c, w, signedHeight) + " pad " + std::to_string(pad));
                            Dest d(c.bytes, w, h, pad);
                            Convert(level, c, pic, d, signedHeight);
                            ASSERT_EQ(d.FirstStrayWrite(), -1);
                            uint8_t want[4];
                            for (int r = 0; r < h; ++r) {
                                const int dr = signedHeight < 0 ? h - 1 - r : r;
                                for (int x = 0; x < w; ++x) {
                                    ExpectedPixel(c.layout, x, pic.Y(x, r), pic.U(x / 2, r / 2),
                                                  pic.V(x / 2, r / 2), want);
                                    ASSERT_EQ(std::memcmp(d.Pixel(x, dr), want, c.bytes), 0)
                                        << "pixel " << x << " row " << r;
                                }
                            }
                        }
                    }
    }
}

TEST(ColorConvert, FlippedRgb24IsTheUprightPictureBottomUp)
{
    std::mt19937 rng(77);
    for (KernelLevel level : SupportedLevels()) {
        for (int h : {8, 9, 288}) {
            const int w = 352;
            Picture pic(w, h);
            for (auto *plane : {&pic.y, &pic.u, &pic.v})
                for (uint8_t &s : *plane)
                    s = static_cast<uint8_t>(rng());
            /* Rows packed tight: the last row ends where the buffer's
             * trailing canaries begin. */
            Dest up(3, w, h), down(3, w, h);
            Convert(level, Conversions()[3], pic, up, h);
            Convert(level, Conversions()[3], pic, down, -h);
            for (int r = 0; r < h; ++r)
                ASSERT_EQ(std::memcmp(up.Row(r), down.Row(h - 1 - r), w * 3), 0) << "row " << r;
            EXPECT_EQ(up.FirstStrayWrite(), -1);
            EXPECT_EQ(down.FirstStrayWrite(), -1);
        }
    }
}

TEST(ColorConvert, RefusedArgumentsWriteNothing)
{
    Picture pic = Flat(32, 8, 100, 50, 200);
    CZR_VO_ColorConvert converter;
    for (const Conversion &c : Conversions()) {
        SCOPED_TRACE(c.name);
        Dest d(c.bytes, 32, 8);
        const int badHeights[] = {0, -8, INT_MIN};
        for (int h : badHeights) {
            if (h == -8 && c.layout == Layout::Rgb24)
                continue;
            (converter.*c.method)(pic.y.data(), pic.lumaPitch, pic.u.data(), pic.v.data(),
                                  pic.chromaPitch, d.data(), d.pitch, 32, h);
        }
        (converter.*c.method)(pic.y.data(), pic.lumaPitch, pic.u.data(), pic.v.data(), pic.chromaPitch,
                              d.data(), d.pitch, 0, 8);
        (converter.*c.method)(pic.y.data(), pic.lumaPitch, pic.u.data(), pic.v.data(), pic.chromaPitch,
                              d.data(), d.pitch, -32, 8);
        (converter.*c.method)(nullptr, pic.lumaPitch, pic.u.data(), pic.v.data(), pic.chromaPitch,
                              d.data(), d.pitch, 32, 8);
        (converter.*c.method)(pic.y.data(), pic.lumaPitch, nullptr, pic.v.data(), pic.chromaPitch,
                              d.data(), d.pitch, 32, 8);
        (converter.*c.method)(pic.y.data(), pic.lumaPitch, pic.u.data(), nullptr, pic.chromaPitch,
                              d.data(), d.pitch, 32, 8);
        (converter.*c.method)(pic.y.data(), pic.lumaPitch, pic.u.data(), pic.v.data(), pic.chromaPitch,
                              nullptr, d.pitch, 32, 8);
        for (uint8_t b : d.mem)
            ASSERT_EQ(b, Dest::kCanary);
    }
}

TEST(ColorConvert, KernelLevelsAreOfferedOnlyWhereSupported)
{
    const KernelLevel best = kova::color::BestKernelLevel();
    ASSERT_NE(kova::color::KernelsFor(best), nullptr);
    EXPECT_EQ(&kova::color::ActiveRows(), kova::color::KernelsFor(best));
    EXPECT_EQ(kova::color::ActiveRows().level, best);
    EXPECT_EQ(kova::color::KernelsFor(KernelLevel::Scalar), &kova::color::kScalarRows);
    for (int l = static_cast<int>(best) + 1; l < kova::color::kLevelCount; ++l)
        EXPECT_EQ(kova::color::KernelsFor(static_cast<KernelLevel>(l)), nullptr) << l;
}

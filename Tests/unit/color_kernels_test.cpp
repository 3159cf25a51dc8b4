/* Every (Y, U, V) triple through every conversion: the scalar kernels give
 * the documented arithmetic's bytes and every SIMD level gives the scalar
 * kernels' bytes. One picture per U value enumerates all V (chroma column)
 * and all Y (the four pixels of a 2x2 block times the chroma row), so the
 * 16.7 million triples take 256 pictures of 512 x 128 per conversion. */
#include "color_test_util.h"

#include <gtest/gtest.h>

#include <string>

using namespace colortest;

namespace {

constexpr int kW = 512, kH = 128;

/* Luma of pixel (x, r): 4 per chroma row, one per position in the block. */
int SweepLuma(int x, int r) { return 4 * (r / 2) + 2 * (r % 2) + (x % 2); }

class EveryTriple : public ::testing::TestWithParam<int> {};

TEST_P(EveryTriple, SimdGivesTheScalarBytes)
{
    const Conversion &c = Conversions()[GetParam()];
    const std::vector<KernelLevel> levels = SupportedLevels();
    if (levels.size() < 2)
        GTEST_SKIP() << "no SIMD level that this build contains runs on this processor";

    /* Odd U values read from misaligned planes with padded rows: the sweep
     * starts two luma columns and one chroma column into a wider picture. */
    Picture aligned(kW, kH), shifted(kW + 2, kH, 3, 5);
    for (int r = 0; r < kH; ++r)
        for (int x = 0; x < kW; ++x)
            aligned.Y(x, r) = shifted.Y(x + 2, r) = static_cast<uint8_t>(SweepLuma(x, r));
    for (int k = 0; k < kH / 2; ++k)
        for (int i = 0; i < kW / 2; ++i)
            aligned.V(i, k) = shifted.V(i + 1, k) = static_cast<uint8_t>(i);

    Dest reference(c.bytes, kW, kH), out(c.bytes, kW, kH, 7);
    CZR_VO_ColorConvert converter;
    long mismatches = 0;
    for (int u = 0; u < 256; ++u) {
        const int skip = u & 1;
        Picture &pic = skip ? shifted : aligned;
        std::fill(pic.u.begin(), pic.u.end(), static_cast<uint8_t>(u));
        auto run = [&](Dest &d) {
            (converter.*c.method)(pic.y.data() + 2 * skip, pic.lumaPitch, pic.u.data() + skip,
                                  pic.v.data() + skip, pic.chromaPitch, d.data(), d.pitch, kW, kH);
        };
        {
            ScopedLevel pin(KernelLevel::Scalar);
            run(reference);
        }
        /* The scalar bytes against the documented arithmetic. */
        uint8_t want[4];
        for (int r = 0; r < kH && mismatches < 5; ++r)
            for (int x = 0; x < kW; ++x) {
                ExpectedPixel(c.layout, x, SweepLuma(x, r), u, x / 2, want);
                if (std::memcmp(reference.Pixel(x, r), want, c.bytes) != 0) {
                    ADD_FAILURE() << "scalar " << c.name << " Y " << SweepLuma(x, r) << " U " << u
                                  << " V " << x / 2;
                    if (++mismatches >= 5)
                        break;
                }
            }
        for (size_t l = 1; l < levels.size(); ++l) {
            ScopedLevel pin(levels[l]);
            run(out);
            for (int r = 0; r < kH; ++r)
                if (std::memcmp(out.Row(r), reference.Row(r), kW * c.bytes) != 0) {
                    for (int x = 0; x < kW; ++x)
                        if (std::memcmp(out.Pixel(x, r), reference.Pixel(x, r), c.bytes) != 0) {
                            ADD_FAILURE() << kova::color::KernelLevelName(levels[l]) << " " << c.name
                                          << " differs from scalar at Y " << SweepLuma(x, r) << " U "
                                          << u << " V " << x / 2;
                            break;
                        }
                    if (++mismatches >= 5)
                        return;
                }
            ASSERT_EQ(out.FirstStrayWrite(), -1) << kova::color::KernelLevelName(levels[l]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Conversions, EveryTriple, ::testing::Range(0, 6),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::string(Conversions()[info.param].name);
                         });

}  // namespace

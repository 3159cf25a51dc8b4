/* The kernels of every level against the scalar ones, side by side, as
 * checkasm does: each level's rows over ragged widths and shifted source and
 * destination addresses, and every (Y, U, V) triple through every
 * conversion, where the scalar kernels must also give the documented
 * arithmetic's bytes. */
#include "color_test_util.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace colortest;
using kova::color::ConvertRows;
using kova::color::KernelsFor;
using kova::color::RowKernels;

namespace {

/* One row pair (or single row) of every width up to three AVX2 steps and a
 * ragged end, from every source offset to every destination offset. The
 * source rows are heap blocks ending at their last sample (ASan sees a read
 * past them); the destinations carry canaries, compared as well. */
TEST(ColorKernels, RowsOfEveryLevelGiveTheScalarRowsBytes)
{
    std::mt19937 rng(2024);
    auto noise = [&rng](size_t n) {
        std::vector<uint8_t> v(n);
        for (uint8_t &b : v)
            b = static_cast<uint8_t>(rng());
        return v;
    };
    for (KernelLevel level : SupportedLevels()) {
        const RowKernels &rows = *KernelsFor(level);
        if (level == KernelLevel::Scalar)
            continue;
        for (const Conversion &c : Conversions())
            for (int width = 1; width <= 100; ++width)
                for (int src = 0; src < 4; ++src)
                    for (int dst = 0; dst < 4; ++dst)
                        for (bool pair : {true, false}) {
                            SCOPED_TRACE(std::string(kova::color::KernelLevelName(level)) + " " + c.name +
                                         " width " + std::to_string(width) + " offsets " +
                                         std::to_string(src) + "/" + std::to_string(dst) +
                                         (pair ? " pair" : " single"));
                            const size_t chroma = src + (width + 1) / 2;
                            const std::vector<uint8_t> y0 = noise(src + width), y1 = noise(src + width);
                            const std::vector<uint8_t> u = noise(chroma), v = noise(chroma);
                            const size_t bytes = 64 + dst + static_cast<size_t>(width) * c.bytes;
                            std::vector<uint8_t> want[2], got[2];
                            for (int r = 0; r < 2; ++r) {
                                want[r].assign(bytes, Dest::kCanary);
                                got[r].assign(bytes, Dest::kCanary);
                            }
                            auto run = [&](const RowKernels &k, std::vector<uint8_t> *d) {
                                ConvertRows(k, c.layout, y0.data() + src, pair ? y1.data() + src : nullptr,
                                            u.data() + src, v.data() + src, d[0].data() + 32 + dst,
                                            pair ? d[1].data() + 32 + dst : nullptr, width);
                            };
                            run(kova::color::kScalarRows, want);
                            run(rows, got);
                            ASSERT_EQ(got[0], want[0]);
                            ASSERT_EQ(got[1], want[1]);
                        }
    }
}

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
    long mismatches = 0;
    for (int u = 0; u < 256; ++u) {
        const int skip = u & 1;
        Picture &pic = skip ? shifted : aligned;
        std::fill(pic.u.begin(), pic.u.end(), static_cast<uint8_t>(u));
        auto run = [&](KernelLevel level, Dest &d) {
            kova::color::ConvertPicture(*KernelsFor(level), c.layout, pic.y.data() + 2 * skip,
                                        pic.lumaPitch, pic.u.data() + skip, pic.v.data() + skip,
                                        pic.chromaPitch, d.data(), d.pitch, kW, kH);
        };
        run(KernelLevel::Scalar, reference);
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
            run(levels[l], out);
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

INSTANTIATE_TEST_SUITE_P(ColorConversions, EveryTriple, ::testing::Range(0, 6),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::string(Conversions()[info.param].name);
                         });

}  // namespace

/* Colour conversion benchmark.
 *
 * For each picture size and conversion, in one run on the same pictures:
 * our conversion at every kernel level the processor runs, libyuv's nearest
 * conversion, and memcpy of as many bytes as the conversion writes (the
 * memory-bandwidth bound). Contestants alternate inside every round so that
 * a noisy machine slows them alike. Times are medians over the rounds of the
 * time per picture; ratios are medians of the ratios within each round, so
 * that both sides of a ratio were measured moments apart, and, since other
 * load only ever adds time, also the ratio of the fastest rounds.
 *
 *   bench_color [rounds [conversion...]]   default 41 rounds, every conversion
 *
 * Where libyuv's conversion differs from ours: I420ToARGB writes alpha 255
 * where we write 0, I420ToARGB1555 sets the top bit where we leave it 0, and
 * libyuv's BT.601 constants differ from ours in the last bits. Byte orders
 * are the same (B, G, R[, A] in memory; little-endian 16-bit words). */
#include "color/ZR_VO_ColorConvert.h"
#include "color/ColorRows.h"

#include <libyuv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using kova::color::KernelLevel;
using Clock = std::chrono::steady_clock;

struct AlignedFree {
    void operator()(uint8_t *p) const { std::free(p); }
};
using Buffer = std::unique_ptr<uint8_t, AlignedFree>;

Buffer Allocate(size_t bytes)
{
    const size_t rounded = (bytes + 63) / 64 * 64;
    auto *p = static_cast<uint8_t *>(std::aligned_alloc(64, rounded));
    if (!p) {
        std::fprintf(stderr, "out of memory\n");
        std::exit(1);
    }
    std::memset(p, 0, rounded);
    return Buffer(p);
}

struct Picture {
    int width, height;
    Buffer y, u, v;
    Picture(int w, int h) : width(w), height(h)
    {
        y = Allocate(static_cast<size_t>(w) * h);
        u = Allocate(static_cast<size_t>(w / 2) * (h / 2));
        v = Allocate(static_cast<size_t>(w / 2) * (h / 2));
        /* Gradients with a little noise: every value range is exercised and
         * nothing is constant. */
        uint32_t seed = 12345;
        auto noise = [&seed] { seed = seed * 1664525u + 1013904223u; return (seed >> 24) & 15; };
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x)
                y.get()[static_cast<size_t>(r) * w + x] = static_cast<uint8_t>((x * 255 / w + r) % 256 + noise());
        for (int r = 0; r < h / 2; ++r)
            for (int x = 0; x < w / 2; ++x) {
                u.get()[static_cast<size_t>(r) * (w / 2) + x] = static_cast<uint8_t>(x * 511 / w + noise());
                v.get()[static_cast<size_t>(r) * (w / 2) + x] = static_cast<uint8_t>(r * 511 / h + noise());
            }
    }
};

using OurMethod = void (CZR_VO_ColorConvert::*)(const uint8_t *, int, const uint8_t *, const uint8_t *,
                                                int, uint8_t *, int, int, int) const;
using YuvFunction = int (*)(const uint8_t *, int, const uint8_t *, int, const uint8_t *, int, uint8_t *,
                            int, int, int);

struct Conversion {
    const char *name;
    kova::color::Layout layout;
    OurMethod ours;
    const char *yuvName;
    YuvFunction yuv;
    int bytes;
};

const Conversion kConversions[] = {
    {"Yuy2", kova::color::Layout::Yuy2, &CZR_VO_ColorConvert::ConvertToYuy2, "I420ToYUY2", libyuv::I420ToYUY2, 2},
    {"Uyvy", kova::color::Layout::Uyvy, &CZR_VO_ColorConvert::ConvertToUyvy, "I420ToUYVY", libyuv::I420ToUYVY, 2},
    {"Rgb32", kova::color::Layout::Rgb32, &CZR_VO_ColorConvert::ConvertToRgb32, "I420ToARGB", libyuv::I420ToARGB, 4},
    {"Rgb24", kova::color::Layout::Rgb24, &CZR_VO_ColorConvert::ConvertToRgb24, "I420ToRGB24", libyuv::I420ToRGB24, 3},
    {"Rgb565", kova::color::Layout::Rgb565, &CZR_VO_ColorConvert::ConvertToRgb565, "I420ToRGB565", libyuv::I420ToRGB565, 2},
    {"Rgb555", kova::color::Layout::Rgb555, &CZR_VO_ColorConvert::ConvertToRgb555, "I420ToARGB1555", libyuv::I420ToARGB1555, 2},
};

/* Seconds per call of `fn`, run `reps` times. */
double TimePerCall(const std::function<void()> &fn, int reps)
{
    const auto start = Clock::now();
    for (int i = 0; i < reps; ++i)
        fn();
    return std::chrono::duration<double>(Clock::now() - start).count() / reps;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

/* A time in microseconds, or "-" for a level this processor lacks. */
std::string Cell(double us)
{
    char buf[32];
    if (us > 0)
        std::snprintf(buf, sizeof buf, "%9.1f", us);
    else
        std::snprintf(buf, sizeof buf, "%9s", "-");
    return buf;
}

bool Wanted(const char *name, int argc, char **argv)
{
    if (argc <= 2)
        return true;
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

struct Contestant {
    std::string name;
    std::function<void()> run;
    std::vector<double> times;
};

}  // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 41;
    const KernelLevel best = kova::color::BestKernelLevel();

    std::printf("kernel levels here: up to %s; libyuv CPU flags: SSSE3 %s, AVX2 %s, AVX512BW %s\n",
                kova::color::KernelLevelName(best), libyuv::TestCpuFlag(libyuv::kCpuHasSSSE3) ? "yes" : "no",
                libyuv::TestCpuFlag(libyuv::kCpuHasAVX2) ? "yes" : "no",
                libyuv::TestCpuFlag(libyuv::kCpuHasAVX512BW) ? "yes" : "no");
    std::printf("median time per picture over %d rounds, in microseconds; "
                "ratios (median of per-round ratios): libyuv time / ours (above 1: we are faster), "
                "copy time / ours (1.0: at the bandwidth bound); best: the same from the fastest rounds\n\n",
                rounds);
    std::printf("%-10s %-7s %9s %9s %9s %9s %9s %9s  %-15s %8s %8s %9s %9s\n", "size", "conv", "scalar",
                "sse2", "avx2", "ours", "libyuv", "copy", "libyuv fn", "yuv/ours", "copy/ours",
                "best y/o", "best c/o");

    const int sizes[][2] = {{352, 288}, {1280, 720}, {1920, 1080}};
    CZR_VO_ColorConvert converter;
    for (const auto &size : sizes) {
        const int w = size[0], h = size[1];
        Picture pic(w, h);
        /* Enough calls per measurement to last about 5 ms. */
        const int reps = std::max(3, static_cast<int>(2.0e6 / (static_cast<double>(w) * h)));
        for (const Conversion &c : kConversions) {
            if (!Wanted(c.name, argc, argv))
                continue;
            const int pitch = w * c.bytes;
            const size_t bytes = static_cast<size_t>(pitch) * h;
            Buffer dst = Allocate(bytes), copySrc = Allocate(bytes);
            std::vector<Contestant> contestants;
            for (int l = 0; l <= static_cast<int>(best); ++l) {
                const KernelLevel level = static_cast<KernelLevel>(l);
                const kova::color::RowKernels &rows = *kova::color::KernelsFor(level);
                contestants.push_back({kova::color::KernelLevelName(level), [&, level] {
                                           /* The product's level through its own call. */
                                           if (level == best)
                                               (converter.*c.ours)(pic.y.get(), w, pic.u.get(), pic.v.get(),
                                                                   w / 2, dst.get(), pitch, w, h);
                                           else
                                               kova::color::ConvertPicture(rows, c.layout, pic.y.get(), w,
                                                                           pic.u.get(), pic.v.get(), w / 2,
                                                                           dst.get(), pitch, w, h);
                                       }, {}});
            }
            contestants.push_back({"libyuv", [&] {
                                       c.yuv(pic.y.get(), w, pic.u.get(), w / 2, pic.v.get(), w / 2,
                                             dst.get(), pitch, w, h);
                                   }, {}});
            contestants.push_back({"copy", [&] { std::memcpy(dst.get(), copySrc.get(), bytes); }, {}});
            for (Contestant &k : contestants)
                k.run();  // warm caches and page tables
            for (int r = 0; r < rounds; ++r)
                for (Contestant &k : contestants)
                    k.times.push_back(TimePerCall(k.run, reps));

            double level[3] = {0, 0, 0};
            for (int l = 0; l <= static_cast<int>(best); ++l)
                level[l] = Median(contestants[l].times) * 1e6;
            const double ours = level[static_cast<int>(best)];
            const Contestant &mine = contestants[static_cast<int>(best)];
            const Contestant &theirs = contestants[contestants.size() - 2];
            const Contestant &copying = contestants.back();
            const double yuv = Median(theirs.times) * 1e6;
            const double copy = Median(copying.times) * 1e6;
            std::vector<double> yuvRatio, copyRatio;
            for (int r = 0; r < rounds; ++r) {
                yuvRatio.push_back(theirs.times[r] / mine.times[r]);
                copyRatio.push_back(copying.times[r] / mine.times[r]);
            }
            const std::string sizeName = std::to_string(w) + "x" + std::to_string(h);
            auto fastest = [](const Contestant &k) { return *std::min_element(k.times.begin(), k.times.end()); };
            std::printf("%-10s %-7s %s %s %s %9.1f %9.1f %9.1f  %-15s %8.2f %8.2f %9.2f %9.2f\n",
                        sizeName.c_str(), c.name, Cell(level[0]).c_str(), Cell(level[1]).c_str(),
                        Cell(level[2]).c_str(), ours, yuv, copy, c.yuvName, Median(yuvRatio),
                        Median(copyRatio), fastest(theirs) / fastest(mine), fastest(copying) / fastest(mine));
            std::fflush(stdout);
        }
    }
    return 0;
}

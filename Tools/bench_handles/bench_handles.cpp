/* The cost the handle registry adds to an exported call: KOVA_GetImagePara
 * on a live handle (registry look-up, call counted in and out, then the
 * facade) against GetImagePara called on the same facade directly, in the
 * same run; on one thread, and on two threads each with its own handle at
 * once (the registry is shared). 64 handles are live, as on a wall of
 * panes. Median of the rounds, nanoseconds per call.
 *
 *   bench_handles [calls per round]        default 2000000 */
#include "KovaDecoder.h"
#include "api/DecodeHandler.h"
#include "facade/CPrivateVideoDecoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 7;
constexpr int kPanes = 64;

template <class Call>
double NanosecondsPerCall(long calls, Call &&call)
{
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < calls; ++i)
        call();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / double(calls);
}

double ExportCall(KOVA_HANDLE h, long calls)
{
    LONG width = 0, height = 0;
    return NanosecondsPerCall(calls, [&] { KOVA_GetImagePara(h, &width, &height); });
}

double DirectCall(KOVA_HANDLE h, long calls)
{
    CPrivateVideoDecoder *facade = static_cast<DecodeHandler *>(h)->decoder;
    LONG width = 0, height = 0;
    return NanosecondsPerCall(calls, [&] { facade->GetImagePara(&width, &height); });
}

/* Both threads run the same kind of call at once; the slower one counts. */
template <class Measure>
double OnTwoThreads(KOVA_HANDLE a, KOVA_HANDLE b, long calls, Measure measure)
{
    double first = 0, second = 0;
    std::thread other([&] { second = measure(b, calls); });
    first = measure(a, calls);
    other.join();
    return std::max(first, second);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    const long calls = argc > 1 ? std::atol(argv[1]) : 2000000;
    std::vector<KOVA_HANDLE> panes;
    for (int i = 0; i < kPanes; ++i)
        panes.push_back(KOVA_CreateInstance(0, 96));
    KOVA_HANDLE a = panes[17], b = panes[42];

    std::vector<double> direct1, export1, direct2, export2;
    for (int round = 0; round < kRounds; ++round) {
        direct1.push_back(DirectCall(a, calls));
        export1.push_back(ExportCall(a, calls));
        direct2.push_back(OnTwoThreads(a, b, calls, DirectCall));
        export2.push_back(OnTwoThreads(a, b, calls, ExportCall));
    }
    std::printf("%-12s %12s %12s %12s %8s\n", "threads", "direct ns", "export ns", "added ns", "ratio");
    const double d1 = Median(direct1), e1 = Median(export1), d2 = Median(direct2), e2 = Median(export2);
    std::printf("%-12s %12.1f %12.1f %12.1f %8.2f\n", "one", d1, e1, e1 - d1, e1 / d1);
    std::printf("%-12s %12.1f %12.1f %12.1f %8.2f\n", "two at once", d2, e2, e2 - d2, e2 / d2);
    for (KOVA_HANDLE h : panes)
        KOVA_ReleaseInstance(h);
    return 0;
}

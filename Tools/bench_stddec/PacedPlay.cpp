// A 1280x720 stream with three B-frames (x264 high profile) against the same
// picture content without B-frames, each fed in real time with its own
// presentation stamps (in decoding order, as a camera sends them) to an
// instance at normal speed. A watcher thread follows the box that moves
// across the pictures and notes the tick at which each picture reaches the
// screen; the pacing error of picture k is how far it lands from
// first + 40 k ms. CPU is the whole process's per picture sent.
#include "PacedPlay.h"

#include "KovaDecoder.h"

#include <kova_control_desktop.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Media.h"

namespace {

struct Result {
    int sent = 0, shown = 0;
    double meanErrorMs = 0, worstErrorMs = 0, cpuMsPerPicture = 0;
};

double ProcessCpuMs()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

Result Play(const std::vector<media::StampedPacket> &packets)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "KovaBenchPacedPane";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "KovaBenchPacedPane", "paced", WS_POPUP | WS_VISIBLE, 0, 0, 640, 360,
                                  nullptr, nullptr, nullptr, nullptr);
    KOVA_HANDLE h = KOVA_CreateInstance(0, 22);
    KOVA_InitPlayInstance(h, window);
    KOVA_StartPlayStream(h);

    // The box moves W/50 a picture (half the width a second): its position
    // along the middle row names the picture on screen.
    std::atomic<bool> watching{true};
    std::vector<std::pair<DWORD, int>> shownAt;  // tick, picture
    std::thread watcher([&] {
        const int points = 200, width = 640, row = 180;
        int last = -1;
        while (watching) {
            int at = -1;
            for (int i = 0; i < points && at < 0; ++i) {
                const COLORREF c = KovaControl_GetScreenPixel(width * i / points, row);
                if (GetGValue(c) > 100 && GetRValue(c) < 80 && GetBValue(c) < 80)
                    at = i;
            }
            const int picture = at < 0 ? -1 : int(std::lround(at * 50.0 / points));
            if (picture >= 0 && picture != last) {
                shownAt.push_back({GetTickCount(), picture});
                last = picture;
            }
            Sleep(1);
        }
    });

    const double cpuStart = ProcessCpuMs();
    const DWORD start = GetTickCount();
    for (size_t k = 0; k < packets.size(); ++k) {
        // Packet k leaves the camera at 40 k ms, whatever its stamp.
        const DWORD due = start + DWORD(40 * k);
        const LONG wait = LONG(due - GetTickCount());
        if (wait > 0)
            Sleep(DWORD(wait));
        const int64_t ms = 100000 + packets[k].ms;
        KOVA_SendVideoFrame(h, packets[k].data.data(), LONG(packets[k].data.size()), 1280, 720, 22,
                            LONG(ms / 1000), LONG(ms % 1000), 0);
    }
    Sleep(500);
    Result r;
    r.cpuMsPerPicture = (ProcessCpuMs() - cpuStart) / double(packets.size());
    watching = false;
    watcher.join();
    KOVA_StopPlayStream(h);
    KOVA_ReleaseInstance(h);
    DestroyWindow(window);

    r.sent = int(packets.size());
    r.shown = int(shownAt.size());
    // The box wraps every 50 pictures: unwrap, then measure each picture
    // against the first one seen.
    double sum = 0;
    int turns = 0, previous = -1;
    for (const auto &seen : shownAt) {
        if (previous >= 0 && seen.second < previous - 25)
            ++turns;
        previous = seen.second;
        const int k = seen.second + 50 * turns - shownAt[0].second;
        const double error = std::fabs(double(LONG(seen.first - shownAt[0].first)) - 40.0 * k);
        sum += error;
        r.worstErrorMs = std::max(r.worstErrorMs, error);
    }
    r.meanErrorMs = shownAt.empty() ? 0 : sum / double(shownAt.size());
    return r;
}

template <class Get>
double MedianOf(const std::vector<Result> &results, Get get)
{
    std::vector<double> v;
    for (const Result &r : results)
        v.push_back(get(r));
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

void ComparePacing(int rounds, int seconds)
{
    const int frames = 25 * seconds;
    const std::string base = "-c:v libx264 -preset veryfast -b:v 2M ";
    struct Contestant {
        const char *label;
        std::string file, args;
        std::vector<media::StampedPacket> packets;
        std::vector<Result> results;
    } contestants[] = {
        {"no B-frames (baseline)", "camera-720p-" + std::to_string(seconds) + "s.ts", base + "-tune zerolatency", {}, {}},
        {"3 B-frames, high profile", "camera-720p-bframes-" + std::to_string(seconds) + "s.ts",
         base + "-profile:v high -x264-params bframes=3", {}, {}},
    };
    for (Contestant &c : contestants) {
        c.packets = media::StampedVideoPackets(media::MakeCameraStream(c.file, 1280, 720, 25, frames, c.args));
        if (int(c.packets.size()) != frames) {
            std::fprintf(stderr, "cannot make the %s stream\n", c.label);
            return;
        }
    }
    for (int r = 0; r < rounds; ++r)
        for (Contestant &c : contestants)
            c.results.push_back(Play(c.packets));

    std::printf("\nPacing at normal speed, 1280x720 25 fps, %d s fed in real time, median of %d rounds\n\n",
                seconds, rounds);
    std::printf("| stream | shown of sent | mean pacing error ms | worst ms | CPU ms per picture |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (const Contestant &c : contestants)
        std::printf("| %s | %.0f of %d | %.2f | %.1f | %.2f |\n", c.label,
                    MedianOf(c.results, [](const Result &r) { return double(r.shown); }), frames,
                    MedianOf(c.results, [](const Result &r) { return r.meanErrorMs; }),
                    MedianOf(c.results, [](const Result &r) { return r.worstErrorMs; }),
                    MedianOf(c.results, [](const Result &r) { return r.cpuMsPerPicture; }));
    const auto &a = contestants[0].results, &b = contestants[1].results;
    auto ratio = [](double x, double y) { return y > 0 ? x / y : 0.0; };
    std::printf("\nB-frames / baseline: mean pacing error %.2f, CPU %.2f\n",
                ratio(MedianOf(b, [](const Result &r) { return r.meanErrorMs; }),
                      MedianOf(a, [](const Result &r) { return r.meanErrorMs; })),
                ratio(MedianOf(b, [](const Result &r) { return r.cpuMsPerPicture; }),
                      MedianOf(a, [](const Result &r) { return r.cpuMsPerPicture; })));
}

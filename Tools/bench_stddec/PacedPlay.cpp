// A 1280x720 stream with three B-frames (x264 high profile) against the same
// picture content without B-frames, each fed in real time with its own
// presentation stamps (in decoding order, as a camera sends them) to an
// instance at normal speed. A watcher thread notes the tick at which each
// picture reaches the screen (the platform's count of blits onto the
// primary surface); the pacing error of picture k is how far it lands from
// first + 40 k ms. CPU is the whole process's per picture sent.
#include "PacedPlay.h"

#include "KovaDecoder.h"

#include <kova_control_ddraw.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
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

    KovaControl_ResetDirectDrawCalls();
    std::atomic<bool> watching{true};
    std::vector<DWORD> shownAt;
    std::thread watcher([&] {
        LONG seen = 0;
        while (watching) {
            const LONG now = KovaControl_DirectDrawCalls("IDirectDrawSurface7::Blt:PRIMARY");
            const DWORD tick = GetTickCount();
            for (; seen < now; ++seen)
                shownAt.push_back(tick);
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
    double sum = 0;
    for (size_t k = 0; k < shownAt.size(); ++k) {
        const double error = std::fabs(double(LONG(shownAt[k] - shownAt[0])) - 40.0 * double(k));
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

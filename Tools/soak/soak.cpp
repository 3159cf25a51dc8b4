// Soak: what a surveillance client does for months, compressed.
//
// Part one runs instance lifetimes back to back (create, bind to a window,
// start, feed a few pictures and some sound, stop, release), one stream type
// after the other over every type the library routes. Part two plays a wall
// of 16 panes, each fed in real time from a thread of its own, and samples
// memory, threads and handles at a fixed interval. After each part every
// instance is gone, and the program waits a little for threads that are
// still ending; then it compares threads, the platform layer's handle
// table, open file descriptors and resident memory with the figures taken
// after one warm-up lifetime of every type (which creates what lives for the
// whole process: the log, the sound lock, the decoders' tables).
//
// Exit status 1 when threads, handles or descriptors grew; memory is
// reported, not judged (the allocator keeps freed pages).
//
//   kova_soak [--cycles N] [--cycle-seconds S] [--wall-seconds S]
//             [--sample-seconds S] [--panes N]
// Defaults: 10000 lifetimes (no time limit), a 3600 s wall sampled every
// 60 s, 16 panes. A limit of 0 skips the part.
#include "KovaDecoder.h"

#include <kova_control.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Media.h"
#include "VendorSample.h"

namespace {

using media::Bytes;
using Clock = std::chrono::steady_clock;

/* ---- What the process holds ---- */

int Entries(const char *dir)
{
    int n = 0;
    if (DIR *d = opendir(dir)) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
    }
    return n;
}

struct Counts {
    int threads = 0;
    int fds = 0;  // the directory listing's own descriptor included
    long handles = 0;
    long rssKiB = 0;
};

Counts Measure()
{
    Counts c;
    c.threads = Entries("/proc/self/task");
    c.fds = Entries("/proc/self/fd");
    c.handles = KovaControl_OpenHandles();
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    c.rssKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
    return c;
}

void Print(const char *what, const Counts &c)
{
    std::printf("%-22s threads %3d  handles %5ld  fds %3d  resident %7.1f MiB\n", what, c.threads, c.handles,
                c.fds, c.rssKiB / 1024.0);
    std::fflush(stdout);
}

/* Waits up to 15 s for threads that are still ending; true when nothing
 * grew against `base`. */
bool Settles(const Counts &base, Counts *now)
{
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    for (;;) {
        *now = Measure();
        const bool settled = now->threads <= base.threads && now->handles <= base.handles && now->fds <= base.fds;
        if (settled || Clock::now() > deadline)
            return settled;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

/* The least of each count over two seconds: threads of the warm-up that
 * are still ending do not count as the start. */
Counts Baseline()
{
    Counts least = Measure();
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const Counts now = Measure();
        least.threads = std::min(least.threads, now.threads);
        least.handles = std::min(least.handles, now.handles);
        least.fds = std::min(least.fds, now.fds);
        least.rssKiB = now.rssKiB;
    }
    return least;
}

/* ---- Samples ---- */

struct Samples {
    std::vector<Bytes> h264, mpeg4, mjpeg;  // 176x144, a key picture every 6
    std::vector<Bytes> alaw, mulaw, g722;   // 20 ms each
    vendor_sample::Sample vendor;
    int64_t vendorMs = 0;  // the vendor sample's length
};

bool MakeSamples(Samples *s)
{
    s->h264 = media::VideoPackets(media::MakeQuadrants("h264", 176, 144, 24));
    s->mpeg4 = media::VideoPackets(media::MakeQuadrants("mpeg4", 176, 144, 24));
    s->mjpeg = media::VideoPackets(media::MakeQuadrants("mjpeg", 176, 144, 24));
    const std::string tone8k = media::ToneSource(440, 8000, 2);
    s->alaw = media::Chunks(media::ReadFile(media::Make("tone-440-2s.alaw", tone8k + " -c:a pcm_alaw -f alaw")), 160);
    s->mulaw =
        media::Chunks(media::ReadFile(media::Make("tone-440-2s.ulaw", tone8k + " -c:a pcm_mulaw -f mulaw")), 160);
    s->g722 = media::Chunks(
        media::ReadFile(media::Make("tone-440-2s.g722", media::ToneSource(440, 16000, 2) + " -c:a g722 -f g722")),
        160);
    vendor_sample::Options options;
    options.seconds = 4;
    std::string why;
    if (!vendor_sample::Make(options, &s->vendor, &why)) {
        std::fprintf(stderr, "no vendor sample: %s\n", why.c_str());
        return false;
    }
    s->vendorMs = int64_t(options.seconds) * 1000;
    if (s->h264.empty() || s->mpeg4.empty() || s->mjpeg.empty() || s->alaw.empty() || s->mulaw.empty() ||
        s->g722.empty()) {
        std::fprintf(stderr, "the ffmpeg program could not make the samples\n");
        return false;
    }
    return true;
}

/* Every type the library routes: the vendor type, the standard types it
 * lists and some it does not (routed to the standard decoder too). */
const LONG kStreamTypes[] = {102, 2,  4,  9,  16,  17,  19,  22,  23,  25,  37,
                             96,  97, 98, 99, 100, 101, 103, 104, 108, 192, 254, 5};

struct Feed {
    LONG type;
    const std::vector<Bytes> *pictures;  // null: the vendor stream
    const std::vector<Bytes> *sound;     // null: none
};

Feed FeedFor(const Samples &s, LONG type)
{
    switch (type) {
    case 102: return {type, nullptr, nullptr};
    case 2: case 23: return {type, &s.mpeg4, nullptr};
    case 96: return {type, &s.mpeg4, &s.mulaw};
    case 9: case 16: case 19: return {type, &s.h264, &s.alaw};
    case 17: case 25: case 103: return {type, &s.h264, &s.g722};
    case 97: case 100: case 108: return {type, &s.h264, &s.mulaw};
    case 104: return {type, &s.mjpeg, &s.alaw};
    case 192: return {type, &s.mjpeg, nullptr};
    case 22: case 98: return {type, &s.h264, nullptr};
    default: return {type, &s.h264, &s.mulaw};
    }
}

void SendPicture(KOVA_HANDLE h, const Feed &f, size_t i, int64_t ms)
{
    const Bytes &p = (*f.pictures)[i % f.pictures->size()];
    KOVA_SendVideoFrame(h, p.data(), LONG(p.size()), 176, 144, f.type, LONG(ms / 1000), LONG(ms % 1000), 0);
}

void SendSound(KOVA_HANDLE h, const Feed &f, size_t j, int64_t ms)
{
    const Bytes &p = (*f.sound)[j % f.sound->size()];
    KOVA_SendAudioFrame(h, p.data(), LONG(p.size()), LONG(ms / 1000), LONG(ms % 1000), 0);
}

void SendVendor(KOVA_HANDLE h, const vendor_sample::Packet &p, int64_t ms)
{
    const LONG length = LONG(p.data.size());
    if (p.sound)
        KOVA_SendAudioFrame(h, p.data.data(), length, LONG(ms / 1000), LONG(ms % 1000), 0);
    else
        KOVA_SendVideoFrame(h, p.data.data(), length, 320, 240, 102, LONG(ms / 1000), LONG(ms % 1000), 0);
}

void SendVendorHeader(KOVA_HANDLE h, const Samples &s)
{
    KOVA_SendVideoFrame(h, s.vendor.header.data(), LONG(s.vendor.header.size()), 0, 0, 102, 0, 0, 0);
}

HWND MakePane(int x, int y, int width, int height)
{
    static const bool registered = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "KovaSoakPane";
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    return CreateWindowExA(0, "KovaSoakPane", "soak", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                           nullptr, nullptr);
}

/* ---- Part one: lifetimes ---- */

/* One lifetime: every other one with its sound on; a few pictures (a key
 * picture first) and sound, stamped from 10 s on. */
void Lifetime(const Samples &s, const Feed &f, HWND window, long n)
{
    KOVA_HANDLE h = KOVA_CreateInstance(0, f.type);
    if (!h)
        return;
    KOVA_InitPlayInstance(h, window);
    if (n % 2)
        KOVA_SetAudio(h, 1);
    KOVA_StartPlayStream(h);
    if (!f.pictures) {
        SendVendorHeader(h, s);
        for (size_t i = 0; i < 8 && i < s.vendor.packets.size(); ++i)
            SendVendor(h, s.vendor.packets[i], s.vendor.packets[i].ms);
    } else {
        for (size_t i = 0; i < 3; ++i) {
            SendPicture(h, f, i, 10000 + 40 * int64_t(i));
            if (f.sound) {
                SendSound(h, f, 2 * i, 10000 + 40 * int64_t(i));
                SendSound(h, f, 2 * i + 1, 10020 + 40 * int64_t(i));
            }
        }
    }
    KOVA_StopPlayStream(h);
    KOVA_ReleaseInstance(h);
}

/* ---- Part two: the wall ---- */

struct Pane {
    HWND window = nullptr;
    KOVA_HANDLE handle = nullptr;
    Feed feed{};
    std::thread feeder;
};

/* Feeds a pane in real time until `stop`: 25 pictures a second and the
 * sound of the same span, stamps running on across the sample's loops. */
void FeedPane(const Samples &s, Pane *pane, const std::atomic<bool> *stop)
{
    const Feed &f = pane->feed;
    const auto start = Clock::now();
    if (!f.pictures) {
        SendVendorHeader(pane->handle, s);
        for (int64_t loop = 0; !stop->load(); ++loop) {
            for (const vendor_sample::Packet &p : s.vendor.packets) {
                if (stop->load())
                    return;
                const int64_t ms = loop * s.vendorMs + p.ms;
                std::this_thread::sleep_until(start + std::chrono::milliseconds(ms));
                SendVendor(pane->handle, p, ms);
            }
        }
        return;
    }
    for (size_t i = 0; !stop->load(); ++i) {
        const int64_t ms = 40 * int64_t(i);
        std::this_thread::sleep_until(start + std::chrono::milliseconds(ms));
        SendPicture(pane->handle, f, i, 10000 + ms);
        if (f.sound) {
            SendSound(pane->handle, f, 2 * i, 10000 + ms);
            SendSound(pane->handle, f, 2 * i + 1, 10020 + ms);
        }
    }
}

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

long Arg(int argc, char **argv, const char *name, long fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::strtol(argv[i + 1], nullptr, 10);
    return fallback;
}

}  // namespace

int main(int argc, char **argv)
{
    const long cycles = Arg(argc, argv, "--cycles", 10000);
    const long cycleSeconds = Arg(argc, argv, "--cycle-seconds", 0);  // 0: no limit
    const long wallSeconds = Arg(argc, argv, "--wall-seconds", 3600);
    const long sampleSeconds = Arg(argc, argv, "--sample-seconds", 60);
    const int panes = int(Arg(argc, argv, "--panes", 16));
    setenv("KOVA_WAVE_OUT", "null", 0);  // sound goes nowhere unless told otherwise

    Samples samples;
    if (!MakeSamples(&samples))
        return 2;
    std::vector<Feed> feeds;
    for (LONG type : kStreamTypes)
        feeds.push_back(FeedFor(samples, type));

    KOVA_InitializeLog();
    HWND lifetimeWindow = MakePane(0, 0, 352, 288);
    for (const Feed &f : feeds)  // warm-up
        Lifetime(samples, f, lifetimeWindow, 1);
    const Counts base = Baseline();
    Print("start", base);
    bool grew = false;

    if (cycles > 0 && cycleSeconds >= 0) {
        const auto start = Clock::now();
        long n = 0;
        while (n < cycles && (cycleSeconds == 0 || Seconds(start) < cycleSeconds)) {
            Lifetime(samples, feeds[n % feeds.size()], lifetimeWindow, n);
            ++n;
            if (n % 1000 == 0) {
                char what[64];
                std::snprintf(what, sizeof what, "after %ld lifetimes", n);
                Print(what, Measure());
            }
        }
        Counts end;
        const bool settled = Settles(base, &end);
        std::printf("%ld lifetimes over %zu stream types in %.0f s (%.1f ms each)\n", n, feeds.size(),
                    Seconds(start), n ? 1000 * Seconds(start) / n : 0.0);
        Print("after the lifetimes", end);
        std::printf("growth: threads %+d  handles %+ld  fds %+d  resident %+.1f MiB%s\n", end.threads - base.threads,
                    end.handles - base.handles, end.fds - base.fds, (end.rssKiB - base.rssKiB) / 1024.0,
                    settled ? "" : "  <- GREW");
        grew |= !settled;
    }

    if (wallSeconds > 0) {
        /* A 4x4 wall of 176x144 panes, types taken in turn from the
         * list, sound on the first pane. */
        std::vector<Pane> wall(panes);
        std::atomic<bool> stop{false};
        const Counts before = Measure();
        for (int i = 0; i < panes; ++i) {
            Pane &p = wall[i];
            p.window = MakePane(400 + 180 * (i % 4), 150 * (i / 4), 176, 144);
            p.feed = feeds[i % feeds.size()];
            p.handle = KOVA_CreateInstance(0, p.feed.type);
            KOVA_InitPlayInstance(p.handle, p.window);
            if (i == 0)
                KOVA_SetAudio(p.handle, 1);
            KOVA_StartPlayStream(p.handle);
        }
        for (Pane &p : wall)
            p.feeder = std::thread(FeedPane, std::cref(samples), &p, &stop);
        const auto start = Clock::now();
        Print("wall: before", before);
        Counts first, last;
        for (long t = sampleSeconds; t <= wallSeconds; t += sampleSeconds) {
            std::this_thread::sleep_until(start + std::chrono::seconds(t));
            last = Measure();
            if (t == sampleSeconds)
                first = last;
            char what[64];
            std::snprintf(what, sizeof what, "wall: %5ld s", t);
            Print(what, last);
        }
        stop = true;
        for (Pane &p : wall)
            p.feeder.join();
        for (Pane &p : wall) {
            KOVA_StopPlayStream(p.handle);
            KOVA_ReleaseInstance(p.handle);
            DestroyWindow(p.window);
        }
        Counts end;
        const bool settled = Settles(before, &end);
        Print("wall: released", end);
        std::printf("wall of %d panes for %.0f s: resident %+.1f MiB from the first sample to the last; "
                    "after release threads %+d  handles %+ld  fds %+d%s\n",
                    panes, Seconds(start), (last.rssKiB - first.rssKiB) / 1024.0, end.threads - before.threads,
                    end.handles - before.handles, end.fds - before.fds, settled ? "" : "  <- GREW");
        grew |= !settled;
    }

    KOVA_ReleaseLog();
    std::printf("%s\n", grew ? "FAILED: threads, handles or descriptors grew" : "no growth in threads, handles or descriptors");
    return grew ? 1 : 0;
}

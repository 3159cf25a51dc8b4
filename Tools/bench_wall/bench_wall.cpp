// What a camera wall costs per pane: N instances of the library (stream type
// 22, H.264) bound to the panes of a 1920x1080 wall, each fed its camera's
// pictures in real time (25 fps, time-stamped) by a thread of its own, as a
// recorder client's receiving threads do.
//
// Per pane it reports the address space reserved and committed, the
// resident memory, the thread stacks apart, the CPU time per picture and the
// late pictures. Memory is the difference between the process before the
// instances were made (windows, stream and feeding threads already there)
// and after they played for a while, divided by N.
//
//   Linux: /proc/self/smaps. Reserved is every accessible mapping,
//   committed the writable ones (what the kernel charges against its
//   commit limit), resident their Rss. Inaccessible (PROT_NONE) mappings
//   are reported apart: they are mostly the unused 64 MiB reservations of
//   glibc's per-thread malloc arenas, which a Windows process does not
//   have (one process heap). A thread's stack is the mapping holding its stack
//   pointer (/proc/self/task/*/syscall) with the guard page below it.
//   Windows: a walk over VirtualQuery. Reserved is every region not free,
//   committed the MEM_COMMIT ones, resident the working set; a stack is an
//   allocation holding a guard page.
//
// A picture is late when the feeding thread hands it over more than 40 ms
// after it was due: the pane's decoding did not keep up. On Linux the
// framebuffer's write count also gives the pictures drawn.
//
// Usage: bench_wall PANES cif|d1|1080 [SECONDS (60)] [STREAM_FILE]
//   Without STREAM_FILE the stream is made with the ffmpeg program (10 s,
//   played in a loop). The Windows build needs STREAM_FILE (made beforehand
//   by Tools/bench_wall/make-streams.sh).
#include "KovaDecoder.h"
#include "../CpuTime.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <psapi.h>
#else
#include <dirent.h>
#include <kova_control_desktop.h>
#include <time.h>
#endif

namespace {

struct Size {
    const char *name;
    int width, height;
    const char *bitrate;
};

const Size kSizes[] = {{"cif", 352, 288, "384k"}, {"d1", 704, 576, "1500k"}, {"1080", 1920, 1080, "4M"}};

const int kWallWidth = 1920, kWallHeight = 1080;
const int kFrameMs = 40;
const int kLateMs = 40;
/* The feeding threads are the client's: a small stack, counted apart. */
const SIZE_T kFeederStack = 128 * 1024;

using Packet = std::vector<unsigned char>;

std::vector<unsigned char> ReadFile(const std::string &path)
{
    std::vector<unsigned char> data;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return data;
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
    std::fclose(f);
    return data;
}

/* Splits an H.264 Annex B stream into pictures: a picture begins at a
 * parameter set, SEI or delimiter after a slice, or at a slice whose first
 * macroblock is 0 after a slice. */
std::vector<Packet> SplitPictures(const std::vector<unsigned char> &s)
{
    std::vector<size_t> starts;  // offsets of start codes
    for (size_t i = 0; i + 3 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && (s[i + 2] == 1 || (s[i + 2] == 0 && s[i + 3] == 1))) {
            starts.push_back(i);
            i += 2;
        }
    std::vector<Packet> pictures;
    size_t begin = 0;
    bool sliceSeen = false;
    for (size_t k = 0; k < starts.size(); ++k) {
        size_t header = starts[k] + (s[starts[k] + 2] == 1 ? 3 : 4);
        if (header >= s.size()) break;
        const int type = s[header] & 0x1F;
        const bool slice = type == 1 || type == 5;
        const bool firstSlice = slice && header + 1 < s.size() && (s[header + 1] & 0x80);
        const bool opens = (type == 6 || type == 7 || type == 8 || type == 9) || firstSlice;
        if (opens && sliceSeen) {
            pictures.emplace_back(s.begin() + long(begin), s.begin() + long(starts[k]));
            begin = starts[k];
            sliceSeen = false;
        }
        sliceSeen = sliceSeen || slice;
    }
    if (begin < s.size()) pictures.emplace_back(s.begin() + long(begin), s.end());
    return pictures;
}

struct Memory {
    double reserved = 0, committed = 0, resident = 0;  // KiB, stacks excluded
    double stackReserved = 0, stackResident = 0;        // KiB
    double inaccessible = 0;  // KiB of PROT_NONE outside stacks (Linux: mostly glibc's per-thread malloc arenas)
    int stacks = 0;
};

#ifdef _WIN32
Memory MeasureMemory()
{
    Memory m;
    MEMORY_BASIC_INFORMATION info;
    unsigned char *address = nullptr;
    // Allocations holding a guard page are thread stacks.
    std::vector<void *> stackBases;
    std::vector<MEMORY_BASIC_INFORMATION> regions;
    while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
        if (info.State != MEM_FREE) {
            regions.push_back(info);
            if (info.State == MEM_COMMIT && (info.Protect & PAGE_GUARD) &&
                std::find(stackBases.begin(), stackBases.end(), info.AllocationBase) == stackBases.end())
                stackBases.push_back(info.AllocationBase);
        }
        unsigned char *next = static_cast<unsigned char *>(info.BaseAddress) + info.RegionSize;
        if (next <= address) break;
        address = next;
    }
    for (const MEMORY_BASIC_INFORMATION &r : regions) {
        const double kib = double(r.RegionSize) / 1024;
        if (std::find(stackBases.begin(), stackBases.end(), r.AllocationBase) != stackBases.end()) {
            m.stackReserved += kib;
            if (r.State == MEM_COMMIT) m.stackResident += kib;  // committed, as Windows counts a stack
            continue;
        }
        m.reserved += kib;
        if (r.State == MEM_COMMIT) m.committed += kib;
    }
    m.stacks = int(stackBases.size());
    // BENCH_WALL_REGIONS: the largest allocations made since the last
    // measurement, to see what a pane's address space is.
    static std::vector<std::pair<void *, SIZE_T>> last;
    std::vector<std::pair<void *, SIZE_T>> now;
    for (const MEMORY_BASIC_INFORMATION &r : regions) {
        if (!now.empty() && now.back().first == r.AllocationBase)
            now.back().second += r.RegionSize;
        else
            now.emplace_back(r.AllocationBase, r.RegionSize);
    }
    if (std::getenv("BENCH_WALL_REGIONS") && !last.empty()) {
        std::vector<std::pair<SIZE_T, void *>> added;
        for (const auto &a : now)
            if (std::find(last.begin(), last.end(), a) == last.end()) added.emplace_back(a.second, a.first);
        std::sort(added.rbegin(), added.rend());
        std::map<SIZE_T, int> bySize;
        for (const auto &a : added) ++bySize[a.first];
        for (auto it = bySize.rbegin(); it != bySize.rend(); ++it)
            std::fprintf(stderr, "new allocations of %8.1f KiB: %d\n", it->first / 1024.0, it->second);
    }
    last = now;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        m.resident = double(counters.WorkingSetSize) / 1024 - m.stackResident;
    return m;
}
#else
/* Stack pointers of every thread but the caller. */
std::vector<unsigned long> StackPointers()
{
    std::vector<unsigned long> pointers;
    DIR *dir = opendir("/proc/self/task");
    if (!dir) return pointers;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::string path = std::string("/proc/self/task/") + entry->d_name + "/syscall";
        FILE *f = std::fopen(path.c_str(), "r");
        if (!f) continue;
        char line[512] = {};
        if (std::fgets(line, sizeof line, f)) {
            std::vector<std::string> fields;
            for (char *t = std::strtok(line, " \n"); t; t = std::strtok(nullptr, " \n")) fields.push_back(t);
            if (fields.size() >= 3) pointers.push_back(std::strtoul(fields[fields.size() - 2].c_str(), nullptr, 16));
        }
        std::fclose(f);
    }
    closedir(dir);
    return pointers;
}

Memory MeasureMemory()
{
    struct Mapping {
        unsigned long start, end;
        bool writable, none;
        double size = 0, rss = 0;
    };
    std::vector<Mapping> maps;
    FILE *f = std::fopen("/proc/self/smaps", "r");
    if (!f) return Memory();
    char line[1024];
    while (std::fgets(line, sizeof line, f)) {
        unsigned long start, end;
        char perms[8];
        if (std::sscanf(line, "%lx-%lx %7s", &start, &end, perms) == 3 && std::strchr(line, '-') < std::strchr(line, ' ')) {
            Mapping m;
            m.start = start;
            m.end = end;
            m.writable = perms[1] == 'w';
            m.none = std::strncmp(perms, "---", 3) == 0;
            maps.push_back(m);
        } else if (!maps.empty()) {
            double kib;
            if (std::sscanf(line, "Size: %lf kB", &kib) == 1) maps.back().size = kib;
            else if (std::sscanf(line, "Rss: %lf kB", &kib) == 1) maps.back().rss = kib;
        }
    }
    std::fclose(f);
    const std::vector<unsigned long> pointers = StackPointers();
    std::vector<bool> stack(maps.size(), false);
    for (unsigned long sp : pointers)
        for (size_t i = 0; i < maps.size(); ++i)
            if (sp >= maps[i].start && sp < maps[i].end && !stack[i]) {
                stack[i] = true;
                if (i > 0 && maps[i - 1].end == maps[i].start && maps[i - 1].none) stack[i - 1] = true;
            }
    Memory m;
    for (size_t i = 0; i < maps.size(); ++i) {
        if (stack[i]) {
            m.stackReserved += maps[i].size;
            m.stackResident += maps[i].rss;
            m.stacks += maps[i].none ? 0 : 1;
            continue;
        }
        if (maps[i].none) {
            m.inaccessible += maps[i].size;
            continue;
        }
        m.reserved += maps[i].size;
        if (maps[i].writable) m.committed += maps[i].size;
        m.resident += maps[i].rss;
    }
    return m;
}
#endif

struct Pane {
    KOVA_HANDLE instance = nullptr;
    HWND window = nullptr;
    const std::vector<Packet> *pictures = nullptr;
    int width = 0, height = 0;
    DWORD startTick = 0;  // when its first picture is due
    std::atomic<bool> *stop = nullptr;
    std::atomic<long long> sent{0}, late{0};
    HANDLE thread = nullptr;
};

DWORD WINAPI Feed(LPVOID parameter)
{
    Pane &p = *static_cast<Pane *>(parameter);
    const std::vector<Packet> &pictures = *p.pictures;
    for (long long i = 0; !p.stop->load(); ++i) {
        const DWORD due = p.startTick + DWORD(i * kFrameMs);
        const LONG wait = LONG(due - GetTickCount());
        if (wait > 0) Sleep(DWORD(wait));
        if (LONG(GetTickCount() - due) > kLateMs) ++p.late;
        const Packet &packet = pictures[size_t(i) % pictures.size()];
        const long long stampMs = i * kFrameMs;
        KOVA_SendVideoFrame(p.instance, packet.data(), LONG(packet.size()), p.width, p.height, 22,
                            LONG(stampMs / 1000), LONG(stampMs % 1000), 0);
        ++p.sent;
    }
    return 0;
}

HWND MakeWindow(int x, int y, int width, int height)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "KovaWallPane";
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowExA(0, "KovaWallPane", "pane", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr,
                           nullptr, nullptr, nullptr);
}

/* Keeps the windows' messages moving for `ms` milliseconds. */
void Pump(DWORD ms)
{
    const DWORD end = GetTickCount() + ms;
    while (LONG(end - GetTickCount()) > 0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(20);
    }
}

unsigned long long FramebufferWrites()
{
#ifdef _WIN32
    return 0;
#else
    KovaFramebufferInfo info;
    return KovaControl_GetFramebufferInfo(0, &info) ? info.changes : 0;
#endif
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_wall PANES cif|d1|1080 [SECONDS] [STREAM_FILE]\n");
        return 2;
    }
    const int panes = std::max(1, std::atoi(argv[1]));
    const Size *size = nullptr;
    for (const Size &s : kSizes)
        if (std::strcmp(argv[2], s.name) == 0) size = &s;
    if (!size) {
        std::fprintf(stderr, "unknown size %s (cif, d1 or 1080)\n", argv[2]);
        return 2;
    }
    const int seconds = argc > 3 ? std::max(4, std::atoi(argv[3])) : 60;
    std::string path = argc > 4 ? argv[4] : "";
#ifndef _WIN32
    setenv("KOVA_WAVE_OUT", "null", 1);
    if (!getenv("KOVA_DESKTOP")) setenv("KOVA_DESKTOP", "1920x1080x32", 1);
    if (path.empty()) {
        path = "bench-wall-" + std::string(size->name) + ".h264";
        if (ReadFile(path).empty()) {
            char command[768];
            std::snprintf(command, sizeof command,
                          "ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=%dx%d:r=25:d=10 -vf noise=alls=6:allf=t "
                          "-c:v libx264 -preset veryfast -tune zerolatency -g 50 -b:v %s -maxrate %s -bufsize %s "
                          "-pix_fmt yuv420p -f h264 %s",
                          size->width, size->height, size->bitrate, size->bitrate, size->bitrate, path.c_str());
            if (std::system(command) != 0) {
                std::fprintf(stderr, "cannot make the stream (is ffmpeg installed?)\n");
                return 1;
            }
        }
    }
#endif
    const std::vector<Packet> pictures = SplitPictures(ReadFile(path));
    if (pictures.size() < 2) {
        std::fprintf(stderr, "no pictures in %s\n", path.c_str());
        return 1;
    }

    // The wall: a square grid over the screen.
    const int columns = int(std::ceil(std::sqrt(double(panes))));
    const int rows = (panes + columns - 1) / columns;
    const int paneWidth = kWallWidth / columns, paneHeight = kWallHeight / rows;
    std::vector<Pane> wall(static_cast<size_t>(panes));
    std::atomic<bool> stop{false};
    for (int i = 0; i < panes; ++i) {
        wall[size_t(i)].window = MakeWindow(i % columns * paneWidth, i / columns * paneHeight, paneWidth, paneHeight);
        wall[size_t(i)].pictures = &pictures;
        wall[size_t(i)].width = size->width;
        wall[size_t(i)].height = size->height;
        wall[size_t(i)].stop = &stop;
    }
    Pump(200);
    const Memory before = MeasureMemory();

    for (Pane &p : wall) {
        p.instance = KOVA_CreateInstance(0, 22);
        KOVA_InitPlayInstance(p.instance, p.window);
        KOVA_StartPlayStream(p.instance);
    }
    // Cameras do not tick together: the panes' first pictures are spread
    // over one picture time.
    const DWORD start = GetTickCount() + 100;
    for (int i = 0; i < panes; ++i) {
        Pane &p = wall[size_t(i)];
        p.startTick = start + DWORD(i * kFrameMs / panes);
        p.thread = CreateThread(nullptr, kFeederStack, Feed, &p, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    }

    // The first seconds open the decoders and fill the pools; the rest is
    // measured.
    const DWORD warmUp = 3000;
    Pump(warmUp);
    long long sent0 = 0, late0 = 0;
    for (Pane &p : wall) {
        sent0 += p.sent;
        late0 += p.late;
    }
    const unsigned long long writes0 = FramebufferWrites();
    const double cpu0 = CpuMs();
    const DWORD tick0 = GetTickCount();
    Pump(DWORD(seconds) * 1000 - warmUp);
    const double cpu = CpuMs() - cpu0;
    const double wallMs = double(GetTickCount() - tick0);
    const unsigned long long writes = FramebufferWrites() - writes0;
    long long sent = 0, late = 0;
    for (Pane &p : wall) {
        sent += p.sent;
        late += p.late;
    }
    sent -= sent0;
    late -= late0;
    const Memory after = MeasureMemory();

    const double n = panes;
    if (std::getenv("BENCH_WALL_HEADER"))
        std::printf("| panes | stream | pane | reserved MiB | committed MiB | resident MiB | stacks reserved MiB (threads) "
                    "| stacks resident MiB | inaccessible MiB | CPU ms/picture | CPU of one core | late | drawn |\n"
                    "|---:|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
    std::printf("| %d | %s | %dx%d | %.1f | %.1f | %.1f | %.1f (%d) | %.1f | %.1f | %.3f | %.0f %% | %lld of %lld | %s |\n",
                panes, size->name, paneWidth, paneHeight, (after.reserved - before.reserved) / 1024 / n,
                (after.committed - before.committed) / 1024 / n, (after.resident - before.resident) / 1024 / n,
                (after.stackReserved - before.stackReserved) / 1024 / n, after.stacks - before.stacks,
                (after.stackResident - before.stackResident) / 1024 / n,
                (after.inaccessible - before.inaccessible) / 1024 / n, sent ? cpu / double(sent) : 0,
                100 * cpu / wallMs, late, sent,
                writes ? (std::to_string(writes) + " drawn").c_str() : "-");
    std::fflush(stdout);  // a slow teardown (Wine) must not lose the figures

    stop = true;
    for (Pane &p : wall) {
        WaitForSingleObject(p.thread, INFINITE);
        CloseHandle(p.thread);
    }
    for (Pane &p : wall) {
        KOVA_StopPlayStream(p.instance);
        KOVA_ReleaseInstance(p.instance);
        DestroyWindow(p.window);
    }

    return 0;
}

// Lines per second through WriteLog from one and from several threads.
//
// Every line costs a free-space query, the named mutex, and an
// open-append-flush-close of the file, so that it is on disk when WriteLog
// returns. The baseline, measured in the same run on the same file system,
// is the bare open-append-flush-close of a line of the same length: the
// ratio shows what the guard and the lock add on top of the file work.
//
//   bench_log [lines per case] [threads]
#include "KovaDecoder.h"
#include "support/Log.h"
#include "support/LogState.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char kMessage[] = "CZR_VO_DDraw::DrawYUV lock failed hr=0x%08X, surface %d, retrying";

void PointLogAt(const fs::path &dir)
{
    std::lock_guard<std::mutex> guard(logStateLock);
    std::string directory = dir.string() + "/";
    std::string file = directory + moduleName + ".log";
    snprintf(logDirectory, sizeof logDirectory, "%s", directory.c_str());
    snprintf(logFilePath, sizeof logFilePath, "%s", file.c_str());
    snprintf(logDrive, sizeof logDrive, "%s", dir.c_str());
}

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The file work alone: one line per open-append-flush-close, one thread.
double BaselineLinesPerSecond(const fs::path &file, int lines)
{
    auto start = Clock::now();
    for (int i = 0; i < lines; ++i) {
        FILE *f = fopen(file.c_str(), "a+");
        if (!f) return 0;
        fprintf(f, "[2013-05-02 14:07:09] : ThreadID[%d] : ", 3172);
        fprintf(f, kMessage, 0x88760096u, i);
        fputs("\n", f);
        fflush(f);
        fseeko(f, 0, SEEK_END);
        (void)ftello(f);
        fclose(f);
    }
    return lines / Seconds(start);
}

double WriteLogLinesPerSecond(int threads, int lines)
{
    int perThread = lines / threads;
    std::vector<std::thread> pool;
    auto start = Clock::now();
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([perThread] {
            for (int i = 0; i < perThread; ++i) WriteLog(kMessage, 0x88760096u, i);
        });
    for (auto &th : pool) th.join();
    return perThread * threads / Seconds(start);
}

} // namespace

int main(int argc, char **argv)
{
    int lines = argc > 1 ? atoi(argv[1]) : 20000;
    int threads = argc > 2 ? atoi(argv[2]) : 4;
    if (lines <= 0 || threads <= 0) {
        fprintf(stderr, "usage: %s [lines per case] [threads]\n", argv[0]);
        return 2;
    }

    char tmpl[] = "/tmp/kova-bench-log-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("mkdtemp");
        return 1;
    }
    fs::path dir = tmpl;
    if (!KOVA_InitializeLog()) {
        fprintf(stderr, "KOVA_InitializeLog failed\n");
        return 1;
    }
    std::error_code ec;
    fs::remove(fs::read_symlink("/proc/self/exe").parent_path() / "log", ec); // only if empty
    PointLogAt(dir);

    // Warm the page cache and the paths once.
    BaselineLinesPerSecond(dir / "warm.log", 200);
    WriteLogLinesPerSecond(1, 200);
    fs::remove(dir / "KvoaDecoder.log", ec);

    double baseline = BaselineLinesPerSecond(dir / "baseline.log", lines);
    fs::remove(dir / "KvoaDecoder.log", ec);
    double one = WriteLogLinesPerSecond(1, lines);
    fs::remove(dir / "KvoaDecoder.log", ec);
    double many = WriteLogLinesPerSecond(threads, lines);

    printf("log lines per second (%d lines per case, file system of %s)\n", lines, dir.c_str());
    printf("  %-34s %10.0f  1.00\n", "baseline open-append-close, 1 thread", baseline);
    printf("  %-34s %10.0f  %.2f\n", "WriteLog, 1 thread", one, one / baseline);
    char label[64];
    snprintf(label, sizeof label, "WriteLog, %d threads", threads);
    printf("  %-34s %10.0f  %.2f\n", label, many, many / baseline);

    KOVA_ReleaseLog();
    fs::remove_all(dir, ec);
    return 0;
}

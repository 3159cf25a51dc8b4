// Presentation error of the renderer: a 25 fps stream is fed through the
// real buffer pool and renderer at each speed, as fast as the pool takes it
// (a recording played back), into an output that records the moment of each
// draw with a steady clock. The error of a picture is its actual draw time
// minus its ideal one, the first picture's draw time plus its stamp's
// distance from the first stamp times the speed's factor.
//
// Baseline, same run: a loop that sleeps until each ideal time with the
// C++ steady clock, the best a thread can do on this machine.
//
// A draw may be given a cost, spent waiting in the output as a blit waits
// for the display, to see that drawing time does not add up. (Spent busy
// instead, on a shared machine, it would measure how the scheduler treats a
// busy thread rather than the pacing.)
//
// Usage: bench_render [seconds per speed (10)] [speeds (12345)] [draw ms (0)]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/VideoRenderer.h"
#include "pool/CBufferManager.h"
#include "pool/FrameEntry.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kWidth = 352;
const int kHeight = 288;
const int kIntervalMs = 40;

class RecordingOutput : public IVideoOutput {
public:
    RecordingOutput(std::vector<Clock::time_point> &drawnAt, double drawMs)
        : drawnAt_(drawnAt), drawCost_(std::chrono::microseconds(static_cast<long long>(drawMs * 1000)))
    {
    }
    void SetWindow(HWND) override {}
    uint32_t DrawYUV(const uint8_t *y, const uint8_t *, const uint8_t *, int, int, int, int) override
    {
        const Clock::time_point now = Clock::now();
        int32_t id;
        memcpy(&id, y, sizeof id);
        if (id >= 0 && static_cast<size_t>(id) < drawnAt_.size())
            drawnAt_[id] = now;
        if (drawCost_.count() > 0)
            std::this_thread::sleep_until(now + drawCost_);
        return 0;
    }
    int SetDisplayRegion(int, int, int, int, int) override { return 0; }
    void Close() override {}

private:
    std::vector<Clock::time_point> &drawnAt_;
    const Clock::duration drawCost_;
};

struct Result {
    double median = 0;
    double p99 = 0;
    double worst = 0;
    int shown = 0;
    int frames = 0;
};

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(std::ceil(p * values.size())) - 1;
    return values[std::min(index, values.size() - 1)];
}

Result Summarise(const std::vector<Clock::time_point> &drawnAt, double factor)
{
    Result result;
    result.frames = static_cast<int>(drawnAt.size());
    const Clock::time_point first = drawnAt[0];
    std::vector<double> errors;
    for (size_t k = 0; k < drawnAt.size(); ++k) {
        if (drawnAt[k] == Clock::time_point())
            continue;
        const double ideal = k * kIntervalMs * factor;
        errors.push_back(Ms(drawnAt[k] - first) - ideal);
    }
    result.shown = static_cast<int>(errors.size());
    result.median = Percentile(errors, 0.5);
    result.p99 = Percentile(errors, 0.99);
    for (double e : errors)
        result.worst = std::max(result.worst, std::fabs(e));
    return result;
}

Result RunRenderer(int speed, double seconds, double drawMs)
{
    const double factor = PacingSpeedFactor(speed);
    const int frames = static_cast<int>(seconds * 1000 / (kIntervalMs * factor));
    std::vector<Clock::time_point> drawnAt(frames);

    CBufferManager pool;
    pool.bufferCount = 8;
    pool.bufferSize = static_cast<int32_t>(sizeof(FrameEntry)) + kWidth * kHeight * 3 / 2;
    pool.AllocateBuffers();
    VideoRenderer renderer(&pool, nullptr,
                           [&](int) -> IVideoOutput * { return new RecordingOutput(drawnAt, drawMs); });
    renderer.speed = speed;
    std::thread presentation([&] { renderer.Run(); });
    renderer.BindWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(1)), 1);
    pool.running = true;
    renderer.Start();

    for (int k = 0; k < frames; ++k) {
        unsigned char *buffer = pool.GetEmptyBuffer();
        if (!buffer)
            break;
        FrameEntry *entry = reinterpret_cast<FrameEntry *>(buffer);
        const int32_t stamp = 1000 * 1000 + k * kIntervalMs;  // from 1000 s on
        entry->width = kWidth;
        entry->height = kHeight;
        entry->seconds = stamp / 1000;
        entry->milliseconds = stamp % 1000;
        entry->audioLength = 0;
        entry->segmentId = 1;
        memcpy(entry->Payload(), &k, sizeof k);
        pool.PutFullBuffer(buffer);
    }
    // Let the last queued pictures through.
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(9 * kIntervalMs * factor) + 100));
    pool.running = false;
    renderer.Exit();
    presentation.join();
    return Summarise(drawnAt, factor);
}

Result RunBaseline(int speed, double seconds)
{
    const double factor = PacingSpeedFactor(speed);
    const int frames = static_cast<int>(seconds * 1000 / (kIntervalMs * factor));
    std::vector<Clock::time_point> drawnAt(frames);
    const Clock::time_point start = Clock::now();
    for (int k = 0; k < frames; ++k) {
        std::this_thread::sleep_until(
            start + std::chrono::microseconds(static_cast<long long>(k * kIntervalMs * factor * 1000)));
        drawnAt[k] = Clock::now();
    }
    return Summarise(drawnAt, factor);
}

void Print(const char *what, int speed, const Result &r)
{
    printf("%-9s %5d %8d %9.3f %9.3f %9.3f %9.2f%%\n", what, speed, r.frames, r.median, r.p99, r.worst,
           r.frames ? 100.0 * (r.frames - r.shown) / r.frames : 0.0);
}

}  // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? atof(argv[1]) : 10.0;
    const std::string speeds = argc > 2 ? argv[2] : "12345";
    const double drawMs = argc > 3 ? atof(argv[3]) : 0.0;
    printf("25 fps stream, %.0f s per speed, drawing costs %.1f ms; error = actual - ideal draw time, ms\n",
           seconds, drawMs);
    printf("%-9s %5s %8s %9s %9s %9s %10s\n", "pacer", "speed", "pictures", "median", "p99", "max|err|",
           "dropped");
    for (char c : speeds) {
        const int speed = c - '0';
        Print("renderer", speed, RunRenderer(speed, seconds, drawMs));
        Print("baseline", speed, RunBaseline(speed, std::min(seconds, 3.0)));
        fflush(stdout);
    }
    return 0;
}

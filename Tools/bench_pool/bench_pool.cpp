/* How long a filled buffer takes to reach a waiting consumer (put to get),
 * median and 99th percentile, and how many buffers a second the pool moves
 * when both sides run flat out; each against a plain std::mutex and
 * std::condition_variable pool of the same shape in the same run.
 *
 *   bench_pool [hand-overs]        default 20000 */
#include "pool/CBufferManager.h"
#include "pool/FrameEntry.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kBuffers = 8;
const int kBufferSize = 4096;  // the hand-over does not touch the payload

/* The reference: two FIFOs, each a deque under a mutex with a condition
 * variable. */
class ReferencePool {
public:
    ReferencePool()
    {
        for (int i = 0; i < kBuffers; ++i) empty_.push_back(new unsigned char[kBufferSize]);
    }
    ~ReferencePool()
    {
        for (auto *b : empty_) delete[] b;
        for (auto *b : full_) delete[] b;
    }
    unsigned char *GetEmptyBuffer() { return Get(empty_, emptyCv_); }
    bool PutFullBuffer(unsigned char *b) { return Put(full_, fullCv_, b); }
    unsigned char *GetFullBuffer() { return Get(full_, fullCv_); }
    bool PutEmptyBuffer(unsigned char *b) { return Put(empty_, emptyCv_, b); }

private:
    unsigned char *Get(std::deque<unsigned char *> &list, std::condition_variable &cv)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv.wait(lock, [&] { return !list.empty(); });
        unsigned char *b = list.front();
        list.pop_front();
        return b;
    }
    bool Put(std::deque<unsigned char *> &list, std::condition_variable &cv, unsigned char *b)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            list.push_back(b);
        }
        cv.notify_one();
        return true;
    }
    std::mutex mutex_;
    std::condition_variable emptyCv_, fullCv_;
    std::deque<unsigned char *> empty_, full_;
};

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

struct Latency {
    double medianUs;
    double p99Us;
};

/* One buffer at a time: the producer puts only once the consumer has taken
 * the previous one and is waiting again, so each sample is the wake-up and
 * hand-over of one put. */
template <class Pool>
Latency MeasureHandOver(Pool &pool, int count)
{
    std::vector<int64_t> samples(count);
    std::atomic<int> taken{0};
    std::thread consumer([&] {
        for (int i = 0; i < count; ++i) {
            unsigned char *b = pool.GetFullBuffer();
            int64_t now = NowNs();
            int64_t stamp;
            std::memcpy(&stamp, reinterpret_cast<FrameEntry *>(b)->Payload(), sizeof stamp);
            samples[i] = now - stamp;
            pool.PutEmptyBuffer(b);
            taken.store(i + 1, std::memory_order_release);
        }
    });
    for (int i = 0; i < count; ++i) {
        unsigned char *b = pool.GetEmptyBuffer();
        while (taken.load(std::memory_order_acquire) < i) std::this_thread::yield();
        // Let the consumer get back into its wait before the next put.
        auto settle = Clock::now() + std::chrono::microseconds(50);
        while (Clock::now() < settle) std::this_thread::yield();
        int64_t stamp = NowNs();
        std::memcpy(reinterpret_cast<FrameEntry *>(b)->Payload(), &stamp, sizeof stamp);
        pool.PutFullBuffer(b);
    }
    consumer.join();
    std::sort(samples.begin(), samples.end());
    return {samples[count / 2] / 1000.0, samples[static_cast<size_t>(count * 0.99)] / 1000.0};
}

/* Both sides flat out, the pool full of buffers in flight. */
template <class Pool>
double MeasureThroughput(Pool &pool, int count)
{
    auto start = Clock::now();
    std::thread consumer([&] {
        for (int i = 0; i < count; ++i) pool.PutEmptyBuffer(pool.GetFullBuffer());
    });
    for (int i = 0; i < count; ++i) pool.PutFullBuffer(pool.GetEmptyBuffer());
    consumer.join();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return count / seconds;
}

}  // namespace

int main(int argc, char **argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    if (count < 100) count = 100;

    CBufferManager pool;
    pool.bufferCount = kBuffers;
    pool.bufferSize = kBufferSize;
    pool.AllocateBuffers();
    pool.running = true;
    ReferencePool reference;

    // Warm both up, then measure them one after the other.
    MeasureHandOver(pool, count / 10);
    MeasureHandOver(reference, count / 10);
    Latency poolLatency = MeasureHandOver(pool, count);
    Latency refLatency = MeasureHandOver(reference, count);
    double poolRate = MeasureThroughput(pool, count * 5);
    double refRate = MeasureThroughput(reference, count * 5);

    std::printf("hand-over, %d samples       median us    p99 us\n", count);
    std::printf("  CBufferManager             %9.1f %9.1f\n", poolLatency.medianUs, poolLatency.p99Us);
    std::printf("  mutex + condition variable %9.1f %9.1f\n", refLatency.medianUs, refLatency.p99Us);
    std::printf("  ratio (pool / reference)   %9.2f %9.2f\n", poolLatency.medianUs / refLatency.medianUs,
                poolLatency.p99Us / refLatency.p99Us);
    std::printf("throughput, buffers/s\n");
    std::printf("  CBufferManager             %11.0f\n", poolRate);
    std::printf("  mutex + condition variable %11.0f\n", refRate);
    std::printf("  ratio (pool / reference)   %11.2f\n", poolRate / refRate);
    pool.running = false;
    return 0;
}

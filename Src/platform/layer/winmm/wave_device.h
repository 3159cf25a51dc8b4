/* One open wave-out device: a queue of blocks consumed at the real-time
 * rate of its format by a clock thread, which hands the samples to a sink
 * and returns each played block to the owner's callback. */
#ifndef KOVA_WINMM_WAVE_DEVICE_H
#define KOVA_WINMM_WAVE_DEVICE_H

#include "wave_sink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kova::winmm {

struct WaveCallback {
    DWORD kind;        // CALLBACK_NULL, CALLBACK_THREAD or CALLBACK_EVENT
    DWORD_PTR target;  // thread id or event handle
};

class WaveDevice {
public:
    WaveDevice(HWAVEOUT handle, const WAVEFORMATEX &format, std::unique_ptr<WaveSink> sink,
               WaveCallback callback);
    ~WaveDevice();
    WaveDevice(const WaveDevice &) = delete;
    WaveDevice &operator=(const WaveDevice &) = delete;

    /* Starts the clock thread and announces the device (MM_WOM_OPEN). */
    void Start();

    /* Header flags change under the device's lock, since the clock thread
     * sets WHDR_DONE on a queued block. */
    MMRESULT Prepare(WAVEHDR *header);
    MMRESULT Unprepare(WAVEHDR *header);
    MMRESULT Write(WAVEHDR *header);
    MMRESULT Reset();
    /* WAVERR_STILLPLAYING while blocks are queued; otherwise stops the
     * clock, finishes the sink and announces MM_WOM_CLOSE. */
    MMRESULT Close();

    void SetVolume(DWORD volume) { volume_.store(volume); }
    DWORD Volume() const { return volume_.load(); }

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    void Complete(WAVEHDR *header);
    void Notify(UINT message, WAVEHDR *header);
    void ApplyVolume(unsigned char *pcm, size_t bytes) const;

    const HWAVEOUT handle_;
    const WAVEFORMATEX format_;
    const WaveCallback callback_;
    std::unique_ptr<WaveSink> sink_;
    std::atomic<DWORD> volume_{0xFFFFFFFFu};

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<WAVEHDR *> queue_;  // oldest first; the front one is playing
    size_t offset_ = 0;            // bytes of the front block already played
    uint64_t generation_ = 0;      // advanced by Reset: a chunk in flight is dropped
    bool discardSink_ = false;
    bool clockRunning_ = false;    // false after an underrun: the clock restarts
    Clock::time_point clockStart_;
    uint64_t clockBytes_ = 0;      // bytes played since clockStart_
    bool stopping_ = false;
    bool closed_ = false;
    std::thread clock_;
};

}  // namespace kova::winmm

#endif

#include "wave_device.h"

#include <algorithm>
#include <cstring>

namespace kova::winmm {

WaveDevice::WaveDevice(HWAVEOUT handle, const WAVEFORMATEX &format, std::unique_ptr<WaveSink> sink,
                       WaveCallback callback)
    : handle_(handle), format_(format), callback_(callback), sink_(std::move(sink))
{
}

WaveDevice::~WaveDevice()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (clock_.joinable()) clock_.join();
}

void WaveDevice::Start()
{
    clock_ = std::thread(&WaveDevice::Run, this);
    Notify(MM_WOM_OPEN, nullptr);
}

void WaveDevice::Notify(UINT message, WAVEHDR *header)
{
    switch (callback_.kind) {
    case CALLBACK_THREAD:
        // A thread that has gone loses the message, as on Windows.
        PostThreadMessageA(static_cast<DWORD>(callback_.target), message, reinterpret_cast<WPARAM>(handle_),
                           reinterpret_cast<LPARAM>(header));
        break;
    case CALLBACK_EVENT:
        SetEvent(reinterpret_cast<HANDLE>(callback_.target));
        break;
    default:
        break;
    }
}

/* Called with mutex_ held and the block already out of the queue. After
 * the notification the block belongs to its owner again. The flags are
 * stored atomically: a program without a callback polls WHDR_DONE from its
 * own thread. */
void WaveDevice::Complete(WAVEHDR *header)
{
    DWORD flags = __atomic_load_n(&header->dwFlags, __ATOMIC_RELAXED);
    flags = (flags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
    __atomic_store_n(&header->dwFlags, flags, __ATOMIC_RELEASE);
    Notify(MM_WOM_DONE, header);
}

MMRESULT WaveDevice::Prepare(WAVEHDR *header)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Unprepare(WAVEHDR *header)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Write(WAVEHDR *header)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~static_cast<DWORD>(WHDR_DONE)) | WHDR_INQUEUE;
    queue_.push_back(header);
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    ++generation_;
    while (!queue_.empty()) {
        WAVEHDR *header = queue_.front();
        queue_.pop_front();
        Complete(header);
    }
    offset_ = 0;
    clockRunning_ = false;
    discardSink_ = true;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return MMSYSERR_INVALHANDLE;
        if (!queue_.empty()) return WAVERR_STILLPLAYING;
        closed_ = true;
        stopping_ = true;
    }
    wake_.notify_all();
    if (clock_.joinable()) clock_.join();
    sink_->Finish();
    Notify(MM_WOM_CLOSE, nullptr);
    return MMSYSERR_NOERROR;
}

void WaveDevice::ApplyVolume(unsigned char *pcm, size_t bytes) const
{
    DWORD volume = volume_.load();
    if (volume == 0xFFFFFFFFu) return;
    // Low word left, high word right; a mono device follows the left one.
    uint32_t gain[2] = {LOWORD(volume), format_.nChannels == 2 ? HIWORD(volume) : LOWORD(volume)};
    unsigned channels = format_.nChannels;
    if (format_.wBitsPerSample == 16) {
        size_t samples = bytes / 2;
        for (size_t i = 0; i < samples; ++i) {
            int16_t s;
            std::memcpy(&s, pcm + 2 * i, 2);
            s = static_cast<int16_t>(static_cast<int32_t>(s) * static_cast<int32_t>(gain[i % channels]) / 0xFFFF);
            std::memcpy(pcm + 2 * i, &s, 2);
        }
    } else {
        for (size_t i = 0; i < bytes; ++i) {
            int32_t centred = static_cast<int32_t>(pcm[i]) - 128;
            pcm[i] = static_cast<unsigned char>(centred * static_cast<int32_t>(gain[i % channels]) / 0xFFFF + 128);
        }
    }
}

void WaveDevice::Run()
{
    // Blocks are played in chunks of about 10 ms, so a reset or a close is
    // noticed quickly and the sink is fed evenly.
    const size_t frame = format_.nBlockAlign;
    const size_t chunkBytes = std::max<size_t>(frame, format_.nAvgBytesPerSec / 100 / frame * frame);
    std::vector<unsigned char> chunk(chunkBytes);

    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || discardSink_ || !queue_.empty(); });
        if (discardSink_) {
            discardSink_ = false;
            lock.unlock();
            sink_->Discard();
            lock.lock();
            continue;
        }
        if (stopping_) break;

        WAVEHDR *header = queue_.front();
        if (offset_ >= header->dwBufferLength) {
            queue_.pop_front();
            offset_ = 0;
            Complete(header);
            if (queue_.empty()) clockRunning_ = false;
            continue;
        }
        if (!clockRunning_) {
            clockRunning_ = true;
            clockStart_ = Clock::now();
            clockBytes_ = 0;
        }

        // The samples are copied while the lock is held: once Reset has
        // returned, the owner may free the block.
        size_t n = std::min<size_t>(chunkBytes, header->dwBufferLength - offset_);
        n -= n % frame;
        if (n == 0) n = header->dwBufferLength - offset_;  // a ragged tail plays as it is
        std::memcpy(chunk.data(), header->lpData + offset_, n);
        const uint64_t generation = generation_;

        if (sink_->PacesItself()) {
            lock.unlock();
            ApplyVolume(chunk.data(), n);
            sink_->Play(chunk.data(), n);
            lock.lock();
        } else {
            auto due = clockStart_ + std::chrono::microseconds((clockBytes_ + n) * 1000000ull / format_.nAvgBytesPerSec);
            if (wake_.wait_until(lock, due, [&] { return stopping_ || generation_ != generation; }))
                continue;  // reset or closing: this chunk was never heard
            lock.unlock();
            ApplyVolume(chunk.data(), n);
            sink_->Play(chunk.data(), n);
            lock.lock();
        }
        if (generation_ != generation) continue;
        clockBytes_ += n;
        offset_ += n;
        if (offset_ >= header->dwBufferLength) {
            queue_.pop_front();
            offset_ = 0;
            Complete(header);
            if (queue_.empty()) clockRunning_ = false;
        }
    }
}

}  // namespace kova::winmm

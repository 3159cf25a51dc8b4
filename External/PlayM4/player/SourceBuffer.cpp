#include "SourceBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace playm4 {

SourceBuffer::SourceBuffer(size_t capacity) : capacity_(capacity), ring_(new uint8_t[capacity]) {}

SourceBuffer::Put SourceBuffer::Write(const uint8_t *data, size_t size)
{
    if (size > kLargestPacket)
        return Put::TooLarge;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        /* The buffer holds at least two of the largest packet, so that one
         * always finds room once the reader has taken what came before:
         * a packet larger than half of it grows it. Smaller packets wait
         * for room (back-pressure). */
        if (size > capacity_ - filled_ && size > capacity_ / 2 && !GrowLocked(size) && size > capacity_)
            return Put::TooLarge;
        if (size > capacity_ - filled_)
            return Put::Full;
        size_t tail = (head_ + filled_) % capacity_;
        const size_t first = std::min(size, capacity_ - tail);
        std::memcpy(ring_.get() + tail, data, first);
        std::memcpy(ring_.get(), data + first, size - first);
        filled_ += size;
    }
    readable_.notify_all();
    return Put::Taken;
}

bool SourceBuffer::GrowLocked(size_t size)
{
    /* Room for the bytes waiting and the packet, so it is taken now, and
     * for two packets of its size. */
    const size_t capacity = std::max({capacity_ * 2, filled_ + size, 2 * size});
    std::unique_ptr<uint8_t[]> ring(new (std::nothrow) uint8_t[capacity]);
    if (!ring)
        return false;
    const size_t first = std::min(filled_, capacity_ - head_);
    std::memcpy(ring.get(), ring_.get() + head_, first);
    std::memcpy(ring.get() + first, ring_.get(), filled_ - first);
    ring_ = std::move(ring);
    capacity_ = capacity;
    head_ = 0;
    return true;
}

SourceBuffer::Got SourceBuffer::Read(uint8_t *out, size_t size, uint64_t generation, size_t *copied)
{
    std::unique_lock<std::mutex> hold(mutex_);
    readable_.wait(hold, [&] { return interrupted_ || generation != generation_ || filled_ > 0; });
    if (interrupted_)
        return Got::Interrupted;
    if (generation != generation_)
        return Got::NewGeneration;
    const size_t n = std::min(size, filled_);
    const size_t first = std::min(n, capacity_ - head_);
    std::memcpy(out, ring_.get() + head_, first);
    std::memcpy(out + first, ring_.get(), n - first);
    head_ = (head_ + n) % capacity_;
    filled_ -= n;
    *copied = n;
    return Got::Data;
}

void SourceBuffer::Reset()
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        head_ = 0;
        filled_ = 0;
        ++generation_;
    }
    readable_.notify_all();
}

void SourceBuffer::Interrupt()
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        interrupted_ = true;
    }
    readable_.notify_all();
}

void SourceBuffer::Resume()
{
    std::lock_guard<std::mutex> hold(mutex_);
    interrupted_ = false;
}

uint64_t SourceBuffer::Generation() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return generation_;
}

size_t SourceBuffer::Filled() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return filled_;
}

}  // namespace playm4

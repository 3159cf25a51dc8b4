/* The source buffer of a stream: a ring of bytes between the caller, who
 * feeds what arrives from the network, and the player's reading thread.
 *
 * Writes take all of the bytes or none, so a caller that is refused can
 * hold its packet and offer it again (back-pressure). A packet larger than
 * half the buffer (a key picture of a large sensor) that finds no room grows
 * it instead, to hold two such packets: refusing it would lose it every time
 * it is offered, or whenever a little else is waiting. The reader blocks
 * while the buffer is empty; Interrupt() wakes it for good (until
 * Resume()), Reset() empties the buffer and starts a new generation, so a
 * reader still busy with bytes of the old one learns that they are gone. */
#ifndef PLAYM4_SOURCE_BUFFER_H
#define PLAYM4_SOURCE_BUFFER_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace playm4 {

class SourceBuffer {
public:
    /* Allocates `capacity` bytes; throws std::bad_alloc. */
    explicit SourceBuffer(size_t capacity);

    /* The most the buffer grows to for one packet. */
    static const size_t kLargestPacket = 64u << 20;

    enum class Put { Taken, Full, TooLarge };
    Put Write(const uint8_t *data, size_t size);

    enum class Got { Data, Interrupted, NewGeneration };
    /* Copies up to `size` bytes of generation `generation`; blocks while
     * there are none. `*copied` is set for Got::Data only. */
    Got Read(uint8_t *out, size_t size, uint64_t generation, size_t *copied);

    void Reset();
    void Interrupt();
    void Resume();

    uint64_t Generation() const;
    size_t Filled() const;

private:
    /* Makes room for `size` more bytes at once; false when memory is short.
     * Called with mutex_ held. */
    bool GrowLocked(size_t size);

    size_t capacity_;
    std::unique_ptr<uint8_t[]> ring_;
    mutable std::mutex mutex_;
    std::condition_variable readable_;
    size_t head_ = 0;  /* next byte to read */
    size_t filled_ = 0;
    uint64_t generation_ = 0;
    bool interrupted_ = false;
};

}  // namespace playm4

#endif

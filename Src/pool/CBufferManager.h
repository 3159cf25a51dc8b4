/* The fixed pool of frame buffers between a standard-stream decoder's
 * producer (the client's thread decoding packets) and its consumer (the
 * presentation thread). Buffers circulate free -> producer -> filled ->
 * consumer -> free, and a producer that runs ahead of presentation blocks
 * until a buffer comes back.
 *
 * The number of buffers is fixed; their size need not be. A pool given a
 * `firstSize` starts each buffer that small and lets the producer grow the
 * one it holds (FitBuffer) to the picture it is about to write, up to
 * `bufferSize`: a pane of a CIF camera then holds eight CIF pictures, not
 * eight of the largest size, which is what lets dozens of panes share one
 * 32-bit address space. A buffer grows only when a larger picture comes
 * and never shrinks, so nothing is allocated per frame once the stream's
 * size is known. */
#ifndef KOVA_POOL_CBUFFERMANAGER_H
#define KOVA_POOL_CBUFFERMANAGER_H

#include "platform/win32.h"
#include "pool/BufferList2.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

class CBufferManager {
public:
    BufferList2 emptyList;  // free buffers
    BufferList2 fullList;   // filled buffers, oldest first
    int32_t bufferCount = 0;
    int32_t bufferSize = 0;  // the most bytes a buffer holds
    /* Bytes each buffer is allocated with; 0 allocates bufferSize at once.
     * Set before AllocateBuffers. */
    int32_t firstSize = 0;
    HANDLE emptyMutex;
    HANDLE fullMutex;
    HANDLE emptyEvent;  // auto-reset; set on every put into emptyList
    HANDLE fullEvent;   // auto-reset; set on every put into fullList
    /* Written by the owner without a lock; while false both Gets return
     * none at once, and a waiting Get notices within one wait. */
    std::atomic<bool> running{false};
    int32_t allocated = 0;

    CBufferManager();
    ~CBufferManager();
    CBufferManager(const CBufferManager &) = delete;
    CBufferManager &operator=(const CBufferManager &) = delete;

    /* Builds both rings (bufferCount + 1 nodes each) and fills emptyList
     * with up to bufferCount buffers of bufferSize bytes; a buffer that
     * cannot be allocated is left out. Runs before any other thread uses
     * the pool. Always true. */
    bool AllocateBuffers();

    /* Producer: the free buffer given back last, waiting in steps of at
     * most 1000 ms while none is free; none once running is false. */
    unsigned char *GetEmptyBuffer();
    /* Producer: queues a filled buffer; false for null or when it cannot
     * be queued. */
    bool PutFullBuffer(unsigned char *buffer);
    /* Producer: makes the buffer it holds (from GetEmptyBuffer) hold at
     * least `bytes`, header included, moving it to a larger block when it
     * must grow; it never shrinks. Returns the buffer to fill. None when
     * `bytes` is above bufferSize or the memory cannot be had: the buffer
     * then goes back to the free list as it was, and the frame is dropped. */
    unsigned char *FitBuffer(unsigned char *buffer, size_t bytes);
    /* Bytes the buffer can hold, header included (bufferSize for a buffer
     * the pool did not allocate). */
    size_t Capacity(const unsigned char *buffer);

    /* Consumer: the oldest filled buffer, waiting in steps of at most
     * 200 ms while none is filled; none once running is false. */
    unsigned char *GetFullBuffer();
    /* Consumer: gives a buffer back to the free list. */
    bool PutEmptyBuffer(unsigned char *buffer);

    /* Frees every buffer in either list and both rings. Takes no lock: runs
     * only when no other thread uses the pool. */
    void ReleaseAll();

    /* Where the pool's buffers come from; replaceable so that tests can
     * make an allocation fail. Buffers are released with std::free. */
    static void *(*allocateBuffer)(size_t size);

private:
    /* The size of each buffer the pool allocated, in allocation order.
     * Guarded by emptyMutex: producers on two threads (pictures and sound)
     * may grow their buffers at once. */
    struct Sized {
        unsigned char *buffer;
        size_t capacity;
    };
    Sized *sizes = nullptr;
    int32_t sizeCount = 0;

    Sized *FindSize(const unsigned char *buffer);
    unsigned char *GetBuffer(BufferList2 &list, HANDLE mutex, HANDLE event, DWORD waitMs, bool newest);
    bool PutBuffer(BufferList2 &list, HANDLE mutex, HANDLE event, unsigned char *buffer);
};

#endif

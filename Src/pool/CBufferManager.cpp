#include "pool/CBufferManager.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace {

/* How long each side waits for its event before looking at the list and at
 * `running` again. */
const DWORD kEmptyWaitMs = 1000;
const DWORD kFullWaitMs = 200;

/* A growing buffer is rounded up to whole pages, so that the small changes
 * of a stream's sound blocks or a picture's size do not move it again. */
const size_t kGrowStep = 4096;

void FreeListBuffers(BufferList2 &list)
{
    while (list.count > 0) std::free(list.TakeNewest());
    list.FreeRing();
}

}  // namespace

void *(*CBufferManager::allocateBuffer)(size_t size) = std::malloc;

CBufferManager::CBufferManager()
{
    emptyMutex = CreateMutexA(nullptr, FALSE, nullptr);
    fullMutex = CreateMutexA(nullptr, FALSE, nullptr);
    emptyEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    fullEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

CBufferManager::~CBufferManager()
{
    running = false;
    ReleaseAll();
    for (HANDLE handle : {emptyMutex, fullMutex, emptyEvent, fullEvent})
        if (handle) CloseHandle(handle);
}

bool CBufferManager::AllocateBuffers()
{
    emptyList.BuildRing(bufferCount + 1);
    fullList.BuildRing(bufferCount + 1);
    const size_t size = static_cast<size_t>(firstSize > 0 && firstSize < bufferSize ? firstSize : bufferSize);
    std::free(sizes);
    sizeCount = 0;
    sizes = bufferCount > 0 ? static_cast<Sized *>(std::calloc(static_cast<size_t>(bufferCount), sizeof(Sized)))
                            : nullptr;
    for (int32_t i = 0; i < bufferCount; ++i) {
        auto *buffer = static_cast<unsigned char *>(allocateBuffer(size));
        if (!buffer) continue;  // the pool runs one buffer smaller
        if (!emptyList.Append(buffer)) {
            std::free(buffer);
            continue;
        }
        if (sizes) sizes[sizeCount++] = Sized{buffer, size};
    }
    allocated = 1;
    return true;
}

CBufferManager::Sized *CBufferManager::FindSize(const unsigned char *buffer)
{
    for (int32_t i = 0; i < sizeCount; ++i)
        if (sizes[i].buffer == buffer) return &sizes[i];
    return nullptr;
}

size_t CBufferManager::Capacity(const unsigned char *buffer)
{
    WaitForSingleObject(emptyMutex, INFINITE);
    const Sized *sized = FindSize(buffer);
    const size_t capacity = sized ? sized->capacity : static_cast<size_t>(bufferSize);
    ReleaseMutex(emptyMutex);
    return capacity;
}

unsigned char *CBufferManager::FitBuffer(unsigned char *buffer, size_t bytes)
{
    if (!buffer) return nullptr;
    const size_t most = bufferSize > 0 ? static_cast<size_t>(bufferSize) : 0;
    if (bytes > most) {
        PutEmptyBuffer(buffer);
        return nullptr;
    }
    WaitForSingleObject(emptyMutex, INFINITE);
    const Sized *sized = FindSize(buffer);
    const size_t capacity = sized ? sized->capacity : most;
    const int32_t index = sized ? static_cast<int32_t>(sized - sizes) : -1;
    ReleaseMutex(emptyMutex);
    if (bytes <= capacity) return buffer;  // also every buffer the pool did not allocate

    // Held by this producer alone, in neither list: it may move. The new
    // block comes first, so a failure leaves the old one as it was.
    const size_t grown = std::min(most, (bytes + kGrowStep - 1) / kGrowStep * kGrowStep);
    auto *larger = static_cast<unsigned char *>(allocateBuffer(grown));
    if (!larger) {
        PutEmptyBuffer(buffer);
        return nullptr;
    }
    std::free(buffer);
    WaitForSingleObject(emptyMutex, INFINITE);
    sizes[index] = Sized{larger, grown};
    ReleaseMutex(emptyMutex);
    return larger;
}

unsigned char *CBufferManager::GetBuffer(BufferList2 &list, HANDLE mutex, HANDLE event, DWORD waitMs, bool newest)
{
    WaitForSingleObject(mutex, INFINITE);
    for (;;) {
        if (!running) {
            ReleaseMutex(mutex);
            return nullptr;
        }
        if (list.count > 0) {
            unsigned char *buffer = newest ? list.TakeNewest() : list.Take();
            ReleaseMutex(mutex);
            return buffer;
        }
        // A put between the reset and the wait leaves the event set, so
        // the wait below returns at once.
        ResetEvent(event);
        ReleaseMutex(mutex);
        WaitForSingleObject(event, waitMs);
        WaitForSingleObject(mutex, INFINITE);
    }
}

bool CBufferManager::PutBuffer(BufferList2 &list, HANDLE mutex, HANDLE event, unsigned char *buffer)
{
    if (!buffer) return false;
    WaitForSingleObject(mutex, INFINITE);
    bool queued = list.Append(buffer);
    SetEvent(event);
    ReleaseMutex(mutex);
    return queued;
}

unsigned char *CBufferManager::GetEmptyBuffer()
{
    /* The free buffer given back last: a pane fed in real time keeps
     * reusing the two or three buffers its pictures need, warm in the
     * cache, and the others stay small. Which free buffer is handed out is
     * invisible to the consumer: filled buffers keep their order. */
    return GetBuffer(emptyList, emptyMutex, emptyEvent, kEmptyWaitMs, true);
}

bool CBufferManager::PutFullBuffer(unsigned char *buffer)
{
    return PutBuffer(fullList, fullMutex, fullEvent, buffer);
}

unsigned char *CBufferManager::GetFullBuffer()
{
    return GetBuffer(fullList, fullMutex, fullEvent, kFullWaitMs, false);
}

bool CBufferManager::PutEmptyBuffer(unsigned char *buffer)
{
    return PutBuffer(emptyList, emptyMutex, emptyEvent, buffer);
}

void CBufferManager::ReleaseAll()
{
    FreeListBuffers(emptyList);
    FreeListBuffers(fullList);
    std::free(sizes);
    sizes = nullptr;
    sizeCount = 0;
}

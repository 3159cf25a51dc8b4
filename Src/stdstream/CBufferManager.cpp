#include "stdstream/CBufferManager.h"

#include <cstdlib>
#include <initializer_list>

namespace {

/* How long each side waits for its event before looking at the list and at
 * `running` again. */
const DWORD kEmptyWaitMs = 1000;
const DWORD kFullWaitMs = 200;

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
    for (int32_t i = 0; i < bufferCount; ++i) {
        auto *buffer = static_cast<unsigned char *>(allocateBuffer(static_cast<size_t>(bufferSize)));
        if (!buffer) continue;  // the pool runs one buffer smaller
        if (!emptyList.Append(buffer)) std::free(buffer);
    }
    allocated = 1;
    return true;
}

unsigned char *CBufferManager::GetBuffer(BufferList2 &list, HANDLE mutex, HANDLE event, DWORD waitMs)
{
    WaitForSingleObject(mutex, INFINITE);
    for (;;) {
        if (!running) {
            ReleaseMutex(mutex);
            return nullptr;
        }
        if (list.count > 0) {
            unsigned char *buffer = list.Take();
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
    return GetBuffer(emptyList, emptyMutex, emptyEvent, kEmptyWaitMs);
}

bool CBufferManager::PutFullBuffer(unsigned char *buffer)
{
    return PutBuffer(fullList, fullMutex, fullEvent, buffer);
}

unsigned char *CBufferManager::GetFullBuffer()
{
    return GetBuffer(fullList, fullMutex, fullEvent, kFullWaitMs);
}

bool CBufferManager::PutEmptyBuffer(unsigned char *buffer)
{
    return PutBuffer(emptyList, emptyMutex, emptyEvent, buffer);
}

void CBufferManager::ReleaseAll()
{
    FreeListBuffers(emptyList);
    FreeListBuffers(fullList);
}

/* Global memory. A fixed block's handle is its address; a moveable block's
 * handle is a separate token whose memory is reached through GlobalLock.
 * Every live handle is registered, so a stale or foreign handle is reported
 * as invalid instead of being dereferenced. */
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

#define KOVA_GMEM_VALID_FLAGS 0x7F72u

struct GlobalBlock {
    void *data;
    SIZE_T size;
    bool moveable;
    bool discardable;
    unsigned lockCount;
};

/* A token's address is the moveable handle; it owns nothing itself. */
struct MoveableToken {
    char unused;
};

std::mutex g_globalLock;
std::unordered_map<void *, GlobalBlock> &Blocks()
{
    static auto *blocks = new std::unordered_map<void *, GlobalBlock>;
    return *blocks;
}

} // namespace

KOVA_LAYER_API HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes)
{
    if (flags & ~KOVA_GMEM_VALID_FLAGS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool moveable = (flags & GMEM_MOVEABLE) != 0;
    void *data = nullptr;
    /* A moveable block of 0 bytes starts out discarded, with no memory. */
    if (!moveable || bytes) {
        data = (flags & GMEM_ZEROINIT) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
        if (!data) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    void *handle = data;
    if (moveable) {
        handle = new (std::nothrow) MoveableToken;
        if (!handle) {
            free(data);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    std::lock_guard<std::mutex> lock(g_globalLock);
    Blocks()[handle] = GlobalBlock{data, bytes, moveable, (flags & GMEM_DISCARDABLE) != 0, 0};
    return handle;
}

KOVA_LAYER_API LPVOID WINAPI GlobalLock(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(g_globalLock);
    auto it = Blocks().find(mem);
    if (it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    GlobalBlock &b = it->second;
    if (!b.moveable) return b.data;
    if (!b.data) {
        SetLastError(ERROR_DISCARDED);
        return nullptr;
    }
    if (b.lockCount < GMEM_LOCKCOUNT) ++b.lockCount;
    return b.data;
}

KOVA_LAYER_API BOOL WINAPI GlobalUnlock(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(g_globalLock);
    auto it = Blocks().find(mem);
    if (it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    GlobalBlock &b = it->second;
    if (!b.moveable) return TRUE; /* fixed blocks have no lock count */
    if (b.lockCount == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--b.lockCount > 0) return TRUE;
    SetLastError(NO_ERROR);
    return FALSE;
}

KOVA_LAYER_API HGLOBAL WINAPI GlobalFree(HGLOBAL mem)
{
    GlobalBlock b;
    {
        std::lock_guard<std::mutex> lock(g_globalLock);
        auto it = Blocks().find(mem);
        if (it == Blocks().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return mem;
        }
        b = it->second;
        Blocks().erase(it);
    }
    free(b.data);
    if (b.moveable) delete static_cast<MoveableToken *>(mem);
    return nullptr;
}

KOVA_LAYER_API SIZE_T WINAPI GlobalSize(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(g_globalLock);
    auto it = Blocks().find(mem);
    if (it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return it->second.data ? it->second.size : 0;
}

KOVA_LAYER_API UINT WINAPI GlobalFlags(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(g_globalLock);
    auto it = Blocks().find(mem);
    if (it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return GMEM_INVALID_HANDLE;
    }
    const GlobalBlock &b = it->second;
    UINT flags = b.lockCount & GMEM_LOCKCOUNT;
    if (b.discardable) flags |= GMEM_DISCARDABLE;
    if (b.moveable && !b.data) flags |= GMEM_DISCARDED;
    return flags;
}

/* The handle table: handle values are multiples of 4 (as on Windows), and
 * a closed value is reused only after many others, so a stale handle is
 * more likely to be caught than to hit a new object. */
#include "kernel32/object.h"

#include "kernel32/thread.h"

#include <deque>
#include <mutex>
#include <vector>

namespace kova {
namespace k32 {
namespace {

constexpr size_t kMaxHandles = 1u << 20;
constexpr size_t kReuseDelay = 256;  // free slots kept before one is reused

struct HandleTable {
    std::mutex lock;
    std::vector<Object *> slots;
    std::deque<uint32_t> freeSlots;
};

HandleTable &Table()
{
    static HandleTable *table = new HandleTable;  // outlives static destructors
    return *table;
}

HANDLE ValueOf(size_t index) { return (HANDLE)(uintptr_t)((index + 1) * 4); }

bool IndexOf(HANDLE h, size_t *index)
{
    uintptr_t v = (uintptr_t)h;
    if (v == 0 || (v & 3) != 0) return false;
    *index = v / 4 - 1;
    return true;
}

}  // namespace

HANDLE InsertHandle(Object *obj)
{
    HandleTable &t = Table();
    std::lock_guard<std::mutex> hold(t.lock);
    size_t index;
    if (t.freeSlots.size() > kReuseDelay || (t.slots.size() >= kMaxHandles && !t.freeSlots.empty())) {
        index = t.freeSlots.front();
        t.freeSlots.pop_front();
    } else if (t.slots.size() < kMaxHandles) {
        index = t.slots.size();
        t.slots.push_back(nullptr);
    } else {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    obj->AddRef();
    t.slots[index] = obj;
    return ValueOf(index);
}

Ref<Object> LookupHandle(HANDLE h)
{
    if (h == KOVA_PSEUDO_PROCESS) return Ref<Object>(SelfProcessObject());
    if (h == KOVA_PSEUDO_THREAD) return Ref<Object>(SelfThreadObject());
    size_t index;
    if (IndexOf(h, &index)) {
        HandleTable &t = Table();
        std::lock_guard<std::mutex> hold(t.lock);
        if (index < t.slots.size() && t.slots[index]) return Ref<Object>(t.slots[index]);
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return Ref<Object>();
}

Ref<Object> RemoveHandle(HANDLE h, Kind kind, const Object *expected)
{
    size_t index;
    if (IndexOf(h, &index)) {
        HandleTable &t = Table();
        std::lock_guard<std::mutex> hold(t.lock);
        if (index < t.slots.size() && t.slots[index] && t.slots[index]->kind() == kind &&
            (!expected || t.slots[index] == expected)) {
            Object *obj = t.slots[index];
            t.slots[index] = nullptr;
            t.freeSlots.push_back(static_cast<uint32_t>(index));
            return Ref<Object>::Adopt(obj);
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return Ref<Object>();
}

LONG OpenHandleCount()
{
    HandleTable &t = Table();
    std::lock_guard<std::mutex> hold(t.lock);
    LONG open = 0;
    for (Object *obj : t.slots)
        if (obj) ++open;
    return open;
}

}  // namespace k32
}  // namespace kova

using namespace kova::k32;

KOVA_LAYER_API BOOL WINAPI CloseHandle(HANDLE hObject)
{
    /* Closing a pseudo handle has no effect. */
    if (hObject == KOVA_PSEUDO_PROCESS || hObject == KOVA_PSEUDO_THREAD) return TRUE;
    Ref<Object> obj = LookupHandle(hObject);
    if (!obj || !obj->ClosableByCloseHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!RemoveHandle(hObject, obj->kind())) return FALSE;  // closed meanwhile by another thread
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                                           HANDLE hTargetProcessHandle, LPHANDLE lpTargetHandle,
                                           DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, DWORD dwOptions)
{
    if (hSourceProcessHandle != KOVA_PSEUDO_PROCESS || hTargetProcessHandle != KOVA_PSEUDO_PROCESS) {
        SetLastError(ERROR_NOT_SUPPORTED);  // handles cannot cross processes here
        return FALSE;
    }
    Ref<Object> obj = LookupHandle(hSourceHandle);
    if (!obj || !obj->ClosableByCloseHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HANDLE dup = NULL;
    if (lpTargetHandle) {
        dup = InsertHandle(obj.get());
        if (!dup) return FALSE;
        *lpTargetHandle = dup;
    }
    if (dwOptions & DUPLICATE_CLOSE_SOURCE) CloseHandle(hSourceHandle);
    return TRUE;
}

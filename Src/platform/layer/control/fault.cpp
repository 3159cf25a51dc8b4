/* Fault injection: a small table of armed call names. */
#include "control/fault.h"

#include <kova_control.h>

#include <map>
#include <mutex>
#include <string>

namespace kova {
namespace fault {

std::atomic<int> g_armed{0};

namespace {

struct Arming {
    LONG_PTR result;
    DWORD lastError;
    int remaining;  // -1: until cleared
};

struct Table {
    std::mutex lock;
    std::map<std::string, Arming> armed;
    std::map<std::string, int> taken;
};

Table &TheTable()
{
    static Table *table = new Table;  // never destroyed: calls may come during exit
    return *table;
}

}  // namespace

bool TakeArmed(const char *name, LONG_PTR *result, DWORD *lastError)
{
    if (!name) return false;
    Table &t = TheTable();
    std::lock_guard<std::mutex> hold(t.lock);
    auto it = t.armed.find(name);
    if (it == t.armed.end()) return false;
    *result = it->second.result;
    *lastError = it->second.lastError;
    ++t.taken[it->first];
    if (it->second.remaining > 0 && --it->second.remaining == 0) {
        t.armed.erase(it);
        g_armed.store(static_cast<int>(t.armed.size()), std::memory_order_relaxed);
    }
    return true;
}

}  // namespace fault
}  // namespace kova

using kova::fault::TheTable;

KOVA_LAYER_API void KovaControl_FailCall(const char *callName, LONG_PTR result, DWORD lastError, int count)
{
    if (!callName || !*callName) return;
    auto &t = TheTable();
    std::lock_guard<std::mutex> hold(t.lock);
    if (count == 0)
        t.armed.erase(callName);
    else
        t.armed[callName] = {result, lastError, count < 0 ? -1 : count};
    kova::fault::g_armed.store(static_cast<int>(t.armed.size()), std::memory_order_relaxed);
}

KOVA_LAYER_API void KovaControl_ClearFaults(void)
{
    auto &t = TheTable();
    std::lock_guard<std::mutex> hold(t.lock);
    t.armed.clear();
    t.taken.clear();
    kova::fault::g_armed.store(0, std::memory_order_relaxed);
}

KOVA_LAYER_API int KovaControl_FaultsTaken(const char *callName)
{
    if (!callName) return 0;
    auto &t = TheTable();
    std::lock_guard<std::mutex> hold(t.lock);
    auto it = t.taken.find(callName);
    return it == t.taken.end() ? 0 : it->second;
}

/* Fault injection: a small table of armed call names. */
#include "fault/fault.h"

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

void Arm(const char *name, LONG_PTR result, DWORD lastError, int count)
{
    if (!name || !*name) return;
    auto &t = TheTable();
    std::lock_guard<std::mutex> hold(t.lock);
    if (count == 0)
        t.armed.erase(name);
    else
        t.armed[name] = {result, lastError, count < 0 ? -1 : count};
    g_armed.store(static_cast<int>(t.armed.size()), std::memory_order_relaxed);
}

void ClearAll()
{
    auto &t = TheTable();
    std::lock_guard<std::mutex> hold(t.lock);
    t.armed.clear();
    t.taken.clear();
    g_armed.store(0, std::memory_order_relaxed);
}

int TakenCount(const char *name)
{
    if (!name) return 0;
    auto &t = TheTable();
    std::lock_guard<std::mutex> hold(t.lock);
    auto it = t.taken.find(name);
    return it == t.taken.end() ? 0 : it->second;
}

}  // namespace fault
}  // namespace kova

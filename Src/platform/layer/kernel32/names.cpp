/* The process's object namespace: named events, semaphores and mutexes.
 * (Named mutexes additionally share their lock with other processes.) */
#include "kernel32/object.h"

#include <map>
#include <mutex>
#include <string>

namespace kova {
namespace k32 {
namespace {

struct Namespace {
    std::mutex lock;
    std::map<std::string, Object *> objects;  // weak: entries leave as objects die
};

Namespace &Names()
{
    static Namespace *names = new Namespace;
    return *names;
}

}  // namespace

Object::~Object()
{
    if (name_.empty()) return;
    Namespace &ns = Names();
    std::lock_guard<std::mutex> hold(ns.lock);
    auto it = ns.objects.find(name_);
    if (it != ns.objects.end() && it->second == this) ns.objects.erase(it);
}

Object *FindOrCreateNamed(const char *name, Kind kind, Object *(*make)(void *), void *ctx, bool *existed)
{
    Namespace &ns = Names();
    std::lock_guard<std::mutex> hold(ns.lock);
    auto it = ns.objects.find(name);
    /* An entry's object stays readable while we hold the lock: a dying one
     * blocks in its destructor until we let go. */
    if (it != ns.objects.end() && it->second->kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (it != ns.objects.end() && it->second->TryAddRef()) {
        *existed = true;
        return it->second;
    }
    Object *obj = make(ctx);
    if (!obj) return nullptr;
    obj->name_ = name;
    ns.objects[name] = obj;  // replaces a dying entry, whose destructor then leaves it be
    *existed = false;
    return obj;
}

Object *FindNamed(const char *name, Kind kind)
{
    Namespace &ns = Names();
    std::lock_guard<std::mutex> hold(ns.lock);
    auto it = ns.objects.find(name);
    if (it != ns.objects.end() && it->second->kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (it == ns.objects.end() || !it->second->TryAddRef()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return it->second;
}

}  // namespace k32
}  // namespace kova

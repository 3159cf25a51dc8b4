#include "api/HandleRegistry.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "api/DecodeHandler.h"

namespace kova {
namespace {

/* How many freed handlers are held back before their memory may be
 * reused; they are a few dozen bytes each. */
constexpr size_t kRetiredKept = 256;

struct Registry {
    std::mutex lock;
    std::condition_variable callsLeft;
    /* Issued handles and the calls inside each. */
    std::unordered_map<const void *, int> calls;
    /* Withdrawn handles whose calls have not all left yet. */
    std::unordered_map<const void *, int> leaving;
    std::deque<DecodeHandler *> retired;
};

/* Never destroyed: exports may run while the process exits. */
Registry &TheRegistry()
{
    static Registry *registry = new Registry;
    return *registry;
}

}  // namespace

void IssueHandle(DecodeHandler *handler)
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> held(r.lock);
    r.calls[handler] = 0;
}

DecodeHandler *EnterHandle(const void *h)
{
    if (!h)
        return nullptr;
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> held(r.lock);
    const auto found = r.calls.find(h);
    if (found == r.calls.end())
        return nullptr;
    ++found->second;
    return static_cast<DecodeHandler *>(const_cast<void *>(h));
}

void LeaveHandle(DecodeHandler *handler)
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> held(r.lock);
    const auto found = r.calls.find(handler);
    if (found != r.calls.end()) {
        --found->second;
        return;
    }
    const auto going = r.leaving.find(handler);
    if (going != r.leaving.end() && --going->second == 0)
        r.callsLeft.notify_all();
}

DecodeHandler *WithdrawHandle(const void *h)
{
    if (!h)
        return nullptr;
    Registry &r = TheRegistry();
    std::unique_lock<std::mutex> held(r.lock);
    const auto found = r.calls.find(h);
    if (found == r.calls.end())
        return nullptr;
    const int inside = found->second;
    r.calls.erase(found);
    if (inside > 0) {
        r.leaving[h] = inside;
        r.callsLeft.wait(held, [&] { return r.leaving[h] == 0; });
        r.leaving.erase(h);
    }
    return static_cast<DecodeHandler *>(const_cast<void *>(h));
}

void DisposeHandle(DecodeHandler *handler)
{
    DecodeHandler *oldest = nullptr;
    {
        Registry &r = TheRegistry();
        std::lock_guard<std::mutex> held(r.lock);
        r.retired.push_back(handler);
        if (r.retired.size() > kRetiredKept) {
            oldest = r.retired.front();
            r.retired.pop_front();
        }
    }
    delete oldest;
}

}  // namespace kova

/* Fault injection points, for layer functions (internal to the layer).
 *
 * A layer function that tests may want to fail starts with
 *
 *     KOVA_FAULT_POINT("CreateEventA", HANDLE);
 *
 * which, when a test armed that name with KovaControl_FailCall, sets the
 * armed last error and returns the armed result cast to the function's
 * return type. Functions with other needs call kova::fault::Take directly.
 * With nothing armed the cost is one relaxed atomic load. */
#ifndef KOVA_LAYER_FAULT_H
#define KOVA_LAYER_FAULT_H

#include <windows.h>

#include <atomic>

namespace kova {
namespace fault {

extern std::atomic<int> g_armed;  // number of names armed
bool TakeArmed(const char *name, LONG_PTR *result, DWORD *lastError);

/* Arms `name` (KovaControl_FailCall: count 0 disarms, -1 never runs out),
 * disarms everything and forgets the counts, and counts the calls of `name`
 * that failed by injection. */
void Arm(const char *name, LONG_PTR result, DWORD lastError, int count);
void ClearAll();
int TakenCount(const char *name);

/* True (with the armed result and error) when the next call of `name` must
 * fail; consumes one count of the arming. */
inline bool Take(const char *name, LONG_PTR *result, DWORD *lastError)
{
    if (g_armed.load(std::memory_order_relaxed) == 0) return false;
    return TakeArmed(name, result, lastError);
}

}  // namespace fault
}  // namespace kova

#define KOVA_FAULT_POINT(name, type)                             \
    do {                                                         \
        LONG_PTR kovaFaultResult_;                               \
        DWORD kovaFaultError_;                                   \
        if (::kova::fault::Take(name, &kovaFaultResult_, &kovaFaultError_)) { \
            SetLastError(kovaFaultError_);                       \
            return (type)kovaFaultResult_;                       \
        }                                                        \
    } while (0)

#endif

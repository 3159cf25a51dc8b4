/* The fault guard's part shared by both platforms: the releases a
 * recovery runs (ReleaseOnFault). How a fault is caught and the call
 * abandoned is in FaultGuard_win32.cpp and FaultGuard_posix.cpp. */
#include "support/FaultGuard.h"
#include "support/FaultGuardRecovery.h"

namespace kova {
namespace {

/* The releases registered on this thread, oldest first. A recovery runs
 * and drops those registered since its guarded call began. */
struct PendingRelease {
    void (*release)(void *);
    void *context;
};
constexpr int kMaxPendingReleases = 32;
thread_local PendingRelease pendingReleases[kMaxPendingReleases];
thread_local int pendingCount = 0;

}  // namespace

namespace detail {

int PendingReleaseDepth() noexcept
{
    return pendingCount;
}

void ReleaseSince(int depth)
{
    while (pendingCount > depth) {
        const PendingRelease r = pendingReleases[--pendingCount];
        r.release(r.context);
    }
}

}  // namespace detail

ReleaseOnFault::ReleaseOnFault(void (*release)(void *), void *context) noexcept
    : recorded(pendingCount < kMaxPendingReleases)
{
    if (recorded)
        pendingReleases[pendingCount++] = PendingRelease{release, context};
}

ReleaseOnFault::~ReleaseOnFault()
{
    if (recorded)
        --pendingCount;
}

}  // namespace kova


/* Between the fault guard's shared part and its platform halves: the
 * releases registered on this thread (ReleaseOnFault), which a recovery
 * runs. */
#ifndef KOVA_SUPPORT_FAULTGUARDRECOVERY_H
#define KOVA_SUPPORT_FAULTGUARDRECOVERY_H

namespace kova {
namespace detail {

/* How many releases this thread holds now: taken when a guarded call
 * begins. */
int PendingReleaseDepth() noexcept;

/* Runs and drops, newest first, the releases registered since `depth`.
 * Called on the recovery path, back in normal context. */
void ReleaseSince(int depth);

}  // namespace detail
}  // namespace kova

#endif

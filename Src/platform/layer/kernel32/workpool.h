/* The process's worker threads for timer-queue callbacks (internal). */
#ifndef KOVA_LAYER_KERNEL32_WORKPOOL_H
#define KOVA_LAYER_KERNEL32_WORKPOOL_H

namespace kova {
namespace k32 {

/* Runs work(arg) on a worker thread: an idle one, or a new one when all
 * are busy, so one long callback never delays another. Workers idle for
 * a while end. False if no thread could be had (the caller then runs the
 * work itself). */
bool SubmitWork(void (*work)(void *), void *arg);

}  // namespace k32
}  // namespace kova

#endif

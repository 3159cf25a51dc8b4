/* A one-shot timer over a timer queue: Schedule arms it to call a callback
 * with a context once, after a due time in milliseconds, on a timer-queue
 * thread; Cancel disarms it. Schedule and Cancel may be called from
 * different threads. Failures are printed to standard output. */
#ifndef KOVA_RENDER_HIGHRESOLUTIONTIMER_H
#define KOVA_RENDER_HIGHRESOLUTIONTIMER_H

#include "platform/win32.h"

class CHighResolutionTimer {
public:
    using Callback = void (*)(void *context);

    /* Makes the timer queue; `onTimer` is what every Schedule arms. */
    explicit CHighResolutionTimer(Callback onTimer);
    /* Deletes the queue, waiting for a callback in progress. */
    virtual ~CHighResolutionTimer();

    CHighResolutionTimer(const CHighResolutionTimer &) = delete;
    CHighResolutionTimer &operator=(const CHighResolutionTimer &) = delete;

    /* Arms the timer, replacing an armed one: 0 armed, 1 no queue or null
     * context, 2 the armed timer could not be deleted, 3 the new one could
     * not be made. */
    int Schedule(void *context, DWORD dueTime);

    /* Disarms the armed timer, if any, waiting for a callback in progress;
     * the handle is forgotten even when deleting it fails. */
    void Cancel();

    bool IsArmed();

private:
    static VOID CALLBACK Trampoline(PVOID parameter, BOOLEAN timerOrWaitFired);
    /* Deletes the armed timer; false (after printing why) when that fails. */
    bool DeleteArmedTimer();

    void *context;
    HANDLE timerHandle;
    HANDLE queueHandle;
    Callback callback;
    /* Guards timerHandle: the presentation thread arms the timer while a
     * seek may cancel it from the client's thread. Never held by the
     * callback, so deleting a timer under it cannot deadlock. */
    CRITICAL_SECTION lock;
};

#endif

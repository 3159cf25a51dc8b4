#include "render/HighResolutionTimer.h"

#include <cstdio>

CHighResolutionTimer::CHighResolutionTimer(Callback onTimer)
    : context(nullptr), timerHandle(nullptr), queueHandle(CreateTimerQueue()), callback(onTimer)
{
    InitializeCriticalSection(&lock);
}

CHighResolutionTimer::~CHighResolutionTimer()
{
    if (queueHandle) {
        /* Deleting the queue deletes its timers and waits for a callback in
         * progress to return. */
        if (!DeleteTimerQueueEx(queueHandle, INVALID_HANDLE_VALUE))
            std::printf("DeleteTimerQueue failed (%d)\n", static_cast<int>(GetLastError()));
    }
    queueHandle = nullptr;
    timerHandle = nullptr;
    DeleteCriticalSection(&lock);
}

VOID CALLBACK CHighResolutionTimer::Trampoline(PVOID parameter, BOOLEAN)
{
    auto *timer = static_cast<CHighResolutionTimer *>(parameter);
    if (timer->callback)
        timer->callback(timer->context);
}

bool CHighResolutionTimer::DeleteArmedTimer()
{
    HANDLE armed = timerHandle;
    timerHandle = nullptr;
    if (!DeleteTimerQueueTimer(queueHandle, armed, INVALID_HANDLE_VALUE)) {
        std::printf("DeleteTimerQueue failed (%d)\n", static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

int CHighResolutionTimer::Schedule(void *newContext, DWORD dueTime)
{
    if (!queueHandle || !newContext)
        return 1;
    EnterCriticalSection(&lock);
    int result = 0;
    if (timerHandle && !DeleteArmedTimer()) {
        result = 2;
    } else {
        /* Set before the timer exists, so its callback sees it. */
        context = newContext;
        if (!CreateTimerQueueTimer(&timerHandle, queueHandle, Trampoline, this, dueTime, 0, 0)) {
            std::printf("CreateTimerQueueTimer failed (%d)\n", static_cast<int>(GetLastError()));
            timerHandle = nullptr;
            result = 3;
        }
    }
    LeaveCriticalSection(&lock);
    return result;
}

void CHighResolutionTimer::Cancel()
{
    EnterCriticalSection(&lock);
    if (timerHandle)
        DeleteArmedTimer();
    LeaveCriticalSection(&lock);
}

bool CHighResolutionTimer::IsArmed()
{
    EnterCriticalSection(&lock);
    const bool armed = timerHandle != nullptr;
    LeaveCriticalSection(&lock);
    return armed;
}

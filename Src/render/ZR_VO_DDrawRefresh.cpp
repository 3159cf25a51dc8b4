#include "render/ZR_VO_DDraw.h"
#include "platform/ThreadStack.h"

#include <process.h>

void CZR_VO_DDraw::StartRefreshThread()
{
    // A thread stopped by a Close is still to be waited for.
    JoinRefreshThread();
    stopThread = 0;
    if (refreshWake) ResetEvent(refreshWake);
    refreshThread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, kThreadStackReserve, RefreshThread, this, kThreadStackFlags, &refreshThreadId));
}

void CZR_VO_DDraw::StopRefreshThread()
{
    // Never waited for from itself; the lock held here does not block it,
    // since it only ever tries the lock.
    if (!refreshThread || GetCurrentThreadId() == refreshThreadId) return;
    EndRefreshThread();
}

void CZR_VO_DDraw::EndRefreshThread()
{
    stopThread = 1;
    if (refreshWake) SetEvent(refreshWake);
    JoinRefreshThread();
}

void CZR_VO_DDraw::JoinRefreshThread()
{
    if (!refreshThread) return;
    WaitForSingleObject(refreshThread, INFINITE);
    CloseHandle(refreshThread);
    refreshThread = nullptr;
}

unsigned __stdcall CZR_VO_DDraw::RefreshThread(void *context)
{
    CZR_VO_DDraw *self = static_cast<CZR_VO_DDraw *>(context);
    uint32_t remembered = 0;
    while (!self->stopThread) {
        // Never waits for the lock: a busy output means a picture is being
        // drawn, or a Close is waiting for this thread to end.
        const DWORD taken = WaitForSingleObject(self->lock, 0);
        if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) {
            // Only a picture that stayed on screen a whole period is
            // repainted: a stream drawing faster needs no help.
            const uint32_t count = self->drawnCount;
            if (count == remembered)
                self->Repaint();
            else
                remembered = count;
            ReleaseMutex(self->lock);
        }
        if (self->refreshWake)
            WaitForSingleObject(self->refreshWake, kRefreshPeriod);
        else
            Sleep(kRefreshPeriod);
    }
    return 0;
}

void CZR_VO_DDraw::Repaint()
{
    // Shows only what the last conversion left in the surfaces or the
    // bitmap: the caller's planes may already hold another picture.
    if (!pictureHeld || !window) return;
    if (state == GdiReady) {
        PresentGdi(nullptr);
    } else if (state == DirectDrawReady) {
        if (!monitors) return;
        const int slots = MonitorSlots();
        for (int i = 0; i < slots; ++i)
            if (!MonitorReady(i)) return;
        if (CheckWindow() != 0) return;
        BlitOntoMonitors();
    } else {
        return;
    }
    ++repaintCount;
}

#include "pool/JobThread.h"
#include "platform/ThreadStack.h"

#include <new>

BaseJob::BaseJob() : jobMutex(CreateMutexA(nullptr, FALSE, nullptr))
{
}

BaseJob::~BaseJob()
{
    if (jobMutex)
        CloseHandle(jobMutex);
    jobMutex = nullptr;
}

namespace {

DWORD WINAPI JobThreadProc(LPVOID parameter)
{
    static_cast<BaseJob *>(parameter)->Run();
    return 0;
}

}  // namespace

JobThread *StartJobThread(BaseJob *job)
{
    JobThread *record = new (std::nothrow) JobThread{nullptr, job, nullptr};
    if (!record)
        return nullptr;
    record->handleCell = new (std::nothrow) HANDLE(nullptr);
    if (!record->handleCell || !job)
        return record;
    DWORD threadId = 0;
    record->thread = CreateThread(nullptr, kThreadStackReserve, JobThreadProc, job, kThreadStackFlags, &threadId);
    *record->handleCell = record->thread;
    return record;
}

void EndJobThread(JobThread *record)
{
    if (!record)
        return;
    if (record->job)
        record->job->Exit();
    if (record->handleCell) {
        if (*record->handleCell) {
            WaitForSingleObject(*record->handleCell, INFINITE);
            CloseHandle(*record->handleCell);
            *record->handleCell = nullptr;
        }
        delete record->handleCell;
    }
    record->thread = nullptr;
    delete record;
}

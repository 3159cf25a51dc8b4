#include "pool/BaseJob.h"

BaseJob::BaseJob() : jobMutex(CreateMutexA(NULL, FALSE, NULL))
{
}

BaseJob::~BaseJob()
{
    if (jobMutex)
        CloseHandle(jobMutex);
    jobMutex = NULL;
}

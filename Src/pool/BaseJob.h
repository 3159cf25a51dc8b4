/* A job that one thread runs: Run is the thread's body and returns once
 * Exit has been called. */
#ifndef KOVA_POOL_BASEJOB_H
#define KOVA_POOL_BASEJOB_H

#include "platform/win32.h"

class BaseJob {
public:
    BaseJob();
    virtual void Run() = 0;
    virtual void Exit() = 0;
    virtual ~BaseJob();

    BaseJob(const BaseJob &) = delete;
    BaseJob &operator=(const BaseJob &) = delete;

protected:
    /* Held by Run for each pass of its loop and by the calls that change
     * the job's state. */
    HANDLE jobMutex;
};

#endif

/* A job and the thread that runs it.
 *
 * A BaseJob is the body of one thread: Run loops until Exit has been
 * called, then returns. StartJobThread starts that thread and gives the
 * owner the record it keeps to end it: the thread handle, the job, and a
 * separately allocated cell that holds the handle for the wait at the end.
 * EndJobThread tells the job to exit and waits for the thread. */
#ifndef KOVA_POOL_JOBTHREAD_H
#define KOVA_POOL_JOBTHREAD_H

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

struct JobThread {
    HANDLE thread;       /* null when the thread could not be started */
    BaseJob *job;        /* not owned */
    HANDLE *handleCell;  /* owned; holds `thread` until the end */
};

/* Makes the record and starts a thread (default security, the library's
 * stack reservation of platform/ThreadStack.h, running at once) that calls
 * job->Run() and ends when it returns. Null when the record cannot be made;
 * a record without a thread when the thread cannot be started. */
JobThread *StartJobThread(BaseJob *job);

/* Tells the job to exit, waits without time limit for its thread to end,
 * closes the handle and frees the cell and the record. */
void EndJobThread(JobThread *record);

#endif

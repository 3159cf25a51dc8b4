/* A job running on a thread of its own, and the record its owner keeps to
 * end it: the thread handle, the job, and a separately allocated cell that
 * holds the handle for the wait at the end. */
#ifndef KOVA_POOL_JOBTHREAD_H
#define KOVA_POOL_JOBTHREAD_H

#include "platform/win32.h"

class BaseJob;

struct JobThread {
    HANDLE thread;       /* null when the thread could not be started */
    BaseJob *job;        /* not owned */
    HANDLE *handleCell;  /* owned; holds `thread` until the end */
};

/* Makes the record and starts a thread (default security and stack,
 * running at once) that calls job->Run() and ends when it returns. Null
 * when the record cannot be made; a record without a thread when the thread
 * cannot be started. */
JobThread *StartJobThread(BaseJob *job);

/* Tells the job to exit, waits without time limit for its thread to end,
 * closes the handle and frees the cell and the record. */
void EndJobThread(JobThread *record);

#endif

/* The diagnostics log's process-wide state and set-up, shared by the line
 * writer, the set-up routine and the exported log functions. */
#ifndef KOVA_SUPPORT_LOGSTATE_H
#define KOVA_SUPPORT_LOGSTATE_H

#include "platform/win32.h"

#include <atomic>
#include <cstdint>
#include <mutex>

/* Path separator the log's names are built with. */
#ifdef _WIN32
#define KOVA_LOG_SEP "\\"
#else
#define KOVA_LOG_SEP "/"
#endif

constexpr int32_t kLogDefaultSizeLimit = 5242880;        /* 5 MiB */
constexpr int32_t kLogDefaultFileCount = 10;
constexpr uint64_t kLogMinFreeBytes = 104857600;       /* 100 MiB */
constexpr size_t kLogModuleNameSize = 64;              /* 63 characters */
constexpr size_t kLogDirectorySize = 1024;             /* 1023 characters */
constexpr size_t kLogFilePathSize = 1088;              /* 1087 characters */
constexpr size_t kLogDriveSize = 1024;                 /* 1023 characters */
/* Longest wait for the named mutex before a line is dropped (or set-up
 * goes on without it): a line takes milliseconds, so only a holder that
 * hung, or lost the mutex to a fault, keeps it this long. */
constexpr DWORD kLogWaitMs = 2000;

/* Lines are written only while non-zero. */
extern std::atomic<int32_t> logEnabled;
/* A file that has reached this length after a write is rotated. */
extern std::atomic<int32_t> logSizeLimit;
/* Most files of the module kept, the current one included. */
extern std::atomic<int32_t> logFileCount;

/* Guarded by logStateLock: the named mutex (null when not set up or
 * released) and the names derived from the module and the executable. */
extern HANDLE logMutex;
extern char moduleName[kLogModuleNameSize];
extern char logDirectory[kLogDirectorySize];
extern char logFilePath[kLogFilePathSize];
extern char logDrive[kLogDriveSize];

/* Orders this process's threads around the state above. The named mutex
 * alone cannot: it is looked up, waited on and closed through logMutex, and
 * the paths are rewritten by set-up while other threads may be writing. It
 * is always taken before the named mutex, never while holding it. */
extern std::mutex logStateLock;

/* Sets the log up for module `name` (fewer than 64 characters): the named
 * mutex, the paths beside the executable and the log directory. Returns
 * non-zero on success, 0 when the name is unusable or the mutex cannot be
 * created. Calling it again rebuilds the paths and keeps the mutex. */
int InitLog(const char *name);

#endif

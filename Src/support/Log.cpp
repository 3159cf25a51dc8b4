/* The line writer: one time-stamped line per call, appended under the named
 * mutex with the file opened and closed around it, so every line is on disk
 * when the call returns and processes sharing the directory never
 * interleave. The file is rotated by size and old rotated files pruned. */
#include "support/Log.h"
#include "support/LogHook.h"
#include "support/LogState.h"

#include "support/FaultGuard.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

std::atomic<int32_t> logEnabled{0};
std::atomic<int32_t> logSizeLimit{kLogDefaultSizeLimit};
std::atomic<int32_t> logFileCount{kLogDefaultFileCount};
HANDLE logMutex = nullptr;
char moduleName[kLogModuleNameSize];
char logDirectory[kLogDirectorySize];
char logFilePath[kLogFilePathSize];
char logDrive[kLogDriveSize];
std::mutex logStateLock;

namespace {

/* Local time through strftime with numeric fields only: the text is the C
 * locale's "%Y-%m-%d %X" whatever locale the host process has set. */
void FormatTime(time_t now, const char *format, char *out, size_t size)
{
    struct tm local;
#ifdef _WIN32
    const struct tm *p = localtime(&now); /* per-thread buffer in the C runtime */
    if (p) local = *p;
    else memset(&local, 0, sizeof local);
#else
    if (!localtime_r(&now, &local)) memset(&local, 0, sizeof local);
#endif
    if (strftime(out, size, format, &local) == 0 && size) out[0] = '\0';
}

int64_t FileLength(FILE *f)
{
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
    return _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    return ftello(f);
#endif
}

/* Deletes the oldest rotated file of the module once the directory holds
 * logFileCount files of it or more (the current one counted). At most one
 * file goes per rotation. Caller holds the named mutex. */
void PruneLogFiles()
{
    char pattern[kLogFilePathSize + 8];
    snprintf(pattern, sizeof pattern, "%s" KOVA_LOG_SEP "%s%s", logDirectory, moduleName, "*.log");
    char currentName[kLogModuleNameSize + 8];
    snprintf(currentName, sizeof currentName, "%s%s", moduleName, ".log");

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    int count = 0;
    char oldest[MAX_PATH] = "";
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        ++count;
        if (strcmp(found.cFileName, currentName) == 0) continue;
        if (!oldest[0] || strcmp(found.cFileName, oldest) < 0) {
            strncpy(oldest, found.cFileName, sizeof oldest - 1);
            oldest[sizeof oldest - 1] = '\0';
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);

    if (count >= logFileCount.load() && oldest[0]) {
        char victim[kLogFilePathSize + MAX_PATH + 2];
        snprintf(victim, sizeof victim, "%s" KOVA_LOG_SEP "%s", logDirectory, oldest);
        DeleteFileA(victim);
    }
}

/* Renames the current file to its rotated name for `now`. A failure (a
 * file of that name exists: two rotations within one second) leaves the
 * current file to grow until a later rotation succeeds. Caller holds the
 * named mutex. */
void RotateLogFile(time_t now)
{
    if (logFileCount.load() > 1) PruneLogFiles();
    char stamp[32];
    FormatTime(now, "%Y-%m-%d-%H-%M-%S", stamp, sizeof stamp);
    char rotated[kLogFilePathSize + 64];
    snprintf(rotated, sizeof rotated, "%s" KOVA_LOG_SEP "%s-%s.log", logDirectory, moduleName, stamp);
    MoveFileA(logFilePath, rotated);
}

} // namespace

namespace {

void UnlockState(void *)
{
    logStateLock.unlock();
}

void ReleaseNamedMutex(void *mutex)
{
    ReleaseMutex(static_cast<HANDLE>(mutex));
}

void CloseFile(void *file)
{
    fclose(static_cast<FILE *>(file));
}

} // namespace

int WriteLog(const char *format, ...)
{
    va_list observed;
    va_start(observed, format);
    kova::NotifyLogObserver(format, observed);
    va_end(observed);

    if (!logEnabled.load() || !format) return 0;
    /* Logging is a side effect: the caller's last error survives it. */
    DWORD callerError = GetLastError();
    /* The caller's arguments are read before any lock is taken: a bad one
     * faults here, where a guard recovering from it leaves nothing held. */
    char shortMessage[512];
    std::vector<char> longMessage;
    const char *message = shortMessage;
    size_t messageLength = 0;
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(shortMessage, sizeof shortMessage, format, args);
    va_end(args);
    if (length < 0) {
        shortMessage[0] = '\0';
    } else if (static_cast<size_t>(length) < sizeof shortMessage) {
        messageLength = static_cast<size_t>(length);
    } else {
        longMessage.resize(static_cast<size_t>(length) + 1);
        va_start(args, format);
        vsnprintf(longMessage.data(), longMessage.size(), format, args);
        va_end(args);
        message = longMessage.data();
        messageLength = static_cast<size_t>(length);
    }

    int written = 0;
    logStateLock.lock();
    {
        /* Whatever a guarded caller's recovery abandons, these are let go. */
        kova::ReleaseOnFault unlockState(UnlockState, nullptr);
        ULARGE_INTEGER freeBytes;
        bool lowOnSpace = GetDiskFreeSpaceExA(logDrive, &freeBytes, nullptr, nullptr) &&
                          freeBytes.QuadPart < kLogMinFreeBytes;
        const DWORD waited = !lowOnSpace && logMutex ? WaitForSingleObject(logMutex, kLogWaitMs) : WAIT_FAILED;
        /* An abandoned mutex is ours now; a mutex still held after the
         * bound (another process hung or faulted while writing) costs this
         * line, not the caller's thread. */
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
            kova::ReleaseOnFault releaseMutex(ReleaseNamedMutex, logMutex);
            time_t now = time(nullptr);
            char timeText[32];
            FormatTime(now, "%Y-%m-%d %H:%M:%S", timeText, sizeof timeText);

            FILE *f = fopen(logFilePath, "a+");
            if (!f) {
                /* Windows will not open a read-only file for appending, so
                 * clearing the attribute only after the open would drop
                 * every later line: clear it and try once more. */
                SetFileAttributesA(logFilePath, FILE_ATTRIBUTE_NORMAL);
                f = fopen(logFilePath, "a+");
            }
            if (f) {
                int64_t fileLength;
                {
                    kova::ReleaseOnFault closeFile(CloseFile, f);
                    SetFileAttributesA(logFilePath, FILE_ATTRIBUTE_NORMAL);
                    fprintf(f, "[%s] : ", timeText);
                    fprintf(f, "ThreadID[%d] : ", (int)GetCurrentThreadId());
                    fwrite(message, 1, messageLength, f); /* a %c of 0 is written too */
                    fputs("\n", f);
                    fflush(f);
                    fileLength = FileLength(f);
                }
                fclose(f);
                written = 1;
                if (fileLength >= logSizeLimit.load()) RotateLogFile(now);
            }
            ReleaseMutex(logMutex);
        }
    }
    logStateLock.unlock();
    SetLastError(callerError);
    return written;
}

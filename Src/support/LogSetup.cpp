/* Log set-up: the named mutex and the names of the log directory beside the
 * host program's executable (not beside this library). */
#include "support/LogState.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

} // namespace

int InitLog(const char *name)
{
    if (!name || strlen(name) >= kLogModuleNameSize) return 0;

    std::lock_guard<std::mutex> guard(logStateLock);
    memset(moduleName, 0, sizeof moduleName);
    strcpy(moduleName, name);

    if (!logMutex) {
        /* Opens the existing mutex when this or another process made it. */
        logMutex = CreateMutexA(nullptr, FALSE, name);
        if (!logMutex) return 0;
    }
    /* Set-up changes only this process's names and makes a directory that
     * may exist already: after the bound it goes on without the mutex. */
    const DWORD waited = WaitForSingleObject(logMutex, kLogWaitMs);
    const bool held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;

    memset(logDirectory, 0, sizeof logDirectory);
    memset(logFilePath, 0, sizeof logFilePath);
    memset(logDrive, 0, sizeof logDrive);
    DWORD length = GetModuleFileNameA(nullptr, logDirectory, (DWORD)kLogDirectorySize);
    if (length >= kLogDirectorySize) length = kLogDirectorySize - 1;
    logDirectory[length] = '\0';

    /* Keep the directory, with its trailing separator. */
    char *lastSeparator = nullptr;
    for (char *p = logDirectory; *p; ++p)
        if (IsSeparator(*p)) lastSeparator = p;
    if (lastSeparator) lastSeparator[1] = '\0';
    else logDirectory[0] = '\0';

#ifdef _WIN32
    /* The drive: the path's first component (such as C:). */
    size_t driveLength = 0;
    while (logDirectory[driveLength] && !IsSeparator(logDirectory[driveLength])) ++driveLength;
    memcpy(logDrive, logDirectory, driveLength);
    logDrive[driveLength] = '\0';
#else
    /* No drive letters: the free-space guard asks about the file system
     * holding the executable's directory. */
    snprintf(logDrive, sizeof logDrive, "%s", logDirectory);
#endif

    size_t used = strlen(logDirectory);
    snprintf(logDirectory + used, sizeof logDirectory - used, "%s", "log" KOVA_LOG_SEP);
    snprintf(logFilePath, sizeof logFilePath, "%s%s%s", logDirectory, moduleName, ".log");

    CreateDirectoryA(logDirectory, nullptr); /* may exist already */

    if (held) ReleaseMutex(logMutex);
    return 1;
}

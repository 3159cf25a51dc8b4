/* The exported log functions: set-up, switching on and off, release. */
#include "KovaDecoder.h"
#include "support/Log.h"
#include "support/LogState.h"

extern "C" {

KOVA_EXPORT LONG KOVA_CALL KOVA_InitializeLog(void)
{
    logEnabled = 1;
    logSizeLimit = kLogDefaultSizeLimit;
    logFileCount = kLogDefaultFileCount;
    return InitLog("KvoaDecoder");
}

KOVA_EXPORT void KOVA_CALL KOVA_EnableLog(LONG enable)
{
    if (enable) {
        logEnabled = enable;
        WriteLog("**********Enable log**********");
    } else {
        WriteLog("**********Disable log**********\n");
        logEnabled = 0;
    }
}

KOVA_EXPORT void KOVA_CALL KOVA_ReleaseLog(void)
{
    WriteLog("**********Release log**********");
    std::lock_guard<std::mutex> guard(logStateLock);
    if (logMutex) CloseHandle(logMutex);
    logMutex = nullptr;
}

} // extern "C"

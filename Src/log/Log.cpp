#include "log/Log.h"

#include <stdarg.h>

#include "log/LogHook.h"

/* The log is not built yet: nothing is ever set up, so nothing is written. */
int WriteLog(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    kova::NotifyLogObserver(format, args);
    va_end(args);
    return 0;
}

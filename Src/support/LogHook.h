/* Lets a test see every line handed to WriteLog, formatted, whether or not
 * the log is set up to write it. Not for production use: one observer per
 * process, set and removed by the test itself. */
#ifndef KOVA_SUPPORT_LOGHOOK_H
#define KOVA_SUPPORT_LOGHOOK_H

#include <stdarg.h>

namespace kova {

/* Called on the logging thread with the formatted message (no time stamp,
 * no thread id). Must not call WriteLog. */
using LogObserver = void (*)(const char *message);

/* Installs the observer; null removes it. */
void SetLogObserver(LogObserver observer);

/* Called by WriteLog with its format and arguments, first thing. Formats
 * only when an observer is installed. */
void NotifyLogObserver(const char *format, va_list args);

}  // namespace kova

#endif

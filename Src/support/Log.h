/* The diagnostics log's line writer, shared by every part of the library. */
#ifndef KOVA_SUPPORT_LOG_H
#define KOVA_SUPPORT_LOG_H

#if defined(__GNUC__)
#define KOVA_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define KOVA_PRINTF_FORMAT(f, a)
#endif

/* Appends one time-stamped line to the current log file; writes nothing
 * until the log is set up. Callable from any thread; callers ignore the
 * result. */
int WriteLog(const char *format, ...) KOVA_PRINTF_FORMAT(1, 2);

#endif

/* Time: tick counts and the performance counter come from the monotonic
 * clock, calendar times from the real-time clock. */
#include <windows.h>

#include <sys/time.h>
#include <time.h>

namespace {

timespec Monotonic()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts;
}

/* Windows counts days of the week from Sunday = 0, as struct tm does. */
void FromTm(const struct tm &tm, long nsec, LPSYSTEMTIME st)
{
    st->wYear = (WORD)(tm.tm_year + 1900);
    st->wMonth = (WORD)(tm.tm_mon + 1);
    st->wDayOfWeek = (WORD)tm.tm_wday;
    st->wDay = (WORD)tm.tm_mday;
    st->wHour = (WORD)tm.tm_hour;
    st->wMinute = (WORD)tm.tm_min;
    st->wSecond = (WORD)(tm.tm_sec > 59 ? 59 : tm.tm_sec);  // no leap second in SYSTEMTIME
    st->wMilliseconds = (WORD)(nsec / 1000000);
}

}  // namespace

KOVA_LAYER_API ULONGLONG WINAPI GetTickCount64(void)
{
    timespec ts = Monotonic();
    return (ULONGLONG)ts.tv_sec * 1000u + (ULONGLONG)ts.tv_nsec / 1000000u;
}

KOVA_LAYER_API DWORD WINAPI GetTickCount(void)
{
    return (DWORD)GetTickCount64();
}

KOVA_LAYER_API BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *lpPerformanceCount)
{
    if (!lpPerformanceCount) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    timespec ts = Monotonic();
    lpPerformanceCount->QuadPart = (LONGLONG)ts.tv_sec * 1000000000LL + ts.tv_nsec;
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *lpFrequency)
{
    if (!lpFrequency) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    lpFrequency->QuadPart = 1000000000LL;
    return TRUE;
}

// The time now, broken down by `breakDown` (localtime_r or gmtime_r).
static void Now(struct tm *(*breakDown)(const time_t *, struct tm *), LPSYSTEMTIME out)
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    breakDown(&ts.tv_sec, &tm);
    FromTm(tm, ts.tv_nsec, out);
}

KOVA_LAYER_API VOID WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime)
{
    Now(localtime_r, lpSystemTime);
}

KOVA_LAYER_API VOID WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime)
{
    Now(gmtime_r, lpSystemTime);
}

KOVA_LAYER_API VOID WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime)
{
    /* 100 ns units since 1601-01-01 UTC; 11644473600 s lie before 1970. */
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    ULONGLONG t = ((ULONGLONG)ts.tv_sec + 11644473600ull) * 10000000ull + (ULONGLONG)ts.tv_nsec / 100u;
    lpSystemTimeAsFileTime->dwLowDateTime = (DWORD)t;
    lpSystemTimeAsFileTime->dwHighDateTime = (DWORD)(t >> 32);
}

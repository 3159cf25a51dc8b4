/* Conformance: kernel32 clocks and Sleep. Durations are checked with wide
 * tolerances: the machine may be busy. */
#include <windows.h>

#include "wintest.h"

static void test_tick_count(void)
{
    DWORD last = GetTickCount();
    int backwards = 0;
    for (int i = 0; i < 100000; i++) {
        DWORD now = GetTickCount();
        if ((DWORD)(now - last) >= 0x80000000u) backwards++;  // wrap-safe comparison
        last = now;
    }
    ok(backwards == 0, "GetTickCount went back %d times\n", backwards);

    ULONGLONG t64 = GetTickCount64();
    DWORD t32 = GetTickCount();
    ok((DWORD)(t32 - (DWORD)t64) < 1000, "GetTickCount %u and GetTickCount64 %u disagree\n", (unsigned)t32,
       (unsigned)(DWORD)t64);
}

static void test_sleep(void)
{
    DWORD start = GetTickCount();
    Sleep(100);
    DWORD elapsed = GetTickCount() - start;
    ok(elapsed >= 80 && elapsed < 5000, "Sleep(100) took %u ms\n", (unsigned)elapsed);

    start = GetTickCount();
    for (int i = 0; i < 100; i++) Sleep(0);
    elapsed = GetTickCount() - start;
    ok(elapsed < 5000, "100 x Sleep(0) took %u ms\n", (unsigned)elapsed);

    /* A timed wait on an unset event lasts about as long. */
    HANDLE e = CreateEventA(NULL, TRUE, FALSE, NULL);
    start = GetTickCount();
    ok(WaitForSingleObject(e, 100) == WAIT_TIMEOUT, "wait on an unset event\n");
    elapsed = GetTickCount() - start;
    ok(elapsed >= 80 && elapsed < 5000, "100 ms wait took %u ms\n", (unsigned)elapsed);
    CloseHandle(e);
}

static void test_performance_counter(void)
{
    LARGE_INTEGER freq, a, b;
    ok(QueryPerformanceFrequency(&freq) && freq.QuadPart > 0, "QueryPerformanceFrequency\n");
    ok(QueryPerformanceCounter(&a), "QueryPerformanceCounter\n");
    Sleep(50);
    ok(QueryPerformanceCounter(&b), "QueryPerformanceCounter\n");
    double seconds = (double)(b.QuadPart - a.QuadPart) / (double)freq.QuadPart;
    ok(seconds >= 0.04 && seconds < 5.0, "Sleep(50) measured %.4f s\n", seconds);
}

static void test_calendar(void)
{
    SYSTEMTIME local, utc;
    GetLocalTime(&local);
    GetSystemTime(&utc);
    ok(utc.wYear >= 2020 && utc.wMonth >= 1 && utc.wMonth <= 12 && utc.wDay >= 1 && utc.wDay <= 31,
       "UTC date %u-%u-%u\n", utc.wYear, utc.wMonth, utc.wDay);
    ok(utc.wDayOfWeek <= 6 && utc.wHour <= 23 && utc.wMinute <= 59 && utc.wSecond <= 59 &&
           utc.wMilliseconds <= 999,
       "UTC time %u %u:%u:%u.%u\n", utc.wDayOfWeek, utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds);
    ok(local.wMonth >= 1 && local.wMonth <= 12 && local.wHour <= 23 && local.wMilliseconds <= 999,
       "local time %u-%u %u\n", local.wMonth, local.wDay, local.wHour);
    /* Local time is UTC shifted by at most 14 hours. */
    int utc_min = utc.wHour * 60 + utc.wMinute;
    int local_min = local.wHour * 60 + local.wMinute;
    int diff = local_min - utc_min;
    if (local.wDay != utc.wDay) diff += (local_min < utc_min) ? 24 * 60 : -24 * 60;
    ok(diff >= -14 * 60 && diff <= 14 * 60, "local time %d minutes from UTC\n", diff);

    /* The file-time clock agrees with the system time. */
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULONGLONG t = ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
    ULONGLONG year_2020 = 132223104000000000ull;  // 2020-01-01 in 100 ns units since 1601
    ok(t > year_2020, "file time %llu before 2020\n", (unsigned long long)t);
}

START_TEST(kernel32_time)
{
    test_tick_count();
    test_sleep();
    test_performance_counter();
    test_calendar();
}

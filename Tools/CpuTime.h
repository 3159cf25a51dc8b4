/* The process's CPU time (user and kernel, every thread) in milliseconds,
 * for the benchmarks' CPU-per-picture figures. */
#ifndef KOVA_TOOLS_CPU_TIME_H
#define KOVA_TOOLS_CPU_TIME_H

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

inline double CpuMs()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME &t) { return (double(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e4; };
    return ms(kernel) + ms(user);
#else
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
#endif
}

#endif

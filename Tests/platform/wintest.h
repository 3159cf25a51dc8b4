/* A minimal harness for Win32 conformance programs.
 *
 * A test program includes only <windows.h> (and the other public Win32
 * headers) plus this file, so the same source builds against the platform
 * layer and against real Win32 (or Wine) unchanged. Each file defines
 *
 *     START_TEST(name) { test_one(); test_two(); }
 *
 * and checks with ok(condition, "printf format", ...). The program prints
 * every failure with its file and line, then "N passed, N failed" (and the
 * skip count), and exits non-zero when anything failed. */
#ifndef KOVA_WINTEST_H
#define KOVA_WINTEST_H

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* A test uses only some of the helpers below. */
#if defined(__GNUC__)
#define WINTEST_MAYBE_UNUSED __attribute__((unused))
#else
#define WINTEST_MAYBE_UNUSED
#endif

static LONG wintest_passed;
static LONG wintest_failed;
static LONG wintest_skipped;
static int wintest_argc;
static char **wintest_argv;
WINTEST_MAYBE_UNUSED static const char *wintest_context = "";

WINTEST_MAYBE_UNUSED static void wintest_vreport(const char *kind, const char *file, int line, const char *fmt, va_list ap)
{
    const char *base = strrchr(file, '/');
    if (!base) base = strrchr(file, '\\');
    base = base ? base + 1 : file;
    fprintf(stdout, "%s:%d: %s%s", base, line, wintest_context, kind);
    vfprintf(stdout, fmt, ap);
    size_t n = strlen(fmt);
    if (n == 0 || fmt[n - 1] != '\n') fputc('\n', stdout);
    fflush(stdout);
}

WINTEST_MAYBE_UNUSED static int wintest_ok(const char *file, int line, int condition, const char *fmt, ...)
{
    if (condition) {
        InterlockedIncrement(&wintest_passed);
        return 1;
    }
    va_list ap;
    va_start(ap, fmt);
    wintest_vreport("Test failed: ", file, line, fmt, ap);
    va_end(ap);
    InterlockedIncrement(&wintest_failed);
    return 0;
}

WINTEST_MAYBE_UNUSED static void wintest_skip(const char *file, int line, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    wintest_vreport("Tests skipped: ", file, line, fmt, ap);
    va_end(ap);
    InterlockedIncrement(&wintest_skipped);
}

WINTEST_MAYBE_UNUSED static void wintest_trace(const char *file, int line, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    wintest_vreport("", file, line, fmt, ap);
    va_end(ap);
}

/* True under Wine, whose documented differences some checks allow for. */
/* Registers a window class of `name` whose windows use `proc`, as every
 * test program that makes windows does first. */
WINTEST_MAYBE_UNUSED static void wintest_register_class(const char *name, WNDPROC proc)
{
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

WINTEST_MAYBE_UNUSED static int wintest_is_wine(void)
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != NULL;
#else
    return 0;
#endif
}

/* True on the platform layer rather than on a Win32 implementation. */
WINTEST_MAYBE_UNUSED static int wintest_is_layer(void)
{
#ifdef _WIN32
    return 0;
#else
    return 1;
#endif
}

#define ok(cond, ...) wintest_ok(__FILE__, __LINE__, (cond) ? 1 : 0, __VA_ARGS__)
#define skip(...) wintest_skip(__FILE__, __LINE__, __VA_ARGS__)
#define trace(...) wintest_trace(__FILE__, __LINE__, __VA_ARGS__)

#define START_TEST(name)                                                          \
    static void func_##name(void);                                                \
    int main(int argc, char **argv)                                               \
    {                                                                             \
        wintest_argc = argc;                                                      \
        wintest_argv = argv;                                                      \
        setvbuf(stdout, NULL, _IONBF, 0);                                         \
        func_##name();                                                            \
        printf("%s: %ld passed, %ld failed, %ld skipped\n", #name,               \
               (long)wintest_passed, (long)wintest_failed, (long)wintest_skipped); \
        return wintest_failed ? 1 : 0;                                            \
    }                                                                             \
    static void func_##name(void)

#endif

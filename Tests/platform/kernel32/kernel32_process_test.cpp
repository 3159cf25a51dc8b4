/* Conformance: kernel32 processes, and named mutexes shared between
 * processes. The program starts copies of itself as children:
 *
 *   child exit N            exits with code N
 *   child sleep             sleeps (to be terminated)
 *   child args A B ...      exits 0 if its arguments are exactly A B ...
 *   child hold M G          holds mutex M until it can take mutex G
 *   child abandon M         takes mutex M and exits holding it
 *   child crash M           creates mutex M owned and is killed holding it
 */
#include <windows.h>

#include "wintest.h"

static char g_mutex_name[64];
static char g_gate_name[64];

/* ---- the child ---- */

static int child_main(int argc, char **argv)
{
    const char *mode = argv[2];
    if (!strcmp(mode, "exit") && argc > 3) return atoi(argv[3]);
    if (!strcmp(mode, "sleep")) {
        Sleep(60000);
        return 1;
    }
    if (!strcmp(mode, "args")) {
        static const char *expected[] = {"plain", "with space", "quote\"inside", "back\\slash", "trail\\", ""};
        int n = (int)(sizeof expected / sizeof expected[0]);
        if (argc != 3 + n) return 100 + argc;
        for (int i = 0; i < n; i++)
            if (strcmp(argv[3 + i], expected[i])) return 10 + i;
        if (!strstr(GetCommandLineA(), "args")) return 2;
        return 0;
    }
    if (!strcmp(mode, "hold") && argc > 4) {
        HANDLE m = CreateMutexA(NULL, FALSE, argv[3]);
        if (!m || GetLastError() != ERROR_ALREADY_EXISTS) return 6;  // the parent made it
        HANDLE g = CreateMutexA(NULL, FALSE, argv[4]);
        if (!g) return 2;
        if (WaitForSingleObject(m, 10000) != WAIT_OBJECT_0) return 3;
        /* The parent holds the gate until it has seen us hold the mutex. */
        if (WaitForSingleObject(g, 30000) != WAIT_OBJECT_0) return 4;
        ReleaseMutex(g);
        if (!ReleaseMutex(m)) return 5;
        return 0;
    }
    if (!strcmp(mode, "abandon") && argc > 3) {
        HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, argv[3]);
        if (!m) return 2;
        if (WaitForSingleObject(m, 10000) != WAIT_OBJECT_0) return 3;
        Sleep(300);  // let the parent block on it
        ExitProcess(0);
    }
    if (!strcmp(mode, "crash") && argc > 3) {
        HANDLE m = CreateMutexA(NULL, TRUE, argv[3]);
        if (!m || GetLastError() == ERROR_ALREADY_EXISTS) return 2;
        TerminateProcess(GetCurrentProcess(), 3);
    }
    return 99;
}

/* ---- the parent ---- */

static BOOL spawn(const char *args, PROCESS_INFORMATION *pi)
{
    char line[1024];
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    memset(pi, 0, sizeof *pi);
    sprintf(line, "\"%s\" child %s", wintest_argv[0], args);
    BOOL r = CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, pi);
    ok(r, "CreateProcessA(%s) failed: %u\n", line, (unsigned)GetLastError());
    return r;
}

static DWORD finish(PROCESS_INFORMATION *pi)
{
    DWORD code = 0xdeadbeef;
    ok(WaitForSingleObject(pi->hProcess, 30000) == WAIT_OBJECT_0, "child did not end\n");
    ok(GetExitCodeProcess(pi->hProcess, &code), "GetExitCodeProcess failed\n");
    CloseHandle(pi->hProcess);
    CloseHandle(pi->hThread);
    return code;
}

static void test_exit_codes(void)
{
    PROCESS_INFORMATION pi;
    if (!spawn("exit 7", &pi)) return;
    ok(pi.dwProcessId != 0 && pi.dwProcessId != GetCurrentProcessId(), "child id %u\n", (unsigned)pi.dwProcessId);
    ok(pi.hThread != NULL, "no thread handle\n");
    ok(WaitForSingleObject(pi.hThread, 30000) == WAIT_OBJECT_0, "child's thread handle not signalled\n");
    ok(finish(&pi) == 7, "exit code\n");

    if (!spawn("sleep", &pi)) return;
    DWORD code = 0;
    ok(GetExitCodeProcess(pi.hProcess, &code) && code == STILL_ACTIVE, "running child: code %u\n",
       (unsigned)code);
    ok(WaitForSingleObject(pi.hProcess, 100) == WAIT_TIMEOUT, "running child signalled\n");
    ok(TerminateProcess(pi.hProcess, 99), "TerminateProcess failed: %u\n", (unsigned)GetLastError());
    ok(finish(&pi) == 99, "terminated child's code\n");

    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    char missing[] = "kova_no_such_program_here";
    SetLastError(0xdeadbeef);
    ok(!CreateProcessA(NULL, missing, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi) &&
           GetLastError() == ERROR_FILE_NOT_FOUND,
       "missing program: error %u\n", (unsigned)GetLastError());
}

static void test_command_line(void)
{
    PROCESS_INFORMATION pi;
    /* Microsoft's quoting: \" is a quote, backslashes double before a quote. */
    if (!spawn("args plain \"with space\" quote\\\"inside back\\slash \"trail\\\\\" \"\"", &pi)) return;
    DWORD code = finish(&pi);
    ok(code == 0, "child saw its arguments wrongly: %u\n", (unsigned)code);
    ok(strstr(GetCommandLineA(), "kernel32_process_test") != NULL, "GetCommandLineA: %s\n", GetCommandLineA());
}

static void test_named_mutex_across_processes(void)
{
    HANDLE m = CreateMutexA(NULL, FALSE, g_mutex_name);
    HANDLE gate = CreateMutexA(NULL, TRUE, g_gate_name);
    ok(m != NULL && gate != NULL, "CreateMutexA failed\n");
    PROCESS_INFORMATION pi;
    char args[256];
    sprintf(args, "hold %s %s", g_mutex_name, g_gate_name);
    if (!spawn(args, &pi)) return;

    /* Wait until the child holds the mutex. */
    BOOL held = FALSE;
    for (int i = 0; i < 1000 && !held; i++) {
        DWORD r = WaitForSingleObject(m, 0);
        if (r == WAIT_TIMEOUT)
            held = TRUE;
        else {
            if (r == WAIT_OBJECT_0) ReleaseMutex(m);
            Sleep(10);
        }
    }
    ok(held, "child never took the mutex\n");
    ok(WaitForSingleObject(m, 200) == WAIT_TIMEOUT, "parent took a mutex the child holds\n");
    ok(ReleaseMutex(gate), "release the gate\n");
    ok(WaitForSingleObject(m, 10000) == WAIT_OBJECT_0, "parent did not get the mutex the child released\n");
    ok(ReleaseMutex(m), "release\n");
    ok(finish(&pi) == 0, "child failed\n");

    /* A child that dies holding the mutex abandons it, also to a parent
     * already blocked on it. */
    sprintf(args, "abandon %s", g_mutex_name);
    if (!spawn(args, &pi)) return;
    held = FALSE;
    for (int i = 0; i < 1000 && !held; i++) {
        DWORD r = WaitForSingleObject(m, 0);
        if (r == WAIT_TIMEOUT)
            held = TRUE;
        else {
            if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ReleaseMutex(m);
            Sleep(5);
        }
    }
    ok(held, "child never took the mutex\n");
    DWORD r = WaitForSingleObject(m, 10000);
    ok(r == WAIT_ABANDONED, "mutex of a dead child: %u\n", (unsigned)r);
    if (r == WAIT_ABANDONED || r == WAIT_OBJECT_0) ok(ReleaseMutex(m), "release after abandon\n");
    ok(WaitForSingleObject(m, 0) == WAIT_OBJECT_0, "mutex not free again\n");
    ReleaseMutex(m);
    ok(finish(&pi) == 0, "abandoning child's code\n");

    CloseHandle(gate);
    CloseHandle(m);

    /* With its last handle closed, a named mutex is gone: a new one of
     * that name starts afresh, even after a process was killed holding it. */
    SetLastError(0xdeadbeef);
    m = CreateMutexA(NULL, FALSE, g_mutex_name);
    ok(m != NULL && GetLastError() != ERROR_ALREADY_EXISTS, "closed mutex still existed: error %u\n",
       (unsigned)GetLastError());
    CloseHandle(m);
    sprintf(args, "crash %s", g_mutex_name);
    if (!spawn(args, &pi)) return;
    ok(finish(&pi) == 3, "killed child's code\n");
    SetLastError(0xdeadbeef);
    m = CreateMutexA(NULL, FALSE, g_mutex_name);
    ok(m != NULL && GetLastError() != ERROR_ALREADY_EXISTS, "mutex of a killed process lived on: error %u\n",
       (unsigned)GetLastError());
    ok(WaitForSingleObject(m, 0) == WAIT_OBJECT_0, "fresh mutex not free or abandoned\n");
    ReleaseMutex(m);
    CloseHandle(m);
}

START_TEST(kernel32_process)
{
    if (wintest_argc > 2 && !strcmp(wintest_argv[1], "child")) exit(child_main(wintest_argc, wintest_argv));
    sprintf(g_mutex_name, "kova_process_test_%u", (unsigned)GetCurrentProcessId());
    sprintf(g_gate_name, "kova_process_test_gate_%u", (unsigned)GetCurrentProcessId());
    test_exit_codes();
    test_command_line();
    test_named_mutex_across_processes();
}

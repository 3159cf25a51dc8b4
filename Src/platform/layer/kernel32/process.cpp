/* Processes: CreateProcessA over posix_spawn, process handles that signal
 * when the child ends, exit codes, and the current process. */
#include "kernel32/cmdline.h"
#include "kernel32/thread.h"

#include "fault/fault.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

extern char **environ;

namespace kova {
namespace k32 {
namespace {

class Process : public Waitable {
public:
    explicit Process(pid_t pid) : Waitable(Kind::Process), pid(pid) {}
    Acq TryAcquire(ThreadInfo *) override { return ended ? Acq::Yes : Acq::No; }
    void Undo(ThreadInfo *, Acq) override {}

    const pid_t pid;
    Ref<Thread> mainThread;  // the child's "primary thread", ends with it
    /* Dispatcher lock: */
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    bool terminated = false;  // by TerminateProcess, with this code:
    DWORD terminateCode = 0;
};

/* Windows reports a crash as an exception status; the layer maps the
 * signal that ended a child to the nearest one. Exit codes of children
 * that exit normally keep only their low 8 bits (a POSIX limit). */
DWORD ExitCodeFromStatus(int status, const Process &p)
{
    if (WIFEXITED(status)) return (DWORD)WEXITSTATUS(status);
    if (!WIFSIGNALED(status)) return 1;
    int sig = WTERMSIG(status);
    if (p.terminated && sig == SIGKILL) return p.terminateCode;
    switch (sig) {
    case SIGSEGV: case SIGBUS: return 0xC0000005;  // access violation
    case SIGILL: return 0xC000001D;                // illegal instruction
    case SIGFPE: return 0xC0000094;                // integer divide by zero
    case SIGABRT: return 3;                        // what abort() exits with
    case SIGINT: return 0xC000013A;                // control-C exit
    default: return 128u + (DWORD)sig;
    }
}

void Reap(void *arg)
{
    Process *p = static_cast<Process *>(arg);  // the reaper's reference
    /* Wait without reaping, so that the pid stays ours (TerminateProcess
     * may still kill it) until the object says it ended. */
    siginfo_t info;
    int r;
    do {
        r = waitid(P_PID, (id_t)p->pid, &info, WEXITED | WNOWAIT);
    } while (r < 0 && errno == EINTR);
    {
        std::lock_guard<std::mutex> hold(DispatcherLock());
        int status = 0;
        pid_t reaped = waitpid(p->pid, &status, WNOHANG);
        DWORD code = reaped == p->pid ? ExitCodeFromStatus(status, *p) : 1;  // reaped elsewhere: unknown
        p->exitCode = code;
        p->ended = true;
        p->WakeWaiters();
        if (p->mainThread) p->mainThread->Finish(code);
    }
    p->Release();
}

bool IsExecutable(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string ProgramDirectory()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = 0;
    char *slash = strrchr(buf, '/');
    if (!slash) return ".";
    *slash = 0;
    return buf[0] ? buf : "/";
}

/* Finds the program the way Windows does, as far as it applies: a path is
 * taken as it is; a bare name is looked for beside the running program,
 * in the current directory, then along PATH. "name.exe" also finds "name"
 * and the other way round. */
bool FindProgram(const std::string &name, std::string *found)
{
    std::vector<std::string> names = {name};
    const std::string exe = ".exe";
    if (name.size() > exe.size() && !strcasecmp(name.c_str() + name.size() - exe.size(), exe.c_str()))
        names.push_back(name.substr(0, name.size() - exe.size()));
    else
        names.push_back(name + exe);

    std::vector<std::string> dirs;
    if (name.find('/') != std::string::npos) {
        dirs.push_back("");
    } else {
        dirs.push_back(ProgramDirectory() + "/");
        dirs.push_back("./");
        const char *path = getenv("PATH");
        std::string all = path ? path : "/usr/local/bin:/usr/bin:/bin";
        size_t start = 0;
        while (start <= all.size()) {
            size_t end = all.find(':', start);
            if (end == std::string::npos) end = all.size();
            std::string dir = all.substr(start, end - start);
            dirs.push_back(dir.empty() ? "./" : dir + "/");
            start = end + 1;
        }
    }
    for (const std::string &dir : dirs)
        for (const std::string &n : names)
            if (IsExecutable(dir + n)) {
                *found = dir + n;
                return true;
            }
    return false;
}

std::vector<std::string> EnvironmentBlock(const char *block)
{
    std::vector<std::string> env;
    for (const char *p = block; *p; p += strlen(p) + 1) env.push_back(p);
    return env;
}

std::vector<char *> Pointers(std::vector<std::string> &strings)
{
    std::vector<char *> v;
    for (std::string &s : strings) v.push_back(&s[0]);
    v.push_back(nullptr);
    return v;
}

Process *g_self = nullptr;

}  // namespace

Waitable *SelfProcessObject()
{
    static std::once_flag once;
    std::call_once(once, [] { g_self = new Process(getpid()); });  // never ends, never freed
    return g_self;
}

}  // namespace k32
}  // namespace kova

using namespace kova::k32;

KOVA_LAYER_API BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                          LPSECURITY_ATTRIBUTES /*lpProcessAttributes*/,
                                          LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, BOOL /*bInheritHandles*/,
                                          DWORD dwCreationFlags, LPVOID lpEnvironment,
                                          LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                                          LPPROCESS_INFORMATION lpProcessInformation)
{
    KOVA_FAULT_POINT("CreateProcessA", BOOL);
    if (!lpStartupInfo || !lpProcessInformation || (!lpApplicationName && !lpCommandLine)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dwCreationFlags & (CREATE_SUSPENDED | DEBUG_PROCESS)) {
        SetLastError(ERROR_NOT_SUPPORTED);  // a child cannot be held before its first instruction
        return FALSE;
    }
    std::vector<std::string> args = SplitCommandLine(lpCommandLine);
    std::string program = lpApplicationName ? lpApplicationName : (args.empty() ? "" : args[0]);
    if (args.empty()) args.push_back(program);
    std::string path;
    if (program.empty() || !FindProgram(program, &path)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (lpCurrentDirectory) {
        struct stat st;
        if (stat(lpCurrentDirectory, &st) != 0 || !S_ISDIR(st.st_mode)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
    }
    std::vector<std::string> envStrings;
    std::vector<char *> envp;
    if (lpEnvironment) {
        envStrings = EnvironmentBlock(static_cast<const char *>(lpEnvironment));
        envp = Pointers(envStrings);
    }
    std::vector<char *> argv = Pointers(args);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (lpCurrentDirectory) posix_spawn_file_actions_addchdir_np(&actions, lpCurrentDirectory);
    pid_t pid = 0;
    int err = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), lpEnvironment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        SetLastError(err == ENOENT ? ERROR_FILE_NOT_FOUND : err == EACCES ? ERROR_ACCESS_DENIED
                                                                          : ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }

    Process *p = new Process(pid);
    p->mainThread = Ref<Thread>::Adopt(new Thread);
    p->mainThread->tid = (DWORD)pid;  // a process's first thread has the process's id
    HANDLE hProcess = InsertHandle(p);
    HANDLE hThread = InsertHandle(p->mainThread.get());
    p->AddRef();  // the reaper's
    if (!StartHelperThread(Reap, p)) {
        /* Without a reaper nobody learns of the child's end: wait for it here. */
        kill(pid, SIGKILL);
        Reap(p);
    }
    p->Release();
    if (!hProcess || !hThread) {
        if (hProcess) CloseHandle(hProcess);
        if (hThread) CloseHandle(hThread);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    lpProcessInformation->hProcess = hProcess;
    lpProcessInformation->hThread = hThread;
    lpProcessInformation->dwProcessId = (DWORD)pid;
    lpProcessInformation->dwThreadId = (DWORD)pid;
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    Ref<Process> p = LookupAs<Process>(hProcess, Kind::Process);
    if (!p) return FALSE;
    if (!lpExitCode) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(DispatcherLock());
    *lpExitCode = p->ended ? p->exitCode : STILL_ACTIVE;
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode)
{
    Ref<Process> p = LookupAs<Process>(hProcess, Kind::Process);
    if (!p) return FALSE;
    if (p.get() == SelfProcessObject()) {
        fflush(nullptr);
        _exit((int)uExitCode);
    }
    std::lock_guard<std::mutex> hold(DispatcherLock());
    if (p->ended) {
        SetLastError(ERROR_ACCESS_DENIED);  // as Windows answers for a process that has exited
        return FALSE;
    }
    if (!p->terminated) {
        p->terminated = true;
        p->terminateCode = uExitCode;
    }
    kill(p->pid, SIGKILL);  // the child is not reaped before the reaper runs: the pid is still ours
    return TRUE;
}

KOVA_LAYER_API VOID WINAPI ExitProcess(UINT uExitCode)
{
    exit((int)uExitCode);
}

KOVA_LAYER_API HANDLE WINAPI GetCurrentProcess(void)
{
    return KOVA_PSEUDO_PROCESS;
}

KOVA_LAYER_API DWORD WINAPI GetCurrentProcessId(void)
{
    return (DWORD)getpid();
}

KOVA_LAYER_API DWORD WINAPI GetProcessId(HANDLE Process)
{
    Ref<kova::k32::Process> p = LookupAs<kova::k32::Process>(Process, Kind::Process);
    return p ? (DWORD)p->pid : 0;
}

KOVA_LAYER_API LPSTR WINAPI GetCommandLineA(void)
{
    static std::string *line = [] {
        std::vector<std::string> args;
        FILE *f = fopen("/proc/self/cmdline", "rb");
        if (f) {
            std::string all;
            char buf[4096];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, f)) > 0) all.append(buf, n);
            fclose(f);
            size_t start = 0;
            while (start < all.size()) {
                size_t end = all.find('\0', start);
                if (end == std::string::npos) end = all.size();
                args.push_back(all.substr(start, end - start));
                start = end + 1;
            }
        }
        return new std::string(JoinCommandLine(args));
    }();
    return &(*line)[0];
}

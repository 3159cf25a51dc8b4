// The diagnostics log as a client sees it. Each test copies this program into
// a fresh directory and runs the copy as a host that calls only the exported
// functions; the log must appear in log/ beside that copy.
#include "KovaDecoder.h"
#include "LogFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;
#endif

namespace fs = std::filesystem;

namespace {

const char kHostVariable[] = "KOVA_LOG_TEST_HOST";
const size_t kLimit = 5242880;
const std::regex &kLineRe = logfile::LinePattern();
const char kEnable[] = "**********Enable log**********";
const char kDisable[] = "**********Disable log**********";
const char kRelease[] = "**********Release log**********";

// ---- The host side: runs instead of the tests when the variable is set. ----

int RunHost(const std::string &scenario, const std::vector<long> &args)
{
    if (scenario == "before") {
        // Every switch before set-up: nothing may appear.
        KOVA_EnableLog(1);
        KOVA_EnableLog(0);
        KOVA_ReleaseLog();
        return 0;
    }
    if (scenario == "session") {
        LONG first = KOVA_InitializeLog();
        KOVA_EnableLog(0);
        KOVA_EnableLog(1);
        KOVA_ReleaseLog();
        KOVA_EnableLog(1); // released: not written
        LONG second = KOVA_InitializeLog();
        KOVA_EnableLog(1);
        KOVA_ReleaseLog();
        return first && second ? 0 : 3;
    }
    if (scenario == "unknown-type") {
        // A client binding a pane for a stream type outside the routing
        // table: the library itself reports it through its log.
        if (!KOVA_InitializeLog()) return 3;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "KovaLogHostPane";
        RegisterClassA(&wc);
        HWND pane = CreateWindowExA(0, "KovaLogHostPane", "pane", WS_OVERLAPPEDWINDOW, 0, 0, 352, 288, nullptr,
                                    nullptr, nullptr, nullptr);
        if (!pane) return 4;
        KOVA_HANDLE h = KOVA_CreateInstance(0, 500);
        if (!h) return 5;
        KOVA_InitPlayInstance(h, pane);
        KOVA_ReleaseInstance(h);
        DestroyWindow(pane);
        KOVA_ReleaseLog();
        return 0;
    }
    if (scenario == "lines" && args.size() == 1) {
        if (!KOVA_InitializeLog()) return 3;
        for (long i = 0; i < args[0]; ++i) KOVA_EnableLog(1);
        return 0;
    }
    if (scenario == "threads" && args.size() == 2) {
        if (!KOVA_InitializeLog()) return 3;
        std::vector<std::thread> pool;
        for (long t = 0; t < args[0]; ++t)
            pool.emplace_back([n = args[1]] {
                for (long i = 0; i < n; ++i) KOVA_EnableLog(1);
            });
        for (auto &th : pool) th.join();
        return 0;
    }
    return 2;
}

__attribute__((constructor)) void HostEntry()
{
    const char *request = getenv(kHostVariable);
    if (!request) return;
    std::vector<std::string> words;
    for (const char *p = request; *p;) {
        const char *end = strchr(p, ' ');
        words.emplace_back(p, end ? end : p + strlen(p));
        p = end ? end + 1 : p + strlen(p);
    }
    std::vector<long> args;
    for (size_t i = 1; i < words.size(); ++i) args.push_back(strtol(words[i].c_str(), nullptr, 10));
    int code = words.empty() ? 2 : RunHost(words[0], args);
    fflush(stdout);
    _exit(code);
}

// ---- The test side. ----

using logfile::Message;
using logfile::Names;
using logfile::ReadLines;
using logfile::RotatedNames;

#ifdef _WIN32
using Process = HANDLE;
#else
using Process = pid_t;
#endif

bool Started(Process p)
{
#ifdef _WIN32
    return p != nullptr;
#else
    return p > 0;
#endif
}

class LogHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = logfile::MakeTemporaryDirectory("kova-log-host-");
        ASSERT_FALSE(dir_.empty());
    }

    void TearDown() override
    {
#ifndef _WIN32
        for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
#endif
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Copies this program into `where` as the host.
    static fs::path PlaceHost(const fs::path &where)
    {
        fs::create_directories(where);
#ifdef _WIN32
        // With the DLLs it loads, which Windows looks for beside it.
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, sizeof self);
        fs::path host = where / "kova_log_host.exe";
        fs::copy_file(self, host, fs::copy_options::overwrite_existing);
        for (auto &e : fs::directory_iterator(fs::path(self).parent_path()))
            if (e.path().extension() == ".dll")
                fs::copy_file(e.path(), where / e.path().filename(), fs::copy_options::overwrite_existing);
#else
        fs::path host = where / "kova_log_host";
        fs::copy_file("/proc/self/exe", host, fs::copy_options::overwrite_existing);
        fs::permissions(host, fs::perms::owner_all);
#endif
        return host;
    }

#ifdef _WIN32
    static Process Start(const fs::path &host, const std::string &scenario)
    {
        // The child inherits the variable; nothing else here runs meanwhile.
        SetEnvironmentVariableA(kHostVariable, scenario.c_str());
        std::string command = "\"" + host.string() + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        BOOL created = CreateProcessA(host.string().c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &info);
        SetEnvironmentVariableA(kHostVariable, nullptr);
        if (!created) return nullptr;
        CloseHandle(info.hThread);
        return info.hProcess;
    }

    static int Wait(Process process)
    {
        WaitForSingleObject(process, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        return (int)code;
    }
#else
    static Process Start(const fs::path &host, const std::string &scenario)
    {
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e)
            if (strncmp(*e, kHostVariable, strlen(kHostVariable)) != 0) env.push_back(*e);
        env.push_back(std::string(kHostVariable) + "=" + scenario);
        std::vector<char *> envp;
        for (auto &s : env) envp.push_back(s.data());
        envp.push_back(nullptr);
        std::string path = host.string();
        char *argv[] = {path.data(), nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
        return pid;
    }

    static int Wait(pid_t pid)
    {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
#endif

    static int Run(const fs::path &host, const std::string &scenario)
    {
        Process process = Start(host, scenario);
        return Started(process) ? Wait(process) : -1;
    }

#ifndef _WIN32
    bool MountTmpfs(const fs::path &where, const char *size)
    {
        fs::create_directories(where);
        std::string options = std::string("size=") + size;
        if (mount("kova-log-test", where.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
        mounts_.push_back(where.string());
        return true;
    }
#endif

    // Nine rotated files with old time stamps, as a directory long in use has.
    static void AddOldRotatedFiles(const fs::path &logDir)
    {
        fs::create_directories(logDir);
        for (int i = 0; i < 9; ++i)
            std::ofstream(logDir / ("KvoaDecoder-2013-05-02-14-07-0" + std::to_string(i) + ".log")) << "old\n";
    }

    static void Prefill(const fs::path &file, size_t bytes)
    {
        std::ofstream out(file, std::ios::binary);
        std::string row(99, 'p');
        row += '\n';
        for (size_t n = 0; n + 100 <= bytes; n += 100) out << row;
        if (bytes % 100) out << std::string(bytes % 100 - 1, 'q') << '\n';
    }

    fs::path dir_;
    std::vector<std::string> mounts_;
};

TEST_F(LogHostTest, NothingIsWrittenBeforeInitialize)
{
    fs::path host = PlaceHost(dir_);
    ASSERT_EQ(Run(host, "before"), 0);
    EXPECT_FALSE(fs::exists(dir_ / "log")) << "no directory, no file before set-up";
}

TEST_F(LogHostTest, SessionWritesBannersBesideTheHostAndResumesAfterRelease)
{
    fs::path host = PlaceHost(dir_);
    ASSERT_EQ(Run(host, "session"), 0);
    EXPECT_EQ(Names(dir_ / "log"), std::vector<std::string>{"KvoaDecoder.log"});
    auto lines = ReadLines(dir_ / "log" / "KvoaDecoder.log");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(Message(lines[0]), kDisable);
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(Message(lines[2]), kEnable);
    EXPECT_EQ(Message(lines[3]), kRelease);
    EXPECT_EQ(Message(lines[4]), kEnable) << "set up again, the same file goes on";
    EXPECT_EQ(Message(lines[5]), kRelease);

    // A second run of the host appends to the same file.
    ASSERT_EQ(Run(host, "session"), 0);
    EXPECT_EQ(ReadLines(dir_ / "log" / "KvoaDecoder.log").size(), 12u);
}

TEST_F(LogHostTest, LibraryMessagesLandBesideTheHost)
{
    fs::path host = PlaceHost(dir_ / "client");
    ASSERT_EQ(Run(host, "unknown-type"), 0);
    auto lines = ReadLines(dir_ / "client" / "log" / "KvoaDecoder.log");
    ASSERT_FALSE(lines.empty());
    bool reported = false;
    for (const auto &line : lines) {
        EXPECT_TRUE(std::regex_match(line, kLineRe)) << line;
        reported = reported || Message(line) == "Unknown type. Try KOVA.";
    }
    EXPECT_EQ(Message(lines.back()), kRelease);
    EXPECT_TRUE(reported) << "the unknown stream type was not logged";
}

TEST_F(LogHostTest, RotationAndPruningBesideTheHost)
{
    fs::path host = PlaceHost(dir_);
    fs::path logDir = dir_ / "log";
    AddOldRotatedFiles(logDir);
    const size_t prefill = kLimit - 20; // the first line crosses the limit
    Prefill(logDir / "KvoaDecoder.log", prefill);

    ASSERT_EQ(Run(host, "lines 3"), 0);
    auto rotated = RotatedNames(logDir);
    ASSERT_EQ(rotated.size(), 9u);
    EXPECT_EQ(rotated[0], "KvoaDecoder-2013-05-02-14-07-01.log") << "the oldest rotated file was pruned";
    const std::string &fresh = rotated.back();
    EXPECT_EQ(fresh.compare(0, 14, "KvoaDecoder-20"), 0);
    EXPECT_NE(fresh, "KvoaDecoder-2013-05-02-14-07-08.log");
    size_t rotatedSize = fs::file_size(logDir / fresh);
    EXPECT_GE(rotatedSize, kLimit);
    EXPECT_LT(rotatedSize, kLimit + 100);
    EXPECT_EQ(Message(ReadLines(logDir / fresh).back()), kEnable);
    auto current = ReadLines(logDir / "KvoaDecoder.log");
    ASSERT_EQ(current.size(), 2u);
    EXPECT_EQ(Message(current[0]), kEnable);
    EXPECT_EQ(Names(logDir).size(), 10u) << "ten files of the module";
}

TEST_F(LogHostTest, FreeSpaceGuardOnASmallFileSystem)
{
#ifdef _WIN32
    // The library asks about the drive of the host's executable: a host on
    // a drive with less than 100 MiB free (the Wine lane maps a small tmpfs
    // as one) drops its lines.
    const char *drive = getenv("KOVA_TEST_SMALL_DRIVE");
    if (!drive || !*drive) GTEST_SKIP() << "KOVA_TEST_SMALL_DRIVE names no small drive";
    fs::path small = fs::path(drive) / ("kova-log-host-" + std::to_string(GetCurrentProcessId()));
    fs::path big = dir_ / "big";
    ASSERT_EQ(Run(PlaceHost(small), "lines 5"), 0);
    EXPECT_FALSE(fs::exists(small / "log" / "KvoaDecoder.log"));
    std::error_code ec;
    fs::remove_all(small, ec);

    ASSERT_EQ(Run(PlaceHost(big), "lines 5"), 0);
    EXPECT_EQ(ReadLines(big / "log" / "KvoaDecoder.log").size(), 5u);
#else
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    fs::path small = dir_ / "small", big = dir_ / "big";
    if (!MountTmpfs(small, "16m") || !MountTmpfs(big, "512m"))
        GTEST_SKIP() << "cannot mount a tmpfs: " << strerror(errno);

    // Below 100 MiB free where the host lies: lines are dropped, no error.
    ASSERT_EQ(Run(PlaceHost(small), "lines 5"), 0);
    EXPECT_FALSE(fs::exists(small / "log" / "KvoaDecoder.log"));

    // The same host with room enough writes.
    ASSERT_EQ(Run(PlaceHost(big), "lines 5"), 0);
    EXPECT_EQ(ReadLines(big / "log" / "KvoaDecoder.log").size(), 5u);
#endif
}

TEST_F(LogHostTest, TwoProcessesWithThreadsNeverInterleaveNorLoseLines)
{
    fs::path host = PlaceHost(dir_);
    fs::path logDir = dir_ / "log";
    AddOldRotatedFiles(logDir);
    const size_t prefill = kLimit - 30000; // crossed early in the run
    Prefill(logDir / "KvoaDecoder.log", prefill);

    const int threads = 4, perThread = 1500;
    std::string scenario = "threads " + std::to_string(threads) + " " + std::to_string(perThread);
    Process a = Start(host, scenario), b = Start(host, scenario);
    ASSERT_TRUE(Started(a));
    ASSERT_TRUE(Started(b));
    EXPECT_EQ(Wait(a), 0);
    EXPECT_EQ(Wait(b), 0);

    // Exactly one rotation: the prefilled file plus the lines that crossed.
    auto rotated = RotatedNames(logDir);
    ASSERT_EQ(rotated.size(), 9u);
    EXPECT_EQ(rotated[0], "KvoaDecoder-2013-05-02-14-07-01.log");
    const std::string &fresh = rotated.back();
    size_t rotatedSize = fs::file_size(logDir / fresh);
    EXPECT_GE(rotatedSize, kLimit);
    EXPECT_LT(rotatedSize, kLimit + 100) << "rotated once, right after the limit";

    std::map<std::string, int> perThreadId;
    int total = 0;
    for (const fs::path &file : {logDir / fresh, logDir / "KvoaDecoder.log"}) {
        for (const auto &line : ReadLines(file)) {
            if (line.empty() || line[0] != '[') continue; // the prefill
            std::smatch m;
            ASSERT_TRUE(std::regex_match(line, m, kLineRe)) << line;
            ASSERT_EQ(m[3].str(), kEnable) << line;
            ++perThreadId[m[2].str()];
            ++total;
        }
    }
    EXPECT_EQ(total, 2 * threads * perThread);
    for (auto &kv : perThreadId) EXPECT_EQ(kv.second % perThread, 0) << "thread " << kv.first;
}

} // namespace

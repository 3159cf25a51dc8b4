// The diagnostics log from the inside: line format, rotation, pruning, the
// free-space guard and the switches, each test in a fresh directory that the
// log's paths are pointed at after set-up.
#include "KovaDecoder.h"
#include "support/Log.h"
#include "support/LogState.h"
#include "support/FaultGuard.h"
#include "LogFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <clocale>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>
#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const char kCurrent[] = "KvoaDecoder.log";
// The log writes text files: on Windows each line ends in CR LF.
#ifdef _WIN32
const size_t kEol = 2;
#else
const size_t kEol = 1;
#endif
const std::regex &kLineRe = logfile::LinePattern();

using logfile::MakeTemporaryDirectory;
using logfile::Names;
using logfile::ReadLines;
using logfile::RotatedNames;

std::string Stamp(time_t t, const char *format)
{
    struct tm local;
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    char buf[64];
    strftime(buf, sizeof buf, format, &local);
    return buf;
}

// Bytes a line adds before its message: "[date time] : ThreadID[n] : ".
size_t PrefixLength()
{
    return strlen("[2013-05-02 14:07:09] : ") + (size_t)snprintf(nullptr, 0, "ThreadID[%d] : ", (int)GetCurrentThreadId());
}

void WriteFile(const fs::path &p, const std::string &content)
{
    std::ofstream(p, std::ios::binary) << content;
}

void SleepMilliseconds(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = MakeTemporaryDirectory("kova-log-unit-");
        ASSERT_FALSE(dir_.empty());
        // Set-up makes log/ beside this program (left there, empty: tests in
        // other processes may be checking it); the tests write elsewhere.
        ASSERT_NE(KOVA_InitializeLog(), 0);
        PointAt(dir_);
    }

    void TearDown() override
    {
        KOVA_ReleaseLog();
        logEnabled = 0;
        logSizeLimit = kLogDefaultSizeLimit;
        logFileCount = kLogDefaultFileCount;
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Points the set-up log at `d`: files in d, free space asked of d.
    static void PointAt(const fs::path &d)
    {
        std::lock_guard<std::mutex> guard(logStateLock);
        std::string directory = d.string() + KOVA_LOG_SEP;
        std::string file = directory + moduleName + ".log";
        snprintf(logDirectory, sizeof logDirectory, "%s", directory.c_str());
        snprintf(logFilePath, sizeof logFilePath, "%s", file.c_str());
        snprintf(logDrive, sizeof logDrive, "%s", d.string().c_str());
    }

    fs::path Current() const { return dir_ / kCurrent; }

    fs::path dir_;
};

TEST_F(LogTest, SetUpPutsTheFilesInLogBesideTheExecutable)
{
    HANDLE mutexBefore = logMutex;
    ASSERT_NE(InitLog("KvoaDecoder"), 0);
    std::string exeDir = logfile::ProgramPath().parent_path().string() + KOVA_LOG_SEP;
    const std::string logDir = exeDir + "log" KOVA_LOG_SEP;
    EXPECT_EQ(std::string(logDirectory), logDir);
    EXPECT_EQ(std::string(logFilePath), logDir + "KvoaDecoder.log");
#ifdef _WIN32
    // The free-space guard asks about the executable's drive.
    EXPECT_EQ(std::string(logDrive), exeDir.substr(0, 2));
#else
    EXPECT_EQ(std::string(logDrive), exeDir);
#endif
    EXPECT_TRUE(fs::is_directory(exeDir + "log"));
    EXPECT_EQ(logMutex, mutexBefore) << "set-up again keeps the mutex";

    // 63 characters are a module name; 64 are refused and change nothing.
    std::string longest(63, 'm'), tooLong(64, 'm');
    EXPECT_EQ(InitLog(tooLong.c_str()), 0);
    EXPECT_STREQ(moduleName, "KvoaDecoder");
    EXPECT_EQ(std::string(logFilePath), logDir + "KvoaDecoder.log");
    ASSERT_NE(InitLog(longest.c_str()), 0);
    EXPECT_EQ(std::string(logFilePath), logDir + longest + ".log");
    EXPECT_EQ(InitLog(nullptr), 0);
    ASSERT_NE(InitLog("KvoaDecoder"), 0);
}

TEST_F(LogTest, LineHasTimeThreadAndMessage)
{
    time_t before = time(nullptr);
    EXPECT_EQ(WriteLog("Unknown type. Try KOVA."), 1);
    EXPECT_EQ(WriteLog("%s=%d, %05.1f%%", "value", -42, 3.25), 1);
    time_t after = time(nullptr);

    auto lines = ReadLines(Current());
    ASSERT_EQ(lines.size(), 2u);
    std::string tid = std::to_string((int)GetCurrentThreadId());
    const char *messages[] = {"Unknown type. Try KOVA.", "value=-42, 003.2%"};
    for (size_t i = 0; i < 2; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kLineRe)) << lines[i];
        std::string t = m[1];
        // Fixed-width stamps order as text the way they order in time.
        EXPECT_TRUE(t >= Stamp(before, "%Y-%m-%d %H:%M:%S") && t <= Stamp(after, "%Y-%m-%d %H:%M:%S")) << t;
        EXPECT_EQ(m[2].str(), tid);
        EXPECT_EQ(m[3].str(), messages[i]);
    }
    std::ifstream in(Current(), std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all.back(), '\n');
}

// True when the process locale's "%X" is not the C locale's 24-hour time.
bool TimeFormatDiffersFromC()
{
    struct tm afternoon = {};
    afternoon.tm_hour = 14;
    afternoon.tm_min = 7;
    afternoon.tm_sec = 9;
    char buf[64];
    strftime(buf, sizeof buf, "%X", &afternoon);
    return strcmp(buf, "14:07:09") != 0;
}

TEST_F(LogTest, TimeFormatIgnoresTheProcessLocale)
{
    std::string saved = setlocale(LC_ALL, nullptr);
    bool chosen = false;
#ifdef _WIN32
    const char *candidates[] = {"English_United States.1252", "en-US", "English"};
#else
    const char *candidates[] = {"en_US.UTF-8", "en_US.utf8", "en_GB.UTF-8"};
#endif
    for (const char *c : candidates)
        if (setlocale(LC_ALL, c) && TimeFormatDiffersFromC()) {
            chosen = true;
            break;
        }
#ifndef _WIN32
    if (!chosen) {
        // Build a 12-hour locale from the system's locale sources.
        std::string cmd = "localedef -i en_US -f UTF-8 '" + (dir_ / "locales" / "en_US.UTF-8").string() +
                          "' >/dev/null 2>&1";
        fs::create_directory(dir_ / "locales");
        if (system(cmd.c_str()) == 0) {
            setenv("LOCPATH", (dir_ / "locales").c_str(), 1);
            chosen = setlocale(LC_ALL, "en_US.UTF-8") && TimeFormatDiffersFromC();
            unsetenv("LOCPATH");
        }
    }
#endif
    if (!chosen) {
        setlocale(LC_ALL, saved.c_str());
        GTEST_SKIP() << "no locale with a 12-hour time format could be set (locale sources missing?)";
    }
    WriteLog("in a 12-hour locale");
    setlocale(LC_ALL, saved.c_str());
    auto lines = ReadLines(Current());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(lines[0], kLineRe)) << lines[0];
}

TEST_F(LogTest, NothingIsWrittenWhileDisabledOrNotSetUp)
{
    logEnabled = 0;
    EXPECT_EQ(WriteLog("disabled"), 0);
    EXPECT_FALSE(fs::exists(Current()));

    logEnabled = 1;
    KOVA_ReleaseLog(); // writes its banner, then closes the mutex
    EXPECT_EQ(logMutex, nullptr);
    EXPECT_EQ(logEnabled.load(), 1) << "release leaves the switch as it was";
    EXPECT_EQ(WriteLog("released"), 0);
    auto lines = ReadLines(Current());
    ASSERT_EQ(lines.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLineRe));
    EXPECT_EQ(m[3].str(), "**********Release log**********");

    // A second release and lines afterwards are harmless.
    KOVA_ReleaseLog();
    EXPECT_EQ(ReadLines(Current()).size(), 1u);
}

TEST_F(LogTest, EnableAndDisableBanners)
{
    KOVA_EnableLog(0);
    EXPECT_EQ(logEnabled.load(), 0);
    EXPECT_EQ(WriteLog("while disabled"), 0);
    KOVA_EnableLog(0); // already off: no banner
    KOVA_EnableLog(7);
    EXPECT_EQ(logEnabled.load(), 7);
    WriteLog("after");

    auto lines = ReadLines(Current());
    ASSERT_EQ(lines.size(), 4u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLineRe));
    EXPECT_EQ(m[3].str(), "**********Disable log**********");
    EXPECT_EQ(lines[1], "") << "the disable banner carries its own line break";
    ASSERT_TRUE(std::regex_match(lines[2], m, kLineRe));
    EXPECT_EQ(m[3].str(), "**********Enable log**********");
    ASSERT_TRUE(std::regex_match(lines[3], m, kLineRe));
    EXPECT_EQ(m[3].str(), "after");
}

TEST_F(LogTest, RotatesWhenALineReachesExactlyTheLimit)
{
    const size_t limit = 5242880;
    const size_t prefix = PrefixLength();

    // One byte short: stays.
    std::string message(limit - 1 - prefix - kEol, 'a');
    WriteLog("%s", message.c_str());
    ASSERT_TRUE(fs::exists(Current()));
    EXPECT_EQ(fs::file_size(Current()), limit - 1);
    EXPECT_TRUE(RotatedNames(dir_).empty());

    // Any further line crosses it: rotated under the time of that line.
    time_t before = time(nullptr);
    WriteLog("b");
    time_t after = time(nullptr);
    EXPECT_FALSE(fs::exists(Current()));
    auto rotated = RotatedNames(dir_);
    ASSERT_EQ(rotated.size(), 1u);
    std::string stampBefore = "KvoaDecoder-" + Stamp(before, "%Y-%m-%d-%H-%M-%S") + ".log";
    std::string stampAfter = "KvoaDecoder-" + Stamp(after, "%Y-%m-%d-%H-%M-%S") + ".log";
    EXPECT_TRUE(rotated[0] >= stampBefore && rotated[0] <= stampAfter) << rotated[0];
    EXPECT_EQ(fs::file_size(dir_ / rotated[0]), limit - 1 + prefix + 1 + kEol);

    // The next line starts a new current file.
    WriteLog("fresh");
    auto lines = ReadLines(Current());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("fresh"), std::string::npos);

    // A single line of exactly the limit rotates at once.
    fs::path second = dir_ / "exact";
    fs::create_directory(second);
    PointAt(second);
    std::string exact(limit - prefix - kEol, 'c');
    WriteLog("%s", exact.c_str());
    EXPECT_FALSE(fs::exists(second / kCurrent));
    rotated = RotatedNames(second);
    ASSERT_EQ(rotated.size(), 1u);
    EXPECT_EQ(fs::file_size(second / rotated[0]), limit);
}

TEST_F(LogTest, PruningKeepsTenFilesOfTheModule)
{
    for (int i = 0; i < 9; ++i) WriteFile(dir_ / ("KvoaDecoder-2013-05-02-14-07-0" + std::to_string(i) + ".log"), "old");
    fs::create_directory(dir_ / "KvoaDecoder-0000.log"); // a directory is neither counted nor deleted
    WriteFile(dir_ / "Other-0000.log", "another module");
    WriteFile(Current(), std::string(5242880 - 10, 'p'));

    WriteLog("rotate now");
    EXPECT_FALSE(fs::exists(Current()));
    EXPECT_FALSE(fs::exists(dir_ / "KvoaDecoder-2013-05-02-14-07-00.log")) << "the oldest goes";
    EXPECT_TRUE(fs::exists(dir_ / "KvoaDecoder-2013-05-02-14-07-01.log"));
    EXPECT_TRUE(fs::is_directory(dir_ / "KvoaDecoder-0000.log"));
    EXPECT_TRUE(fs::exists(dir_ / "Other-0000.log"));
    EXPECT_EQ(RotatedNames(dir_).size(), 9u);

    WriteLog("next");
    EXPECT_TRUE(fs::exists(Current()));
    EXPECT_EQ(RotatedNames(dir_).size() + 1, 10u) << "nine rotated files and the current one";
}

TEST_F(LogTest, PruningDeletesAtMostOneFileAndOnlyAboveOneFile)
{
    for (int i = 0; i < 9; ++i) WriteFile(dir_ / ("KvoaDecoder-2013-05-02-14-07-0" + std::to_string(i) + ".log"), "old");

    // A count of 1 turns pruning off.
    logFileCount = 1;
    WriteFile(Current(), std::string(5242880, 'p'));
    WriteLog("rotate without pruning");
    EXPECT_EQ(RotatedNames(dir_).size(), 10u);

    // Far above the count, one rotation still deletes only the oldest.
    logFileCount = 3;
    fs::path other = dir_ / "three";
    fs::create_directory(other);
    for (int i = 0; i < 9; ++i) WriteFile(other / ("KvoaDecoder-2013-05-02-14-07-0" + std::to_string(i) + ".log"), "old");
    PointAt(other);
    WriteFile(other / kCurrent, std::string(5242880, 'p'));
    WriteLog("rotate with pruning");
    auto rotated = RotatedNames(other);
    EXPECT_EQ(rotated.size(), 9u);
    EXPECT_EQ(rotated[0], "KvoaDecoder-2013-05-02-14-07-01.log");
}

TEST_F(LogTest, SecondRotationInTheSameSecondLeavesTheFileGrowing)
{
    // Files already holding the rotated names of the next few seconds make
    // every rename fail, as a second rotation within one second does.
    time_t now = time(nullptr);
    std::vector<fs::path> blockers;
    for (int s = -1; s <= 4; ++s) {
        blockers.push_back(dir_ / ("KvoaDecoder-" + Stamp(now + s, "%Y-%m-%d-%H-%M-%S") + ".log"));
        WriteFile(blockers.back(), "blocker");
    }
    std::string big(5242880, 'g');
    WriteLog("%s", big.c_str());
    WriteLog("second line");
    ASSERT_LE(time(nullptr), now + 4) << "too slow for the blockers to cover";
    ASSERT_TRUE(fs::exists(Current()));
    size_t grown = fs::file_size(Current());
    EXPECT_GT(grown, 5242880u);
    for (auto &b : blockers) EXPECT_EQ(fs::file_size(b), 7u) << "a blocker was replaced";

    for (auto &b : blockers) fs::remove(b);
    WriteLog("third line");
    EXPECT_FALSE(fs::exists(Current()));
    auto rotated = RotatedNames(dir_);
    ASSERT_EQ(rotated.size(), 1u);
    auto lines = ReadLines(dir_ / rotated[0]);
    ASSERT_EQ(lines.size(), 3u) << "the rotated file holds every line";
    EXPECT_NE(lines[1].find("second line"), std::string::npos);
    EXPECT_NE(lines[2].find("third line"), std::string::npos);
}

TEST_F(LogTest, TwoRotationsWithinOneSecondForReal)
{
    std::string big(5242880, 'r');
    for (int attempt = 0; attempt < 5; ++attempt) {
        fs::path d = dir_ / ("try" + std::to_string(attempt));
        fs::create_directory(d);
        PointAt(d);
        // Start just after a second begins so both rotations share it.
        time_t start = time(nullptr);
        while (time(nullptr) == start) SleepMilliseconds(2);
        time_t first = time(nullptr);
        WriteLog("%s", big.c_str());
        WriteLog("%s", big.c_str());
        if (time(nullptr) != first) continue;
        EXPECT_EQ(RotatedNames(d).size(), 1u);
        ASSERT_TRUE(fs::exists(d / kCurrent)) << "the second rename failed, the current file stays";
        EXPECT_GE(fs::file_size(d / kCurrent), 5242880u);
        // In a later second the next line rotates it.
        while (time(nullptr) == first) SleepMilliseconds(20);
        WriteLog("later");
        EXPECT_FALSE(fs::exists(d / kCurrent));
        EXPECT_EQ(RotatedNames(d).size(), 2u);
        return;
    }
    GTEST_SKIP() << "could not fit two rotations into one second";
}

TEST_F(LogTest, FailedFreeSpaceQueryDoesNotStopWriting)
{
    {
        std::lock_guard<std::mutex> guard(logStateLock);
        snprintf(logDrive, sizeof logDrive, "%s", "/no/such/drive/here");
    }
    EXPECT_EQ(WriteLog("still written"), 1);
    EXPECT_EQ(ReadLines(Current()).size(), 1u);
}

TEST_F(LogTest, LowFreeSpaceDropsLinesUntilSpaceReturns)
{
#ifdef _WIN32
    // A drive with less than 100 MiB free, when the runner has one (the
    // Wine lane maps a small tmpfs as a drive).
    const char *small = getenv("KOVA_TEST_SMALL_DRIVE");
    if (!small || !*small) GTEST_SKIP() << "KOVA_TEST_SMALL_DRIVE names no small drive";
    {
        std::lock_guard<std::mutex> guard(logStateLock);
        snprintf(logDrive, sizeof logDrive, "%s", small);
    }
    EXPECT_EQ(WriteLog("dropped"), 0);
    EXPECT_FALSE(fs::exists(Current()));
    {
        std::lock_guard<std::mutex> guard(logStateLock);
        snprintf(logDrive, sizeof logDrive, "%s", dir_.string().c_str());
    }
    EXPECT_EQ(WriteLog("written"), 1);
    auto lines = ReadLines(Current());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("written"), std::string::npos);
#else
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    fs::path drive = dir_ / "drive";
    fs::create_directory(drive);
    if (mount("kova-log-test", drive.c_str(), "tmpfs", 0, "size=16m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs: " << strerror(errno);
    {
        std::lock_guard<std::mutex> guard(logStateLock);
        snprintf(logDrive, sizeof logDrive, "%s", drive.c_str());
    }
    EXPECT_EQ(WriteLog("dropped"), 0);
    EXPECT_FALSE(fs::exists(Current()));
    ASSERT_EQ(umount(drive.c_str()), 0);
    // The same directory now lies on the big file system again.
    EXPECT_EQ(WriteLog("written"), 1);
    auto lines = ReadLines(Current());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("written"), std::string::npos);
#endif
}

TEST_F(LogTest, ReadOnlyCurrentFileIsMadeWritableAgain)
{
    WriteLog("first");
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA(Current().string().c_str(), FILE_ATTRIBUTE_READONLY));
    WriteLog("second");
    DWORD attributes = GetFileAttributesA(Current().string().c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);
#else
    ASSERT_EQ(chmod(Current().c_str(), 0444), 0);
    WriteLog("second");
    struct stat st;
    ASSERT_EQ(stat(Current().c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
#endif
    EXPECT_EQ(ReadLines(Current()).size(), 2u);
}

TEST_F(LogTest, CallersLastErrorSurvivesALine)
{
    SetLastError(1234);
    WriteLog("line");
    EXPECT_EQ(GetLastError(), 1234u);
    logEnabled = 0;
    SetLastError(4321);
    WriteLog("no line");
    EXPECT_EQ(GetLastError(), 4321u);
}

// Nothing a line does can leave later lines waiting for good: a line whose
// argument faults (caught by a guard around the caller) holds no lock
// afterwards, and a named mutex that another holder never lets go costs a
// line after a bounded wait, not the thread.
TEST_F(LogTest, NoLineWaitsForeverForTheLock)
{
    const char *wild = reinterpret_cast<const char *>(16);
    EXPECT_FALSE(kova::RunGuarded([&] { WriteLog("faulting %s", wild); }));
    auto later = std::async(std::launch::async, [] { WriteLog("after the fault"); });
    ASSERT_EQ(later.wait_for(std::chrono::seconds(20)), std::future_status::ready);

    std::promise<void> held, letGo;
    std::thread holder([&] {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, "KvoaDecoder");
        WaitForSingleObject(mutex, INFINITE);
        held.set_value();
        letGo.get_future().wait();
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    held.get_future().wait();
    const auto start = std::chrono::steady_clock::now();
    auto dropped = std::async(std::launch::async, [] { WriteLog("dropped"); });
    const bool gaveUp = dropped.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    const auto waited = std::chrono::steady_clock::now() - start;
    letGo.set_value();
    holder.join();
    ASSERT_TRUE(gaveUp);
    EXPECT_GE(waited, std::chrono::milliseconds(kLogWaitMs - 100));
    WriteLog("written again");

    std::vector<std::string> messages;
    for (const std::string &line : ReadLines(Current()))
        messages.push_back(line.substr(line.rfind(" : ") + 3));
    EXPECT_EQ(messages, std::vector<std::string>({"after the fault", "written again"}));
}

TEST_F(LogTest, ConcurrentThreadsWriteWholeLinesAcrossRotations)
{
    logSizeLimit = 200 * 1024; // rotate often...
    logFileCount = 1000;       // ...but never prune: every line must be found
    const int threads = 6, perThread = 400;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([t] {
            for (int i = 0; i < perThread; ++i) {
                std::string payload((size_t)((t * 131 + i * 17) % 700), (char)('a' + t));
                WriteLog("T%d L%d %s", t, i, payload.c_str());
            }
        });
    for (auto &th : pool) th.join();

    std::map<std::pair<int, int>, int> seen;
    const std::regex msgRe(R"(T(\d+) L(\d+) ([a-z]*))");
    size_t files = 0;
    for (auto &name : Names(dir_)) {
        ++files;
        for (auto &line : ReadLines(dir_ / name)) {
            std::smatch m, mm;
            ASSERT_TRUE(std::regex_match(line, m, kLineRe)) << name << ": " << line.substr(0, 80);
            std::string msg = m[3];
            ASSERT_TRUE(std::regex_match(msg, mm, msgRe)) << msg.substr(0, 80);
            int t = std::stoi(mm[1]), i = std::stoi(mm[2]);
            EXPECT_EQ(mm[3].length(), (size_t)((t * 131 + i * 17) % 700));
            EXPECT_EQ(mm[3].str().find_first_not_of((char)('a' + t)), std::string::npos);
            ++seen[{t, i}];
        }
    }
    EXPECT_EQ(seen.size(), (size_t)(threads * perThread));
    for (auto &kv : seen) EXPECT_EQ(kv.second, 1) << "T" << kv.first.first << " L" << kv.first.second;
    EXPECT_GE(files, 2u) << "the limit was crossed, at least one rotation expected";
}

} // namespace

// kova-play.exe as a Windows user runs it: two clips on a wall of four for
// a few seconds, then a screenshot of the wall taken with GDI. Both panes
// must show their clip's two colours, the library must have opened a
// decoder for each, and its log must hold no error line.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "LogFile.h"
#include "kova_play_clips.h"

namespace {

using namespace kovaplaytest;

const std::string kPlayer = KOVA_PLAY_PROGRAM;
const std::string kSamples = KOVA_PLAY_SAMPLE_DIR;
const std::string kWork = KOVA_PLAY_WORK_DIR;
constexpr DWORD kRunLimitMs = 120000;

struct PlayRun {
    DWORD status = DWORD(-1);
    std::string out, err;
};

HANDLE Inheritable(const std::string &path, bool write)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

/* Runs the player with `args` in the work folder, its output kept. */
PlayRun Play(const std::string &args)
{
    CreateDirectoryA(kWork.c_str(), nullptr);
    const std::string out = kWork + "\\play.out", err = kWork + "\\play.err";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Inheritable("NUL", false);
    startup.hStdOutput = Inheritable(out, true);
    startup.hStdError = Inheritable(err, true);
    std::string command = "\"" + kPlayer + "\" --headless --no-keys --status 1 " + args;
    PROCESS_INFORMATION process = {};
    PlayRun run;
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, kWork.c_str(), &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, kRunLimitMs) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 9);
        GetExitCodeProcess(process.hProcess, &run.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    run.out = logfile::TextFrom(out);
    run.err = logfile::TextFrom(err);
    return run;
}

/* A 24-bit BMP, as the player writes it. */
bool ReadBmp(const std::string &path, Picture &picture)
{
    const std::string file = logfile::TextFrom(path);
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return false;
    auto u32 = [&](size_t at) { return uint32_t(uint8_t(file[at])) | uint32_t(uint8_t(file[at + 1])) << 8 |
                                       uint32_t(uint8_t(file[at + 2])) << 16 | uint32_t(uint8_t(file[at + 3])) << 24; };
    const uint32_t offset = u32(10);
    const int width = int(u32(18)), height = int(u32(22));
    if (uint8_t(file[28]) != 24 || width <= 0 || height == 0) return false;
    const bool bottomUp = height > 0;
    picture.width = width;
    picture.height = bottomUp ? height : -height;
    const size_t pitch = (size_t(width) * 3 + 3) & ~size_t(3);
    if (file.size() < offset + pitch * picture.height) return false;
    picture.rgb.resize(size_t(width) * picture.height * 3);
    for (int y = 0; y < picture.height; ++y) {
        const char *row = &file[offset + pitch * size_t(bottomUp ? picture.height - 1 - y : y)];
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) picture.rgb[(size_t(y) * width + x) * 3 + c] = uint8_t(row[x * 3 + 2 - c]);
    }
    return true;
}

TEST(KovaPlayOnWindows, TwoClipsShowTheirColoursAndTheLogHasNoError)
{
    const logfile::fs::path log = logfile::LogBeside(kPlayer);
    const std::streamoff logStart = logfile::Size(log);
    const std::string shot = kWork + "\\wall.bmp";
    DeleteFileA(shot.c_str());
    const PlayRun run = Play("--grid 4 --duration 4 --screenshot \"" + shot + "\" \"" + kSamples + "\\" +
                             kClips[0].file + "\" \"" + kSamples + "\\" + kClips[1].file + "\"");
    ASSERT_EQ(run.status, 0u) << run.out << run.err;
    EXPECT_NE(run.out.find("screenshot: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("> pane 1 "), std::string::npos) << "status lines on the console: " << run.out;
    const std::vector<PaneRect> panes = PanesOf(run.out);
    ASSERT_EQ(panes.size(), 2u) << run.out;
    Picture picture;
    ASSERT_TRUE(ReadBmp(shot, picture)) << shot;
    for (int i = 0; i < 2; ++i) EXPECT_EQ(WrongColours(picture, panes[i], kClips[i]), "") << "pane " << i + 1;

    int opened = 0;
    for (const std::string &line : logfile::ReadLines(log, logStart)) {
        EXPECT_FALSE(IsErrorLine(line)) << "error line in the log: " << line;
        if (line.find("QXOpenDecoder return 0") != std::string::npos) ++opened;
    }
    EXPECT_GE(opened, 2) << "a decoder opened for each pane";
}

}  // namespace

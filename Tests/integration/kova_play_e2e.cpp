// End to end: kova-play, run headless over generated sample recordings as a
// person would run it, must show every clip's two colours in its pane of the
// saved screenshot and leave no error line in the library's log.
#include <gtest/gtest.h>
#include <dirent.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "kova_play_clips.h"

namespace {

using namespace kovaplaytest;

const std::string kPlayer = KOVA_PLAY_PROGRAM;
const std::string kSamples = KOVA_PLAY_SAMPLE_DIR;
const std::string kGenerator = KOVA_PLAY_GENERATOR;
const std::string kWork = KOVA_PLAY_WORK_DIR;
const std::string kVendorMaker = KOVA_PLAY_VENDOR_MAKER;  /* empty where the tests' sample maker is not built */
const char kVendorClip[] = "cam6-vendor.hik";

const Rgb kFailedPane = {96, 0, 0};
/* The vendor sample's quadrants: top left, top right, bottom left, bottom right. */
const Rgb kVendorQuadrants[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

struct PlayRun {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

/* Runs kova-play headless with `args`; its output is kept. */
PlayRun Play(const std::string &args)
{
    const std::string tag = std::to_string(getpid());
    const std::string out = kWork + "/play-" + tag + ".out", err = kWork + "/play-" + tag + ".err";
    const std::string command = "cd '" + kWork + "' && env -u DISPLAY -u KOVA_VIEWER -u KOVA_DESKTOP '" + kPlayer +
                                "' --headless --no-keys --status 1 " + args + " >'" + out + "' 2>'" + err + "' </dev/null";
    PlayRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = Slurp(out);
    run.err = Slurp(err);
    return run;
}

bool ReadPng(const std::string &path, Picture &picture)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    picture.width = int(image.width);
    picture.height = int(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

/* The log beside the player, and where the lines of this test's run start. */
std::string LogPath() { return kPlayer.substr(0, kPlayer.rfind('/')) + "/log/KvoaDecoder.log"; }

std::vector<std::string> LogLinesFrom(std::streamoff start)
{
    std::vector<std::string> lines;
    std::ifstream in(LogPath(), std::ios::binary);
    in.seekg(start);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::streamoff LogEnd()
{
    struct stat st;
    return ::stat(LogPath().c_str(), &st) == 0 ? std::streamoff(st.st_size) : 0;
}

const char kNoOutput[] = "Display err. Call ZR_VO_DrawYUV fail with a1888032";

/* Why the pictures cannot be checked in this build, or empty. */
std::string NoPicturesReason(const std::vector<std::string> &log)
{
    for (const std::string &line : log)
        if (line.find(kNoOutput) != std::string::npos)
            return "the library has no video output yet (every picture is logged as not drawn)";
    for (const std::string &line : log)
        if (line.find("QXOpenDecoder") != std::string::npos) return "";
    return "the library's standard-stream decoder is not in this build (no decoder was opened)";
}

/* Every error line of the run. */
void ExpectNoErrorLines(const std::vector<std::string> &log)
{
    for (const std::string &line : log)
        EXPECT_FALSE(IsErrorLine(line)) << "error line in the log: " << line;
}

class KovaPlay : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::mkdir(kWork.c_str(), 0755);
        const std::string command = "KOVA_SAMPLE_SECONDS=3 KOVA_VENDOR_SAMPLE_MAKER='" + kVendorMaker + "' bash '" +
                                    kGenerator + "' '" + kSamples + "' >/dev/null";
        generated_ = std::system("command -v ffmpeg >/dev/null") == 0 && std::system(command.c_str()) == 0;
    }
    void SetUp() override
    {
        ASSERT_TRUE(generated_) << "the samples could not be made (is ffmpeg installed?)";
    }
    static std::string Sample(int i) { return "'" + kSamples + "/" + kClips[i].file + "'"; }
    static bool generated_;
};
bool KovaPlay::generated_ = false;

TEST_F(KovaPlay, WallOfFourShowsEveryClipAndLogsNoError)
{
    const std::streamoff logStart = LogEnd();
    const std::string shot = kWork + "/wall.png";
    std::remove(shot.c_str());
    const PlayRun run = Play("--duration 4 --screenshot '" + shot + "' " + Sample(0) + " " + Sample(1) + " " + Sample(2) +
                         " " + Sample(3));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("screenshot: " + shot), std::string::npos) << run.out;
    const std::vector<PaneRect> panes = PanesOf(run.out);
    ASSERT_EQ(panes.size(), 4u) << run.out;
    Picture picture;
    ASSERT_TRUE(ReadPng(shot, picture));

    const std::vector<std::string> log = LogLinesFrom(logStart);
    ExpectNoErrorLines(log);

    const std::string absent = NoPicturesReason(log);
    ASSERT_EQ(absent, "");
    for (int i = 0; i < 4; ++i) {
        const PaneRect &p = panes[i];
        ASSERT_LE(p.x + p.w, picture.width);
        ASSERT_LE(p.y + p.h, picture.height);
        EXPECT_EQ(WrongColours(picture, p, kClips[i]), "") << "pane " << i + 1;
    }
}

TEST_F(KovaPlay, MissingFileIsReportedAndTheOtherPanePlaysOn)
{
    const std::streamoff logStart = LogEnd();
    const std::string shot = kWork + "/missing.png";
    const PlayRun run = Play("--duration 2 --screenshot '" + shot + "' " + Sample(0) + " '" + kWork + "/no-such-file.mp4'");
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    EXPECT_NE(run.err.find("pane 2"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("No such file"), std::string::npos) << run.err;
    const std::vector<PaneRect> panes = PanesOf(run.out);
    ASSERT_GE(panes.size(), 1u) << run.out;
    Picture picture;
    ASSERT_TRUE(ReadPng(shot, picture));
    const PaneRect &p = panes[0];
    const Rgb failed = picture.At(p.x + p.w + 4 + p.w / 2, p.y + p.h / 2);  // pane 2, right of pane 1
    EXPECT_TRUE(Near(failed, kFailedPane, 8)) << "pane 2 shows " << Text(failed);
    const std::string absent = NoPicturesReason(LogLinesFrom(logStart));
    ASSERT_EQ(absent, "");
    EXPECT_TRUE(Near(picture.At(p.x + p.w / 4, p.y + p.h * 2 / 5), kClips[0].left));
}

TEST_F(KovaPlay, ScriptedControlsRunWithoutErrors)
{
    const std::streamoff logStart = LogEnd();
    const std::string snapshot = kWork + "/pane1.bmp";
    std::remove(snapshot.c_str());
    const PlayRun run = Play("--duration 3 --select 1 --sound 1 --volume 50 --at 0.5:speed=5 --at 1:speed=3 "
                         "--at 1.2:seek=+1 --at 1.5:zoom=25,25,75,75 --at 2:mode=2 --at 2.2:zoom=off "
                         "--at 2.5:select=2 --at 2.5:sound=2 --snapshot '" + snapshot + "' " + Sample(0) + " " +
                         Sample(1));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<std::string> log = LogLinesFrom(logStart);
    ExpectNoErrorLines(log);
    const std::string absent = NoPicturesReason(log);
    ASSERT_EQ(absent, "");
    EXPECT_NE(run.out.find("snapshot of pane 2: " + snapshot), std::string::npos) << run.out << run.err;
}

/* The last status line of a pane in the player's output. */
std::string LastStatusLine(const std::string &out, int pane)
{
    const std::string tag = " pane " + std::to_string(pane) + " ";
    std::string last;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.compare(1, tag.size(), tag) == 0) last = line;
    return last;
}

TEST_F(KovaPlay, RelativeControlsGivenTogetherAddUp)
{
    // Each step counts from where the one before it left the pane, even when
    // the pane has not yet pushed a picture in between.
    const PlayRun run = Play("--duration 2 --sound 1 --at 0.5:seek=0.2 --at 0.5:seek=+1 --at 0.5:seek=+1 "
                             "--at 0.5:volume=20 --at 0.5:volume=+10 --at 0.5:volume=+10 "
                             "--at 0.5:speed=+ --at 0.5:speed=+ --at 0.5:mode=next --at 0.5:mode=next " +
                             Sample(1));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const size_t first = run.out.find("pane 1: seek to 0 s");
    const size_t second = run.out.find("pane 1: seek to 1 s", first);
    const size_t third = run.out.find("pane 1: seek to 2 s", second);
    EXPECT_TRUE(first != std::string::npos && second != std::string::npos && third != std::string::npos) << run.out;
    const std::string status = LastStatusLine(run.out, 1);
    EXPECT_NE(status.find(" vol 40 "), std::string::npos) << status;
    EXPECT_NE(status.find(" x4 "), std::string::npos) << status;
    EXPECT_NE(status.find(" mode 2 "), std::string::npos) << status;
}

TEST_F(KovaPlay, FileWithNothingToPlayEndsItsPane)
{
    // Streams described, not one packet: looping over it would spin for ever.
    const std::string empty = kWork + "/no-pictures.avi";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i color=c=red:s=320x240:r=25 "
                           "-frames:v 0 -c:v mjpeg '" + empty + "'").c_str()),
              0);
    const PlayRun run = Play("--duration 1.5 " + Sample(0) + " '" + empty + "'");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.err.find("pane 2: " + empty + ": no picture to play"), std::string::npos) << run.err;
    EXPECT_NE(LastStatusLine(run.out, 2).find("(ended)"), std::string::npos) << run.out;
}

TEST(KovaPlaySamples, FailedEncodingLeavesNoPartialFile)
{
    // An ffmpeg that writes part of its output, then fails.
    const std::string dir = kWork + "/failed-samples", bin = kWork + "/failing-ffmpeg";
    ASSERT_EQ(std::system(("mkdir -p '" + kWork + "' '" + bin + "' && rm -rf '" + dir + "'").c_str()), 0);
    std::ofstream(bin + "/ffmpeg") << "#!/bin/sh\nfor last; do :; done\necho partial >\"$last\"\nexit 1\n";
    ASSERT_EQ(::chmod((bin + "/ffmpeg").c_str(), 0755), 0);
    const int status =
        std::system(("PATH='" + bin + "':\"$PATH\" bash '" + kGenerator + "' '" + dir + "' >/dev/null 2>&1").c_str());
    EXPECT_NE(status, 0) << "a failed encoding fails the script";
    DIR *d = ::opendir(dir.c_str());
    ASSERT_TRUE(d);
    while (const dirent *entry = ::readdir(d))
        EXPECT_NE(std::string(entry->d_name).rfind(".partial-", 0), 0u) << "left behind: " << entry->d_name;
    ::closedir(d);
}

TEST_F(KovaPlay, VendorStreamPlaysInItsPane)
{
    const std::string vendor = kSamples + "/" + kVendorClip;
    struct stat st;
    ASSERT_FALSE(kVendorMaker.empty()) << "the tests' sample maker is not in this build";
    ASSERT_EQ(::stat(vendor.c_str(), &st), 0) << "no vendor sample " << vendor;
    const std::streamoff logStart = LogEnd();
    const std::string shot = kWork + "/vendor.png";
    const PlayRun run = Play("--duration 4 --sound 2 --screenshot '" + shot + "' " + Sample(0) + " '" + vendor + "'");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("type 102"), std::string::npos) << run.out;
    ExpectNoErrorLines(LogLinesFrom(logStart));
    const std::vector<PaneRect> panes = PanesOf(run.out);
    ASSERT_EQ(panes.size(), 2u) << run.out;
    Picture picture;
    ASSERT_TRUE(ReadPng(shot, picture));
    const PaneRect &p = panes[1];
    const int xs[4] = {p.x + p.w / 4, p.x + p.w * 3 / 4, p.x + p.w / 4, p.x + p.w * 3 / 4};
    const int ys[4] = {p.y + p.h / 4, p.y + p.h / 4, p.y + p.h * 3 / 4, p.y + p.h * 3 / 4};
    for (int q = 0; q < 4; ++q) {
        const Rgb shown = picture.At(xs[q], ys[q]);
        EXPECT_TRUE(Near(shown, kVendorQuadrants[q])) << "quadrant " << q << " shows " << Text(shown);
    }
}

TEST_F(KovaPlay, BadCommandLineIsRefused)
{
    EXPECT_EQ(Play("").status, 1);
    EXPECT_EQ(Play("--grid 5 " + Sample(0)).status, 1);
    EXPECT_EQ(Play("--speed 9 --duration 0.2 " + Sample(0)).status, 1);
}

}  // namespace

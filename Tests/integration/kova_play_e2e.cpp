// End to end: kova-play, run headless over generated sample recordings as a
// person would run it, must show every clip's two privacy masks in their
// colours in its pane of the saved screenshot and leave no error line in the
// library's log.
//
// An error line is one of the library's failure messages: a line whose
// message contains "Fail" or "fail", "Throw Exception", or "err" (which
// takes in "error", as in "Get window size error", and the drawing failure
// "Display err."). The library logs nothing else on its failure paths.
#include <gtest/gtest.h>
#include <dirent.h>
#include <png.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

#include "LogFile.h"
#include "kova_play_clips.h"

namespace {

using namespace kovaplaytest;

const std::string kPlayer = KOVA_PLAY_PROGRAM;
const std::string kSamples = KOVA_PLAY_SAMPLE_DIR;
const std::string kGenerator = KOVA_PLAY_GENERATOR;
const std::string kWork = KOVA_PLAY_WORK_DIR;
const std::string kVendorMaker = KOVA_PLAY_VENDOR_MAKER;  /* empty where the tests' sample maker is not built */
const char kVendorClip[] = "cam6-vendor.hik";
const std::string kTestCamera = KOVA_TEST_CAMERA;  /* empty where GStreamer's RTSP server is not installed */

const Rgb kFailedPane = {96, 0, 0};
/* The vendor sample's quadrants: top left, top right, bottom left, bottom right. */
const Rgb kVendorQuadrants[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

struct PlayRun {
    int status = -1;
    std::string out, err;
};

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
    run.out = logfile::TextFrom(out);
    run.err = logfile::TextFrom(err);
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
logfile::fs::path LogPath() { return logfile::LogBeside(kPlayer); }

std::vector<std::string> LogLinesFrom(std::streamoff start) { return logfile::ReadLines(LogPath(), start); }

std::streamoff LogEnd() { return logfile::Size(LogPath()); }

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

/* A server of the live test (the test camera, an ffmpeg), ended with
 * SIGTERM and waited for by its owner, so that nothing is left running. */
class Server {
public:
    Server() = default;
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;
    ~Server() { Stop(); }

    bool Start(const std::vector<std::string> &args, const std::string &output)
    {
        std::vector<char *> argv;
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int r = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (r != 0) pid_ = -1;
        return r == 0;
    }

    void Stop()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 50 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (::kill(pid_, 0) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

/* Seconds into the run of the status lines of `pane` that contain `text`. */
std::vector<double> StatusTimes(const std::string &out, int pane, const std::string &text)
{
    std::vector<double> times;
    const std::string tag = " pane " + std::to_string(pane) + " ";
    std::istringstream in(out);
    const std::regex elapsed(R"(^. pane \d+ +(?:\S+ +)?(\d+\.\d)s )");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (line.compare(1, tag.size(), tag) == 0 && line.find(text) != std::string::npos &&
            std::regex_search(line, m, elapsed))
            times.push_back(std::stod(m[1]));
    }
    return times;
}

TEST_F(KovaPlay, LiveWallOfFourReconnectsItsCameraAndShowsNoCredential)
{
    ASSERT_FALSE(kTestCamera.empty()) << "kova-test-camera is not built (GStreamer's RTSP server library missing)";
    // Ports of this run's own: the test camera, HTTP, UDP.
    const int base = 20000 + int(getpid() % 15000) * 3;
    const std::string rtsp = std::to_string(base), http = std::to_string(base + 1), udp = std::to_string(base + 2);
    const std::string secret = "Kw7secretPass";
    Server camera, mjpeg, mpegts;
    auto startCamera = [&] {
        return camera.Start({kTestCamera, "--port", rtsp, "--user", "viewer:" + secret}, kWork + "/camera.out");
    };
    ASSERT_TRUE(startCamera());
    ASSERT_TRUE(mjpeg.Start({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
                             "color=c=0x2040E0:s=320x240:r=15,drawbox=x='mod(t*80,280)':y=200:w=40:h=40:color=white:t=fill",
                             "-c:v", "mjpeg", "-q:v", "4", "-f", "mpjpeg", "-listen", "1",
                             "http://127.0.0.1:" + http + "/video.mjpg"},
                            kWork + "/mjpeg.out"));
    ASSERT_TRUE(mpegts.Start({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
                              "color=c=0xF08000:s=480x270:r=25,drawbox=x='mod(t*80,440)':y=220:w=40:h=40:color=white:t=fill",
                              "-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency", "-g", "25", "-pix_fmt",
                              "yuv420p", "-f", "mpegts", "udp://127.0.0.1:" + udp + "?pkt_size=1316"},
                             kWork + "/mpegts.out"));
    const std::string wall = kWork + "/live.wall";
    std::ofstream(wall) << "# a wall of live sources\n"
                        << "grid 4\n"
                        << "door  rtsp://viewer:" << secret << "@127.0.0.1:" << rtsp << "/cam\n"
                        << "yard  rtsp://viewer:" << secret << "@127.0.0.1:" << rtsp << "/cam-sound sound\n"
                        << "lobby http://127.0.0.1:" << http << "/video.mjpg\n"
                        << "gate  udp://127.0.0.1:" << udp << "?localaddr=127.0.0.1\n";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the servers listen

    const std::streamoff logStart = LogEnd();
    const std::string before = kWork + "/live-before.png", outage = kWork + "/live-outage.png",
                      after = kWork + "/live-after.png";
    for (const std::string &f : {before, outage, after}) std::remove(f.c_str());
    PlayRun run;
    std::thread player([&] {
        run = Play("--duration 24 --status 0.5 --select 4 --wall '" + wall + "' --at 5:screenshot='" + before +
                   "' --at 9:screenshot='" + outage + "' --screenshot '" + after + "'");
    });
    // The camera goes away for five seconds once every pane plays.
    std::this_thread::sleep_for(std::chrono::seconds(6));
    camera.Stop();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    ASSERT_TRUE(startCamera());
    player.join();
    mjpeg.Stop();
    mpegts.Stop();
    camera.Stop();

    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<PaneRect> panes = PanesOf(run.out);
    ASSERT_EQ(panes.size(), 4u) << run.out;
    const std::vector<std::string> log = LogLinesFrom(logStart);
    ExpectNoErrorLines(log);
    ASSERT_EQ(NoPicturesReason(log), "");

    // Colours of each source: the camera's colour bars (yellow second, red
    // sixth of seven), the MJPEG blue, the MPEG-TS orange.
    const Rgb yellow = {255, 255, 0}, red = {255, 0, 0};
    auto expectPanes = [&](const std::string &shot, bool cameraPanes) {
        Picture picture;
        ASSERT_TRUE(ReadPng(shot, picture)) << shot;
        for (int i = cameraPanes ? 0 : 2; i < 4; ++i) {
            const PaneRect &p = panes[i];
            const int y = p.y + p.h / 3;
            if (i < 2) {
                EXPECT_TRUE(Near(picture.At(p.x + p.w * 3 / 14, y), yellow))
                    << shot << " pane " << i + 1 << " shows " << Text(picture.At(p.x + p.w * 3 / 14, y));
                EXPECT_TRUE(Near(picture.At(p.x + p.w * 11 / 14, y), red))
                    << shot << " pane " << i + 1 << " shows " << Text(picture.At(p.x + p.w * 11 / 14, y));
            } else {
                const Rgb want = i == 2 ? Rgb{0x20, 0x40, 0xE0} : Rgb{0xF0, 0x80, 0x00};
                EXPECT_TRUE(Near(picture.At(p.x + p.w / 2, y), want))
                    << shot << " pane " << i + 1 << " shows " << Text(picture.At(p.x + p.w / 2, y));
            }
        }
    };
    expectPanes(before, true);
    expectPanes(after, true);
    {
        // While the camera is away its panes are framed in dark amber.
        Picture picture;
        ASSERT_TRUE(ReadPng(outage, picture));
        for (int i = 0; i < 2; ++i) {
            const Rgb frame = picture.At(panes[i].x - 2, panes[i].y + panes[i].h / 2);
            EXPECT_TRUE(Near(frame, {120, 72, 0}, 12)) << "pane " << i + 1 << " frame " << Text(frame);
        }
        expectPanes(outage, false);
    }

    // The camera's panes reconnect within their back-off (attempts 1, 2, 4
    // and 8 s apart: the one after the camera is back comes at most 4 s
    // later; a loaded machine gets 5 s more) and play on.
    for (int pane = 1; pane <= 2; ++pane) {
        const std::vector<double> away = StatusTimes(run.out, pane, "reconnecting");
        ASSERT_FALSE(away.empty()) << run.out;
        double back = -1;
        for (double t : StatusTimes(run.out, pane, " live "))
            if (t > away.back()) {
                back = t;
                break;
            }
        EXPECT_GT(back, 0) << "pane " << pane << " never played again\n" << run.out;
        EXPECT_LE(back - away.front(), 5 + 4 + 5 + 1) << run.out;
    }
    EXPECT_NE(run.err.find("pane 1 (door): rtsp://***@127.0.0.1:" + rtsp + "/cam"), std::string::npos) << run.err;

    // The password appears nowhere it could be read.
    EXPECT_EQ(run.out.find(secret), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find(secret), std::string::npos) << run.err;
    for (const std::string &line : log) EXPECT_EQ(line.find(secret), std::string::npos) << line;
}

}  // namespace
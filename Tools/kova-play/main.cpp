/* kova-play: a camera wall over KovaDecoder, as a surveillance client uses
 * it. Each file plays into a pane of its own through the exported functions;
 * the desktop shows in an X11 window when asked, and the run ends on q, at
 * --duration, or (with --once) when every file has played. */
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

#include "Console.h"
#include "Controls.h"
#include "KovaDecoder.h"
#include "Options.h"
#include "Status.h"
#include "Wall.h"
#include "WallFile.h"

using namespace kovaplay;

namespace {

volatile sig_atomic_t g_interrupted = 0;

/* How long the end of a run waits for snapshots still in flight. */
constexpr int kCaptureWaitSeconds = 10;

void OnInterrupt(int) { g_interrupted = 1; }

/* The platform layer reads its environment at the first window call. */
void PrepareDesktop(const Options &options, const WallLayout &layout)
{
    const char *display = std::getenv("DISPLAY");
    switch (options.viewer) {
    case Options::Viewer::X11: setenv("KOVA_VIEWER", "x11", 1); break;
    case Options::Viewer::Headless: unsetenv("KOVA_VIEWER"); break;
    case Options::Viewer::Auto:
        if (display && *display) setenv("KOVA_VIEWER", "x11", 0);
        break;
    }
    if (!std::getenv("KOVA_DESKTOP")) {
        // A desktop just larger than the wall window (frame and caption
        // included), so that the viewer and the screenshot show the wall.
        const int width = (layout.ClientWidth() + 32 + 15) & ~15, height = (layout.ClientHeight() + 48 + 15) & ~15;
        setenv("KOVA_DESKTOP", (std::to_string(width) + "x" + std::to_string(height) + "x32").c_str(), 1);
    }
}

/* The panes of a wall file go before those of the command line; its bad
 * lines are reported and left out. */
bool AddWallFile(Options &options, std::string &error)
{
    WallPlan plan;
    if (!ReadWallFile(options.wallFile, plan, error)) return false;
    for (const std::string &problem : plan.problems) Complain("kova-play: " + options.wallFile + ":" + problem);
    std::vector<std::string> files, names;
    std::vector<int> types;
    for (const WallEntry &entry : plan.panes) {
        if (entry.sound) options.commands.insert(options.commands.begin(), "0:sound=" + std::to_string(files.size() + 1));
        files.push_back(entry.source);
        names.push_back(entry.name);
        types.push_back(entry.streamType);
    }
    for (const std::string &file : options.files) {
        files.push_back(file);
        names.emplace_back();
        types.push_back(0);
    }
    options.files = files;
    options.names = names;
    options.streamTypes = types;
    if (options.panes == 0) options.panes = plan.grid;
    return FinishPanes(options, error);
}

bool AllEnded(const Wall &wall)
{
    for (int i = 0; i < wall.PaneCount(); ++i)
        if (wall.PaneAt(i) && !wall.PaneAt(i)->Stats().ended) return false;
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    bool help = false;
    std::string error;
    if (!ParseOptions(argc, argv, options, help, error)) {
        std::fprintf(stderr, "kova-play: %s\n%s", error.c_str(), Usage());
        return 1;
    }
    if (help) {
        std::printf("%s", Usage());
        return 0;
    }
    if (!options.wallFile.empty() && !AddWallFile(options, error)) {
        std::fprintf(stderr, "kova-play: %s\n", error.c_str());
        return 1;
    }
    const WallLayout layout = MakeLayout(options.panes, options.paneWidth, options.paneHeight);
    PrepareDesktop(options, layout);
    // The readers' complaints about the files (probing a vendor stream's
    // sound, time stamps out of order where a file loops) would scroll the
    // status lines away; a file that cannot be played is reported by its pane.
    av_log_set_level(AV_LOG_FATAL);
    signal(SIGINT, OnInterrupt);
    signal(SIGTERM, OnInterrupt);

    if (!KOVA_InitializeLog()) Complain("kova-play: the library could not set up its log");
    int status = 0;
    {
        Wall wall(layout);
        if (!wall.Create(error)) {
            Complain("kova-play: " + error);
            KOVA_ReleaseLog();
            return 1;
        }
        PaneSettings settings;
        settings.loop = options.loop;
        settings.streamTypeOverride = options.streamType;
        settings.timeBase = (long long)std::time(nullptr);  // the recordings "started" now
        settings.live.rtspTransport = options.rtspTransport;
        for (size_t i = 0; i < options.files.size(); ++i) {
            PaneSettings pane = settings;
            if (i < options.names.size()) pane.name = options.names[i];
            if (i < options.streamTypes.size() && options.streamTypes[i] > 0)
                pane.streamTypeOverride = options.streamTypes[i];
            const std::string shown = RedactUrl(options.files[i]);
            if (!wall.StartPane(int(i), options.files[i], pane, error)) {
                Complain("kova-play: pane " + std::to_string(i + 1) + ": " + shown + ": " + error);
                status = 2;  // the other panes play on
            } else {
                const RECT r = wall.PaneScreenRect(int(i));
                Say("pane " + std::to_string(i + 1) + ": " + shown + " (" +
                    wall.PaneAt(int(i))->Description() + ") at " + std::to_string(r.left) + "," +
                    std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
                    std::to_string(r.bottom - r.top));
            }
        }

        Controls controls(wall);
        for (const std::string &entry : options.commands)
            if (!controls.Schedule(entry, error)) {
                Complain("kova-play: " + error);
                status = status ? status : 1;
            }
        if (options.keyboard) controls.StartKeyboard();
        FrameWatch watch(wall);
        watch.Start();

        const double interval = options.statusInterval > 0 ? options.statusInterval : OutputIsTerminal() ? 0.5 : 5;
        const auto start = std::chrono::steady_clock::now();
        double nextStatus = interval, lastStatus = 0;
        for (;;) {
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            wall.Pump();
            controls.PollKeyboard();
            if (controls.Tick(elapsed) && status == 0) status = 1;  // a script that does not run is an error
            if (elapsed >= nextStatus) {
                ShowStatus(StatusLines(wall, watch, elapsed));
                lastStatus = elapsed;
                nextStatus += interval;
            }
            if (g_interrupted || controls.QuitRequested() || (options.duration > 0 && elapsed >= options.duration) ||
                (!options.loop && AllEnded(wall)))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }

        if (controls.RunEndCommands() && status == 0) status = 1;
        // Captures wait for a picture, but not for ever: a pane may never get one.
        const auto captureDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(kCaptureWaitSeconds);
        while (controls.Pending() > 0 && !g_interrupted && std::chrono::steady_clock::now() < captureDeadline) {
            wall.Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (controls.Pending() > 0) {
            Complain("kova-play: " + std::to_string(controls.Pending()) +
                     " snapshot(s) still pending at the end of the run, not waited for");
        }
        if (!options.screenshot.empty() && SaveScreenshot(options.screenshot).empty()) status = status ? status : 3;
        watch.Stop();
        for (int i = 0; i < wall.PaneCount(); ++i)
            if (wall.PaneAt(i) && wall.PaneAt(i)->Stats().failed && status == 0) status = 2;  // a camera that cannot play
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed - lastStatus > 0.25) ShowStatus(StatusLines(wall, watch, elapsed));
        KeepStatus();
        wall.Close();
    }
    KOVA_ReleaseLog();
    return status;
}

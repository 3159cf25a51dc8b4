#include "Controls.h"

#include <cstdlib>
#include <cstring>

#include "Console.h"
#include "Desktop.h"
#include "KovaSpeed.h"

namespace kovaplay {
namespace {

bool ParseInt(const std::string &text, int &value)
{
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    value = int(v);
    return !text.empty() && *end == 0;
}

/* Zoom steps of the z key: off, the middle half, the middle quarter. */
const int kZoomSteps[3][4] = {{0, 0, 0, 0}, {25, 25, 75, 75}, {37, 37, 63, 63}};

}  // namespace

std::string SaveScreenshot(const Wall &wall, const std::string &path)
{
    if (!SaveScreen(wall.Window(), path)) {
        Complain("kova-play: cannot save the screenshot to " + path);
        return "";
    }
    const std::string shown = FullPath(path);
    Say("screenshot: " + shown);
    return shown;
}

Controls::Controls(Wall &wall) : wall_(wall) {}

Controls::~Controls() { RestoreKeys(); }

bool Controls::Schedule(const std::string &entry, std::string &error)
{
    const size_t colon = entry.find(':');
    const std::string when = entry.substr(0, colon), command = entry.substr(colon + 1);
    double at = -1;
    if (when != "end") {
        char *end = nullptr;
        at = std::strtod(when.c_str(), &end);
        if (when.empty() || *end != 0 || at < 0) {
            error = "bad time in \"" + entry + "\"";
            return false;
        }
    }
    if (command.empty()) {
        error = "no command in \"" + entry + "\"";
        return false;
    }
    timed_.push_back({at, command, false});
    return true;
}

template <typename Due> int Controls::RunDue(Due due)
{
    int failed = 0;
    for (Timed &t : timed_) {
        if (t.done || !due(t)) continue;
        t.done = true;
        std::string error;
        if (!Run(t.command, error)) {
            Complain("kova-play: " + t.command + ": " + error);
            ++failed;
        }
    }
    return failed;
}

int Controls::Tick(double elapsed)
{
    return RunDue([elapsed](const Timed &t) { return t.at >= 0 && t.at <= elapsed; });
}

int Controls::RunEndCommands()
{
    return RunDue([](const Timed &t) { return t.at < 0; });
}

Pane *Controls::Selected() { return wall_.PaneAt(wall_.Selected()); }

bool Controls::Run(const std::string &command, std::string &error)
{
    const size_t eq = command.find('=');
    const std::string name = command.substr(0, eq);
    const std::string arg = eq == std::string::npos ? "" : command.substr(eq + 1);
    int n = 0;
    if (name == "quit") {
        quit_ = true;
        return true;
    }
    if (name == "select") {
        if (!ParseInt(arg, n) || n < 1 || n > wall_.PaneCount()) return (error = "no such pane", false);
        wall_.Select(n - 1);
        return true;
    }
    if (name == "screenshot") {
        Screenshot(arg.empty() ? "kova-play-desktop.png" : arg);
        return true;
    }
    if (name == "sound") {
        if (arg.empty()) wall_.ToggleSound();
        else if (arg == "off" || arg == "0") wall_.SoundTo(-1);
        else if (ParseInt(arg, n) && n >= 1 && n <= wall_.PaneCount()) wall_.SoundTo(n - 1);
        else return (error = "sound takes a pane number or off", false);
        return true;
    }
    Pane *pane = Selected();
    if (!pane) return (error = "the selected pane plays nothing", false);
    if (name == "volume") {
        const bool relative = !arg.empty() && (arg[0] == '+' || arg[0] == '-');
        if (!ParseInt(arg, n)) return (error = "volume takes 0..100, +N or -N", false);
        pane->SetVolume(n, relative);
    } else if (name == "speed") {
        if (arg == "+") pane->SetSpeed(1, true);
        else if (arg == "-") pane->SetSpeed(-1, true);
        else if (!ParseInt(arg, n) || n < KOVA_SPEED_SLOWEST || n > KOVA_SPEED_FASTEST) return (error = "speed takes 1..5 (3 is normal), + or -", false);
        else pane->SetSpeed(n);
    } else if (name == "zoom") {
        int box[4] = {0, 0, 0, 0};
        if (arg.empty()) {
            zoomStep_ = (zoomStep_ + 1) % 3;
            std::memcpy(box, kZoomSteps[zoomStep_], sizeof box);
        } else if (arg != "off" && std::sscanf(arg.c_str(), "%d,%d,%d,%d", &box[0], &box[1], &box[2], &box[3]) != 4) {
            return (error = "zoom takes LEFT,TOP,RIGHT,BOTTOM in percent, or off", false);
        }
        pane->SetZoom(box[0], box[1], box[2], box[3]);
    } else if (name == "seek") {
        const bool relative = !arg.empty() && (arg[0] == '+' || arg[0] == '-');
        char *end = nullptr;
        const double seconds = std::strtod(arg.c_str(), &end);
        if (arg.empty() || *end != 0) return (error = "seek takes SECONDS, +SECONDS or -SECONDS", false);
        pane->Seek((long long)(seconds * 1000), relative);
    } else if (name == "mode") {
        if (arg == "next") pane->SetDisplayMode(0, true);
        else if (!ParseInt(arg, n)) return (error = "mode takes a number (0, 1 or 2) or next", false);
        else pane->SetDisplayMode(n);
    } else if (name == "snapshot") {
        Snapshot(arg.empty() ? "kova-play-pane" + std::to_string(pane->Index() + 1) + "-" +
                                   std::to_string(++captures_) + ".bmp"
                             : arg);
    } else {
        return (error = "unknown command", false);
    }
    return true;
}

void Controls::Snapshot(const std::string &path)
{
    Pane *pane = Selected();
    const int index = pane->Index();
    ++pending_;
    pane->Capture(path, [this, path, index](bool written) {
        const std::string shown = FullPath(path);
        if (written) Say("snapshot of pane " + std::to_string(index + 1) + ": " + shown);
        else Complain("kova-play: pane " + std::to_string(index + 1) + ": no snapshot written to " + path +
                      " (the library had no picture; see the log)");
        --pending_;
    });
}

void Controls::Screenshot(const std::string &path) { SaveScreenshot(wall_, path); }

void Controls::StartKeyboard()
{
    if (!StartKeys()) return;
    keyboard_ = true;
    Say("keys: 1-9/Tab select, a sound, +/- volume, </> speed, z zoom, [/] seek, m mode, c snapshot, "
        "s screenshot, q quit");
}

void Controls::PollKeyboard()
{
    if (!keyboard_) return;
    for (int key; (key = NextKey()) >= 0;) Key(key);
}

void Controls::Key(int key)
{
    std::string command, error;
    switch (key) {
    case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
        command = "select=" + std::string(1, char(key));
        break;
    case '\t': case 'n':
        wall_.Select((wall_.Selected() + 1) % wall_.PaneCount());
        return;
    case 'a': command = "sound"; break;
    case '+': case '=': command = "volume=+10"; break;
    case '-': command = "volume=-10"; break;
    case '>': case '.': command = "speed=+"; break;
    case '<': case ',': command = "speed=-"; break;
    case 'z': command = "zoom"; break;
    case ']': command = "seek=+10"; break;
    case '[': command = "seek=-10"; break;
    case 'm': command = "mode=next"; break;
    case 'c': command = "snapshot"; break;
    case 's': command = "screenshot"; break;
    case 'q': command = "quit"; break;
    default: return;
    }
    if (!Run(command, error)) Complain("kova-play: " + error);
}

}  // namespace kovaplay

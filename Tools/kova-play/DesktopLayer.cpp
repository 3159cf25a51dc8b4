/* The desktop on Linux: the project's platform layer draws into a desktop
 * of its own (shown in an X11 window when asked) and reads it back; keys
 * come from the terminal. */
#include "Desktop.h"

#include <kova_control_desktop.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "Wall.h"

namespace kovaplay {
namespace {

termios g_savedTerminal;
bool g_terminalChanged = false;

bool ReadByte(unsigned char *byte, int waitMs)
{
    pollfd p = {STDIN_FILENO, POLLIN, 0};
    return poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN) && read(STDIN_FILENO, byte, 1) == 1;
}

}  // namespace

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

struct ScreenReader::State {
    ULONGLONG seenChanges = ~0ull;
};

ScreenReader::ScreenReader(RECT) : state_(new State) {}

ScreenReader::~ScreenReader() { delete state_; }

bool ScreenReader::Read(ScreenPicture &picture)
{
    // The layer counts the desktop's changes: an unchanged desktop is not copied.
    KovaFramebufferInfo info;
    if (!KovaControl_GetFramebufferInfo(0, &info) || info.changes == state_->seenChanges) return false;
    state_->seenChanges = info.changes;
    picture.rect = info.rect;
    picture.width = info.width;
    picture.height = info.height;
    picture.pitch = info.pitch;
    picture.bytesPerPixel = info.bytesPerPixel;
    picture.pixels.resize(size_t(info.pitch) * info.height);
    return KovaControl_CopyFramebuffer(0, picture.pixels.data(), picture.pixels.size()) == picture.pixels.size();
}

bool SaveScreen(HWND, const std::string &path)
{
    // The layer's desktop is made just larger than the wall: all of it.
    return KovaControl_SnapshotMonitor(0, path.c_str()) != FALSE;
}

bool StartKeys()
{
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0) return false;
    termios raw = g_savedTerminal;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
    g_terminalChanged = true;
    std::atexit(RestoreKeys);
    return true;
}

void RestoreKeys()
{
    if (g_terminalChanged) tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    g_terminalChanged = false;
}

int NextKey()
{
    if (!g_terminalChanged) return -1;
    for (;;) {
        unsigned char c;
        if (!ReadByte(&c, 0)) return -1;
        if (c != 0x1b) return c;
        // An arrow key is ESC [ A..D; over a slow link its bytes may come
        // apart, so the rest is given 50 ms. Anything else after ESC, or
        // ESC alone, is no key.
        unsigned char seq[2];
        if (ReadByte(&seq[0], 50) && seq[0] == '[' && ReadByte(&seq[1], 50)) {
            if (seq[1] == 'C') return ']';
            if (seq[1] == 'D') return '[';
        }
    }
}

bool ConsoleOutput()
{
    static const bool terminal = isatty(STDOUT_FILENO) != 0;
    return terminal;
}

std::string FullPath(const std::string &path)
{
    char absolute[PATH_MAX];
    return realpath(path.c_str(), absolute) ? absolute : path;
}

}  // namespace kovaplay

/* What kova-play needs of the system under it beyond the Win32 window calls
 * both of its systems have: setting up the desktop, reading the screen
 * back, single keys from the console and full paths. Linux has them from the
 * project's platform layer and POSIX (DesktopLayer.cpp), Windows from
 * user32, gdi32 and the console (DesktopWin32.cpp). */
#ifndef KOVA_PLAY_DESKTOP_H
#define KOVA_PLAY_DESKTOP_H

#include <windows.h>

#include <string>
#include <vector>

#include "Options.h"

namespace kovaplay {

struct WallLayout;

/* Runs before the first window call: the Linux layer reads its desktop and
 * viewer from the environment then. */
void PrepareDesktop(const Options &options, const WallLayout &layout);

/* Screen pixels, 32 bits each (blue, green, red, unused). */
struct ScreenPicture {
    RECT rect = {};  /* the screen area the pixels cover */
    int width = 0, height = 0, pitch = 0, bytesPerPixel = 4;
    std::vector<unsigned char> pixels;
};

/* Reads an area of the screen back, as often as asked. */
class ScreenReader {
public:
    explicit ScreenReader(RECT area);
    ~ScreenReader();
    ScreenReader(const ScreenReader &) = delete;
    ScreenReader &operator=(const ScreenReader &) = delete;
    /* True with the pixels when the screen may have changed since the last
     * read (false when the system knows it did not, or cannot be read). */
    bool Read(ScreenPicture &picture);

private:
    struct State;
    State *state_;
};

/* Saves what the screen shows from its corner to the far corner of
 * `window`, so that its pixels have screen coordinates: PNG, or BMP for a
 * name ending in .bmp where the system can write both. */
bool SaveScreen(HWND window, const std::string &path);

/* Single keys from the console without echo; false when input is not a
 * console. Restored by RestoreKeys (and at exit). */
bool StartKeys();
void RestoreKeys();
/* The next key waiting, or -1. The left and right arrows come as '[' and
 * ']' (seek back and forward). */
int NextKey();

/* True when standard output shows on a console that keeps the status lines
 * in place. */
bool ConsoleOutput();

/* The full path of an existing file, for messages; the path as given when
 * it cannot be made. */
std::string FullPath(const std::string &path);

}  // namespace kovaplay

#endif

// What kova-play's end-to-end runs on both systems check: the sample clips'
// colours, the pane rectangles the player prints and the library's error
// lines.
#ifndef KOVA_PLAY_CLIPS_H
#define KOVA_PLAY_CLIPS_H

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

namespace kovaplaytest {

struct Rgb {
    int r, g, b;
};

/* The clips of the generator: the colours of the left and right privacy
 * masks of each picture (a third of the width each, around a quarter and
 * three quarters across, from a quarter to past half the height). */
struct Clip {
    const char *file;
    Rgb left, right;
};
inline const Clip kClips[] = {
    {"cam1-h264.mp4", {0xE0, 0x20, 0x20}, {0xE0, 0xE0, 0x20}},
    {"cam2-mpeg4-g711u.mkv", {0x20, 0x40, 0xE0}, {0x20, 0xE0, 0xE0}},
    {"cam3-mjpeg-g726.mkv", {0x20, 0xC0, 0x40}, {0xD0, 0x20, 0xD0}},
    {"cam4-h264-g711a.mov", {0xF0, 0x80, 0x00}, {0x80, 0x80, 0x80}},
};
inline bool Near(const Rgb &a, const Rgb &b, int tolerance = 40)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

inline std::string Text(const Rgb &c)
{
    char s[16];
    std::snprintf(s, sizeof s, "%02x%02x%02x", c.r, c.g, c.b);
    return s;
}

struct PaneRect {
    int x = 0, y = 0, w = 0, h = 0;
};

/* "pane N: FILE (...) at X,Y WxH" lines of the player's output. */
inline std::vector<PaneRect> PanesOf(const std::string &out)
{
    std::vector<PaneRect> panes;
    const std::regex line(R"(pane (\d+): .* at (\d+),(\d+) (\d+)x(\d+))");
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it) {
        const size_t index = std::stoul((*it)[1]) - 1;
        if (panes.size() <= index) panes.resize(index + 1);
        panes[index] = {std::stoi((*it)[2]), std::stoi((*it)[3]), std::stoi((*it)[4]), std::stoi((*it)[5])};
    }
    return panes;
}

/* Pixels of a screenshot, RGB, top row first. */
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    Rgb At(int x, int y) const
    {
        const unsigned char *p = &rgb[(size_t(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

/* Empty when the pane shows the clip's two colours, else what it shows.
 * Read inside the masks: what moves keeps below them, the clock above. */
inline std::string WrongColours(const Picture &picture, const PaneRect &p, const Clip &clip)
{
    if (p.w <= 0 || p.h <= 0 || p.x + p.w > picture.width || p.y + p.h > picture.height)
        return "pane outside the picture";
    const Rgb left = picture.At(p.x + p.w / 4, p.y + p.h * 2 / 5);
    const Rgb right = picture.At(p.x + p.w * 3 / 4, p.y + p.h * 2 / 5);
    if (Near(left, clip.left) && Near(right, clip.right)) return "";
    return "shows " + Text(left) + " and " + Text(right) + ", want " + Text(clip.left) + " and " + Text(clip.right);
}

/* An error line is one of the library's failure messages: a line whose
 * message contains "Fail" or "fail", "Throw Exception", or "err" (which
 * takes in "error", as in "Get window size error", and the drawing failure
 * "Display err."). The library logs nothing else on its failure paths. */
inline bool IsErrorLine(const std::string &line)
{
    // The message follows the second " : " (time, thread id, message).
    const size_t first = line.find(" : ");
    const size_t at = first == std::string::npos ? std::string::npos : line.find(" : ", first + 3);
    const std::string message = at == std::string::npos ? line : line.substr(at + 3);
    return message.find("Fail") != std::string::npos || message.find("fail") != std::string::npos ||
           message.find("Throw Exception") != std::string::npos || message.find("err") != std::string::npos;
}

}  // namespace kovaplaytest

#endif

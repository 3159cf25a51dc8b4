#include "desktop/monitor_config.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

namespace kova {
namespace desktop {

static bool ParseInt(const char *&p, long *out)
{
    while (*p == ' ' || *p == '\t') ++p;
    const char *start = p;
    if (*p == '-' || *p == '+') ++p;
    if (!isdigit((unsigned char)*p)) return false;
    char *end = nullptr;
    long v = strtol(start, &end, 10);
    if (v > 1000000L || v < -1000000L) return false;
    p = end;
    while (*p == ' ' || *p == '\t') ++p;
    *out = v;
    return true;
}

bool ParseMonitorEntry(const std::string &text, MonitorConfig *out, std::string *error)
{
    const char *p = text.c_str();
    long w, h, bpp;
    auto expect = [&](char c) {
        if (*p != c && !(c == 'x' && *p == 'X')) return false;
        ++p;
        return true;
    };
    if (!ParseInt(p, &w) || !expect('x') || !ParseInt(p, &h) || !expect('x') || !ParseInt(p, &bpp)) {
        *error = "expected WIDTHxHEIGHTxBPP";
        return false;
    }
    MonitorConfig c;
    if (w < 1 || h < 1 || w > kMaxMonitorSide || h > kMaxMonitorSide) {
        *error = "size out of range";
        return false;
    }
    if (!LayoutFromDepth((int)bpp, &c.layout)) {
        *error = "bits per pixel must be 32, 24, 16, 15 or 8";
        return false;
    }
    c.width = (int)w;
    c.height = (int)h;
    if (*p == '@') {
        ++p;
        long x, y;
        if (!ParseInt(p, &x) || *p != ',' || !ParseInt(++p, &y)) {
            *error = "expected @X,Y";
            return false;
        }
        c.hasOrigin = true;
        c.origin = POINT{(LONG)x, (LONG)y};
    }
    if (*p != '\0') {
        *error = "unexpected text after the entry";
        return false;
    }
    *out = c;
    return true;
}

static RECT ConfigRect(const MonitorConfig &c)
{
    return RECT{c.origin.x, c.origin.y, c.origin.x + c.width, c.origin.y + c.height};
}

std::vector<MonitorConfig> ParseDesktopConfig(const char *value)
{
    std::vector<MonitorConfig> out;
    std::string all = value ? value : "";
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t end = all.find(';', pos);
        if (end == std::string::npos) end = all.size();
        std::string entry = all.substr(pos, end - pos);
        pos = end + 1;
        entry.erase(0, entry.find_first_not_of(" \t"));
        entry.erase(entry.find_last_not_of(" \t") + 1);
        if (entry.empty()) continue;
        MonitorConfig c;
        std::string error;
        if (!ParseMonitorEntry(entry, &c, &error)) {
            fprintf(stderr, "kova: KOVA_DESKTOP: ignoring \"%s\": %s\n", entry.c_str(), error.c_str());
            continue;
        }
        if (out.empty()) {
            if (c.hasOrigin && (c.origin.x != 0 || c.origin.y != 0))
                fprintf(stderr, "kova: KOVA_DESKTOP: the primary monitor \"%s\" is placed at 0,0\n",
                        entry.c_str());
            c.hasOrigin = true;
            c.origin = POINT{0, 0};
        } else if (!c.hasOrigin) {
            LONG right = 0;
            for (const MonitorConfig &o : out) right = std::max(right, o.origin.x + o.width);
            c.hasOrigin = true;
            c.origin = POINT{right, 0};
        }
        bool overlaps = false;
        for (const MonitorConfig &o : out)
            overlaps |= !RectIsEmpty(RectIntersect(ConfigRect(o), ConfigRect(c)));
        if (overlaps) {
            fprintf(stderr, "kova: KOVA_DESKTOP: ignoring \"%s\": it overlaps another monitor\n", entry.c_str());
            continue;
        }
        out.push_back(c);
    }
    if (out.empty()) {
        MonitorConfig c;
        c.width = 1920;
        c.height = 1080;
        c.layout = PixelLayout::Bgrx32;
        c.hasOrigin = true;
        out.push_back(c);
    }
    return out;
}

std::string MonitorDeviceName(int number)
{
    return "\\\\.\\DISPLAY" + std::to_string(number);
}

HMONITOR AttachMonitorLocked(State &s, const MonitorConfig &config, std::string *error)
{
    MonitorConfig c = config;
    if (s.monitors.empty()) {
        c.origin = POINT{0, 0};
    } else if (!c.hasOrigin) {
        LONG right = 0;
        for (const MonitorState &m : s.monitors) right = std::max(right, m.rect.right);
        c.origin = POINT{right, 0};
    }
    RECT rect = ConfigRect(c);
    for (const MonitorState &m : s.monitors)
        if (!RectIsEmpty(RectIntersect(m.rect, rect))) {
            if (error) *error = "overlaps another monitor";
            return nullptr;
        }
    int number = 1;
    for (bool taken = true; taken; ++number) {
        taken = false;
        for (const MonitorState &m : s.monitors) taken |= m.number == number;
        if (!taken) break;
    }
    MonitorState m;
    m.handle = (HMONITOR)(uintptr_t)(0x10001 + 2 * (uintptr_t)++s.monitorSerial);
    m.number = number;
    m.rect = rect;
    m.primary = s.monitors.empty();
    m.framebuffer = std::make_shared<Framebuffer>(c.width, c.height, c.layout);
    m.framebuffer->Fill(RECT{0, 0, c.width, c.height}, m.framebuffer->Encode(s.background));
    m.formatGeneration = ++s.formatSerial;
    m.configuredWidth = c.width;
    m.configuredHeight = c.height;
    m.configuredLayout = c.layout;
    m.configuredOrigin = c.origin;
    s.monitors.push_back(m);
    ++s.layoutGeneration;
    return m.handle;
}

bool DetachMonitorLocked(State &s, HMONITOR handle)
{
    for (size_t i = 0; i < s.monitors.size(); ++i) {
        if (s.monitors[i].handle != handle) continue;
        if (s.monitors[i].primary) return false;  // the desktop always keeps its primary
        s.monitors.erase(s.monitors.begin() + (long)i);
        ++s.layoutGeneration;
        return true;
    }
    return false;
}

}  // namespace desktop
}  // namespace kova

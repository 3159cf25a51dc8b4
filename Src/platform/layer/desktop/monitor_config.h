/* Monitor configuration: parsing "WxHxBPP@X,Y" entries and attaching or
 * detaching monitors of the desktop. */
#ifndef KOVA_LAYER_MONITOR_CONFIG_H
#define KOVA_LAYER_MONITOR_CONFIG_H

#include "desktop/desktop_state.h"

#include <string>
#include <vector>

namespace kova {
namespace desktop {

struct MonitorConfig {
    int width = 0, height = 0;
    PixelLayout layout = PixelLayout::Bgrx32;
    bool hasOrigin = false;
    POINT origin{};
};

// Largest side a monitor may have: keeps one framebuffer below 1 GiB.
constexpr int kMaxMonitorSide = 16384;

// One entry, "1920x1080x32" or "1280x1024x16@1920,0". False, with the
// reason in *error, for a malformed entry.
bool ParseMonitorEntry(const std::string &text, MonitorConfig *out, std::string *error);

// The whole variable. Bad or overlapping entries are reported on stderr
// and skipped; the first entry is the primary and always lies at 0,0; an
// entry without a position goes right of the monitors before it. An empty
// or absent value, or one with no usable entry, gives 1920x1080x32.
std::vector<MonitorConfig> ParseDesktopConfig(const char *value);

// "\\.\DISPLAYn"
std::string MonitorDeviceName(int number);

// Attaches a monitor at config.origin (placed right of the others when it
// has none) with a framebuffer cleared to the background colour. The first
// monitor attached becomes the primary. Returns its handle, or null with
// *error set when it would overlap another monitor.
HMONITOR AttachMonitorLocked(State &s, const MonitorConfig &config, std::string *error = nullptr);
bool DetachMonitorLocked(State &s, HMONITOR handle);

}  // namespace desktop
}  // namespace kova

#endif

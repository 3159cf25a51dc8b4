#include "Status.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <cstdio>

#include "Desktop.h"
#include "KovaSpeed.h"

namespace kovaplay {
namespace {

constexpr int kPeriodMs = 20;

/* "x1/4" at a quarter of normal speed ... "x4" at quadruple, from the
 * library's speed table; "?" for a value it does not know. */
std::string SpeedLabel(int speed)
{
    if (speed < KOVA_SPEED_SLOWEST || speed > KOVA_SPEED_FASTEST) return "?";
    const double factor = KovaSpeedFactor(speed);
    return factor > 1 ? "x1/" + std::to_string(int(factor)) : "x" + std::to_string(int(1 / factor));
}

/* FNV-1a over every second pixel of every fourth row of the pane: a moving
 * edge changes it in any picture. */
unsigned long long Signature(const ScreenPicture &info, RECT r)
{
    r.left = std::max<LONG>(r.left - info.rect.left, 0);
    r.top = std::max<LONG>(r.top - info.rect.top, 0);
    r.right = std::min<LONG>(r.right - info.rect.left, info.width);
    r.bottom = std::min<LONG>(r.bottom - info.rect.top, info.height);
    unsigned long long h = 1469598103934665603ull;
    for (LONG y = r.top; y < r.bottom; y += 4) {
        const unsigned char *row = info.pixels.data() + size_t(y) * info.pitch;
        for (LONG x = r.left; x < r.right; x += 2) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, row + x * info.bytesPerPixel, size_t(info.bytesPerPixel));
            h = (h ^ pixel) * 1099511628211ull;
        }
    }
    return h == 0 ? 1 : h;
}

}  // namespace

FrameWatch::FrameWatch(const Wall &wall)
{
    for (int i = 0; i < wall.PaneCount(); ++i) {
        panes_.push_back(wall.PaneScreenRect(i));
        Pane *pane = wall.PaneAt(i);
        live_.push_back(pane && pane->Live() ? pane : nullptr);
    }
    shown_.reset(new std::atomic<long long>[panes_.size()]);
    for (size_t i = 0; i < panes_.size(); ++i) shown_[i] = 0;
    last_.assign(panes_.size(), 0);
}

FrameWatch::~FrameWatch() { Stop(); }

void FrameWatch::Start()
{
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
}

void FrameWatch::Stop()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

long long FrameWatch::Shown(int pane) const { return pane < int(panes_.size()) ? shown_[pane].load() : 0; }

void FrameWatch::Run()
{
    const auto period = std::chrono::milliseconds(kPeriodMs);
    auto next = std::chrono::steady_clock::now();
    RECT area = panes_.empty() ? RECT{} : panes_[0];
    for (const RECT &r : panes_) UnionRect(&area, &area, &r);
    ScreenReader reader(area);
    ScreenPicture screen;
    size_t size = 0;
    while (!stop_) {
        if (reader.Read(screen)) {
            if (screen.pixels.size() != size) {
                // Panes start black: the first picture counts even when it
                // is already there at the first look.
                size = screen.pixels.size();
                ScreenPicture black = screen;
                std::fill(black.pixels.begin(), black.pixels.end(), 0);
                for (size_t i = 0; i < panes_.size(); ++i) last_[i] = Signature(black, panes_[i]);
            }
            const auto now = std::chrono::steady_clock::now();
            for (size_t i = 0; i < panes_.size(); ++i) {
                const unsigned long long signature = Signature(screen, panes_[i]);
                if (signature != last_[i]) {
                    ++shown_[i];
                    if (live_[i]) live_[i]->NoteShown(now);
                }
                last_[i] = signature;
            }
        }
        next += period;
        std::this_thread::sleep_until(next);
        if (std::chrono::steady_clock::now() > next + period) next = std::chrono::steady_clock::now();
    }
}

namespace {

/* Where a pane is in its source: its time in a file, or how its camera is. */
std::string Whereabouts(const PaneStats &s)
{
    char text[64];
    if (!s.live) {
        std::snprintf(text, sizeof text, "at %6.1fs", s.positionMs / 1000.0);
        return text;
    }
    switch (s.state) {
    case LiveState::Connecting: return "connecting";
    case LiveState::Failed: return "failed";
    case LiveState::Reconnecting:
        std::snprintf(text, sizeof text, "reconnecting in %ds", s.retryInSeconds);
        return text;
    case LiveState::Playing: break;
    }
    if (s.latencyMs >= 0) std::snprintf(text, sizeof text, "live %4.1f fps latency %dms", s.frameRate, s.latencyMs);
    else std::snprintf(text, sizeof text, "live %4.1f fps latency -", s.frameRate);
    return text;
}

}  // namespace

std::vector<std::string> StatusLines(const Wall &wall, const FrameWatch &watch, double elapsed)
{
    std::vector<std::string> lines;
    char text[512];
    for (int i = 0; i < wall.PaneCount(); ++i) {
        const Pane *pane = wall.PaneAt(i);
        if (!pane) continue;
        const PaneStats s = pane->Stats();
        std::snprintf(text, sizeof text,
                      "%c pane %-2d %s%6.1fs %s  shown %6lld  late %4lld  sent %6lld  sound %-3s vol %-3s %-4s "
                      "mode %d  %s  %s",
                      i == wall.Selected() ? '>' : ' ', i + 1, pane->Name().empty() ? "" : (pane->Name() + "  ").c_str(),
                      elapsed, Whereabouts(s).c_str(), watch.Shown(i), s.late,
                      s.videoSent, wall.SoundPane() == i ? "on" : "off",
                      s.volume < 0 ? "-" : std::to_string(s.volume).c_str(), SpeedLabel(s.speed).c_str(),
                      s.displayMode, pane->Description().c_str(), s.ended ? "(ended)" : "");
        lines.push_back(text);
    }
    return lines;
}

}  // namespace kovaplay

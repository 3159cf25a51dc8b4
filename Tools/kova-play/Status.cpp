#include "Status.h"

#include <kova_control_desktop.h>

#include <chrono>
#include <cstdio>

namespace kovaplay {
namespace {

constexpr int kColumns = 8, kRows = 6;

}  // namespace

FrameWatch::FrameWatch(const Wall &wall)
{
    for (int i = 0; i < wall.PaneCount(); ++i) panes_.push_back(wall.PaneScreenRect(i));
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
    const auto period = std::chrono::milliseconds(10);
    auto next = std::chrono::steady_clock::now();
    while (!stop_) {
        for (size_t i = 0; i < panes_.size(); ++i) {
            const RECT &r = panes_[i];
            const int w = r.right - r.left, h = r.bottom - r.top;
            unsigned long long signature = 1469598103934665603ull;  // FNV-1a over the samples
            for (int y = 0; y < kRows; ++y)
                for (int x = 0; x < kColumns; ++x) {
                    const COLORREF c = KovaControl_GetScreenPixel(r.left + (2 * x + 1) * w / (2 * kColumns),
                                                                  r.top + (2 * y + 1) * h / (2 * kRows));
                    signature = (signature ^ c) * 1099511628211ull;
                }
            if (last_[i] != 0 && signature != last_[i]) ++shown_[i];
            last_[i] = signature;
        }
        next += period;
        std::this_thread::sleep_until(next);
        if (std::chrono::steady_clock::now() > next + period) next = std::chrono::steady_clock::now();
    }
}

std::vector<std::string> StatusLines(const Wall &wall, const FrameWatch &watch, double elapsed)
{
    std::vector<std::string> lines;
    char text[512];
    for (int i = 0; i < wall.PaneCount(); ++i) {
        const Pane *pane = wall.PaneAt(i);
        if (!pane) continue;
        const PaneStats s = pane->Stats();
        const char *speeds[] = {"?", "x1/4", "x1/2", "x1", "x2", "x4"};
        std::snprintf(text, sizeof text,
                      "%c pane %-2d %6.1fs at %6.1fs  shown %6lld  late %4lld  sent %6lld  sound %-3s vol %-3s %-4s "
                      "mode %d  %s  %s",
                      i == wall.Selected() ? '>' : ' ', i + 1, elapsed, s.positionMs / 1000.0, watch.Shown(i), s.late,
                      s.videoSent, wall.SoundPane() == i ? "on" : "off",
                      s.volume < 0 ? "-" : std::to_string(s.volume).c_str(), speeds[s.speed >= 1 && s.speed <= 5 ? s.speed : 0],
                      s.displayMode, pane->Description().c_str(), s.ended ? "(ended)" : "");
        lines.push_back(text);
    }
    return lines;
}

}  // namespace kovaplay

/* What each pane is doing, as a client would show it: pictures that reached
 * the pane (counted by watching the pane on the screen), pictures pushed too
 * late to be shown, and whether the pane has the sound. */
#ifndef KOVA_PLAY_STATUS_H
#define KOVA_PLAY_STATUS_H

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Wall.h"

namespace kovaplay {

/* Reads the screen back 50 times a second (when it changed) and counts the
 * changes of each pane: each is a new picture shown. Pictures that come and
 * go between two looks are missed, so above 50 pictures a second the count
 * is a lower bound, and a still picture counts once. */
class FrameWatch {
public:
    explicit FrameWatch(const Wall &wall);
    ~FrameWatch();
    void Start();
    void Stop();
    long long Shown(int pane) const;

private:
    void Run();

    std::vector<RECT> panes_;
    std::vector<Pane *> live_;  /* told when they change, for their latency; null for the others */
    std::unique_ptr<std::atomic<long long>[]> shown_;
    std::vector<unsigned long long> last_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::vector<std::string> StatusLines(const Wall &wall, const FrameWatch &watch, double elapsedSeconds);

}  // namespace kovaplay

#endif

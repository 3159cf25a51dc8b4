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

/* Samples a sparse grid of points of every pane at 100 Hz and counts the
 * changes: each is a new picture shown. Pictures that come and go between
 * two samples are missed, so the count is a lower bound above 100 pictures
 * a second. */
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
    std::unique_ptr<std::atomic<long long>[]> shown_;
    std::vector<unsigned long long> last_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::vector<std::string> StatusLines(const Wall &wall, const FrameWatch &watch, double elapsedSeconds);

}  // namespace kovaplay

#endif

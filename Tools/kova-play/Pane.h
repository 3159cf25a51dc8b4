/* One pane of the wall: a child window, the library instance bound to it,
 * and the thread that reads the pane's recording and pushes its packets in
 * real time. Every library call on the instance is made on that thread (the
 * library does not serialise calls on one instance), so controls are queued
 * and run between two packets. */
#ifndef KOVA_PLAY_PANE_H
#define KOVA_PLAY_PANE_H

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KovaDecoder.h"
#include "MediaSource.h"
#include "StreamChoice.h"

namespace kovaplay {

struct PaneSettings {
    int streamTypeOverride = 0;
    bool loop = true;
    long long timeBase = 0;  /* seconds of the recording's start, as cameras stamp */
};

struct PaneStats {
    long long videoSent = 0, audioSent = 0, refused = 0, late = 0;
    long long positionMs = 0;
    int speed = 3, volume = -1, displayMode = 0, segment = 1;
    bool ended = false, failed = false;
};

class Pane {
public:
    Pane(int index, HWND window, std::string path, PaneSettings settings);
    ~Pane();
    Pane(const Pane &) = delete;
    Pane &operator=(const Pane &) = delete;

    /* Opens the recording, creates and starts the instance, starts pushing.
     * False with a message when the file cannot be played. */
    bool Start(std::string &error);
    /* Ends the pushing thread, then stops and releases the instance. */
    void Finish();

    /* Controls, carried out on the pane's thread in the order given. */
    void SetSound(bool on);
    /* `relative`: a step from the pane's volume or speed at the time the
     * command runs. Volumes are clamped to 0..100, speeds to 1..5. */
    void SetVolume(int volume, bool relative = false);
    void SetSpeed(int speed, bool relative = false);
    void SetZoom(int left, int top, int right, int bottom);
    void Seek(long long ms, bool relative);
    /* mode 0, 1 or 2; with `next`, the mode after the pane's current one. */
    void SetDisplayMode(int mode, bool next = false);
    /* Snapshot through the library; `done` gets whether the file appeared. */
    void Capture(std::string path, std::function<void(bool)> done);

    int Index() const { return index_; }
    HWND Window() const { return window_; }
    const std::string &Path() const { return path_; }
    std::string Description() const;
    PaneStats Stats() const;
    bool Playing() const { return handle_ != nullptr; }

private:
    void Post(std::function<void()> command);
    void Run();
    bool RunCommands();
    void Send(const Packet &packet);
    void WaitForWork(std::chrono::steady_clock::duration limit);

    const int index_;
    const HWND window_;
    const std::string path_;
    const PaneSettings settings_;
    std::unique_ptr<MediaSource> source_;
    StreamChoice choice_;
    KOVA_HANDLE handle_ = nullptr;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::function<void()>> commands_;
    bool quit_ = false;

    /* Pushing state, owned by the pane's thread. */
    bool anchored_ = false;
    std::chrono::steady_clock::time_point wallAnchor_;
    long long mediaAnchor_ = 0;
    long long catchUpUntil_ = -1;
    bool havePacket_ = false;
    bool passEmpty_ = true;  /* no packet read since the pass over the file began */

    std::atomic<long long> videoSent_{0}, audioSent_{0}, refused_{0}, late_{0}, positionMs_{0};
    std::atomic<int> speed_{3}, volume_{-1}, displayMode_{0}, segment_{1};
    std::atomic<bool> ended_{false}, failed_{false};
};

}  // namespace kovaplay

#endif

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
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KovaDecoder.h"
#include "LiveSource.h"
#include "MediaSource.h"
#include "StreamChoice.h"

namespace kovaplay {

struct PaneSettings {
    int streamTypeOverride = 0;
    bool loop = true;
    long long timeBase = 0;  /* seconds of the recording's start, as cameras stamp */
    std::string name;        /* shown in the status line when given */
    LiveOptions live;        /* for a source named by a URL */
};

/* Where a live pane is: connecting the first time, playing, or waiting to
 * try again after the source refused, dropped or fell silent. */
enum class LiveState { Connecting, Playing, Reconnecting, Failed };

struct PaneStats {
    long long videoSent = 0, audioSent = 0, refused = 0, late = 0;
    long long positionMs = 0;
    int speed = 3, volume = -1, displayMode = 0, segment = 1;
    bool ended = false, failed = false;
    /* Live panes only. */
    bool live = false;
    LiveState state = LiveState::Connecting;
    double frameRate = 0;      /* pictures arriving a second, over the last two seconds */
    int latencyMs = -1;        /* arrival to the pane's change on the screen; -1 unknown */
    int retryInSeconds = 0;    /* while reconnecting */
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
    /* The path or URL as it may be shown: without a URL's credentials. */
    const std::string &ShownPath() const { return shownPath_; }
    const std::string &Name() const { return settings_.name; }
    bool Live() const { return live_; }
    std::string Description() const;
    PaneStats Stats() const;
    /* The pane changed on the screen at `when` (told by the frame watch). */
    void NoteShown(std::chrono::steady_clock::time_point when);

private:
    void Post(std::function<void()> command);
    void Run();
    bool RunCommands();
    void Send(const Packet &packet);
    void WaitForWork(std::chrono::steady_clock::duration limit);
    /* Creates the instance for choice_, binds it, describes its sound and
     * starts it; false with `error` when the library refuses. */
    bool StartInstance(std::string &error);
    /* Live panes: connect, play, and reconnect with growing back-off. */
    void RunLive();
    bool PrepareLiveInstance(std::string &error);
    void PlayLive(std::string &error);
    void SendLive(const Packet &packet, std::chrono::steady_clock::time_point arrival);
    std::string Who() const;

    const int index_;
    const HWND window_;
    const std::string path_;
    const std::string shownPath_;
    const PaneSettings settings_;
    const bool live_;
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

    /* Live state: the source is replaced on each connection, so its
     * description is kept apart for other threads. */
    std::atomic<bool> stopping_{false};
    std::atomic<int> liveState_{int(LiveState::Connecting)};
    std::atomic<int> frameRateTenths_{0}, latencyMs_{-1}, retryInSeconds_{0};
    mutable std::mutex descriptionMutex_;
    std::string liveDescription_ = "connecting";
    bool soundWanted_ = false;
    long long liveTimeBase_ = 0;
    std::chrono::steady_clock::time_point rateStart_;
    int rateCount_ = 0;
    std::mutex arrivalsMutex_;
    /* Pictures pushed and not yet seen: when each arrived, and when the
     * library shows it (its time stamp from the segment's first picture). */
    struct Arrival {
        std::chrono::steady_clock::time_point arrived, due;
    };
    std::deque<Arrival> arrivals_;

    std::atomic<long long> videoSent_{0}, audioSent_{0}, refused_{0}, late_{0}, positionMs_{0};
    std::atomic<int> speed_{3}, volume_{-1}, displayMode_{0}, segment_{1};
    std::atomic<bool> ended_{false}, failed_{false};
};

}  // namespace kovaplay

#endif

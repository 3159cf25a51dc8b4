#include "Pane.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "Console.h"
#include "KovaSpeed.h"

namespace kovaplay {
namespace {

using Clock = std::chrono::steady_clock;

/* A picture pushed this much after it was due reaches the library too late
 * to be shown on time. */
constexpr long long kLateMs = 40;

/* The device code of a plain standard stream: no framing to strip. */
constexpr LONG kDeviceCode = 0;

std::string PaneName(int index) { return "pane " + std::to_string(index + 1); }

bool FileNonEmpty(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

}  // namespace

Pane::Pane(int index, HWND window, std::string path, PaneSettings settings)
    : index_(index),
      window_(window),
      path_(std::move(path)),
      shownPath_(RedactUrl(path_)),
      settings_(std::move(settings)),
      live_(IsUrl(path_))
{
}

Pane::~Pane() { Finish(); }

bool Pane::Start(std::string &error)
{
    if (live_) {
        // Connecting may take seconds: it happens on the pane's thread, so
        // that a camera that does not answer holds up no other pane.
        thread_ = std::thread([this] { RunLive(); });
        return true;
    }
    source_ = OpenMedia(path_, error);
    if (!source_) {
        failed_ = true;
        return false;
    }
    const MediaInfo &info = source_->Info();
    if (!info.note.empty()) Say(PaneName(index_) + ": " + shownPath_ + ": " + info.note);
    choice_ = ChooseStream(info, settings_.streamTypeOverride);

    if (!StartInstance(error)) {
        failed_ = true;
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

bool Pane::StartInstance(std::string &error)
{
    // The order a client follows: create, bind to the window, describe the
    // sound (only kept once a decoder is selected), start, then packets.
    handle_ = KOVA_CreateInstance(kDeviceCode, choice_.streamType);
    if (!handle_) {
        error = "the library refused to create an instance";
        return false;
    }
    KOVA_InitPlayInstance(handle_, window_);
    if (choice_.setAudio)
        KOVA_SetAudioParam(handle_, choice_.audioType, choice_.sampleRate, choice_.channels, choice_.bitRate,
                           choice_.bitsPerSample);
    KOVA_StartPlayStream(handle_);
    return true;
}

void Pane::Finish()
{
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            quit_ = true;
        }
        stopping_ = true;  // a connection attempt or read gives up at once
        wake_.notify_all();
        thread_.join();
    }
    if (handle_) {
        KOVA_StopPlayStream(handle_);
        KOVA_ReleaseInstance(handle_);
        handle_ = nullptr;
    }
}

std::string Pane::Description() const
{
    if (live_) {
        std::lock_guard<std::mutex> guard(descriptionMutex_);
        return liveDescription_;
    }
    if (!source_) return "-";
    return Describe(source_->Info()) + " " + std::to_string(source_->Info().width) + "x" +
           std::to_string(source_->Info().height) + " type " + std::to_string(choice_.streamType);
}

PaneStats Pane::Stats() const
{
    PaneStats s;
    s.videoSent = videoSent_;
    s.audioSent = audioSent_;
    s.refused = refused_;
    s.late = late_;
    s.positionMs = positionMs_;
    s.speed = speed_;
    s.volume = volume_;
    s.displayMode = displayMode_;
    s.segment = segment_;
    s.ended = ended_;
    s.failed = failed_;
    s.live = live_;
    s.state = LiveState(liveState_.load());
    s.frameRate = frameRateTenths_ / 10.0;
    s.latencyMs = latencyMs_;
    s.retryInSeconds = retryInSeconds_;
    return s;
}

void Pane::Post(std::function<void()> command)
{
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        commands_.push_back(std::move(command));
    }
    wake_.notify_all();
}

void Pane::SetSound(bool on)
{
    Post([this, on] {
        soundWanted_ = on;  // a live pane not yet connected takes it when it is
        // Switching one pane on switches the pane that had the sound off.
        KOVA_SetAudio(handle_, on ? 1 : 0);
        // The status line shows the pane's volume as the library has it.
        LONG volume = 0;
        if (on && volume_ < 0 && KOVA_GetVolume(handle_, &volume)) volume_ = int(volume);
    });
}

void Pane::SetVolume(int volume, bool relative)
{
    // A relative step starts from the volume left by the commands before it,
    // so it is worked out here, on the pane's thread.
    Post([this, volume, relative] {
        int target = relative ? (volume_ < 0 ? 90 : volume_.load()) + volume : volume;  // the device starts at 90 %
        target = std::max(0, std::min(100, target));
        // A live pane not yet connected takes it when it is.
        if (!handle_ || KOVA_SetVolume(handle_, target)) volume_ = target;
    });
}

void Pane::SetSpeed(int speed, bool relative)
{
    Post([this, speed, relative] {
        if (live_) {
            Complain(PaneName(index_) + ": a live pane plays at the camera's pace");
            return;
        }
        const int target = relative ? std::max<int>(KOVA_SPEED_SLOWEST, std::min<int>(KOVA_SPEED_FASTEST, speed_ + speed)) : speed;
        KOVA_SetSpeed(handle_, target);
        speed_ = target;
        anchored_ = false;  // the pushing clock restarts at the new rate
    });
}

void Pane::SetZoom(int left, int top, int right, int bottom)
{
    Post([this, left, top, right, bottom] {
        if (!handle_)
            Complain(PaneName(index_) + ": no zoom before the camera is connected");
        else if (!KOVA_SetDigitalZoom(handle_, left, top, right, bottom))
            Complain(PaneName(index_) + ": zoom box refused");
    });
}

void Pane::Seek(long long ms, bool relative)
{
    Post([this, ms, relative] {
        if (live_) {
            Complain(PaneName(index_) + ": no seek on a live pane");
            return;
        }
        long long target = relative ? positionMs_ + ms : ms;
        const long long duration = source_->Info().durationMs;
        if (duration > 0) target = std::min(target, duration - 1);
        target = std::max(0LL, target);
        // The file first: a library told of a seek the file cannot make
        // would wait for pictures of the target that never come.
        std::string error;
        if (!source_->Seek(target, error)) {
            Complain(PaneName(index_) + ": " + error);
            return;
        }
        // The library filters by whole seconds of the time stamps: the sum of
        // the two values is the second to show next.
        KOVA_NotifySeek(handle_, LONG(settings_.timeBase), LONG(target / 1000));
        // A further relative seek queued behind this one counts from here.
        positionMs_ = target;
        passEmpty_ = false;  // what is left of this pass says nothing of the file
        havePacket_ = false;
        anchored_ = false;
        catchUpUntil_ = target / 1000 * 1000;
        ended_ = false;
        Say(PaneName(index_) + ": seek to " + std::to_string(target / 1000) + " s");
    });
}

void Pane::SetDisplayMode(int mode, bool next)
{
    // Worked out where the commands run, after any still queued.
    Post([this, mode, next] {
        const int chosen = next ? (displayMode_ + 1) % 3 : mode;
        KOVA_SetDisplayMode(handle_, chosen);
        displayMode_ = chosen;
    });
}

void Pane::Capture(std::string path, std::function<void(bool)> done)
{
    Post([this, path, done] {
        std::remove(path.c_str());
        const bool forwarded = KOVA_CaptureBitmap(handle_, path.c_str()) != 0;
        if (done) done(forwarded && FileNonEmpty(path));
    });
}

bool Pane::RunCommands()
{
    std::vector<std::function<void()>> commands;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (quit_) return false;
        commands.swap(commands_);
    }
    for (auto &command : commands) command();
    return true;
}

void Pane::WaitForWork(Clock::duration limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, limit, [this] { return quit_ || !commands_.empty(); });
}

void Pane::Run()
{
    Packet packet;
    std::string error;
    while (RunCommands()) {
        if (ended_) {
            WaitForWork(std::chrono::milliseconds(200));
            continue;
        }
        if (!havePacket_) {
            error.clear();
            if (!source_->Read(packet, error)) {
                if (!error.empty()) {
                    Complain(PaneName(index_) + ": " + shownPath_ + ": " + error);
                    ended_ = true;
                } else if (settings_.loop && passEmpty_) {
                    // Nothing to push in a whole pass: looping would only
                    // spin over the file.
                    Complain(PaneName(index_) + ": " + shownPath_ + ": no picture to play in the whole file");
                    ended_ = true;
                } else if (settings_.loop && source_->Seek(0, error)) {
                    // A new pass over the recording: a new segment, so that
                    // the library starts its clock again instead of waiting.
                    ++segment_;
                    anchored_ = false;
                    passEmpty_ = true;
                } else {
                    Say(PaneName(index_) + ": end of " + shownPath_);
                    ended_ = true;
                }
                continue;
            }
            havePacket_ = true;
            passEmpty_ = false;
        }
        const auto now = Clock::now();
        if (catchUpUntil_ >= 0 && packet.ms < catchUpUntil_) {
            // After a seek the pictures before the target are decoded but not
            // shown: push them at once.
        } else {
            catchUpUntil_ = -1;
            if (!anchored_) {
                anchored_ = true;
                wallAnchor_ = now;
                mediaAnchor_ = packet.ms;
            }
            const auto due = wallAnchor_ + std::chrono::microseconds(
                                               (long long)((packet.ms - mediaAnchor_) * 1000 * KovaSpeedFactor(speed_)));
            if (now < due) {
                WaitForWork(due - now);
                continue;
            }
            if (!packet.audio && now - due > std::chrono::milliseconds(kLateMs)) ++late_;
        }
        Send(packet);
        havePacket_ = false;
        // A send held by the library (its pool full while it paces what it
        // has: after a slow start, or at a speed it cannot keep) moves the
        // recording's clock on, as a camera's own clock would run on; else
        // every later picture would count as late for that one hold.
        const auto held = Clock::now() - now;
        if (anchored_ && catchUpUntil_ < 0 && held > std::chrono::milliseconds(kLateMs)) wallAnchor_ += held;
    }
}

void Pane::Send(const Packet &p)
{
    const long long seconds = settings_.timeBase + p.ms / 1000, milliseconds = p.ms % 1000;
    const LONG length = LONG(p.data.size());
    LONG forwarded;
    if (p.audio) {
        forwarded = KOVA_SendAudioFrame(handle_, p.data.data(), length, LONG(seconds), LONG(milliseconds), segment_);
        ++audioSent_;
    } else {
        const MediaInfo &info = source_->Info();
        const bool vendor = choice_.streamType == kVendorStreamType;
        forwarded = KOVA_SendVideoFrame(handle_, p.data.data(), length, vendor ? 0 : info.width,
                                        vendor ? 0 : info.height, choice_.streamType, LONG(seconds),
                                        LONG(milliseconds), segment_);
        ++videoSent_;
        // Pictures before a seek's target are not shown: the position stays
        // at the target until they are through.
        if (catchUpUntil_ < 0) positionMs_ = p.ms;
    }
    if (!forwarded) ++refused_;
}

}  // namespace kovaplay

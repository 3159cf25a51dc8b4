/* The live side of a pane: a camera named by a URL. Its packets are pushed
 * the moment they arrive, stamped with the camera's time, and the library
 * paces them; when the camera refuses, drops or falls silent the pane waits
 * 1 s, 2 s, 4 s ... up to 30 s between attempts, and each connection plays
 * as a new segment. Nothing here blocks another pane: each has its thread. */
#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "Console.h"
#include "Pane.h"

namespace kovaplay {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFirstRetryMs = 1000, kLastRetryMs = 30000;
/* Source time running this far from arrival time: the camera's clock
 * jumped (a restart, a resynchronised RTP clock); the library must start
 * its clock again rather than wait or drop. */
constexpr long long kClockJumpMs = 2000;
/* Pictures kept for the latency: a second and more of them. */
constexpr size_t kMaxUnseen = 64;
constexpr LONG kDeviceCode = 0;

}  // namespace

std::string Pane::Who() const
{
    return "pane " + std::to_string(index_ + 1) + (settings_.name.empty() ? "" : " (" + settings_.name + ")");
}

void Pane::RunLive()
{
    LiveOptions options = settings_.live;
    options.cancel = &stopping_;
    int retryMs = kFirstRetryMs;
    while (RunCommands()) {
        std::string error;
        bool permanent = false;
        source_ = OpenLive(path_, options, error, permanent);
        if (source_ && !PrepareLiveInstance(error)) {
            source_.reset();
            permanent = true;
        }
        if (source_) {
            const long long before = videoSent_;
            PlayLive(error);
            if (videoSent_ > before) retryMs = kFirstRetryMs;  // it played: the next drop starts the back-off again
            if (!RunCommands()) break;
        }
        if (stopping_) break;
        if (permanent) {
            Complain(Who() + ": " + shownPath_ + ": " + error);
            liveState_ = int(LiveState::Failed);
            failed_ = true;
            ended_ = true;
            return;
        }
        liveState_ = int(LiveState::Reconnecting);
        Complain(Who() + ": " + shownPath_ + ": " + error + "; reconnecting in " + std::to_string(retryMs / 1000) +
                 " s");
        {
            std::lock_guard<std::mutex> guard(descriptionMutex_);
            if (liveDescription_ == "connecting") liveDescription_ = "unreachable";
        }
        source_.reset();
        const auto retryAt = Clock::now() + std::chrono::milliseconds(retryMs);
        for (auto now = Clock::now(); now < retryAt; now = Clock::now()) {
            retryInSeconds_ = int(std::chrono::duration_cast<std::chrono::milliseconds>(retryAt - now).count() + 999) /
                              1000;
            WaitForWork(std::min<Clock::duration>(retryAt - now, std::chrono::milliseconds(250)));
            if (!RunCommands()) return;
        }
        retryInSeconds_ = 0;
        retryMs = std::min(retryMs * 2, kLastRetryMs);
    }
}

bool Pane::PrepareLiveInstance(std::string &error)
{
    const MediaInfo &info = source_->Info();
    const StreamChoice choice = ChooseStream(info, settings_.streamTypeOverride);
    if (handle_ && choice.streamType == choice_.streamType && choice.setAudio == choice_.setAudio &&
        choice.audioType == choice_.audioType && choice.sampleRate == choice_.sampleRate) {
        ++segment_;  // same camera, same codecs: the library's clock starts again
    } else {
        if (handle_) {
            // The camera came back with other codecs: a new instance for them.
            KOVA_StopPlayStream(handle_);
            KOVA_ReleaseInstance(handle_);
            handle_ = nullptr;
            ++segment_;
        }
        choice_ = choice;
        if (!StartInstance(error)) return false;
        // What was asked for before the camera answered.
        if (soundWanted_) KOVA_SetAudio(handle_, 1);
        if (volume_ >= 0) KOVA_SetVolume(handle_, volume_);
        if (displayMode_ != 0) KOVA_SetDisplayMode(handle_, displayMode_);
    }
    if (!info.note.empty()) Say(Who() + ": " + shownPath_ + ": " + info.note);
    {
        std::lock_guard<std::mutex> guard(descriptionMutex_);
        liveDescription_ = Describe(info) + " " + std::to_string(info.width) + "x" + std::to_string(info.height) +
                           " type " + std::to_string(choice_.streamType);
    }
    Say(Who() + ": " + shownPath_ + " connected (" + Description() + ")");
    return true;
}

void Pane::PlayLive(std::string &error)
{
    liveState_ = int(LiveState::Playing);
    liveTimeBase_ = (long long)std::time(nullptr);
    anchored_ = false;
    rateStart_ = Clock::now();
    rateCount_ = 0;
    {
        std::lock_guard<std::mutex> guard(arrivalsMutex_);
        arrivals_.clear();
    }
    Packet packet;
    while (RunCommands()) {
        if (!source_->Read(packet, error)) return;
        SendLive(packet, Clock::now());
    }
}

void Pane::SendLive(const Packet &p, Clock::time_point arrival)
{
    if (!p.audio) {
        const long long sinceAnchor =
            std::chrono::duration_cast<std::chrono::milliseconds>(arrival - wallAnchor_).count();
        if (!anchored_ || std::llabs((p.ms - mediaAnchor_) - sinceAnchor) > kClockJumpMs) {
            if (anchored_) ++segment_;
            anchored_ = true;
            wallAnchor_ = arrival;
            mediaAnchor_ = p.ms;
            // The time stamps of the new segment begin at the wall clock's now.
            liveTimeBase_ = (long long)std::time(nullptr) - p.ms / 1000;
        }
        {
            std::lock_guard<std::mutex> guard(arrivalsMutex_);
            arrivals_.push_back({arrival, wallAnchor_ + std::chrono::milliseconds(p.ms - mediaAnchor_)});
            while (arrivals_.size() > kMaxUnseen) arrivals_.pop_front();
        }
        ++rateCount_;
        const auto window = arrival - rateStart_;
        if (window >= std::chrono::seconds(2)) {
            frameRateTenths_ =
                int(rateCount_ * 10000LL / std::chrono::duration_cast<std::chrono::milliseconds>(window).count());
            rateStart_ = arrival;
            rateCount_ = 0;
        }
    }
    const long long seconds = liveTimeBase_ + p.ms / 1000, milliseconds = p.ms % 1000;
    const LONG length = LONG(p.data.size());
    LONG forwarded;
    if (p.audio) {
        forwarded = KOVA_SendAudioFrame(handle_, p.data.data(), length, LONG(seconds), LONG(milliseconds), segment_);
        ++audioSent_;
    } else {
        const MediaInfo &info = source_->Info();
        forwarded = KOVA_SendVideoFrame(handle_, p.data.data(), length, info.width, info.height, choice_.streamType,
                                        LONG(seconds), LONG(milliseconds), segment_);
        ++videoSent_;
        positionMs_ = p.ms;
    }
    if (!forwarded) ++refused_;
}

void Pane::NoteShown(Clock::time_point when)
{
    // The library shows each picture when it is due by its time stamp, so
    // the change is the picture due last before it (or the oldest one, when
    // the library started its clock a little after the first arrival).
    // Pictures that changed nothing on the screen are passed over with it.
    std::lock_guard<std::mutex> guard(arrivalsMutex_);
    if (arrivals_.empty() || arrivals_.front().arrived > when) return;
    size_t shown = 0;
    while (shown + 1 < arrivals_.size() && arrivals_[shown + 1].due <= when && arrivals_[shown + 1].arrived <= when)
        ++shown;
    latencyMs_ = int(std::chrono::duration_cast<std::chrono::milliseconds>(when - arrivals_[shown].arrived).count());
    arrivals_.erase(arrivals_.begin(), arrivals_.begin() + long(shown) + 1);
}

}  // namespace kovaplay

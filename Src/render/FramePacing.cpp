#include "render/FramePacing.h"

#include "platform/win32.h"

/* The speed steps are the public contract's (KOVA_SetSpeed), in a header of
 * their own beside the exported functions' so that clients pace by the same
 * table. */
#include "public/KovaSpeed.h"

#include <utility>

namespace {

/* Timestamp order: seconds first, then milliseconds. */
bool StampLater(int32_t seconds, int32_t milliseconds, int32_t thanSeconds, int32_t thanMilliseconds)
{
    if (seconds != thanSeconds) return seconds > thanSeconds;
    return milliseconds > thanMilliseconds;
}

PacingDecision Decision(PacingAction action, PacingReason reason, int32_t delay, uint32_t now)
{
    PacingDecision decision;
    decision.action = action;
    decision.reason = reason;
    decision.delay = delay;
    decision.useTimer = action == PacingWait && delay >= kTimerWaitThreshold;
    decision.dueTick = now;
    return decision;
}

}  // namespace

double PacingSpeedFactor(int32_t speed)
{
    return KovaSpeedFactor(speed);
}

uint32_t SystemPacingClock()
{
    return GetTickCount();
}

FramePacer::FramePacer(PacingClock clock_) : clock(std::move(clock_))
{
    Reset();
}

void FramePacer::Reset()
{
    state = PacingState();
}

int32_t FramePacer::Delay(int32_t seconds, int32_t milliseconds, int32_t speed) const
{
    return DelayAt(seconds, milliseconds, speed, clock());
}

int32_t FramePacer::DelayAt(int32_t seconds, int32_t milliseconds, int32_t speed, uint32_t now) const
{
    if (state.anchorTick == 0) return 0;
    /* Media time in 64 bits so a wild jump in the stamps cannot wrap into the
     * opposite sign; ticks wrap every 49.7 days, so their difference is taken
     * modulo 2^32. The factor turns media time into wall time; the elapsed
     * ticks already are wall time. */
    const int64_t media = (static_cast<int64_t>(seconds) - state.anchorSeconds) * 1000 +
                          (static_cast<int64_t>(milliseconds) - state.anchorMilliseconds);
    const int32_t elapsed = static_cast<int32_t>(now - state.anchorTick);
    const double delay = static_cast<double>(media) * PacingSpeedFactor(speed) - elapsed;
    if (delay >= 2147483647.0) return INT32_MAX;
    if (delay <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(delay);  // truncates toward zero
}

void FramePacer::Seek(int32_t seekA, int32_t seekB)
{
    state.seekA = seekA;
    state.seekB = seekB;
    state.seekBackward = state.lastShownSeconds > static_cast<int64_t>(seekA) + seekB;
    state.reanchorRequested = 1;
}

void FramePacer::DropAnchor()
{
    state.anchored = 0;
    state.audioAnchored = 0;
    state.anchorTick = 0;
    state.anchorSeconds = 0;
    state.anchorMilliseconds = 0;
    state.lateSinceTick = 0;
}

/* Lets a frame through at once. */
PacingDecision FramePacer::ShowNow(const PacingFrame &frame, int32_t speed, uint32_t now, PacingReason reason,
                                   int32_t delay)
{
    Commit(frame, speed, now, now);
    return Decision(PacingShow, reason, delay, now);
}

/* Lets a frame that was due `delay` ms ago (0 or less) through at once. Its
 * due tick, not `now`, becomes the anchor when the anchor moves, so that the
 * frames after a late one catch up as they do at normal speed. */
PacingDecision FramePacer::ShowLate(const PacingFrame &frame, int32_t speed, uint32_t now, PacingReason reason,
                                    int32_t delay)
{
    const uint32_t due = now + static_cast<uint32_t>(delay);
    Commit(frame, speed, due, now);
    PacingDecision decision = Decision(PacingShow, reason, delay, now);
    decision.dueTick = due;
    return decision;
}

/* The seek filter: true when the frame is to be dropped. A frame that passes
 * ends the seek. */
bool FramePacer::SeekFilterRejects(const PacingFrame &frame)
{
    if (state.seekA <= 0 && state.seekB <= 0) return false;
    if (state.seekBackward) {
        /* Going back: only a picture at or before the one on screen proves
         * the feed has arrived at the earlier position. */
        if (frame.IsSound()) return true;
        if (StampLater(frame.seconds, frame.milliseconds, state.lastShownSeconds, state.lastShownMilliseconds))
            return true;
    } else {
        const int64_t target = static_cast<int64_t>(state.seekA) + state.seekB;
        if (frame.seconds < target) return true;
    }
    state.seekA = 0;
    state.seekB = 0;
    return false;
}

/* Whether the frame is due more than kReanchorAheadMedia of media time
 * after the media time the clock has reached since the anchor. */
bool FramePacer::FarAhead(const PacingFrame &frame, int32_t speed, uint32_t now) const
{
    const int64_t media = (static_cast<int64_t>(frame.seconds) - state.anchorSeconds) * 1000 +
                          (static_cast<int64_t>(frame.milliseconds) - state.anchorMilliseconds);
    const int32_t elapsed = static_cast<int32_t>(now - state.anchorTick);
    return static_cast<double>(media) - elapsed / PacingSpeedFactor(speed) > kReanchorAheadMedia;
}

PacingDecision FramePacer::Decide(const PacingFrame &frame, int32_t speed)
{
    const uint32_t now = clock();
    if (SeekFilterRejects(frame)) return Decision(PacingDiscard, ReasonSeekFilter, 0, now);

    if (frame.segmentId != state.segmentId) {
        state.reanchorRequested = 1;
        state.segmentId = frame.segmentId;
    }
    if (state.reanchorRequested) {
        state.reanchorRequested = 0;
        DropAnchor();
    }

    if (frame.seconds == 0 && frame.milliseconds == 0)
        return ShowNow(frame, speed, now, ReasonNoTimeStamp, 0);
    if (state.anchorTick == 0) return ShowNow(frame, speed, now, ReasonUnanchored, 0);

    const int32_t delay = DelayAt(frame.seconds, frame.milliseconds, speed, now);
    if (FarAhead(frame, speed, now)) {
        DropAnchor();
        return ShowNow(frame, speed, now, ReasonAheadReanchor, delay);
    }
    if (delay > 0) {
        PacingDecision decision = Decision(PacingWait, ReasonDue, delay, now);
        decision.dueTick = now + static_cast<uint32_t>(delay);
        return decision;
    }
    if (delay == 0) return ShowNow(frame, speed, now, ReasonDue, 0);
    if (frame.IsSound()) return ShowLate(frame, speed, now, ReasonLateSound, delay);
    if (delay >= -kLateTolerance) return ShowLate(frame, speed, now, ReasonLateTolerated, delay);

    /* A late picture. Dropping it lets the presentation catch up when drawing
     * fell behind. But a feed that was held up and then flows in real time
     * stays behind for good: every later picture would be dropped too and the
     * window would freeze. So a picture that is far too late, or one that
     * ends a long run of drops, restarts the clock on itself. */
    const bool farTooLate = delay < -kReanchorLateness;
    const bool longRunOfDrops =
        state.lateSinceTick != 0 && static_cast<int32_t>(now - state.lateSinceTick) > kReanchorLateness;
    if (farTooLate || longRunOfDrops) {
        DropAnchor();
        return ShowNow(frame, speed, now, ReasonLateReanchor, delay);
    }
    state.lastDecisionTick = now;
    if (state.lateSinceTick == 0) state.lateSinceTick = now != 0 ? now : 1;
    return Decision(PacingDiscard, ReasonLate, delay, now);
}

void FramePacer::Presented(const PacingFrame &frame, int32_t speed, const PacingDecision &decision)
{
    const uint32_t now = clock();
    if (decision.action == PacingWait) Commit(frame, speed, decision.dueTick, now);
    if (frame.IsSound()) {
        state.lastAudioTick = now;
        if (state.audioAnchored == 0) {
            state.audioAnchored = 1;
            state.anchorSeconds = frame.seconds;
            state.anchorMilliseconds = frame.milliseconds;
            state.anchorTick = now;
        }
        return;
    }
    state.lastShownSeconds = frame.seconds;
    state.lastShownMilliseconds = frame.milliseconds;
}

/* The decision tick is recorded and the anchor is set on the frame when
 * pacing is unanchored or the speed is not normal (3), so at other speeds
 * each delay is counted from the frame before. The anchor takes the tick the
 * frame was due, not the one its wait ended at: a wait always overruns a
 * little, and counting from the overrun would let the overruns of all frames
 * add up. */
void FramePacer::Commit(const PacingFrame &frame, int32_t speed, uint32_t dueTick, uint32_t tick)
{
    state.lastDecisionTick = tick;
    if (!frame.IsSound()) state.lateSinceTick = 0;
    /* A tick of exactly 0 cannot serve as an anchor (0 means none). */
    if (state.anchored == 0 || state.anchorTick == 0 || speed != KOVA_SPEED_NORMAL) {
        state.anchored = 1;
        state.anchorSeconds = frame.seconds;
        state.anchorMilliseconds = frame.milliseconds;
        state.anchorTick = dueTick;
    }
}

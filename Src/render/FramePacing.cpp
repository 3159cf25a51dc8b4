#include "render/FramePacing.h"

#include <string.h>

namespace {

bool SeekPending(const PacingState &state)
{
    return state.seekA > 0 || state.seekB > 0;
}

/* Timestamp order: seconds first, then milliseconds. */
bool StampLater(int32_t seconds, int32_t milliseconds, int32_t thanSeconds,
                int32_t thanMilliseconds)
{
    if (seconds != thanSeconds)
        return seconds > thanSeconds;
    return milliseconds > thanMilliseconds;
}

void DropAnchor(PacingState &state)
{
    state.anchored = 0;
    state.audioAnchored = 0;
    state.anchorTick = 0;
    state.anchorSeconds = 0;
    state.anchorMilliseconds = 0;
    state.lateSinceTick = 0;
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

/* Lets a frame through at once. */
PacingDecision ShowNow(PacingState &state, const PacingFrame &frame, int32_t speed, uint32_t now,
                       PacingReason reason, int32_t delay)
{
    CommitFrame(state, frame, speed, now, now);
    return Decision(PacingShow, reason, delay, now);
}

/* Lets a frame that was due `delay` ms ago (0 or less) through at once. Its
 * due tick, not `now`, becomes the anchor when the anchor moves, so that the
 * frames after a late one catch up as they do at normal speed. */
PacingDecision ShowLate(PacingState &state, const PacingFrame &frame, int32_t speed, uint32_t now,
                        PacingReason reason, int32_t delay)
{
    const uint32_t due = now + static_cast<uint32_t>(delay);
    CommitFrame(state, frame, speed, due, now);
    PacingDecision decision = Decision(PacingShow, reason, delay, now);
    decision.dueTick = due;
    return decision;
}

/* The seek filter: true when the frame is to be dropped. A frame that passes
 * ends the seek. */
bool SeekFilterRejects(PacingState &state, const PacingFrame &frame)
{
    if (!SeekPending(state))
        return false;
    if (state.seekBackward) {
        /* Going back: only a picture at or before the one on screen proves
         * the feed has arrived at the earlier position. */
        if (frame.IsSound())
            return true;
        if (StampLater(frame.seconds, frame.milliseconds, state.lastShownSeconds,
                       state.lastShownMilliseconds))
            return true;
    } else {
        const int64_t target = static_cast<int64_t>(state.seekA) + state.seekB;
        if (frame.seconds < target)
            return true;
    }
    state.seekA = 0;
    state.seekB = 0;
    return false;
}

/* Whether the frame is due more than kReanchorAheadMedia of media time
 * after the media time the clock has reached since the anchor. */
bool FarAhead(const PacingState &state, const PacingFrame &frame, int32_t speed, uint32_t now)
{
    const int64_t media = (static_cast<int64_t>(frame.seconds) - state.anchorSeconds) * 1000 +
                          (static_cast<int64_t>(frame.milliseconds) - state.anchorMilliseconds);
    const int32_t elapsed = static_cast<int32_t>(now - state.anchorTick);
    return static_cast<double>(media) - elapsed / PacingSpeedFactor(speed) > kReanchorAheadMedia;
}

}  // namespace

double PacingSpeedFactor(int32_t speed)
{
    switch (speed) {
    case 1: return 4.0;
    case 2: return 2.0;
    case 4: return 0.5;
    case 5: return 0.25;
    default: return 1.0;
    }
}

int32_t PacingDelay(const PacingState &state, int32_t seconds, int32_t milliseconds,
                    int32_t speed, uint32_t now)
{
    if (state.anchorTick == 0)
        return 0;
    /* Media time in 64 bits so a wild jump in the stamps cannot wrap into the
     * opposite sign; ticks wrap every 49.7 days, so their difference is taken
     * modulo 2^32. The factor turns media time into wall time; the elapsed
     * ticks already are wall time. */
    const int64_t media = (static_cast<int64_t>(seconds) - state.anchorSeconds) * 1000 +
                          (static_cast<int64_t>(milliseconds) - state.anchorMilliseconds);
    const int32_t elapsed = static_cast<int32_t>(now - state.anchorTick);
    const double delay = static_cast<double>(media) * PacingSpeedFactor(speed) - elapsed;
    if (delay >= 2147483647.0)
        return INT32_MAX;
    if (delay <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(delay);  // truncates toward zero
}

void PacingReset(PacingState &state)
{
    memset(&state, 0, sizeof state);
}

void PacingNoteSeek(PacingState &state, int32_t seekA, int32_t seekB)
{
    state.seekA = seekA;
    state.seekB = seekB;
    state.seekBackward = state.lastShownSeconds > static_cast<int64_t>(seekA) + seekB;
    state.reanchorRequested = 1;
}

PacingDecision DecideFrame(PacingState &state, const PacingFrame &frame, int32_t speed,
                           uint32_t now)
{
    if (SeekFilterRejects(state, frame))
        return Decision(PacingDiscard, ReasonSeekFilter, 0, now);

    if (frame.segmentId != state.segmentId) {
        state.reanchorRequested = 1;
        state.segmentId = frame.segmentId;
    }
    if (state.reanchorRequested) {
        state.reanchorRequested = 0;
        DropAnchor(state);
    }

    if (frame.seconds == 0 && frame.milliseconds == 0)
        return ShowNow(state, frame, speed, now, ReasonNoTimeStamp, 0);
    if (state.anchorTick == 0)
        return ShowNow(state, frame, speed, now, ReasonUnanchored, 0);

    const int32_t delay = PacingDelay(state, frame.seconds, frame.milliseconds, speed, now);
    if (FarAhead(state, frame, speed, now)) {
        DropAnchor(state);
        return ShowNow(state, frame, speed, now, ReasonAheadReanchor, delay);
    }
    if (delay > 0) {
        PacingDecision decision = Decision(PacingWait, ReasonDue, delay, now);
        decision.dueTick = now + static_cast<uint32_t>(delay);
        return decision;
    }
    if (delay == 0)
        return ShowNow(state, frame, speed, now, ReasonDue, 0);
    if (frame.IsSound())
        return ShowLate(state, frame, speed, now, ReasonLateSound, delay);
    if (delay >= -kLateTolerance)
        return ShowLate(state, frame, speed, now, ReasonLateTolerated, delay);

    /* A late picture. Dropping it lets the presentation catch up when drawing
     * fell behind. But a feed that was held up and then flows in real time
     * stays behind for good: every later picture would be dropped too and the
     * window would freeze. So a picture that is far too late, or one that
     * ends a long run of drops, restarts the clock on itself. */
    const bool farTooLate = delay < -kReanchorLateness;
    const bool longRunOfDrops =
        state.lateSinceTick != 0 &&
        static_cast<int32_t>(now - state.lateSinceTick) > kReanchorLateness;
    if (farTooLate || longRunOfDrops) {
        DropAnchor(state);
        return ShowNow(state, frame, speed, now, ReasonLateReanchor, delay);
    }
    state.lastDecisionTick = now;
    if (state.lateSinceTick == 0)
        state.lateSinceTick = now != 0 ? now : 1;
    return Decision(PacingDiscard, ReasonLate, delay, now);
}

void CommitFrame(PacingState &state, const PacingFrame &frame, int32_t speed, uint32_t dueTick,
                 uint32_t tick)
{
    state.lastDecisionTick = tick;
    if (!frame.IsSound())
        state.lateSinceTick = 0;
    /* A tick of exactly 0 cannot serve as an anchor (0 means none). */
    if (state.anchored == 0 || state.anchorTick == 0 || speed != 3) {
        state.anchored = 1;
        state.anchorSeconds = frame.seconds;
        state.anchorMilliseconds = frame.milliseconds;
        state.anchorTick = dueTick;
    }
}

void PacingNoteSoundPlayed(PacingState &state, const PacingFrame &frame, uint32_t tick)
{
    state.lastAudioTick = tick;
    if (state.audioAnchored == 0) {
        state.audioAnchored = 1;
        state.anchorSeconds = frame.seconds;
        state.anchorMilliseconds = frame.milliseconds;
        state.anchorTick = tick;
    }
}

void PacingNotePictureShown(PacingState &state, const PacingFrame &frame)
{
    state.lastShownSeconds = frame.seconds;
    state.lastShownMilliseconds = frame.milliseconds;
}

/* Frame pacing in one object: which frame to let through, when, and how the
 * pacing anchor moves. The pacer neither sleeps nor locks; it reads the time
 * from the clock it is given (milliseconds on GetTickCount's clock), so a
 * test drives every decision with a clock of its own.
 *
 * The presentation thread, per frame:
 *   decision = pacer.Decide(frame, speed);
 *   Discard -> give the buffer back;
 *   Wait    -> wait decision.delay ms (timer when useTimer, else Sleep);
 *   Show, or Wait once waited -> pacer.Presented(frame, speed, decision),
 *              then draw the picture or play the sound. */
#ifndef KOVA_RENDER_FRAMEPACING_H
#define KOVA_RENDER_FRAMEPACING_H

#include <cstdint>
#include <functional>

/* Pacing waits of this length or more are timed by the one-shot timer and
 * the wake event, so a seek or a stop can end them early; shorter ones
 * simply Sleep. */
const int32_t kTimerWaitThreshold = 500;

/* A picture at most this late is still shown. The tick the lateness is
 * measured with is coarse (1 ms here, 10 to 16 ms on Windows) and a live
 * feed arrives with some jitter, so a picture that came in on time may
 * measure a few ticks late; dropping it would thin out a live feed at random.
 * One frame interval of a 25 fps stream. */
const int32_t kLateTolerance = 40;

/* A picture later than this is not discarded: the feed was held up, so the
 * clock is re-anchored on it and it is shown, as after a seek. Likewise when
 * late pictures have been discarded for longer than this without a break. */
const int32_t kReanchorLateness = 1000;

/* A picture due more than this much media time (ms) ahead of where the
 * clock stands is not waited for: its stamp jumped (a camera clock set
 * forward, an unstamped picture before stamped ones), so the clock is
 * re-anchored on it and it is shown at once. Common players use the same
 * bound. Measured in media time, so slow speeds still wait their longer
 * gaps. */
const int32_t kReanchorAheadMedia = 10000;

/* The frame as the pacing sees it: the fixed header fields of a pool buffer. */
struct PacingFrame {
    int32_t width;
    int32_t height;
    int32_t seconds;  // seconds and milliseconds both 0: no time stamp
    int32_t milliseconds;
    int32_t audioLength;  // above 0: a sound frame
    int32_t segmentId;

    bool IsSound() const { return audioLength > 0; }
};

/* Everything the pacer remembers between frames. Ticks are clock values; an
 * anchorTick of 0 means "not anchored yet". */
struct PacingState {
    int32_t lastShownSeconds;
    int32_t lastShownMilliseconds;
    int32_t anchored;
    int32_t audioAnchored;
    int32_t anchorSeconds;
    int32_t anchorMilliseconds;
    uint32_t anchorTick;
    uint32_t lastDecisionTick;
    uint32_t lastAudioTick;
    int32_t reanchorRequested;
    int32_t segmentId;
    int32_t seekA;
    int32_t seekB;
    bool seekBackward;
    /* Tick of the first picture of the current run of late discards; 0 when
     * the last picture decided on was not discarded as late. */
    uint32_t lateSinceTick;
};

enum PacingAction {
    PacingShow,    // present now
    PacingWait,    // present after `delay` ms
    PacingDiscard  // do not present; give the buffer back
};

enum PacingReason {
    ReasonDue,            // on time, or nothing to wait for
    ReasonNoTimeStamp,    // 0 s 0 ms: due at once
    ReasonUnanchored,     // first frame after a reset: due at once
    ReasonLateSound,      // sound is played even when late
    ReasonLateTolerated,  // picture late by no more than kLateTolerance: shown
    ReasonLateReanchor,   // picture far too late: clock re-anchored on it
    ReasonAheadReanchor,  // frame due too far ahead: clock re-anchored on it
    ReasonSeekFilter,     // dropped while a seek is pending
    ReasonLate            // picture late: dropped
};

struct PacingDecision {
    PacingAction action;
    PacingReason reason;
    int32_t delay;  // the computed delay d (ms); meaningful for PacingWait and late frames
    bool useTimer;  // PacingWait: the wait is long enough for the timer
    /* The tick the frame is (or was) due at; the tick examined when it has
     * no due time. */
    uint32_t dueTick;
};

/* Factor that scales a wait at a speed step (the public speed table:
 * 1 -> 4, 2 -> 2, 3 -> 1, 4 -> 0.5, 5 -> 0.25, anything else -> 1). */
double PacingSpeedFactor(int32_t speed);

/* The time in milliseconds, wrapping at 2^32 as GetTickCount does. */
using PacingClock = std::function<uint32_t()>;

/* GetTickCount: the clock the presentation thread paces by. */
uint32_t SystemPacingClock();

class FramePacer {
public:
    explicit FramePacer(PacingClock clock = SystemPacingClock);

    /* Runs the seek filter, segment and re-anchor checks and the delay for
     * one frame examined now. A frame shown at once (PacingShow) already
     * counts as let through; a late discard records now as the decision
     * tick, a seek-filter discard records nothing. */
    PacingDecision Decide(const PacingFrame &frame, int32_t speed);

    /* The frame Decide let through is presented now (called just before it
     * is drawn or played): a waited frame is let through, a sound frame
     * anchors the clock when it is the first since a reset, and a picture
     * becomes the one the seek filter measures against. */
    void Presented(const PacingFrame &frame, int32_t speed, const PacingDecision &decision);

    /* A seek to seekA + seekB seconds was asked for: arms the seek filter
     * (while either value is above 0), decides its direction against the
     * last picture shown, and re-anchors at the next decision. The filter's
     * first frame let through ends the seek. */
    void Seek(int32_t seekA, int32_t seekB);

    /* Forgets everything, as a fresh pacer. */
    void Reset();

    /* Delay d in ms before a frame stamped (seconds, milliseconds) is due
     * now: media time since the anchor x factor - ticks elapsed since the
     * anchor, truncated toward zero; 0 while unanchored. Elapsed ticks are
     * a 32-bit wrapping difference. */
    int32_t Delay(int32_t seconds, int32_t milliseconds, int32_t speed) const;

    /* What the pacer remembers, for tests and diagnostics. */
    const PacingState &State() const { return state; }

private:
    int32_t DelayAt(int32_t seconds, int32_t milliseconds, int32_t speed, uint32_t now) const;
    PacingDecision ShowNow(const PacingFrame &frame, int32_t speed, uint32_t now, PacingReason reason,
                           int32_t delay);
    PacingDecision ShowLate(const PacingFrame &frame, int32_t speed, uint32_t now, PacingReason reason,
                            int32_t delay);
    bool SeekFilterRejects(const PacingFrame &frame);
    bool FarAhead(const PacingFrame &frame, int32_t speed, uint32_t now) const;
    void DropAnchor();
    /* The frame, due at `dueTick`, is let through at `tick`. */
    void Commit(const PacingFrame &frame, int32_t speed, uint32_t dueTick, uint32_t tick);

    PacingClock clock;
    PacingState state;
};

#endif

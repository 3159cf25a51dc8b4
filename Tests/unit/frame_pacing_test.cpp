// The pacing decision driven by a test clock: no thread, no sleep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "render/FramePacing.h"

namespace {

const uint32_t kStart = 100000;  // an arbitrary tick; 0 would mean "no anchor"

PacingFrame Picture(int32_t seconds, int32_t milliseconds, int32_t segment = 0)
{
    PacingFrame frame = {352, 288, seconds, milliseconds, 0, segment};
    return frame;
}

PacingFrame Sound(int32_t seconds, int32_t milliseconds, int32_t segment = 0)
{
    PacingFrame frame = {352, 288, seconds, milliseconds, 320, segment};
    return frame;
}

/* Stamp of frame k of a stream with the given interval, starting at 10 s. */
PacingFrame Nth(int k, int intervalMs = 40)
{
    const int32_t ms = 10000 + k * intervalMs;
    return Picture(ms / 1000, ms % 1000);
}

PacingState Fresh()
{
    PacingState state;
    PacingReset(state);
    return state;
}

/* Plays a stream through the decision on a simulated clock, the way the
 * presentation thread does: a frame is examined when it has arrived and the
 * previous one is drawn; a wait moves the clock; drawing costs `drawCost`.
 * Returns the tick at which each frame was shown, or 0 for a dropped one. */
struct Simulation {
    int32_t speed = 3;
    uint32_t drawCost = 0;
    uint32_t overrun = 0;  // every wait ends this much late
    size_t hiccupFrame = SIZE_MAX;  // the wait before this frame ends hiccupMs late
    uint32_t hiccupMs = 0;
    std::vector<uint32_t> arrival;  // empty: every frame is already queued

    std::vector<uint32_t> Run(PacingState &state, const std::vector<PacingFrame> &frames)
    {
        std::vector<uint32_t> shown;
        uint32_t clock = kStart;
        for (size_t i = 0; i < frames.size(); ++i) {
            if (i < arrival.size() && static_cast<int32_t>(arrival[i] - clock) > 0)
                clock = arrival[i];
            const PacingDecision decision = DecideFrame(state, frames[i], speed, clock);
            if (decision.action == PacingDiscard) {
                shown.push_back(0);
                continue;
            }
            if (decision.action == PacingWait) {
                EXPECT_EQ(clock + decision.delay, decision.dueTick);
                clock += decision.delay + overrun + (i == hiccupFrame ? hiccupMs : 0);
                CommitFrame(state, frames[i], speed, decision.dueTick, clock);
            }
            shown.push_back(clock);
            PacingNotePictureShown(state, frames[i]);
            clock += drawCost;
        }
        return shown;
    }
};

std::vector<PacingFrame> Stream(int count, int intervalMs = 40)
{
    std::vector<PacingFrame> frames;
    for (int k = 0; k < count; ++k)
        frames.push_back(Nth(k, intervalMs));
    return frames;
}

}  // namespace

TEST(PacingArithmetic, SpeedFactors)
{
    EXPECT_EQ(4.0, PacingSpeedFactor(1));
    EXPECT_EQ(2.0, PacingSpeedFactor(2));
    EXPECT_EQ(1.0, PacingSpeedFactor(3));
    EXPECT_EQ(0.5, PacingSpeedFactor(4));
    EXPECT_EQ(0.25, PacingSpeedFactor(5));
    for (int32_t other : {0, -1, 6, 100, INT32_MIN, INT32_MAX})
        EXPECT_EQ(1.0, PacingSpeedFactor(other)) << other;
}

TEST(PacingArithmetic, DelayIsScaledMediaTimeMinusElapsedTime)
{
    PacingState state = Fresh();
    EXPECT_EQ(0, PacingDelay(state, 50, 0, 3, kStart)) << "unanchored";

    state.anchored = 1;
    state.anchorSeconds = 10;
    state.anchorMilliseconds = 960;
    state.anchorTick = kStart;
    // 11.000 is 40 ms of media after 10.960; 15 ms have passed.
    EXPECT_EQ(25, PacingDelay(state, 11, 0, 3, kStart + 15));
    EXPECT_EQ(145, PacingDelay(state, 11, 0, 1, kStart + 15));
    EXPECT_EQ(65, PacingDelay(state, 11, 0, 2, kStart + 15));
    EXPECT_EQ(5, PacingDelay(state, 11, 0, 4, kStart + 15));
    EXPECT_EQ(-5, PacingDelay(state, 11, 0, 5, kStart + 15));
    EXPECT_EQ(25, PacingDelay(state, 11, 0, 9, kStart + 15));
    // 11.001 is 41 ms of media: fractions are truncated toward zero, on
    // either side.
    EXPECT_EQ(10, PacingDelay(state, 11, 1, 5, kStart));        // 10.25
    EXPECT_EQ(20, PacingDelay(state, 11, 1, 4, kStart));        // 20.5
    EXPECT_EQ(0, PacingDelay(state, 11, 1, 5, kStart + 11));    // -0.75
    EXPECT_EQ(-1, PacingDelay(state, 11, 1, 5, kStart + 12));   // -1.75
    EXPECT_EQ(0, PacingDelay(state, 11, 1, 4, kStart + 21));    // -0.5
}

TEST(PacingArithmetic, ElapsedRunsToTheTickOfTheDecision)
{
    PacingState state = Fresh();
    state.anchored = 1;
    state.anchorSeconds = 10;
    state.anchorTick = kStart;
    // Whatever was decided last, only the tick handed in counts.
    state.lastDecisionTick = kStart;
    EXPECT_EQ(30, PacingDelay(state, 10, 80, 3, kStart + 50));
    state.lastDecisionTick = kStart + 70;
    EXPECT_EQ(30, PacingDelay(state, 10, 80, 3, kStart + 50));
}

TEST(PacingArithmetic, TickWrapAndWildStamps)
{
    PacingState state = Fresh();
    state.anchored = 1;
    state.anchorSeconds = 10;
    state.anchorTick = 0xFFFFFFF0u;
    EXPECT_EQ(100 - 32, PacingDelay(state, 10, 100, 3, 0x10u)) << "tick wrapped";

    // A jump of decades in the stamps neither wraps nor overflows.
    state.anchorTick = kStart;
    EXPECT_EQ(INT32_MAX, PacingDelay(state, 2000000000, 0, 1, kStart));
    state.anchorSeconds = 2000000000;
    EXPECT_EQ(INT32_MIN, PacingDelay(state, -2000000000, 0, 1, kStart));
    EXPECT_LT(PacingDelay(state, 1, 0, 3, kStart), -kReanchorLateness);
}

TEST(PacingDecisionTest, FirstFrameIsShownAtOnceAndAnchorsTheClock)
{
    PacingState state = Fresh();
    const PacingDecision first = DecideFrame(state, Picture(500, 120), 3, kStart);
    EXPECT_EQ(PacingShow, first.action);
    EXPECT_EQ(ReasonUnanchored, first.reason);
    EXPECT_EQ(1, state.anchored);
    EXPECT_EQ(500, state.anchorSeconds);
    EXPECT_EQ(120, state.anchorMilliseconds);
    EXPECT_EQ(kStart, state.anchorTick);
    EXPECT_EQ(kStart, state.lastDecisionTick);

    // After a reset (the renderer's Exit) the next frame is first again,
    // however far its stamp lies from the old anchor.
    PacingReset(state);
    EXPECT_EQ(PacingShow, DecideFrame(state, Picture(900, 0), 3, kStart + 5).action);
    EXPECT_EQ(900, state.anchorSeconds);
    EXPECT_EQ(kStart + 5, state.anchorTick);
}

TEST(PacingDecisionTest, UnstampedFrameIsShownAtOnce)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(100, 0), 3, kStart);
    // 0 s 0 ms, whatever the anchor says.
    for (int32_t speed : {1, 3, 5}) {
        const PacingDecision decision = DecideFrame(state, Picture(0, 0), speed, kStart + 1);
        EXPECT_EQ(PacingShow, decision.action) << speed;
        EXPECT_EQ(ReasonNoTimeStamp, decision.reason);
    }
    EXPECT_EQ(PacingShow, DecideFrame(state, Sound(0, 0), 3, kStart + 2).action);
}

TEST(PacingDecisionTest, NormalSpeedKeepsPaceWhateverTheDrawingCosts)
{
    for (uint32_t drawCost : {0u, 7u, 39u}) {
        PacingState state = Fresh();
        Simulation sim;
        sim.drawCost = drawCost;
        const std::vector<uint32_t> shown = sim.Run(state, Stream(50));
        for (size_t k = 0; k < shown.size(); ++k)
            ASSERT_EQ(kStart + 40 * k, shown[k]) << "frame " << k << ", draw " << drawCost;
        EXPECT_EQ(10, state.anchorSeconds) << "the anchor stays on the first frame";
        EXPECT_EQ(kStart, state.anchorTick);
    }
}

TEST(PacingDecisionTest, LiveFeedIsShownAsItArrives)
{
    // Frames arrive in real time; each is due on arrival, none is held back
    // to be shown together with the next.
    PacingState state = Fresh();
    Simulation sim;
    sim.drawCost = 12;
    for (int k = 0; k < 50; ++k)
        sim.arrival.push_back(kStart + 40 * k);
    const std::vector<uint32_t> shown = sim.Run(state, Stream(50));
    for (size_t k = 0; k < shown.size(); ++k)
        ASSERT_EQ(kStart + 40 * k, shown[k]) << "frame " << k;
}

TEST(PacingDecisionTest, SpeedScalesTheGapBetweenFrames)
{
    struct Case { int32_t speed; uint32_t interval; uint32_t drawCost; } cases[] = {
        {1, 160, 0}, {2, 80, 0}, {3, 40, 0}, {4, 20, 0}, {5, 10, 0}, {0, 40, 0}, {6, 40, 0},
        {-3, 40, 0}, {1, 160, 7}, {2, 80, 7}, {4, 20, 7}, {5, 10, 7}, {6, 40, 7}};
    for (const Case &c : cases) {
        PacingState state = Fresh();
        Simulation sim;
        sim.speed = c.speed;
        sim.drawCost = c.drawCost;
        const std::vector<uint32_t> shown = sim.Run(state, Stream(20));
        for (size_t k = 1; k < shown.size(); ++k)
            ASSERT_EQ(c.interval, shown[k] - shown[k - 1])
                << "speed " << c.speed << " draw " << c.drawCost << " frame " << k;
        if (c.speed == 3) {
            EXPECT_EQ(10, state.anchorSeconds);
            EXPECT_EQ(0, state.anchorMilliseconds);
        } else {
            // Any speed but 3 moves the anchor to every frame let through.
            EXPECT_EQ(10, state.anchorSeconds) << c.speed;
            EXPECT_EQ(19 * 40, state.anchorMilliseconds) << c.speed;
            EXPECT_EQ(shown.back(), state.anchorTick) << c.speed;
        }
    }
}

TEST(PacingDecisionTest, OverrunningWaitsDoNotAddUp)
{
    // Every wait ends 1 ms late: each picture is 1 ms late, but no later, at
    // any speed, whether or not the anchor moves.
    for (int32_t speed : {1, 2, 3, 4, 5, 0}) {
        PacingState state = Fresh();
        Simulation sim;
        sim.speed = speed;
        sim.drawCost = 3;
        sim.overrun = 1;
        const std::vector<uint32_t> shown = sim.Run(state, Stream(200));
        const double factor = PacingSpeedFactor(speed);
        for (size_t k = 1; k < shown.size(); ++k)
            ASSERT_EQ(kStart + static_cast<uint32_t>(40 * k * factor) + 1, shown[k])
                << "speed " << speed << " frame " << k;
    }
}

TEST(PacingDecisionTest, AHiccupIsCaughtUpAtEverySpeed)
{
    for (int32_t speed : {1, 3, 5}) {
        PacingState state = Fresh();
        Simulation sim;
        sim.speed = speed;
        sim.hiccupFrame = 10;
        sim.hiccupMs = 30;
        const std::vector<uint32_t> shown = sim.Run(state, Stream(40));
        const double factor = PacingSpeedFactor(speed);
        EXPECT_EQ(kStart + static_cast<uint32_t>(400 * factor) + 30, shown[10]) << speed;
        for (size_t k = 11; k < shown.size(); ++k) {
            const uint32_t ideal = kStart + static_cast<uint32_t>(40 * k * factor);
            ASSERT_NE(0u, shown[k]) << "speed " << speed << " frame " << k;
            ASSERT_LE(shown[k], std::max(ideal, shown[10])) << "speed " << speed << " frame " << k;
            if (ideal >= shown[10]) {
                ASSERT_EQ(ideal, shown[k]) << "speed " << speed << " frame " << k;
            }
        }
    }
}

TEST(PacingDecisionTest, SpeedChangeTakesEffectAtTheNextFrame)
{
    PacingState state = Fresh();
    DecideFrame(state, Nth(0), 3, kStart);
    PacingDecision decision = DecideFrame(state, Nth(1), 1, kStart);
    EXPECT_EQ(PacingWait, decision.action);
    EXPECT_EQ(160, decision.delay);
    CommitFrame(state, Nth(1), 1, decision.dueTick, kStart + 161);
    decision = DecideFrame(state, Nth(2), 5, kStart + 160);
    EXPECT_EQ(10, decision.delay);
}

TEST(PacingDecisionTest, LongWaitsUseTheTimer)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(10, 0), 3, kStart);
    PacingDecision decision = DecideFrame(state, Picture(10, 500), 3, kStart);
    EXPECT_EQ(PacingWait, decision.action);
    EXPECT_EQ(500, decision.delay);
    EXPECT_TRUE(decision.useTimer);

    decision = DecideFrame(state, Picture(10, 499), 3, kStart);
    EXPECT_EQ(499, decision.delay);
    EXPECT_FALSE(decision.useTimer);

    decision = DecideFrame(state, Picture(10, 1), 3, kStart);
    EXPECT_EQ(1, decision.delay);
    EXPECT_FALSE(decision.useTimer);

    decision = DecideFrame(state, Picture(10, 0), 3, kStart);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonDue, decision.reason);
}

TEST(PacingDecisionTest, LatePictureIsDroppedLateSoundIsPlayed)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(10, 0), 3, kStart);

    // 100 ms behind: dropped, the decision tick recorded, the anchor kept.
    PacingDecision decision = DecideFrame(state, Picture(10, 40), 3, kStart + 140);
    EXPECT_EQ(PacingDiscard, decision.action);
    EXPECT_EQ(ReasonLate, decision.reason);
    EXPECT_EQ(-100, decision.delay);
    EXPECT_EQ(kStart + 140, state.lastDecisionTick);
    EXPECT_EQ(kStart, state.anchorTick);

    // Exactly 1000 ms behind is still only late.
    decision = DecideFrame(state, Picture(10, 80), 3, kStart + 1080);
    EXPECT_EQ(PacingDiscard, decision.action);

    // Sound is played however late it is, and does not move the anchor at
    // normal speed.
    decision = DecideFrame(state, Sound(10, 80), 3, kStart + 1080);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonLateSound, decision.reason);
    EXPECT_EQ(kStart, state.anchorTick);
}

TEST(PacingDecisionTest, SlightlyLatePictureIsShown)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(10, 0), 3, kStart);
    PacingDecision decision = DecideFrame(state, Picture(10, 40), 3, kStart + 40 + kLateTolerance);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonLateTolerated, decision.reason);
    EXPECT_EQ(kStart, state.anchorTick) << "the anchor stays";
    decision = DecideFrame(state, Picture(10, 80), 3, kStart + 80 + kLateTolerance + 1);
    EXPECT_EQ(PacingDiscard, decision.action);
}

TEST(PacingDecisionTest, PictureFarTooLateReanchors)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(10, 0), 3, kStart);
    state.audioAnchored = 1;

    const uint32_t now = kStart + 40 + 1001;
    PacingDecision decision = DecideFrame(state, Picture(10, 40), 3, now);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonLateReanchor, decision.reason);
    EXPECT_EQ(now, state.anchorTick);
    EXPECT_EQ(40, state.anchorMilliseconds);
    EXPECT_EQ(0, state.audioAnchored) << "re-anchored as after a seek";

    // The following frames are paced from the new anchor.
    decision = DecideFrame(state, Picture(10, 80), 3, now + 3);
    EXPECT_EQ(PacingWait, decision.action);
    EXPECT_EQ(37, decision.delay);
}

TEST(PacingDecisionTest, AStampFarAheadReanchorsUnlessSlowSpeedExplainsIt)
{
    // The bound is media time: at speed 1 a 10 s gap is a 40 s wait.
    struct Case { int32_t speed; int32_t firstSeconds; int32_t gapMs; PacingAction action; int32_t delay; } cases[] = {
        {3, 10, 10000, PacingWait, 10000},  {3, 10, 10001, PacingShow, 0},
        {1, 10, 10000, PacingWait, 40000},  {1, 10, 10001, PacingShow, 0},
        {5, 10, 10000, PacingWait, 2500},   {5, 10, 10001, PacingShow, 0},
        {1, 10, 1000, PacingWait, 4000},
        // An unstamped picture first, then a camera's wall-clock stamps.
        {3, 0, 1700000000, PacingShow, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "speed " << c.speed << " gap " << c.gapMs);
        PacingState state = Fresh();
        DecideFrame(state, Picture(c.firstSeconds, 0), c.speed, kStart);
        const int64_t ms = int64_t(c.firstSeconds) * 1000 + c.gapMs;
        const PacingFrame jumped = Picture(int32_t(ms / 1000), int32_t(ms % 1000));
        const PacingDecision decision = DecideFrame(state, jumped, c.speed, kStart);
        EXPECT_EQ(c.action, decision.action);
        if (c.action == PacingWait) {
            EXPECT_EQ(c.delay, decision.delay);
            continue;
        }
        EXPECT_EQ(ReasonAheadReanchor, decision.reason);
        EXPECT_EQ(kStart, state.anchorTick);
        // The pictures after it are paced from it.
        const int64_t next = ms + 40;
        const PacingDecision after =
            DecideFrame(state, Picture(int32_t(next / 1000), int32_t(next % 1000)), c.speed, kStart);
        EXPECT_EQ(PacingWait, after.action);
        EXPECT_EQ(int32_t(40 * PacingSpeedFactor(c.speed)), after.delay);
    }
}

TEST(PacingDecisionTest, StalledFeedResumesAtItsPace)
{
    // 25 frames in real time, a stall of 2 s, then the rest of the stream
    // (stamps continuing without a gap) in real time again.
    PacingState state = Fresh();
    Simulation sim;
    sim.drawCost = 3;
    for (int k = 0; k < 100; ++k)
        sim.arrival.push_back(kStart + 40 * k + (k >= 25 ? 2000 : 0));
    const std::vector<uint32_t> shown = sim.Run(state, Stream(100));
    for (size_t k = 0; k < shown.size(); ++k)
        ASSERT_EQ(sim.arrival[k], shown[k]) << "frame " << k;
}

TEST(PacingDecisionTest, LongRunOfDropsReanchors)
{
    // The feed falls 300 ms behind and stays there: pictures are dropped
    // for a while, but not for more than a second.
    PacingState state = Fresh();
    Simulation sim;
    for (int k = 0; k < 100; ++k)
        sim.arrival.push_back(kStart + 40 * k + (k >= 10 ? 300 : 0));
    const std::vector<uint32_t> shown = sim.Run(state, Stream(100));
    int firstShownAgain = -1;
    for (size_t k = 10; k < shown.size(); ++k) {
        if (shown[k] != 0) {
            firstShownAgain = static_cast<int>(k);
            break;
        }
    }
    ASSERT_GT(firstShownAgain, 10);
    EXPECT_LE(sim.arrival[firstShownAgain] - sim.arrival[10], static_cast<uint32_t>(kReanchorLateness + 40));
    for (size_t k = firstShownAgain; k < shown.size(); ++k)
        ASSERT_EQ(sim.arrival[k], shown[k]) << "frame " << k;
}

TEST(PacingDecisionTest, DroppingCatchesUpWithSlowDrawing)
{
    // Drawing takes 100 ms, a frame lasts 40: late pictures are dropped so
    // that those shown stay on schedule, never more than one drawing late.
    PacingState state = Fresh();
    Simulation sim;
    sim.drawCost = 100;
    const std::vector<uint32_t> shown = sim.Run(state, Stream(100));
    int dropped = 0;
    for (size_t k = 0; k < shown.size(); ++k) {
        if (shown[k] == 0) {
            ++dropped;
            continue;
        }
        const uint32_t due = kStart + 40 * k;
        ASSERT_GE(shown[k], due) << k;
        ASSERT_LE(shown[k] - due, static_cast<uint32_t>(kLateTolerance)) << k;
    }
    EXPECT_GT(dropped, 50);
    EXPECT_LT(dropped, 75);
}

TEST(PacingSeekFilter, ForwardSeekDropsEverythingBeforeTheTarget)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(10, 0), 3, kStart);
    PacingNotePictureShown(state, Picture(10, 0));
    PacingNoteSeek(state, 30, 5);
    EXPECT_FALSE(state.seekBackward);

    const uint32_t before = state.lastDecisionTick;
    EXPECT_EQ(PacingDiscard, DecideFrame(state, Picture(34, 999), 3, kStart + 50).action);
    EXPECT_EQ(PacingDiscard, DecideFrame(state, Sound(20, 0), 3, kStart + 50).action);
    EXPECT_EQ(ReasonSeekFilter, DecideFrame(state, Picture(11, 0), 3, kStart + 50).reason);
    EXPECT_EQ(before, state.lastDecisionTick) << "filtered frames leave no decision tick";

    // The first frame at or after the target ends the seek and, pacing being
    // re-anchored, is shown at once.
    PacingDecision decision = DecideFrame(state, Sound(35, 0), 3, kStart + 60);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonUnanchored, decision.reason);
    EXPECT_EQ(0, state.seekA);
    EXPECT_EQ(0, state.seekB);
    EXPECT_EQ(kStart + 60, state.anchorTick);
    // Filter off: an earlier stamp is paced (late), not filtered.
    EXPECT_EQ(ReasonLate, DecideFrame(state, Picture(34, 0), 3, kStart + 60).reason);
}

TEST(PacingSeekFilter, BackwardSeekWaitsForAPictureNoLaterThanTheLastShown)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(100, 500), 3, kStart);
    PacingNotePictureShown(state, Picture(100, 500));
    PacingNoteSeek(state, 20, 0);
    EXPECT_TRUE(state.seekBackward);

    // Stale frames still queued from before the seek: all dropped, and so is
    // all sound, even sound from before the last picture.
    EXPECT_EQ(PacingDiscard, DecideFrame(state, Picture(100, 540), 3, kStart + 40).action);
    EXPECT_EQ(PacingDiscard, DecideFrame(state, Picture(101, 0), 3, kStart + 40).action);
    EXPECT_EQ(PacingDiscard, DecideFrame(state, Sound(20, 0), 3, kStart + 40).action);

    // A picture stamped exactly at the last shown ends the seek.
    EXPECT_EQ(PacingShow, DecideFrame(state, Picture(100, 500), 3, kStart + 50).action);
    EXPECT_EQ(0, state.seekA);

    PacingNoteSeek(state, 20, 0);
    EXPECT_EQ(PacingShow, DecideFrame(state, Picture(20, 0), 3, kStart + 60).action);
    EXPECT_EQ(20, state.anchorSeconds);
    EXPECT_EQ(PacingShow, DecideFrame(state, Sound(20, 0), 3, kStart + 60).action);
}

TEST(PacingSeekFilter, SeekTargetIsTheSumAndEitherHalfArmsIt)
{
    PacingState state = Fresh();
    PacingNoteSeek(state, 0, 12);
    EXPECT_EQ(PacingDiscard, DecideFrame(state, Picture(11, 999), 3, kStart).action);
    EXPECT_EQ(PacingShow, DecideFrame(state, Picture(12, 0), 3, kStart).action);

    PacingNoteSeek(state, 12, 0);
    EXPECT_FALSE(state.seekBackward) << "12 is not before the last shown (none)";
    EXPECT_EQ(PacingDiscard, DecideFrame(state, Picture(11, 0), 3, kStart).action);
}

TEST(PacingSeekFilter, SeekToZeroOnlyReanchors)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(10, 0), 3, kStart);
    PacingNotePictureShown(state, Picture(10, 0));
    // Without the seek this frame would wait two seconds.
    PacingNoteSeek(state, 0, 0);
    PacingDecision decision = DecideFrame(state, Picture(12, 0), 3, kStart + 1);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonUnanchored, decision.reason);
    EXPECT_EQ(12, state.anchorSeconds);
    // Nothing is filtered: an earlier frame goes through the pacing.
    EXPECT_EQ(ReasonLate, DecideFrame(state, Picture(11, 500), 3, kStart + 2).reason);
}

TEST(PacingSeekFilter, SegmentChangeReanchorsLikeASeek)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(10, 0, 1), 3, kStart);
    state.audioAnchored = 1;
    EXPECT_EQ(PacingWait, DecideFrame(state, Picture(12, 0, 1), 3, kStart + 1).action);

    PacingDecision decision = DecideFrame(state, Picture(12, 0, 2), 3, kStart + 1);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonUnanchored, decision.reason);
    EXPECT_EQ(2, state.segmentId);
    EXPECT_EQ(0, state.audioAnchored);
    EXPECT_EQ(12, state.anchorSeconds);
    EXPECT_EQ(kStart + 1, state.anchorTick);

    // Back to an earlier stamp in another segment: no drop, a new anchor.
    decision = DecideFrame(state, Picture(3, 0, 3), 3, kStart + 2);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(3, state.anchorSeconds);
}

TEST(PacingSound, FirstSoundAfterAResetAnchorsTheClock)
{
    PacingState state = Fresh();
    DecideFrame(state, Picture(10, 0), 3, kStart);
    DecideFrame(state, Sound(10, 20), 3, kStart + 25);  // 5 ms late: played
    PacingNoteSoundPlayed(state, Sound(10, 20), kStart + 25);
    EXPECT_EQ(1, state.audioAnchored);
    EXPECT_EQ(kStart + 25, state.lastAudioTick);
    EXPECT_EQ(20, state.anchorMilliseconds);
    EXPECT_EQ(kStart + 25, state.anchorTick);

    PacingNoteSoundPlayed(state, Sound(10, 60), kStart + 70);
    EXPECT_EQ(kStart + 70, state.lastAudioTick);
    EXPECT_EQ(20, state.anchorMilliseconds) << "only the first sound anchors";
}

TEST(PacingSound, SoundIsPacedLikePictures)
{
    PacingState state = Fresh();
    DecideFrame(state, Sound(10, 0), 3, kStart);
    PacingDecision decision = DecideFrame(state, Sound(10, 64), 3, kStart + 4);
    EXPECT_EQ(PacingWait, decision.action);
    EXPECT_EQ(60, decision.delay);
}

// The pacer driven by a test clock: no thread, no sleep.
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

/* A pacer on a clock that stands wherever the test puts it. */
class Paced {
public:
    uint32_t now = kStart;
    FramePacer pacer{[this] { return now; }};

    Paced() = default;
    Paced(const Paced &) = delete;
    Paced &operator=(const Paced &) = delete;

    PacingDecision Decide(const PacingFrame &frame, int32_t speed, uint32_t tick)
    {
        now = tick;
        return pacer.Decide(frame, speed);
    }
    /* Decides and, when the frame is let through at once, presents it. */
    PacingDecision Show(const PacingFrame &frame, int32_t speed, uint32_t tick)
    {
        const PacingDecision decision = Decide(frame, speed, tick);
        if (decision.action == PacingShow) pacer.Presented(frame, speed, decision);
        return decision;
    }
    const PacingState &State() const { return pacer.State(); }
};

/* Plays a stream through the pacer on a simulated clock, the way the
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

    std::vector<uint32_t> Run(Paced &paced, const std::vector<PacingFrame> &frames)
    {
        std::vector<uint32_t> shown;
        uint32_t clock = kStart;
        for (size_t i = 0; i < frames.size(); ++i) {
            if (i < arrival.size() && static_cast<int32_t>(arrival[i] - clock) > 0)
                clock = arrival[i];
            const PacingDecision decision = paced.Decide(frames[i], speed, clock);
            if (decision.action == PacingDiscard) {
                shown.push_back(0);
                continue;
            }
            if (decision.action == PacingWait) {
                EXPECT_EQ(clock + decision.delay, decision.dueTick);
                clock += decision.delay + overrun + (i == hiccupFrame ? hiccupMs : 0);
            }
            paced.now = clock;
            paced.pacer.Presented(frames[i], speed, decision);
            shown.push_back(clock);
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
    {
        Paced paced;
        EXPECT_EQ(0, paced.pacer.Delay(50, 0, 3)) << "unanchored";
    }
    // The anchor is the first frame (anchorSeconds.anchorMs at anchorTick);
    // the delay of a frame stamped seconds.ms is asked at `now`.
    struct Row { int32_t anchorSeconds, anchorMs; uint32_t anchorTick; int32_t seconds, ms, speed; uint32_t now; int32_t delay; } rows[] = {
        // 11.000 is 40 ms of media after 10.960; 15 ms have passed.
        {10, 960, kStart, 11, 0, 3, kStart + 15, 25},
        {10, 960, kStart, 11, 0, 1, kStart + 15, 145},
        {10, 960, kStart, 11, 0, 2, kStart + 15, 65},
        {10, 960, kStart, 11, 0, 4, kStart + 15, 5},
        {10, 960, kStart, 11, 0, 5, kStart + 15, -5},
        {10, 960, kStart, 11, 0, 9, kStart + 15, 25},
        // 11.001 is 41 ms of media: fractions are truncated toward zero, on
        // either side.
        {10, 960, kStart, 11, 1, 5, kStart, 10},        // 10.25
        {10, 960, kStart, 11, 1, 4, kStart, 20},        // 20.5
        {10, 960, kStart, 11, 1, 5, kStart + 11, 0},    // -0.75
        {10, 960, kStart, 11, 1, 5, kStart + 12, -1},   // -1.75
        {10, 960, kStart, 11, 1, 4, kStart + 21, 0},    // -0.5
        // The tick wrapped between the anchor and now.
        {10, 0, 0xFFFFFFF0u, 10, 100, 3, 0x10u, 100 - 32},
        // A jump of decades in the stamps neither wraps nor overflows.
        {10, 0, kStart, 2000000000, 0, 1, kStart, INT32_MAX},
        {2000000000, 0, kStart, -2000000000, 0, 1, kStart, INT32_MIN},
        {2000000000, 0, kStart, 1, 0, 3, kStart, INT32_MIN},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.seconds << "." << r.ms << " speed " << r.speed << " at +"
                                        << static_cast<int32_t>(r.now - r.anchorTick));
        Paced paced;
        ASSERT_EQ(ReasonUnanchored, paced.Decide(Picture(r.anchorSeconds, r.anchorMs), 3, r.anchorTick).reason);
        paced.now = r.now;
        EXPECT_EQ(r.delay, paced.pacer.Delay(r.seconds, r.ms, r.speed));
    }
}

TEST(PacingArithmetic, ElapsedRunsToTheTickOfTheDecision)
{
    Paced paced;
    paced.Decide(Picture(10, 0), 3, kStart);
    paced.now = kStart + 50;
    EXPECT_EQ(30, paced.pacer.Delay(10, 80, 3));
    // A later decision (a late picture dropped at +70) leaves the anchor: only
    // the tick the delay is asked at counts.
    EXPECT_EQ(PacingDiscard, paced.Decide(Picture(10, 0), 3, kStart + 70).action);
    ASSERT_EQ(kStart + 70, paced.State().lastDecisionTick);
    paced.now = kStart + 50;
    EXPECT_EQ(30, paced.pacer.Delay(10, 80, 3));
}

TEST(PacingDecisionTest, FirstFrameIsShownAtOnceAndAnchorsTheClock)
{
    Paced paced;
    const PacingDecision first = paced.Decide(Picture(500, 120), 3, kStart);
    EXPECT_EQ(PacingShow, first.action);
    EXPECT_EQ(ReasonUnanchored, first.reason);
    EXPECT_EQ(1, paced.State().anchored);
    EXPECT_EQ(500, paced.State().anchorSeconds);
    EXPECT_EQ(120, paced.State().anchorMilliseconds);
    EXPECT_EQ(kStart, paced.State().anchorTick);
    EXPECT_EQ(kStart, paced.State().lastDecisionTick);

    // After a reset (the renderer's Exit) the next frame is first again,
    // however far its stamp lies from the old anchor.
    paced.pacer.Reset();
    EXPECT_EQ(PacingShow, paced.Decide(Picture(900, 0), 3, kStart + 5).action);
    EXPECT_EQ(900, paced.State().anchorSeconds);
    EXPECT_EQ(kStart + 5, paced.State().anchorTick);
}

TEST(PacingDecisionTest, UnstampedFrameIsShownAtOnce)
{
    Paced paced;
    paced.Decide(Picture(100, 0), 3, kStart);
    // 0 s 0 ms, whatever the anchor says.
    for (int32_t speed : {1, 3, 5}) {
        const PacingDecision decision = paced.Decide(Picture(0, 0), speed, kStart + 1);
        EXPECT_EQ(PacingShow, decision.action) << speed;
        EXPECT_EQ(ReasonNoTimeStamp, decision.reason);
    }
    EXPECT_EQ(PacingShow, paced.Decide(Sound(0, 0), 3, kStart + 2).action);
}

TEST(PacingDecisionTest, NormalSpeedKeepsPaceWhateverTheDrawingCosts)
{
    for (uint32_t drawCost : {0u, 7u, 39u}) {
        Paced paced;
        Simulation sim;
        sim.drawCost = drawCost;
        const std::vector<uint32_t> shown = sim.Run(paced, Stream(50));
        for (size_t k = 0; k < shown.size(); ++k)
            ASSERT_EQ(kStart + 40 * k, shown[k]) << "frame " << k << ", draw " << drawCost;
        EXPECT_EQ(10, paced.State().anchorSeconds) << "the anchor stays on the first frame";
        EXPECT_EQ(kStart, paced.State().anchorTick);
    }
}

TEST(PacingDecisionTest, LiveFeedIsShownAsItArrives)
{
    // Frames arrive in real time; each is due on arrival, none is held back
    // to be shown together with the next.
    Paced paced;
    Simulation sim;
    sim.drawCost = 12;
    for (int k = 0; k < 50; ++k)
        sim.arrival.push_back(kStart + 40 * k);
    const std::vector<uint32_t> shown = sim.Run(paced, Stream(50));
    for (size_t k = 0; k < shown.size(); ++k)
        ASSERT_EQ(kStart + 40 * k, shown[k]) << "frame " << k;
}

TEST(PacingDecisionTest, SpeedScalesTheGapBetweenFrames)
{
    struct Case { int32_t speed; uint32_t interval; uint32_t drawCost; } cases[] = {
        {1, 160, 0}, {2, 80, 0}, {3, 40, 0}, {4, 20, 0}, {5, 10, 0}, {0, 40, 0}, {6, 40, 0},
        {-3, 40, 0}, {1, 160, 7}, {2, 80, 7}, {4, 20, 7}, {5, 10, 7}, {6, 40, 7}};
    for (const Case &c : cases) {
        Paced paced;
        Simulation sim;
        sim.speed = c.speed;
        sim.drawCost = c.drawCost;
        const std::vector<uint32_t> shown = sim.Run(paced, Stream(20));
        for (size_t k = 1; k < shown.size(); ++k)
            ASSERT_EQ(c.interval, shown[k] - shown[k - 1])
                << "speed " << c.speed << " draw " << c.drawCost << " frame " << k;
        if (c.speed == 3) {
            EXPECT_EQ(10, paced.State().anchorSeconds);
            EXPECT_EQ(0, paced.State().anchorMilliseconds);
        } else {
            // Any speed but 3 moves the anchor to every frame let through.
            EXPECT_EQ(10, paced.State().anchorSeconds) << c.speed;
            EXPECT_EQ(19 * 40, paced.State().anchorMilliseconds) << c.speed;
            EXPECT_EQ(shown.back(), paced.State().anchorTick) << c.speed;
        }
    }
}

TEST(PacingDecisionTest, OverrunningWaitsDoNotAddUp)
{
    // Every wait ends 1 ms late: each picture is 1 ms late, but no later, at
    // any speed, whether or not the anchor moves.
    for (int32_t speed : {1, 2, 3, 4, 5, 0}) {
        Paced paced;
        Simulation sim;
        sim.speed = speed;
        sim.drawCost = 3;
        sim.overrun = 1;
        const std::vector<uint32_t> shown = sim.Run(paced, Stream(200));
        const double factor = PacingSpeedFactor(speed);
        for (size_t k = 1; k < shown.size(); ++k)
            ASSERT_EQ(kStart + static_cast<uint32_t>(40 * k * factor) + 1, shown[k])
                << "speed " << speed << " frame " << k;
    }
}

TEST(PacingDecisionTest, AHiccupIsCaughtUpAtEverySpeed)
{
    for (int32_t speed : {1, 3, 5}) {
        Paced paced;
        Simulation sim;
        sim.speed = speed;
        sim.hiccupFrame = 10;
        sim.hiccupMs = 30;
        const std::vector<uint32_t> shown = sim.Run(paced, Stream(40));
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
    Paced paced;
    paced.Decide(Nth(0), 3, kStart);
    PacingDecision decision = paced.Decide(Nth(1), 1, kStart);
    EXPECT_EQ(PacingWait, decision.action);
    EXPECT_EQ(160, decision.delay);
    paced.now = kStart + 161;
    paced.pacer.Presented(Nth(1), 1, decision);
    decision = paced.Decide(Nth(2), 5, kStart + 160);
    EXPECT_EQ(10, decision.delay);
}

TEST(PacingDecisionTest, LongWaitsUseTheTimer)
{
    Paced paced;
    paced.Decide(Picture(10, 0), 3, kStart);
    PacingDecision decision = paced.Decide(Picture(10, 500), 3, kStart);
    EXPECT_EQ(PacingWait, decision.action);
    EXPECT_EQ(500, decision.delay);
    EXPECT_TRUE(decision.useTimer);

    decision = paced.Decide(Picture(10, 499), 3, kStart);
    EXPECT_EQ(499, decision.delay);
    EXPECT_FALSE(decision.useTimer);

    decision = paced.Decide(Picture(10, 1), 3, kStart);
    EXPECT_EQ(1, decision.delay);
    EXPECT_FALSE(decision.useTimer);

    decision = paced.Decide(Picture(10, 0), 3, kStart);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonDue, decision.reason);
}

TEST(PacingDecisionTest, LatePictureIsDroppedLateSoundIsPlayed)
{
    Paced paced;
    paced.Decide(Picture(10, 0), 3, kStart);

    // 100 ms behind: dropped, the decision tick recorded, the anchor kept.
    PacingDecision decision = paced.Decide(Picture(10, 40), 3, kStart + 140);
    EXPECT_EQ(PacingDiscard, decision.action);
    EXPECT_EQ(ReasonLate, decision.reason);
    EXPECT_EQ(-100, decision.delay);
    EXPECT_EQ(kStart + 140, paced.State().lastDecisionTick);
    EXPECT_EQ(kStart, paced.State().anchorTick);

    // Exactly 1000 ms behind is still only late.
    decision = paced.Decide(Picture(10, 80), 3, kStart + 1080);
    EXPECT_EQ(PacingDiscard, decision.action);

    // Sound is played however late it is, and does not move the anchor at
    // normal speed.
    decision = paced.Decide(Sound(10, 80), 3, kStart + 1080);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonLateSound, decision.reason);
    EXPECT_EQ(kStart, paced.State().anchorTick);
}

TEST(PacingDecisionTest, SlightlyLatePictureIsShown)
{
    Paced paced;
    paced.Decide(Picture(10, 0), 3, kStart);
    PacingDecision decision = paced.Decide(Picture(10, 40), 3, kStart + 40 + kLateTolerance);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonLateTolerated, decision.reason);
    EXPECT_EQ(kStart, paced.State().anchorTick) << "the anchor stays";
    decision = paced.Decide(Picture(10, 80), 3, kStart + 80 + kLateTolerance + 1);
    EXPECT_EQ(PacingDiscard, decision.action);
}

TEST(PacingDecisionTest, PictureFarTooLateReanchors)
{
    Paced paced;
    paced.Decide(Picture(10, 0), 3, kStart);
    paced.Show(Sound(10, 0), 3, kStart);  // the sound clock starts on the same anchor

    const uint32_t now = kStart + 40 + 1001;
    PacingDecision decision = paced.Decide(Picture(10, 40), 3, now);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonLateReanchor, decision.reason);
    EXPECT_EQ(now, paced.State().anchorTick);
    EXPECT_EQ(40, paced.State().anchorMilliseconds);
    EXPECT_EQ(0, paced.State().audioAnchored) << "re-anchored as after a seek";

    // The following frames are paced from the new anchor.
    decision = paced.Decide(Picture(10, 80), 3, now + 3);
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
        Paced paced;
        paced.Decide(Picture(c.firstSeconds, 0), c.speed, kStart);
        const int64_t ms = int64_t(c.firstSeconds) * 1000 + c.gapMs;
        const PacingFrame jumped = Picture(int32_t(ms / 1000), int32_t(ms % 1000));
        const PacingDecision decision = paced.Decide(jumped, c.speed, kStart);
        EXPECT_EQ(c.action, decision.action);
        if (c.action == PacingWait) {
            EXPECT_EQ(c.delay, decision.delay);
            continue;
        }
        EXPECT_EQ(ReasonAheadReanchor, decision.reason);
        EXPECT_EQ(kStart, paced.State().anchorTick);
        // The pictures after it are paced from it.
        const int64_t next = ms + 40;
        const PacingDecision after =
            paced.Decide(Picture(int32_t(next / 1000), int32_t(next % 1000)), c.speed, kStart);
        EXPECT_EQ(PacingWait, after.action);
        EXPECT_EQ(int32_t(40 * PacingSpeedFactor(c.speed)), after.delay);
    }
}

TEST(PacingDecisionTest, StalledFeedResumesAtItsPace)
{
    // 25 frames in real time, a stall of 2 s, then the rest of the stream
    // (stamps continuing without a gap) in real time again.
    Paced paced;
    Simulation sim;
    sim.drawCost = 3;
    for (int k = 0; k < 100; ++k)
        sim.arrival.push_back(kStart + 40 * k + (k >= 25 ? 2000 : 0));
    const std::vector<uint32_t> shown = sim.Run(paced, Stream(100));
    for (size_t k = 0; k < shown.size(); ++k)
        ASSERT_EQ(sim.arrival[k], shown[k]) << "frame " << k;
}

TEST(PacingDecisionTest, LongRunOfDropsReanchors)
{
    // The feed falls 300 ms behind and stays there: pictures are dropped
    // for a while, but not for more than a second.
    Paced paced;
    Simulation sim;
    for (int k = 0; k < 100; ++k)
        sim.arrival.push_back(kStart + 40 * k + (k >= 10 ? 300 : 0));
    const std::vector<uint32_t> shown = sim.Run(paced, Stream(100));
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
    Paced paced;
    Simulation sim;
    sim.drawCost = 100;
    const std::vector<uint32_t> shown = sim.Run(paced, Stream(100));
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
    Paced paced;
    paced.Show(Picture(10, 0), 3, kStart);
    paced.pacer.Seek(30, 5);
    EXPECT_FALSE(paced.State().seekBackward);

    const uint32_t before = paced.State().lastDecisionTick;
    EXPECT_EQ(PacingDiscard, paced.Decide(Picture(34, 999), 3, kStart + 50).action);
    EXPECT_EQ(PacingDiscard, paced.Decide(Sound(20, 0), 3, kStart + 50).action);
    EXPECT_EQ(ReasonSeekFilter, paced.Decide(Picture(11, 0), 3, kStart + 50).reason);
    EXPECT_EQ(before, paced.State().lastDecisionTick) << "filtered frames leave no decision tick";

    // The first frame at or after the target ends the seek and, pacing being
    // re-anchored, is shown at once.
    PacingDecision decision = paced.Decide(Sound(35, 0), 3, kStart + 60);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonUnanchored, decision.reason);
    EXPECT_EQ(0, paced.State().seekA);
    EXPECT_EQ(0, paced.State().seekB);
    EXPECT_EQ(kStart + 60, paced.State().anchorTick);
    // Filter off: an earlier stamp is paced (late), not filtered.
    EXPECT_EQ(ReasonLate, paced.Decide(Picture(34, 0), 3, kStart + 60).reason);
}

TEST(PacingSeekFilter, BackwardSeekWaitsForAPictureNoLaterThanTheLastShown)
{
    Paced paced;
    paced.Show(Picture(100, 500), 3, kStart);
    paced.pacer.Seek(20, 0);
    EXPECT_TRUE(paced.State().seekBackward);

    // Stale frames still queued from before the seek: all dropped, and so is
    // all sound, even sound from before the last picture.
    EXPECT_EQ(PacingDiscard, paced.Decide(Picture(100, 540), 3, kStart + 40).action);
    EXPECT_EQ(PacingDiscard, paced.Decide(Picture(101, 0), 3, kStart + 40).action);
    EXPECT_EQ(PacingDiscard, paced.Decide(Sound(20, 0), 3, kStart + 40).action);

    // A picture stamped exactly at the last shown ends the seek.
    EXPECT_EQ(PacingShow, paced.Decide(Picture(100, 500), 3, kStart + 50).action);
    EXPECT_EQ(0, paced.State().seekA);

    paced.pacer.Seek(20, 0);
    EXPECT_EQ(PacingShow, paced.Decide(Picture(20, 0), 3, kStart + 60).action);
    EXPECT_EQ(20, paced.State().anchorSeconds);
    EXPECT_EQ(PacingShow, paced.Decide(Sound(20, 0), 3, kStart + 60).action);
}

TEST(PacingSeekFilter, SeekTargetIsTheSumAndEitherHalfArmsIt)
{
    Paced paced;
    paced.pacer.Seek(0, 12);
    EXPECT_EQ(PacingDiscard, paced.Decide(Picture(11, 999), 3, kStart).action);
    EXPECT_EQ(PacingShow, paced.Decide(Picture(12, 0), 3, kStart).action);

    paced.pacer.Seek(12, 0);
    EXPECT_FALSE(paced.State().seekBackward) << "12 is not before the last shown (none)";
    EXPECT_EQ(PacingDiscard, paced.Decide(Picture(11, 0), 3, kStart).action);
}

TEST(PacingSeekFilter, SeekToZeroOnlyReanchors)
{
    Paced paced;
    paced.Show(Picture(10, 0), 3, kStart);
    // Without the seek this frame would wait two seconds.
    paced.pacer.Seek(0, 0);
    PacingDecision decision = paced.Decide(Picture(12, 0), 3, kStart + 1);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonUnanchored, decision.reason);
    EXPECT_EQ(12, paced.State().anchorSeconds);
    // Nothing is filtered: an earlier frame goes through the pacing.
    EXPECT_EQ(ReasonLate, paced.Decide(Picture(11, 500), 3, kStart + 2).reason);
}

TEST(PacingSeekFilter, SegmentChangeReanchorsLikeASeek)
{
    Paced paced;
    paced.Decide(Picture(10, 0, 1), 3, kStart);
    paced.Show(Sound(10, 0, 1), 3, kStart);  // the sound clock starts on the same anchor
    EXPECT_EQ(PacingWait, paced.Decide(Picture(12, 0, 1), 3, kStart + 1).action);

    PacingDecision decision = paced.Decide(Picture(12, 0, 2), 3, kStart + 1);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(ReasonUnanchored, decision.reason);
    EXPECT_EQ(2, paced.State().segmentId);
    EXPECT_EQ(0, paced.State().audioAnchored);
    EXPECT_EQ(12, paced.State().anchorSeconds);
    EXPECT_EQ(kStart + 1, paced.State().anchorTick);

    // Back to an earlier stamp in another segment: no drop, a new anchor.
    decision = paced.Decide(Picture(3, 0, 3), 3, kStart + 2);
    EXPECT_EQ(PacingShow, decision.action);
    EXPECT_EQ(3, paced.State().anchorSeconds);
}

TEST(PacingSound, FirstSoundAfterAResetAnchorsTheClock)
{
    Paced paced;
    paced.Decide(Picture(10, 0), 3, kStart);
    paced.Show(Sound(10, 20), 3, kStart + 25);  // 5 ms late: played
    EXPECT_EQ(1, paced.State().audioAnchored);
    EXPECT_EQ(kStart + 25, paced.State().lastAudioTick);
    EXPECT_EQ(20, paced.State().anchorMilliseconds);
    EXPECT_EQ(kStart + 25, paced.State().anchorTick);

    paced.Show(Sound(10, 60), 3, kStart + 70);  // 5 ms late: played
    EXPECT_EQ(kStart + 70, paced.State().lastAudioTick);
    EXPECT_EQ(20, paced.State().anchorMilliseconds) << "only the first sound anchors";
}

TEST(PacingSound, SoundIsPacedLikePictures)
{
    Paced paced;
    paced.Decide(Sound(10, 0), 3, kStart);
    PacingDecision decision = paced.Decide(Sound(10, 64), 3, kStart + 4);
    EXPECT_EQ(PacingWait, decision.action);
    EXPECT_EQ(60, decision.delay);
}

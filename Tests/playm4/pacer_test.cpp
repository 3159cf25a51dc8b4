/* Pacing decisions over a given tick: anchoring, speed, re-anchoring. */
#include <gtest/gtest.h>

#include "Pacer.h"

using playm4::Pacer;

namespace {

TEST(Pacer, FirstItemAnchorsAndTheNextWaitsItsSpacing)
{
    Pacer pacer;
    EXPECT_FALSE(pacer.Anchored());
    Pacer::Decision d = pacer.Decide(10000, 500);
    EXPECT_TRUE(d.show);
    EXPECT_TRUE(d.reanchored);
    d = pacer.Decide(10040, 500);
    EXPECT_FALSE(d.show);
    EXPECT_EQ(d.waitMs, 40);
    d = pacer.Decide(10040, 530);
    EXPECT_EQ(d.waitMs, 10);
    d = pacer.Decide(10040, 540);
    EXPECT_TRUE(d.show);
    EXPECT_FALSE(d.reanchored);
    EXPECT_EQ(pacer.Due(10080, 540), 580);
}

TEST(Pacer, SpeedDividesOrMultipliesTheSpacing)
{
    for (const auto &c : {std::pair<int, int64_t>{0, 400}, {1, 200}, {2, 100}, {4, 25}, {-1, 800}, {-4, 6400}}) {
        Pacer pacer;
        pacer.SetSpeed(c.first, 0);
        pacer.Decide(0, 0);
        EXPECT_EQ(pacer.Due(400, 0), c.second) << "speed exponent " << c.first;
    }
}

TEST(Pacer, SpeedChangeKeepsTheStreamTimeReached)
{
    Pacer pacer;
    pacer.Decide(1000, 0);
    /* At tick 100 the stream is at 1100; from there on twice as fast. */
    pacer.SetSpeed(1, 100);
    EXPECT_EQ(pacer.SpeedExponent(), 1);
    EXPECT_EQ(pacer.Due(1200, 100), 150);
    /* Back to half speed at tick 150 (stream at 1200). */
    pacer.SetSpeed(-1, 150);
    EXPECT_EQ(pacer.Due(1240, 150), 230);
}

TEST(Pacer, SlightlyLateItemsShowWithoutReanchoring)
{
    Pacer pacer;
    pacer.Decide(0, 0);
    const Pacer::Decision d = pacer.Decide(40, 40 + Pacer::kMaxLateMs);
    EXPECT_TRUE(d.show);
    EXPECT_FALSE(d.reanchored);
    EXPECT_EQ(pacer.Due(80, 2000), 80);
}

TEST(Pacer, AStalledSourceReanchorsInsteadOfRushing)
{
    Pacer pacer;
    pacer.Decide(0, 0);
    /* The next picture comes five seconds late: shown at once, and the
     * ones after it keep their spacing from it. */
    Pacer::Decision d = pacer.Decide(40, 5040);
    EXPECT_TRUE(d.show);
    EXPECT_TRUE(d.reanchored);
    d = pacer.Decide(80, 5040);
    EXPECT_FALSE(d.show);
    EXPECT_EQ(d.waitMs, 40);
}

TEST(Pacer, StampsJumpingEitherWayReanchor)
{
    Pacer pacer;
    pacer.Decide(100000, 0);
    Pacer::Decision ahead = pacer.Decide(100000 + Pacer::kMaxEarlyMs + 1000, 40);
    EXPECT_TRUE(ahead.show);
    EXPECT_TRUE(ahead.reanchored);
    Pacer::Decision back = pacer.Decide(20, 80);
    EXPECT_TRUE(back.show);
    EXPECT_TRUE(back.reanchored);
    EXPECT_EQ(pacer.Due(60, 80), 120);
}

TEST(Pacer, ResetForgetsTheAnchor)
{
    Pacer pacer;
    pacer.Decide(0, 0);
    pacer.Reset();
    EXPECT_FALSE(pacer.Anchored());
    EXPECT_EQ(pacer.Due(777, 1234), 1234);
    EXPECT_TRUE(pacer.Anchored());
}

}  // namespace

// The renderer on its thread, over a real pool and scripted outputs. Timing
// checks leave room for a loaded machine: they bound from below tightly and
// from above loosely.
#include "renderer_harness.h"

#include <kova_control.h>

#include <algorithm>
#include <future>

#include "LogCapture.h"
#include "render/FramePacing.h"

using namespace rendertest;

namespace {

using kova_test::LogCapture;

/* Lets a blocked draw go on when a test leaves early. */
struct Unblock {
    Script &script;
    ~Unblock() { script.Release(); }
};

/* Span between the draws of two frame ids, in ms. */
double Span(RendererHarness &harness, int from, int to)
{
    Draw a, b;
    EXPECT_TRUE(harness.Drawn(from, &a)) << from;
    EXPECT_TRUE(harness.Drawn(to, &b)) << to;
    return MsSince(a.when, b.when);
}

}  // namespace

TEST(VideoRendererPacing, FramesArePacedByTheirStampsAndTheSpeed)
{
    struct Case { int32_t speed; int frames; double interval; } cases[] = {
        {3, 8, 40}, {1, 4, 160}, {5, 16, 10}, {7, 8, 40}};
    for (const Case &c : cases) {
        RendererHarness harness;
        harness.renderer.speed = c.speed;
        harness.Start();
        const Clock::time_point fed = Clock::now();
        for (int k = 0; k < c.frames; ++k)
            harness.FeedNth(k);
        ASSERT_TRUE(harness.WaitForDraw(c.frames - 1)) << "speed " << c.speed;
        Draw first;
        ASSERT_TRUE(harness.Drawn(0, &first));
        EXPECT_LT(MsSince(fed, first.when), 200) << "the first frame is shown at once";
        const double expected = (c.frames - 1) * c.interval;
        const double span = Span(harness, 0, c.frames - 1);
        EXPECT_GT(span, expected - 5) << "speed " << c.speed;
        EXPECT_LT(span, expected + 150) << "speed " << c.speed;
    }
}

TEST(VideoRendererPacing, LatePictureIsDroppedLateSoundIsPlayed)
{
    RendererHarness harness;
    harness.Start();
    harness.Feed(0, 10, 0);
    ASSERT_TRUE(harness.WaitForDraw(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    harness.Feed(1, 10, 40);       // due 260 ms ago
    const Clock::time_point soundFed = Clock::now();
    harness.FeedSound(2, 10, 80);  // due 220 ms ago; the first sound anchors the clock
    // Twice as many frames as buffers: dropping frame 1 gave its buffer back.
    for (int k = 3; k < 19; ++k)
        harness.Feed(k, 10, 400 + (k - 3) * 10);
    harness.FeedSound(19, 10, 560);  // sound is never dropped: all before it were decided on
    ASSERT_TRUE(harness.script.WaitFor([&] { return harness.script.played.size() == 2; }));
    EXPECT_FALSE(harness.Drawn(1));
    EXPECT_EQ(2, harness.script.played[0].frameId);
    EXPECT_EQ(19, harness.script.played[1].frameId);

    // Every picture after the late pair is shown once, in order. A loaded
    // machine may still make the renderer reach one of them more than the
    // tolerance after its due time (counted from the earliest moment the
    // sound could have anchored the clock), and then it is rightly dropped:
    // whatever it presented next came that late too.
    const std::vector<Draw> draws = harness.script.Draws();
    ASSERT_FALSE(draws.empty());
    EXPECT_EQ(0, draws[0].frameId);
    for (size_t i = 1; i < draws.size(); ++i)
        EXPECT_LT(draws[i - 1].frameId, draws[i].frameId) << "draw " << i;
    size_t excused = 0;
    for (int k = 3; k < 19; ++k) {
        if (harness.Drawn(k))
            continue;
        Clock::time_point next = harness.script.played[1].when;
        for (const Draw &draw : draws) {
            if (draw.frameId > k) {
                next = draw.when;
                break;
            }
        }
        const double due = 320 + (k - 3) * 10;
        EXPECT_GT(MsSince(soundFed, next), due + kLateTolerance - 2)
            << "frame " << k << " was dropped though the renderer reached it in time";
        ++excused;
    }
    EXPECT_EQ(17u, draws.size() + excused);
}

TEST(VideoRendererPacing, SeekCutsATimedWaitShortButNotASleep)
{
    // Stamp gaps clear of the 500 ms threshold: the delay is counted in
    // whole ticks and may come out a tick shorter than the gap.
    for (int32_t gap : {520, 60000, 480}) {
        RendererHarness harness;
        harness.Start();
        harness.Feed(0, 10, 0);
        harness.Feed(1, 10 + gap / 1000, gap % 1000);
        ASSERT_TRUE(harness.WaitForDraw(0));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        harness.renderer.NotifySeek(0, 0);
        ASSERT_TRUE(harness.WaitForDraw(1, 2000)) << gap;
        const double shown = Span(harness, 0, 1);
        if (gap >= 500)
            EXPECT_LT(shown, 450) << gap << " ms waits on the timer, which the seek ends";
        else
            EXPECT_GT(shown, gap - 12) << "a shorter wait sleeps through the seek";
    }
}

TEST(VideoRendererPacing, SeekFiltersFramesAfterItAndReanchors)
{
    RendererHarness harness;
    harness.Start();
    harness.Feed(0, 10, 0);
    ASSERT_TRUE(harness.WaitForDraw(0));
    harness.renderer.NotifySeek(15, 5);
    harness.Feed(1, 10, 40);       // before the target: dropped
    harness.FeedSound(2, 19, 999); // likewise
    harness.Feed(3, 20, 0);        // first at the target: shown at once
    harness.Feed(4, 20, 80);
    ASSERT_TRUE(harness.WaitForDraw(4));
    EXPECT_FALSE(harness.Drawn(1));
    EXPECT_TRUE(harness.script.played.empty());
    EXPECT_GT(Span(harness, 3, 4), 75);

    // Back before the last picture: later pictures still queued are dropped
    // until one at or before it comes.
    harness.renderer.NotifySeek(5, 0);
    harness.Feed(5, 20, 120);
    harness.Feed(6, 5, 0);
    ASSERT_TRUE(harness.WaitForDraw(6));
    EXPECT_FALSE(harness.Drawn(5));
}

TEST(VideoRendererPacing, StalledFeedIsShownAgainWithinASecond)
{
    RendererHarness harness;
    harness.Start();
    // 25 fps in real time; after frame 24 the feed stalls for 2 s, then goes
    // on in real time with the stamps continuing where they stopped.
    const int kBefore = 25, kAfter = 60;
    std::vector<Clock::time_point> fedAt(kBefore + kAfter);
    const Clock::time_point base = Clock::now();
    for (int k = 0; k < kBefore + kAfter; ++k) {
        const int stall = k >= kBefore ? 2000 : 0;
        std::this_thread::sleep_until(base + std::chrono::milliseconds(40 * k + stall));
        fedAt[k] = Clock::now();
        harness.FeedNth(k);
    }
    ASSERT_TRUE(harness.WaitForDraw(kBefore + kAfter - 1, 2000));

    // From one second after the feed resumed, pictures come at their pace.
    int shown = 0, counted = 0;
    for (int k = kBefore + 25; k < kBefore + kAfter; ++k) {
        ++counted;
        Draw draw;
        if (harness.Drawn(k, &draw) && MsSince(fedAt[k], draw.when) < 100)
            ++shown;
    }
    EXPECT_GE(shown, counted * 8 / 10) << shown << " of " << counted;
}

TEST(VideoRendererLifecycle, StopAndExitDoNotWaitOutALongWait)
{
    for (bool exitInstead : {false, true}) {
        RendererHarness harness;
        harness.Start();
        harness.Feed(0, 10, 0);
        harness.Feed(1, 19, 0);  // nine seconds later: a long wait, not a jump in the clock
        ASSERT_TRUE(harness.WaitForDraw(0));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));

        const Clock::time_point begin = Clock::now();
        harness.pool.running = false;
        if (exitInstead) {
            harness.renderer.Exit();
            harness.thread.join();
        } else {
            harness.renderer.Stop();
        }
        // The wait in progress has seconds to go; a loaded machine may take
        // a second or two to schedule the loop, far short of that.
        EXPECT_LT(MsSince(begin), 5000) << (exitInstead ? "Exit" : "Stop");
        EXPECT_FALSE(harness.Drawn(1));
        EXPECT_EQ(exitInstead ? RendererExit : RendererIdle, harness.renderer.State());
    }
}

TEST(VideoRendererLifecycle, StoppedRendererTakesNoFramesUntilStarted)
{
    RendererHarness harness;
    harness.Start();
    harness.Feed(0, 10, 0);
    ASSERT_TRUE(harness.WaitForDraw(0));
    harness.pool.running = false;
    harness.renderer.Stop();
    harness.pool.running = true;  // the producer may queue, nobody takes
    harness.Feed(1, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(harness.Drawn(1));
    harness.Start();
    ASSERT_TRUE(harness.WaitForDraw(1));
    // Start made a new output for the bound window.
    const std::vector<Draw> draws = harness.script.Draws();
    EXPECT_EQ(1, draws.front().output);
    EXPECT_EQ(2, draws.back().output);
}

TEST(VideoRendererLifecycle, ExitIsFinal)
{
    RendererHarness harness;
    harness.Start();
    harness.Shutdown();
    EXPECT_EQ(RendererExit, harness.renderer.State());
    harness.renderer.Start();
    harness.renderer.Stop();
    harness.renderer.Exit();
    EXPECT_EQ(RendererExit, harness.renderer.State());
    const std::vector<std::string> events = harness.script.Events();
    EXPECT_EQ("close 1", events[events.size() - 2]);
    EXPECT_EQ("delete 1", events.back());
}

TEST(VideoRendererLifecycle, WaitIsBoundedWhenTheTimerCannotBeArmed)
{
    KovaControl_FailCall("CreateTimerQueueTimer", FALSE, ERROR_NOT_ENOUGH_MEMORY, -1);
    testing::internal::CaptureStdout();
    {
        RendererHarness harness;
        harness.Start();
        harness.Feed(0, 10, 0);
        harness.Feed(1, 10, 600);
        EXPECT_TRUE(harness.WaitForDraw(1, 2000));
        const double span = Span(harness, 0, 1);
        EXPECT_GT(span, 590);
        EXPECT_LT(span, 900);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    KovaControl_ClearFaults();
    EXPECT_NE(std::string::npos, out.find("CreateTimerQueueTimer failed (8)\n")) << out;
}

TEST(VideoRendererOutput, WithoutAnOutputPicturesAreLoggedAndSoundPlays)
{
    LogCapture log;
    RendererHarness harness(false);
    harness.script.failMake = true;
    EXPECT_EQ(1, harness.renderer.BindWindow(RendererHarness::Window(), 1));
    EXPECT_EQ(2, harness.renderer.SetDisplayRegion(0, 0, 50, 50));
    harness.Start();
    harness.Feed(0, 10, 0);
    harness.FeedSound(1, 10, 0);
    harness.Feed(2, 10, 40);
    const std::string failed = "Display err. Call ZR_VO_DrawYUV fail with a1888032, Width 32, Height 16";
    EXPECT_TRUE(log.WaitFor(failed, 2));
    ASSERT_TRUE(harness.script.WaitFor([&] { return harness.script.played.size() == 1; }));
    harness.Shutdown();
    EXPECT_EQ(2u, log.Count(failed));
    EXPECT_EQ(1, harness.script.played[0].frameId);
    EXPECT_EQ(320, harness.script.played[0].length);
}

TEST(VideoRendererOutput, FailedDrawsAreLoggedOneByOne)
{
    LogCapture log;
    RendererHarness harness;
    harness.script.drawResult = 0xA1888037u;
    harness.Start();
    harness.Feed(0, 0, 0, 0, 0, 64, 32);
    harness.Feed(1, 0, 0);
    // Too large for its buffer: never handed to the output.
    harness.Feed(2, 0, 0, 0, 0, 64, 64);
    harness.Feed(3, 0, 0);
    ASSERT_TRUE(harness.WaitForDraw(3));
    harness.Shutdown();
    EXPECT_EQ(1u, log.Count("Display err. Call ZR_VO_DrawYUV fail with a1888037, Width 64, Height 32"));
    EXPECT_EQ(2u, log.Count("Display err. Call ZR_VO_DrawYUV fail with a1888037, Width 32, Height 16"));
    EXPECT_EQ(1u, log.Count("Display err. Call ZR_VO_DrawYUV fail with a1888033, Width 64, Height 64"));
    EXPECT_FALSE(harness.Drawn(2));

    // A failure that lasts as long as its cause: once per run, not once
    // per picture.
    for (uint32_t lasting : {0xA1888034u, 0xA1888041u, 0xA1888042u}) {
        RendererHarness again;
        again.script.drawResult = lasting;
        again.Start();
        for (int id = 0; id < 4; ++id)
            again.Feed(id, 0, 0);
        ASSERT_TRUE(again.WaitForDraw(3));
        again.Shutdown();
        char line[96];
        snprintf(line, sizeof line, "Display err. Call ZR_VO_DrawYUV fail with %x, Width 32, Height 16", lasting);
        EXPECT_EQ(1u, log.Count(line)) << line;
    }
}

TEST(VideoRendererOutput, OutputFollowsBindStartStopAndMode)
{
    Script script;
    CBufferManager pool;
    VideoRenderer renderer(&pool, nullptr, script.Factory());
    const HWND window = RendererHarness::Window();
    char bound[64];
    snprintf(bound, sizeof bound, "%p", static_cast<void *>(window));

    EXPECT_EQ(0, renderer.BindWindow(window, 0));
    EXPECT_EQ(0, renderer.BindWindow(window, 0));  // rebinds the same output
    renderer.SetOutputMode(0);                     // unchanged: nothing
    renderer.Stop();                               // released
    renderer.Start();                              // remade as it was
    renderer.SetOutputMode(1);                     // remade for the new mode
    EXPECT_EQ(0, renderer.SetDisplayRegion(0, 0, 0, 0));
    EXPECT_EQ(0, renderer.SetDisplayRegion(10, 0, 60, 50));
    script.regionResult = 5;
    EXPECT_EQ(1, renderer.SetDisplayRegion(0, 0, 1, 1));
    renderer.Exit();
    EXPECT_EQ(2, renderer.SetDisplayRegion(0, 0, 0, 0));

    const std::vector<std::string> expected = {
        "make 1 mode 0", std::string("window 1 ") + bound, std::string("window 1 ") + bound,
        "close 1", "delete 1",
        "make 2 mode 0", std::string("window 2 ") + bound,
        "close 2", "delete 2",
        "make 3 mode 1", std::string("window 3 ") + bound,
        "region 3 0 0 0 0 0", "region 3 1 10 0 60 50", "region 3 1 0 0 1 1",
        "close 3", "delete 3"};
    EXPECT_EQ(expected, script.Events());
    EXPECT_FALSE(script.usedAfterClose);
}

TEST(VideoRendererOutput, ControlCallsWaitForADrawInProgress)
{
    RendererHarness harness;
    Unblock atExit{harness.script};
    harness.script.blockDraws = true;
    harness.Start();
    harness.Feed(0, 10, 0);
    ASSERT_TRUE(harness.script.WaitFor([&] { return harness.script.drawsBlocked == 1; }));

    // Each would use or replace the output being drawn with.
    auto region = std::async(std::launch::async, [&] { return harness.renderer.SetDisplayRegion(0, 0, 50, 50); });
    auto bind = std::async(std::launch::async, [&] { return harness.renderer.BindWindow(RendererHarness::Window(), 1); });
    auto mode = std::async(std::launch::async, [&] { harness.renderer.SetOutputMode(0); });
    Unblock unblock{harness.script};
    EXPECT_EQ(std::future_status::timeout, mode.wait_for(std::chrono::milliseconds(150)));
    EXPECT_EQ(std::future_status::timeout, region.wait_for(std::chrono::milliseconds(0)));
    EXPECT_EQ(std::future_status::timeout, bind.wait_for(std::chrono::milliseconds(0)));

    harness.script.Release();
    region.get();
    EXPECT_EQ(0, bind.get());
    mode.get();
    harness.Feed(1, 0, 0);
    ASSERT_TRUE(harness.WaitForDraw(1));
    harness.Shutdown();

    EXPECT_FALSE(harness.script.overlapped);
    EXPECT_FALSE(harness.script.usedAfterClose);
    const std::vector<std::string> events = harness.script.Events();
    const auto drawn = std::find(events.begin(), events.end(), "drawn 1");
    const auto closed = std::find(events.begin(), events.end(), "close 1");
    ASSERT_NE(events.end(), drawn);
    ASSERT_NE(events.end(), closed);
    EXPECT_LT(drawn, closed) << "the output was closed only after its draw";
    EXPECT_EQ(2, harness.script.Draws().back().output);
}

// The one-shot timer over the platform's timer queue.
#include <gtest/gtest.h>

#include <kova_control.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "render/HighResolutionTimer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Fired {
    std::atomic<int> count{0};
    std::atomic<long long> atMs{0};
    Clock::time_point start = Clock::now();
};

void Count(void *context)
{
    Fired *fired = static_cast<Fired *>(context);
    fired->atMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - fired->start).count();
    ++fired->count;
}

void Pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

TEST(HighResolutionTimer, FiresOnceAfterTheDueTime)
{
    CHighResolutionTimer timer(Count);
    Fired fired;
    EXPECT_EQ(0, timer.Schedule(&fired, 100));
    EXPECT_TRUE(timer.IsArmed());
    Pause(400);
    EXPECT_EQ(1, fired.count.load());
    EXPECT_GE(fired.atMs.load(), 99);
    EXPECT_LT(fired.atMs.load(), 350);
}

TEST(HighResolutionTimer, CancelAndRescheduleDisarm)
{
    CHighResolutionTimer timer(Count);
    Fired fired;
    EXPECT_EQ(0, timer.Schedule(&fired, 150));
    timer.Cancel();
    EXPECT_FALSE(timer.IsArmed());
    timer.Cancel();  // nothing armed: nothing to do

    // Arming again replaces the armed timer: one call, at the later time.
    fired.start = Clock::now();
    EXPECT_EQ(0, timer.Schedule(&fired, 50));
    EXPECT_EQ(0, timer.Schedule(&fired, 200));
    Pause(450);
    EXPECT_EQ(1, fired.count.load());
    EXPECT_GE(fired.atMs.load(), 199);
}

TEST(HighResolutionTimer, RefusesANullContext)
{
    CHighResolutionTimer timer(Count);
    EXPECT_EQ(1, timer.Schedule(nullptr, 10));
    EXPECT_FALSE(timer.IsArmed());
}

TEST(HighResolutionTimer, DestroyingWaitsForTheCallback)
{
    struct Slow {
        static void Run(void *context)
        {
            Pause(150);
            static_cast<std::atomic<int> *>(context)->store(1);
        }
    };
    std::atomic<int> done{0};
    {
        CHighResolutionTimer timer(Slow::Run);
        EXPECT_EQ(0, timer.Schedule(&done, 1));
        Pause(50);  // the callback is running
    }
    EXPECT_EQ(1, done.load());
}

TEST(HighResolutionTimer, FailureToArmIsPrinted)
{
    CHighResolutionTimer timer(Count);
    Fired fired;
    testing::internal::CaptureStdout();
    KovaControl_FailCall("CreateTimerQueueTimer", FALSE, ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(3, timer.Schedule(&fired, 10));
    EXPECT_FALSE(timer.IsArmed());
    KovaControl_ClearFaults();
    EXPECT_EQ("CreateTimerQueueTimer failed (8)\n", testing::internal::GetCapturedStdout());

    // The next one arms as usual.
    EXPECT_EQ(0, timer.Schedule(&fired, 10));
    Pause(200);
    EXPECT_EQ(1, fired.count.load());
}

TEST(HighResolutionTimer, WithoutAQueueNothingIsArmed)
{
    KovaControl_FailCall("CreateTimerQueue", 0, ERROR_NOT_ENOUGH_MEMORY, 1);
    testing::internal::CaptureStdout();
    {
        CHighResolutionTimer timer(Count);
        Fired fired;
        EXPECT_EQ(1, timer.Schedule(&fired, 10));
        EXPECT_FALSE(timer.IsArmed());
        timer.Cancel();
    }
    KovaControl_ClearFaults();
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ScriptedDecoder.h"
#include "support/FaultGuard.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using kova::RunGuarded;
using kova_test::Fault;
using kova_test::Raise;

TEST(FaultGuard, ReportsACompletedCallAndKeepsItsResults)
{
    int result = 0;
    EXPECT_TRUE(RunGuarded([&] { result = 7; }));
    EXPECT_EQ(result, 7);
}

TEST(FaultGuard, CatchesEveryKindOfCppException)
{
    EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("x"); }));
    EXPECT_FALSE(RunGuarded([] { throw 42; }));
    EXPECT_FALSE(RunGuarded([] { throw std::bad_alloc(); }));
}

TEST(FaultGuard, SurvivesRepeatedProcessorFaultsOnOneThread)
{
    /* The second and third faults prove the first left the signal usable. */
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(RunGuarded([] { Raise(Fault::NullWrite); })) << "round " << i;
        EXPECT_FALSE(RunGuarded([] { Raise(Fault::DivideByZero); })) << "round " << i;
    }
    EXPECT_TRUE(RunGuarded([] {}));
}

TEST(FaultGuard, KeepsWritesMadeBeforeTheFault)
{
    int progress = 0;
    EXPECT_FALSE(RunGuarded([&] {
        progress = 1;
        Raise(Fault::NullWrite);
        progress = 2;
    }));
    EXPECT_EQ(progress, 1);
}

TEST(FaultGuard, CatchesAnIllegalInstruction)
{
    EXPECT_FALSE(RunGuarded([] { __builtin_trap(); }));
}

#ifndef _WIN32
TEST(FaultGuard, CatchesABusErrorFromATruncatedMapping)
{
    char path[] = "/tmp/kova_fault_guard_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    const long page = sysconf(_SC_PAGESIZE);
    ASSERT_EQ(ftruncate(fd, page), 0);
    void *map = mmap(nullptr, page, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(map, MAP_FAILED);
    ASSERT_EQ(ftruncate(fd, 0), 0);
    volatile int sink = 0;
    EXPECT_FALSE(RunGuarded([&] { sink = *static_cast<volatile char *>(map); }));
    munmap(map, page);
    close(fd);
}
#endif

TEST(FaultGuard, NestedGuardsRecoverAtTheInnermost)
{
    bool innerCompleted = true;
    bool outerReachedEnd = false;
    EXPECT_TRUE(RunGuarded([&] {
        innerCompleted = RunGuarded([] { Raise(Fault::NullWrite); });
        outerReachedEnd = true;
    }));
    EXPECT_FALSE(innerCompleted);
    EXPECT_TRUE(outerReachedEnd);

    /* After the inner one has ended, a fault belongs to the outer one. */
    bool innerOk = false;
    EXPECT_FALSE(RunGuarded([&] {
        innerOk = RunGuarded([] {});
        Raise(Fault::DivideByZero);
    }));
    EXPECT_TRUE(innerOk);
}

TEST(FaultGuard, LetsGoOfLocksHeldWhereItRecovers)
{
    std::mutex outer, inner;
    auto unlock = [](void *m) { static_cast<std::mutex *>(m)->unlock(); };
    auto freeElsewhere = [](std::mutex &m) {
        bool taken = false;
        std::thread([&] {
            taken = m.try_lock();
            if (taken)
                m.unlock();
        }).join();
        return taken;
    };
    bool innerCompleted = true;
    EXPECT_TRUE(RunGuarded([&] {
        outer.lock();
        kova::ReleaseOnFault letGoOuter(unlock, &outer);
        innerCompleted = RunGuarded([&] {
            inner.lock();
            kova::ReleaseOnFault letGoInner(unlock, &inner);
            Raise(Fault::NullWrite);
        });
        /* Only the inner call was abandoned: the outer lock is still held. */
        EXPECT_TRUE(freeElsewhere(inner));
        EXPECT_FALSE(freeElsewhere(outer));
        outer.unlock();
    }));
    EXPECT_FALSE(innerCompleted);
}

TEST(FaultGuard, ThreadsFaultingAtOnceEachRecoverOnTheirOwn)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    std::atomic<int> recovered{0};
    std::atomic<int> completed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                const bool fault = (i + t) % 2 == 0;
                if (RunGuarded([&] {
                        if (fault)
                            Raise(t % 3 == 0 ? Fault::DivideByZero : Fault::NullWrite);
                    }))
                    ++completed;
                else
                    ++recovered;
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(recovered.load(), kThreads * kRounds / 2);
    EXPECT_EQ(completed.load(), kThreads * kRounds / 2);
}

#ifndef _WIN32
int Recurse(volatile char *previous, int depth)
{
    volatile char frame[512];
    frame[0] = previous ? previous[0] : 1;
    if (depth < 0) /* never: keeps the recursion unbounded without a warning */
        return 0;
    return Recurse(frame, depth + 1) + frame[0];
}

TEST(FaultGuard, RecoversFromAStackOverflow)
{
    bool overflowed = true;
    bool later = false;
    std::thread worker([&] {
        overflowed = RunGuarded([] { Recurse(nullptr, 0); });
        later = RunGuarded([] {});
    });
    worker.join();
    EXPECT_FALSE(overflowed);
    EXPECT_TRUE(later);
}

/* Death tests: each runs in a fresh process, so the guard installs its
 * handlers over whatever the test puts in place first. */
class FaultGuardOutsideGuardedCalls : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void ExitFromHandler(int)
{
    _exit(42);
}

TEST_F(FaultGuardOutsideGuardedCalls, AFaultGetsTheDefaultAction)
{
    EXPECT_EXIT(
        {
            RunGuarded([] {});
            Raise(Fault::NullWrite);
        },
        ::testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(FaultGuardOutsideGuardedCalls, AFaultGoesToTheHandlerInstalledBefore)
{
    EXPECT_EXIT(
        {
            signal(SIGFPE, ExitFromHandler);
            RunGuarded([] { Raise(Fault::DivideByZero); }); /* guarded: recovered */
            Raise(Fault::DivideByZero);
        },
        ::testing::ExitedWithCode(42), "");
}

TEST_F(FaultGuardOutsideGuardedCalls, AFaultOnAnotherThreadIsNotTakenByAGuardedCall)
{
    EXPECT_EXIT(
        {
            signal(SIGSEGV, ExitFromHandler);
            std::mutex m;
            std::condition_variable cv;
            bool inside = false;
            std::thread guarded([&] {
                RunGuarded([&] {
                    std::unique_lock<std::mutex> lock(m);
                    inside = true;
                    cv.notify_all();
                    cv.wait(lock, [] { return false; }); /* stays inside */
                });
            });
            {
                std::unique_lock<std::mutex> lock(m);
                cv.wait(lock, [&] { return inside; });
            }
            Raise(Fault::NullWrite);
        },
        ::testing::ExitedWithCode(42), "");
}

TEST_F(FaultGuardOutsideGuardedCalls, ASignalSentToAGuardedThreadIsNotAFault)
{
    EXPECT_EXIT(
        {
            signal(SIGSEGV, ExitFromHandler);
            RunGuarded([] { raise(SIGSEGV); });
            _exit(0);
        },
        ::testing::ExitedWithCode(42), "");
}
#endif

}  // namespace

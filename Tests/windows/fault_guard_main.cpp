/* The fault guard's Windows path (vectored handler, landing function,
 * stack-overflow re-arm), as a plain Windows program: cross-built for
 * x86_64 and run under Wine64 when the build is asked to
 * (-DKOVA_WINE_TESTS=ON). Exit code: the number of failed checks. */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/FaultGuard.h"

namespace {

int failures = 0;

void Check(bool condition, const char *what)
{
    printf("%s %s\n", condition ? "ok" : "FAIL", what);
    failures += !condition;
}

void NullWrite()
{
    volatile uintptr_t address = 0;
    *reinterpret_cast<volatile int *>(address) = 1;
}

void DivideByZero()
{
    volatile int dividend = 1, divisor = 0;
    volatile int quotient = dividend / divisor;
    (void)quotient;
}

int Recurse(volatile char *previous, int depth)
{
    volatile char frame[512];
    frame[0] = previous ? previous[0] : 1;
    if (depth < 0)
        return 0;
    return Recurse(frame, depth + 1) + frame[0];
}

}  // namespace

int main()
{
    Check(kova::RunGuarded([] {}), "a call that completes");
    Check(!kova::RunGuarded([] { throw std::runtime_error("x"); }), "a C++ exception");
    for (int i = 0; i < 3; ++i) {
        Check(!kova::RunGuarded(NullWrite), "an access violation");
        Check(!kova::RunGuarded(DivideByZero), "a division by zero");
    }
    Check(!kova::RunGuarded([] { __builtin_trap(); }), "an illegal instruction");

    bool inner = true, outerGoesOn = false;
    Check(kova::RunGuarded([&] {
              inner = kova::RunGuarded(NullWrite);
              outerGoesOn = true;
          }),
          "an outer guard around a faulting inner one");
    Check(!inner && outerGoesOn, "the inner guard takes the fault");

    /* A named mutex taken inside the guarded call is let go on recovery:
     * another thread can take it at once. */
    HANDLE named = CreateMutexA(nullptr, FALSE, "KovaFaultGuardCheck");
    Check(!kova::RunGuarded([&] {
              WaitForSingleObject(named, INFINITE);
              kova::ReleaseOnFault letGo([](void *m) { ReleaseMutex(static_cast<HANDLE>(m)); }, named);
              NullWrite();
          }),
          "a fault while holding a named mutex");
    DWORD waited = WAIT_FAILED;
    std::thread([&] {
        waited = WaitForSingleObject(named, 0);
        if (waited == WAIT_OBJECT_0)
            ReleaseMutex(named);
    }).join();
    Check(waited == WAIT_OBJECT_0, "the mutex is free after the recovery");
    CloseHandle(named);

    std::atomic<int> recovered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i)
                recovered += !kova::RunGuarded(i % 2 ? NullWrite : DivideByZero);
        });
    for (std::thread &t : threads)
        t.join();
    Check(recovered == 400, "threads faulting at once");

    bool first = true, between = false, second = true;
    std::thread deep([&] {
        first = kova::RunGuarded([] { Recurse(nullptr, 0); });
        between = kova::RunGuarded([] {});
        second = kova::RunGuarded([] { Recurse(nullptr, 0); });
    });
    deep.join();
    Check(!first && between && !second, "two stack overflows on one thread");

    bool caught = false;
    try {
        throw 5;
    } catch (int) {
        caught = true;
    }
    Check(caught, "C++ exceptions outside guards still work");
    return failures;
}

#include "api/AudioOwner.h"

#include <atomic>
#include <mutex>

#include "facade/CPrivateVideoDecoder.h"

namespace kova {
namespace {

CRITICAL_SECTION audioOwnerLock;
std::once_flag audioOwnerLockOnce;
std::atomic<int> lockCreations{0};
CPrivateVideoDecoder *audioOwner = nullptr; /* not owning; guarded by audioOwnerLock */

void CreateLockOnce();

class Held {
public:
    Held()
    {
        CreateLockOnce(); /* a handle exists, so this only checks */
        EnterCriticalSection(&audioOwnerLock);
    }
    ~Held() { LeaveCriticalSection(&audioOwnerLock); }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
};

void CreateLockOnce()
{
    std::call_once(audioOwnerLockOnce, [] {
        InitializeCriticalSection(&audioOwnerLock);
        lockCreations.fetch_add(1, std::memory_order_relaxed);
    });
}

}  // namespace

void CreateAudioOwnerLock()
{
    CreateLockOnce();
}

void SwitchAudioOn(CPrivateVideoDecoder &facade)
{
    facade.StartAudio();
    Held held;
    if (audioOwner && audioOwner != &facade) {
        /* Whatever the previous owner's switch-off does, it is no longer the
         * owner: never leave two owners or the lock held. */
        try {
            audioOwner->ShutDownAudio();
        } catch (...) {
        }
    }
    audioOwner = &facade;
}

void SwitchAudioOff(CPrivateVideoDecoder &facade)
{
    facade.ShutDownAudio();
    Held held;
    if (audioOwner == &facade)
        audioOwner = nullptr;
}

void ForgetAudioOwner(const CPrivateVideoDecoder &facade)
{
    Held held;
    if (audioOwner == &facade)
        audioOwner = nullptr;
}

CPrivateVideoDecoder *CurrentAudioOwner()
{
    Held held;
    return audioOwner;
}

CRITICAL_SECTION &AudioOwnerLock()
{
    CreateLockOnce();
    return audioOwnerLock;
}

int AudioOwnerLockCreations()
{
    return lockCreations.load(std::memory_order_relaxed);
}

}  // namespace kova

#include "facade/CPrivateVideoDecoder.h"

#include <utility>

#include "facade/DecoderFactory.h"
#include "support/FaultGuard.h"
#include "support/Log.h"

namespace {

constexpr LONG kVendorStreamType = 102;

/* Stream types the standard decoder is known to take. Any other type (but
 * the vendor's) goes to it too, with a log line. */
bool IsListedStandardType(LONG type)
{
    switch (type) {
    case 2: case 4: case 9: case 16: case 17: case 19: case 22: case 23: case 25: case 37:
    case 96: case 97: case 98: case 99: case 100: case 101: case 103: case 104: case 108:
    case 192: case 254:
        return true;
    default:
        return false;
    }
}

/* Stream types whose decoder copes with a change of picture size by itself:
 * a new size never re-initialises them. */
bool IsSizeChangeExempt(LONG type)
{
    switch (type) {
    case 2: case 4: case 9: case 22: case 25: case 102: case 103: case 104: case 192: case 254:
        return true;
    default:
        return false;
    }
}

void UnlockSound(void *lock)
{
    static_cast<std::recursive_mutex *>(lock)->unlock();
}

/* Holds the facade's sound lock for a scope. Taken outside the fault guard
 * and let go by it too when a fault abandons an enclosing guarded call. */
class SoundHold {
public:
    explicit SoundHold(std::recursive_mutex &lock) : locked(lock), onFault(UnlockSound, &lock) {}

private:
    struct Locked {
        explicit Locked(std::recursive_mutex &lock) : lock(lock) { lock.lock(); }
        ~Locked() { lock.unlock(); }
        std::recursive_mutex &lock;
    } locked;
    kova::ReleaseOnFault onFault;
};

}  // namespace

CPrivateVideoDecoder::CPrivateVideoDecoder(LONG deviceCode_, LONG streamType_)
{
    deviceCode = deviceCode_;
    streamType = streamType_;
    vendorDecoder = kova::NewVendorDecoder();
    try {
        standardDecoder = kova::NewStandardDecoder();
    } catch (...) {
        delete vendorDecoder;
        throw;
    }
    if (standardDecoder) {
        standardDecoder->deviceCode = deviceCode;
        standardDecoder->streamType = streamType;
    }
}

CPrivateVideoDecoder::~CPrivateVideoDecoder()
{
    SoundHold hold(soundLock);
    if (activeDecoder)
        kova::RunGuarded([this] { activeDecoder->ShutDown(); });
    activeDecoder = nullptr;
    kova::RunGuarded([this] { delete vendorDecoder; });
    vendorDecoder = nullptr;
    kova::RunGuarded([this] { delete standardDecoder; });
    standardDecoder = nullptr;
}

template <class Call>
LONG CPrivateVideoDecoder::Guarded(Call &&call)
{
    LONG result = 1;
    if (!kova::RunGuarded([&] { result = call(); })) {
        faultFlag = true;
        return 1;
    }
    return result;
}

LONG CPrivateVideoDecoder::CheckTransition(LONG state_, LONG request)
{
    switch (state_) {
    case Closed:
        return request == RequestInit ? 0 : 2;
    case Opened:
        return request == RequestShutDown || request == RequestStart ? 0 : 2;
    case Playing:
        /* Shutting down a playing decoder stops it first. */
        if (request == RequestShutDown)
            return Stop();
        return request == RequestStop ? 0 : 2;
    case Stopped:
        return request == RequestShutDown || request == RequestInit || request == RequestStart ? 0 : 2;
    default:
        return 1;
    }
}

ISampleDecoder *CPrivateVideoDecoder::SelectByStreamType()
{
    if (streamType == kVendorStreamType)
        return vendorDecoder;
    if (!IsListedStandardType(streamType))
        WriteLog("Unknown type. Try KOVA.");
    return standardDecoder;
}

LONG CPrivateVideoDecoder::Route()
{
    bool replacing = false;
    if (activeDecoder) {
        if (activeDecoder->streamType == streamType) {
            /* Same type: nothing to do, and the decoder keeps the window it
             * was bound to. */
            return CheckTransition(activeDecoder->state, RequestInit) == 2 ? 2 : 0;
        }
        CheckTransition(activeDecoder->state, RequestShutDown); /* stops a playing decoder */
        if (activeDecoder->ShutDown() != 0)
            return 1;
        activeDecoder = nullptr;
        replacing = true;
    }
    ISampleDecoder *chosen = SelectByStreamType();
    if (!chosen)
        return 1;
    chosen->streamType = streamType;
    chosen->InitPlay(window, width, height, streamType);
    activeDecoder = chosen;
    /* A decoder keeps the sound setting it had when it was last selected:
     * a change of stream type hands it the pane's current one, or a pane
     * switched off meanwhile would play again when its type comes back. */
    if (replacing && soundSetting != SoundUnset)
        soundSetting == SoundOn ? chosen->StartAudio() : chosen->ShutDownAudio();
    return 0;
}

LONG CPrivateVideoDecoder::InitPlay(HWND window_, LONG width_, LONG height_, LONG streamType_)
{
    if (!standardDecoder)
        return 1;
    SoundHold hold(soundLock);
    width = width_;
    height = height_;
    window = window_;
    if (streamType_ != 0)
        streamType = streamType_;
    return Guarded([this] { return Route(); });
}

LONG CPrivateVideoDecoder::Start()
{
    if (!activeDecoder)
        return 1;
    SoundHold hold(soundLock);
    return Guarded([this] {
        if (CheckTransition(activeDecoder->state, RequestStart) == 2)
            return LONG{2};
        activeDecoder->DigitalZoom(0, 0, 0, 0);
        const LONG result = activeDecoder->Start();
        faultFlag = false;
        return result;
    });
}

LONG CPrivateVideoDecoder::Stop()
{
    if (!activeDecoder)
        return 0;
    SoundHold hold(soundLock);
    return Guarded([this] {
        if (CheckTransition(activeDecoder->state, RequestStop) == 2)
            return LONG{2};
        return activeDecoder->Stop();
    });
}

LONG CPrivateVideoDecoder::ShutDown()
{
    if (!activeDecoder)
        return 0;
    /* Only brings a playing decoder to Stopped; the decoder's own ShutDown
     * runs when it is replaced or the facade is destroyed. */
    SoundHold hold(soundLock);
    return Guarded([this] { return CheckTransition(activeDecoder->state, RequestShutDown); });
}

LONG CPrivateVideoDecoder::InsertBuf(const BYTE *data, LONG length, LONG width_, LONG height_,
                                     LONG streamType_, LONG frameInfo1, LONG frameInfo2,
                                     LONG frameInfo3)
{
    if (faultFlag || !data)
        return 1;
    if (width_ != 0 && height_ != 0)
        ChangeStreamFormat(width_, height_, streamType_);
    if (!activeDecoder)
        return 1;
    if (activeDecoder->state != Playing)
        return 2;
    return Guarded([&] {
        return activeDecoder->InsertBuf(data, length, width_, height_, streamType_, frameInfo1,
                                        frameInfo2, frameInfo3);
    });
}

LONG CPrivateVideoDecoder::InsertAudioBuf(const BYTE *data, LONG length, LONG frameInfo1,
                                          LONG frameInfo2, LONG frameInfo3)
{
    if (faultFlag || !data || !activeDecoder)
        return 1;
    if (activeDecoder->state != Playing)
        return 2;
    auto insert = [&] { return activeDecoder->InsertAudioBuf(data, length, frameInfo1, frameInfo2, frameInfo3); };
    /* The vendor decoder applies the sound switch at its first sound packet,
     * so that packet must not cross a switch. The standard decoder only
     * reads its atomic flag, and may wait here for a free buffer, which
     * must not hold up a switch made from another pane. */
    if (activeDecoder == vendorDecoder) {
        SoundHold hold(soundLock);
        return Guarded(insert);
    }
    return Guarded(insert);
}

LONG CPrivateVideoDecoder::ChangeStreamFormat(LONG width_, LONG height_, LONG streamType_)
{
    /* Type 0 keeps the current type, as it does for InitPlay: read as a
     * change, it would stop and restart the decoder on every packet. */
    const bool sameType = streamType_ == streamType || streamType_ == 0;
    if (sameType && IsSizeChangeExempt(streamType))
        return 0;
    if (!activeDecoder || activeDecoder->state != Playing)
        return 1;
    if (sameType && width_ == width && height_ == height)
        return 0;
    /* Stop, re-route (a new type replaces the decoder; the same type just
     * takes the new size) and start again on the stored window. */
    if (ShutDown() != 0)
        return 1;
    if (InitPlay(window, width_, height_, streamType_) != 0)
        return 1;
    return Start() == 0 ? 4 : 1;
}

LONG CPrivateVideoDecoder::SetDecParam(LONG audioCode, LONG sampleRate, LONG channels,
                                       LONG bitRate, LONG bitsPerSample, LONG, LONG)
{
    if (!activeDecoder)
        return 1;
    /* The standard decoder picks its default audio parameters by these,
     * whichever decoder is selected. */
    if (standardDecoder) {
        standardDecoder->deviceCode = deviceCode;
        standardDecoder->streamType = streamType;
    }
    return activeDecoder->SetDecParam(audioCode, sampleRate, channels, bitRate, bitsPerSample, 0, 0);
}

/* Plain forwarding; the value after the decoder check is the answer when
 * no decoder is selected. */

LONG CPrivateVideoDecoder::GetSoundInData(LONG a, LONG b, LONG c, LONG d)
{
    return activeDecoder ? activeDecoder->GetSoundInData(a, b, c, d) : 1;
}

LONG CPrivateVideoDecoder::CaptureBmpFile(std::string path)
{
    return activeDecoder ? activeDecoder->CaptureBmpFile(std::move(path)) : 0;
}

LONG CPrivateVideoDecoder::ReservedA(LONG value)
{
    return activeDecoder ? activeDecoder->ReservedA(value) : 0;
}

LONG CPrivateVideoDecoder::UpdateBounds()
{
    return activeDecoder ? activeDecoder->UpdateBounds() : 0;
}

LONG CPrivateVideoDecoder::ReservedB(LONG)
{
    return 0; /* not forwarded */
}

LONG CPrivateVideoDecoder::ReservedC(LONG value)
{
    return activeDecoder ? activeDecoder->ReservedC(value) : 0;
}

LONG CPrivateVideoDecoder::GetDecoderKind()
{
    return activeDecoder ? activeDecoder->GetDecoderKind() : 0;
}

LONG CPrivateVideoDecoder::DigitalZoom(LONG left, LONG top, LONG right, LONG bottom)
{
    return activeDecoder ? activeDecoder->DigitalZoom(left, top, right, bottom) : 1;
}

LONG CPrivateVideoDecoder::SetPlaySpeed(LONG step)
{
    return activeDecoder ? activeDecoder->SetPlaySpeed(step) : 1;
}

LONG CPrivateVideoDecoder::StartAudio()
{
    SoundHold hold(soundLock);
    if (!activeDecoder)
        return 0;
    soundSetting = SoundOn;
    return activeDecoder->StartAudio();
}

LONG CPrivateVideoDecoder::ShutDownAudio()
{
    SoundHold hold(soundLock);
    if (!activeDecoder)
        return 0;
    soundSetting = SoundOff;
    return activeDecoder->ShutDownAudio();
}

LONG CPrivateVideoDecoder::SetAudioVolume(LONG volume)
{
    SoundHold hold(soundLock);
    return activeDecoder ? activeDecoder->SetAudioVolume(volume) : 0;
}

LONG CPrivateVideoDecoder::GetAudioVolume(LONG *volume)
{
    SoundHold hold(soundLock);
    return activeDecoder ? activeDecoder->GetAudioVolume(volume) : 1;
}

LONG CPrivateVideoDecoder::SetVideoSize(LONG width_, LONG height_)
{
    return activeDecoder ? activeDecoder->SetVideoSize(width_, height_) : 1;
}

LONG CPrivateVideoDecoder::GetImagePara(LONG *width_, LONG *height_)
{
    return activeDecoder ? activeDecoder->GetImagePara(width_, height_) : 1;
}

LONG CPrivateVideoDecoder::GetTotalFrames()
{
    return activeDecoder ? activeDecoder->GetTotalFrames() : 0;
}

LONG CPrivateVideoDecoder::ReservedD()
{
    return 0; /* not forwarded */
}

LONG CPrivateVideoDecoder::NotifySeek(LONG a, LONG b)
{
    return activeDecoder ? activeDecoder->NotifySeek(a, b) : 1;
}

LONG CPrivateVideoDecoder::SetSpeed(LONG speed)
{
    return activeDecoder ? activeDecoder->SetSpeed(speed) : 1;
}

LONG CPrivateVideoDecoder::SetDisplayMode(LONG mode)
{
    return activeDecoder ? activeDecoder->SetDisplayMode(mode) : 1;
}

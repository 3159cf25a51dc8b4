/* The exported instance functions: check the handle and the arguments,
 * forward to the instance's facade, report 1 for forwarded and 0 for
 * refused. What the forwarded operation returns is not passed on, and
 * nothing it throws leaves the library. A handle is only followed while
 * the handle registry lists it as issued. */
#include "KovaDecoder.h"

#include <new>
#include <string>

#include "api/AudioOwner.h"
#include "api/DecodeHandler.h"
#include "api/HandleRegistry.h"
#include "facade/CPrivateVideoDecoder.h"
#include "support/FaultGuard.h"
#include "support/Log.h"

namespace {

/* Runs call(facade) when the handle is issued and holds a facade; 1 if it
 * did, else 0. */
template <class Call>
LONG Forward(KOVA_HANDLE h, Call &&call)
{
    const kova::EnteredHandle entered(h);
    CPrivateVideoDecoder *facade = entered.handler ? entered.handler->decoder : nullptr;
    if (!facade)
        return 0;
    try {
        call(*facade);
    } catch (...) {
    }
    return 1;
}

bool IsPercent(LONG value)
{
    return static_cast<DWORD>(value) <= 100;
}

}  // namespace

KOVA_EXPORT KOVA_HANDLE KOVA_CALL KOVA_CreateInstance(LONG deviceCode, LONG streamType)
{
    DecodeHandler *handler = new (std::nothrow) DecodeHandler;
    if (!handler)
        return nullptr;
    kova::CreateAudioOwnerLock();
    CPrivateVideoDecoder *facade = nullptr;
    if (!kova::RunGuarded([&] { facade = new CPrivateVideoDecoder(deviceCode, streamType); })) {
        WriteLog("new CPrivateVideoDecoder throw Exception!");
        facade = nullptr;
    }
    if (!facade) {
        delete handler;
        return nullptr;
    }
    handler->decoder = facade;
    kova::IssueHandle(handler);
    return handler;
}

KOVA_EXPORT void KOVA_CALL KOVA_ReleaseInstance(KOVA_HANDLE h)
{
    /* From here on other calls on h are refused; those already inside it
     * finish first. */
    DecodeHandler *handler = kova::WithdrawHandle(h);
    if (!handler)
        return;
    if (CPrivateVideoDecoder *facade = handler->decoder) {
        kova::RunGuarded([facade] { facade->Stop(); });
        kova::RunGuarded([facade] { facade->ShutDown(); });
        kova::ForgetAudioOwner(*facade);
        kova::RunGuarded([facade] { delete facade; });
        handler->decoder = nullptr;
    }
    kova::DisposeHandle(handler);
}

KOVA_EXPORT LONG KOVA_CALL KOVA_InitPlayInstance(KOVA_HANDLE h, HWND window)
{
    if (!window)
        return 0;
    const kova::EnteredHandle entered(h);
    const DecodeHandler *handler = entered.handler;
    if (!handler || !handler->decoder)
        return 0;
    /* Stream type 0 keeps the one given at creation. */
    CPrivateVideoDecoder *facade = handler->decoder;
    try {
        facade->InitPlay(window, handler->width, handler->height, 0);
    } catch (...) {
    }
    return 1;
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SetVideoSize(KOVA_HANDLE h, LONG width, LONG height)
{
    return Forward(h, [&](CPrivateVideoDecoder &d) { d.SetVideoSize(width, height); });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_StartPlayStream(KOVA_HANDLE h)
{
    return Forward(h, [](CPrivateVideoDecoder &d) { d.Start(); });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_StopPlayStream(KOVA_HANDLE h)
{
    return Forward(h, [](CPrivateVideoDecoder &d) { d.Stop(); });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SendVideoFrame(KOVA_HANDLE h, const BYTE *data, LONG length, LONG width,
                                               LONG height, LONG streamType, LONG frameInfo1,
                                               LONG frameInfo2, LONG frameInfo3)
{
    return Forward(h, [&](CPrivateVideoDecoder &d) {
        d.InsertBuf(data, length, width, height, streamType, frameInfo1, frameInfo2, frameInfo3);
    });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SendAudioFrame(KOVA_HANDLE h, const BYTE *data, LONG length, LONG frameInfo1,
                                               LONG frameInfo2, LONG frameInfo3)
{
    return Forward(h, [&](CPrivateVideoDecoder &d) {
        d.InsertAudioBuf(data, length, frameInfo1, frameInfo2, frameInfo3);
    });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_CaptureBitmap(KOVA_HANDLE h, const char *path)
{
    if (!path)
        return 0;
    return Forward(h, [&](CPrivateVideoDecoder &d) {
        const std::string file(path);
        d.CaptureBmpFile(file);
    });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SetAudio(KOVA_HANDLE h, LONG on)
{
    return Forward(h, [&](CPrivateVideoDecoder &d) {
        if (on)
            kova::SwitchAudioOn(d);
        else
            kova::SwitchAudioOff(d);
    });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SetVolume(KOVA_HANDLE h, LONG volume)
{
    if (!IsPercent(volume))
        return 0;
    return Forward(h, [&](CPrivateVideoDecoder &d) { d.SetAudioVolume(volume); });
}

/* A null result pointer is refused rather than handed to a decoder that
 * would write through it. */
KOVA_EXPORT LONG KOVA_CALL KOVA_GetVolume(KOVA_HANDLE h, LONG *volume)
{
    if (!volume)
        return 0;
    return Forward(h, [&](CPrivateVideoDecoder &d) { d.GetAudioVolume(volume); });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_GetImagePara(KOVA_HANDLE h, LONG *width, LONG *height)
{
    if (!width || !height)
        return 0;
    return Forward(h, [&](CPrivateVideoDecoder &d) { d.GetImagePara(width, height); });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SetDigitalZoom(KOVA_HANDLE h, LONG left, LONG top, LONG right, LONG bottom)
{
    if (!IsPercent(left) || !IsPercent(top) || !IsPercent(right) || !IsPercent(bottom))
        return 0;
    /* An empty rectangle is only accepted as the reset to the whole
     * picture; no ordering of the edges is demanded. */
    if ((left == right || top == bottom) && (left != 0 || top != 0))
        return 0;
    return Forward(h, [&](CPrivateVideoDecoder &d) { d.DigitalZoom(left, top, right, bottom); });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SetAudioParam(KOVA_HANDLE h, LONG audioCode, LONG sampleRate, LONG channels,
                                              LONG bitRate, LONG bitsPerSample)
{
    return Forward(h, [&](CPrivateVideoDecoder &d) {
        d.SetDecParam(audioCode, sampleRate, channels, bitRate, bitsPerSample, 0, 0);
    });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SetDecParam(KOVA_HANDLE h, LONG audioCode, LONG sampleRate, LONG channels,
                                            LONG bitRate, LONG bitsPerSample, LONG reserved1, LONG reserved2)
{
    return Forward(h, [&](CPrivateVideoDecoder &d) {
        d.SetDecParam(audioCode, sampleRate, channels, bitRate, bitsPerSample, reserved1, reserved2);
    });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_NotifySeek(KOVA_HANDLE h, LONG a, LONG b)
{
    return Forward(h, [&](CPrivateVideoDecoder &d) { d.NotifySeek(a, b); });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SetSpeed(KOVA_HANDLE h, LONG speed)
{
    return Forward(h, [&](CPrivateVideoDecoder &d) { d.SetSpeed(speed); });
}

KOVA_EXPORT LONG KOVA_CALL KOVA_SetDisplayMode(KOVA_HANDLE h, LONG mode)
{
    return Forward(h, [&](CPrivateVideoDecoder &d) { d.SetDisplayMode(mode); });
}

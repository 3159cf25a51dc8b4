/* GE_DecoderHIK: the life of a play port. */
#include "GeneralDecoder/GE_Decoder/GE_DecoderHIK.h"

#include "Auralin.h"
#include "GeneralDecoder/GE_Decoder/GE_DecoderHIKLog.h"

namespace {

/* Picture size the player is assumed to show until it reports one. */
constexpr LONG kDefaultWidth = 352;
constexpr LONG kDefaultHeight = 288;

/* The decoder's own stream type until the facade sets it. */
constexpr LONG kInitialStreamType = 18;

}  // namespace

#define LE32(w) BYTE((w) & 0xFF), BYTE(((w) >> 8) & 0xFF), BYTE(((w) >> 16) & 0xFF), BYTE(((w) >> 24) & 0xFF)

const BYTE GE_DecoderHIK::kStreamHeader[40] = {
    LE32(0x484B4834u),  // "4HKH"
    LE32(0xD6D0B3FEu),
    LE32(0x20040308u),
    LE32(0u),
    LE32(0x10011003u),
    LE32(0x00101001u),
    LE32(0x00003E80u),  // 16000
    LE32(0x01200160u),  // 352 by 288
    LE32(0x00001011u),
    LE32(0u),
};

#undef LE32

GE_DecoderHIK::GE_DecoderHIK()
{
    state = Closed;
    deviceCode = 0;
    streamType = kInitialStreamType;
    width = kDefaultWidth;
    height = kDefaultHeight;
}

GE_DecoderHIK::~GE_DecoderHIK()
{
    window = nullptr;
}

LONG GE_DecoderHIK::InitPlay(HWND window_, LONG, LONG, LONG)
{
    window = window_;
    BOOL result = FALSE;
    HIK_GUARDED("PlayM4_GetPort", result = PlayM4_GetPort(&m_hPlayHandle));
    if (!result || m_hPlayHandle == kNoPort) {
        HIK_LOG("Call PlayM4_GetPort Fail, m_hPlayHandle = %d.", (int)m_hPlayHandle);
        /* Whatever a failed or faulted request left there is not ours. */
        m_hPlayHandle = kNoPort;
        return 0;
    }
    HIK_GUARDED("TARVIK_AUDIO_StartAudioIn_b", result = TARVIK_AUDIO_StartAudioIn_b(),
                HIK_LOG("Call TARVIK_AUDIO_StartAudioIn_b Fail."));
    HIK_GUARDED("PlayM4_SetStreamOpenMode",
                result = PlayM4_SetStreamOpenMode(m_hPlayHandle, PLAYM4_STREAM_REALTIME),
                HIK_LOG("Call PlayM4_SetStreamOpenMode Fail."));
    state = Opened;
    return 0;
}

LONG GE_DecoderHIK::Start()
{
    /* The next packet opens the stream afresh. */
    streamOpened = FALSE;
    state = Playing;
    return 0;
}

LONG GE_DecoderHIK::InsertBuf(const BYTE *data, LONG length, LONG, LONG, LONG, LONG, LONG, LONG)
{
    HIK_NEED_PORT(HIK_LOG("Call Hik InsertBuf(), m_hPlayHandle is -1."));
    BOOL result = FALSE;
    if (!streamOpened) {
        /* The first packet opens the stream and is dropped: the player
         * starts from the header, given at the open and again as data. */
        HIK_GUARDED("PlayM4_OpenStream",
                    result = PlayM4_OpenStream(m_hPlayHandle, kStreamHeader, sizeof kStreamHeader,
                                               kSourceBufferSize));
        streamOpened = result;
        if (!streamOpened) {
            HIK_LOG("Call PlayM4_OpenStream Fail.PlayM4_GetLastError code is: %d",
                    (int)PlayM4_GetLastError(m_hPlayHandle));
            return 0;
        }
        HIK_GUARDED("PlayM4_ResetSourceBuffer", result = PlayM4_ResetSourceBuffer(m_hPlayHandle),
                    HIK_LOG("Call PlayM4_ResetSourceBuffer Fail."));
        HIK_GUARDED("PlayM4_Play", result = PlayM4_Play(m_hPlayHandle, window),
                    HIK_LOG("Call PlayM4_Play Fail."));
        HIK_GUARDED("PlayM4_InputData",
                    result = PlayM4_InputData(m_hPlayHandle, kStreamHeader, sizeof kStreamHeader));
        return 0;
    }
    /* A negative length would reach the player as a huge byte count. */
    if (length < 0)
        return 1;
    HIK_GUARDED("PlayM4_InputData",
                result = PlayM4_InputData(m_hPlayHandle, data, static_cast<DWORD>(length)));
    if (!result) {
        LogInputRefused();
        return 1;
    }
    refusedAsFull = false;
    HIK_GUARDED("PlayM4_GetPictureSize",
                result = PlayM4_GetPictureSize(m_hPlayHandle, &width, &height),
                HIK_LOG("Call PlayM4_GetPictureSize Fail."));
    return 0;
}

LONG GE_DecoderHIK::InsertAudioBuf(const BYTE *data, LONG length, LONG, LONG, LONG)
{
    if (!streamOpened)
        return 1;
    if (length <= 0)
        return 0;
    if (!audioPrimed) {
        /* Sound share asked for before the stream was open is applied once
         * sound arrives; this first packet only does that. */
        audioPrimed = true;
        if (soundShareRequested)
            GE_DecoderHIK::StartAudio();
        else
            GE_DecoderHIK::ShutDownAudio();
        return 0;
    }
    BOOL result = FALSE;
    HIK_GUARDED("PlayM4_InputData",
                result = PlayM4_InputData(m_hPlayHandle, data, static_cast<DWORD>(length)));
    if (!result) {
        LogInputRefused();
        return 1;
    }
    refusedAsFull = false;
    return 0;
}

void GE_DecoderHIK::LogInputRefused()
{
    const DWORD code = PlayM4_GetLastError(m_hPlayHandle);
    const bool full = code == PLAYM4_ERR_BUFFER_FULL;
    if (!(full && refusedAsFull))
        HIK_LOG("Call PlayM4_InputData Fail. PlayM4_GetLastError error code is %d.", (int)code);
    refusedAsFull = full;
}

LONG GE_DecoderHIK::Stop()
{
    HIK_NEED_PORT(HIK_LOG("Call Hik Stop(), m_hPlayHandle is -1."));
    BOOL result = FALSE;
    HIK_GUARDED("PlayM4_Stop", result = PlayM4_Stop(m_hPlayHandle),
                HIK_LOG("Call PlayM4_Stop Fail."));
    HIK_GUARDED("PlayM4_ResetSourceBuffer", result = PlayM4_ResetSourceBuffer(m_hPlayHandle),
                HIK_LOG("Call PlayM4_ResetSourceBuffer Fail."));
    HIK_GUARDED("PlayM4_CloseStream", result = PlayM4_CloseStream(m_hPlayHandle),
                HIK_LOG("Call PlayM4_CloseStream Fail."));
    state = Stopped;
    return 0;
}

LONG GE_DecoderHIK::ShutDown()
{
    HIK_NEED_PORT(HIK_LOG("Call Hik ShutDown(), m_hPlayHandle is -1."));
    BOOL result = FALSE;
    HIK_GUARDED("TARVIK_AUDIO_StopAudioIn_b", result = TARVIK_AUDIO_StopAudioIn_b(),
                HIK_LOG("Call TARVIK_AUDIO_StopAudioIn_b Fail."));
    HIK_GUARDED("PlayM4_FreePort", result = PlayM4_FreePort(m_hPlayHandle),
                HIK_LOG("Call PlayM4_FreePort Fail."));
    m_hPlayHandle = kNoPort;
    state = Closed;
    return 0;
}

LONG GE_DecoderHIK::UpdateBounds()
{
    HIK_NEED_PORT(HIK_LOG("Call Hik UpdateBounds(), m_hPlayHandle is -1."));
    BOOL result = FALSE;
    HIK_GUARDED("PlayM4_RefreshPlay", result = PlayM4_RefreshPlay(m_hPlayHandle),
                HIK_LOG("Call PlayM4_RefreshPlay Fail with %u.",
                        (unsigned)PlayM4_GetLastError(m_hPlayHandle)));
    return result ? 0 : 1;
}

/* GE_DecoderHIK: sound, zoom, speed and the questions callers ask. */
#include "GeneralDecoder/GE_Decoder/GE_DecoderHIK.h"

#include "Auralin.h"
#include "GeneralDecoder/GE_Decoder/GE_DecoderHIKLog.h"

namespace {

/* SetPlaySpeed moves between normal speed and this many steps above it. */
constexpr int kSpeedSteps = 4;

/* A percentage of a picture side, truncated toward zero as 32-bit
 * arithmetic would; computed wide so that no input overflows. */
LONG PercentOf(LONG percent, LONG side)
{
    return static_cast<LONG>(static_cast<long long>(percent) * side / 100);
}

}  // namespace

LONG GE_DecoderHIK::StartAudio()
{
    HIK_NEED_PORT(HIK_LOG("Call Hik StartAudio(), m_hPlayHandle is -1."));
    soundShareRequested = true;
    BOOL result = FALSE;
    HIK_GUARDED("PlayM4_PlaySoundShare", result = PlayM4_PlaySoundShare(m_hPlayHandle),
                HIK_LOG("Call PlayM4_PlaySoundShare Fail."));
    return result ? 0 : 1;
}

LONG GE_DecoderHIK::ShutDownAudio()
{
    HIK_NEED_PORT(HIK_LOG("Call Hik ShutDownAudio(), m_hPlayHandle is -1."));
    soundShareRequested = false;
    BOOL result = FALSE;
    HIK_GUARDED("PlayM4_StopSoundShare", result = PlayM4_StopSoundShare(m_hPlayHandle),
                HIK_LOG("Call PlayM4_StopSoundShare Fail."));
    return result ? 0 : 1;
}

LONG GE_DecoderHIK::SetAudioVolume(LONG volume)
{
    HIK_NEED_PORT(HIK_LOG("Call Hik SetAudioVolume(), m_hPlayHandle is -1."));
    /* Callers give 0..100; anything beyond is held to the nearest end
     * rather than wrapped into a 16-bit level. */
    if (volume < 0)
        volume = 0;
    if (volume > 100)
        volume = 100;
    const WORD level = static_cast<WORD>(volume * 65535 / 100);
    BOOL result = FALSE;
    HIK_GUARDED("PlayM4_SetVolume", result = PlayM4_SetVolume(m_hPlayHandle, level),
                HIK_LOG("Call PlayM4_SetVolume Fail."));
    return result ? 0 : 1;
}

LONG GE_DecoderHIK::GetSoundInData(LONG a, LONG b, LONG c, LONG d)
{
    HIK_GUARDED("TARVIK_AUDIO_DataFromSondIn", TARVIK_AUDIO_DataFromSondIn(a, b, c, d));
    return 0;
}

LONG GE_DecoderHIK::DigitalZoom(LONG left, LONG top, LONG right, LONG bottom)
{
    HIK_NEED_PORT(HIK_LOG("Call Hik DigitalZoom(), m_hPlayHandle is -1."));
    BOOL result = FALSE;
    if (left == 0 && top == 0 && right == 0 && bottom == 0) {
        /* Zoom off: the whole picture. */
        HIK_GUARDED("PlayM4_SetDisplayRegion",
                    result = PlayM4_SetDisplayRegion(m_hPlayHandle, 0, nullptr, window, TRUE),
                    HIK_LOG("Call PlayM4_SetDisplayRegion Fail."));
        return 0;
    }
    HIK_GUARDED("PlayM4_GetPictureSize",
                result = PlayM4_GetPictureSize(m_hPlayHandle, &width, &height),
                HIK_LOG("Call PlayM4_GetPictureSize Fail."));
    RECT region;
    region.left = PercentOf(left, width);
    region.top = PercentOf(top, height);
    region.right = PercentOf(right, width);
    region.bottom = PercentOf(bottom, height);
    bool completed = false;
    HIK_GUARDED("PlayM4_SetDisplayRegion",
                result = PlayM4_SetDisplayRegion(m_hPlayHandle, 0, &region, window, TRUE);
                completed = true,
                HIK_LOG("Call PlayM4_SetDisplayRegion Fail."));
    /* A region call that faulted did not show the region, whatever the
     * picture-size call before it answered. */
    return result && completed ? 0 : 1;
}

LONG GE_DecoderHIK::GetTotalFrames()
{
    HIK_NEED_PORT(HIK_LOG("Call Hik GetTotalFrames(), m_hPlayHandle is -1."));
    DWORD frames = 0;
    HIK_GUARDED("PlayM4_GetPlayedFrames", frames = PlayM4_GetPlayedFrames(m_hPlayHandle));
    return static_cast<LONG>(frames);
}

LONG GE_DecoderHIK::SetPlaySpeed(LONG step)
{
    if (m_hPlayHandle < 0) {
        HIK_LOG("Call HK SetPlaySpeed(), m_hPlayHandle < 0.");
        return 1;
    }
    BOOL result = FALSE;
    if (step == 0 && normalSpeed) {
        for (int i = 0; i < kSpeedSteps; ++i) {
            HIK_GUARDED("PlayM4_Fast", result = PlayM4_Fast(m_hPlayHandle),
                        HIK_LOG("Call PlayM4_Fast Fail with %u.",
                                (unsigned)PlayM4_GetLastError(m_hPlayHandle)));
        }
        normalSpeed = false;
    } else if (step == 1 && !normalSpeed) {
        for (int i = 0; i < kSpeedSteps; ++i) {
            HIK_GUARDED("PlayM4_Slow", result = PlayM4_Slow(m_hPlayHandle),
                        HIK_LOG("Call PlayM4_Slow Fail with %u.",
                                (unsigned)PlayM4_GetLastError(m_hPlayHandle)));
        }
        normalSpeed = true;
    }
    return 0;
}

LONG GE_DecoderHIK::GetImagePara(LONG *width_, LONG *height_)
{
    if (width_)
        *width_ = width;
    if (height_)
        *height_ = height;
    return 0;
}

LONG GE_DecoderHIK::GetDecoderKind()
{
    return 6;
}

/* KovaDecoder: camera-pane decoding for video-surveillance clients.
 *
 * One instance per camera pane: create it, bind it to a window, start it,
 * push video and audio packets with their time stamps, stop and release it.
 * Every function returns 1 when it accepted and forwarded the call and 0 for
 * a null handle or a refused argument; a 1 does not say the operation
 * itself succeeded (see the diagnostics log for that). */
#ifndef KOVA_DECODER_H
#define KOVA_DECODER_H

#ifdef _WIN32
#include <windows.h>
#else
#include <windows.h> /* the platform layer's Win32 subset */
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define KOVA_CALL __stdcall
#else
#define KOVA_CALL
#endif

#if defined(KOVA_BUILDING_LIBRARY)
#ifdef _WIN32
#define KOVA_EXPORT
#else
#define KOVA_EXPORT __attribute__((visibility("default")))
#endif
#else
#define KOVA_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void *KOVA_HANDLE;

KOVA_EXPORT KOVA_HANDLE KOVA_CALL KOVA_CreateInstance(LONG deviceCode, LONG streamType);
KOVA_EXPORT void KOVA_CALL KOVA_ReleaseInstance(KOVA_HANDLE h);
KOVA_EXPORT LONG KOVA_CALL KOVA_InitPlayInstance(KOVA_HANDLE h, HWND window);
KOVA_EXPORT LONG KOVA_CALL KOVA_SetVideoSize(KOVA_HANDLE h, LONG width, LONG height);
KOVA_EXPORT LONG KOVA_CALL KOVA_StartPlayStream(KOVA_HANDLE h);
KOVA_EXPORT LONG KOVA_CALL KOVA_StopPlayStream(KOVA_HANDLE h);
KOVA_EXPORT LONG KOVA_CALL KOVA_SendVideoFrame(KOVA_HANDLE h, const BYTE *data, LONG length, LONG width,
                                               LONG height, LONG streamType, LONG frameInfo1,
                                               LONG frameInfo2, LONG frameInfo3);
KOVA_EXPORT LONG KOVA_CALL KOVA_SendAudioFrame(KOVA_HANDLE h, const BYTE *data, LONG length, LONG frameInfo1,
                                               LONG frameInfo2, LONG frameInfo3);
KOVA_EXPORT LONG KOVA_CALL KOVA_CaptureBitmap(KOVA_HANDLE h, const char *path);
KOVA_EXPORT LONG KOVA_CALL KOVA_SetAudio(KOVA_HANDLE h, LONG on);
KOVA_EXPORT LONG KOVA_CALL KOVA_SetVolume(KOVA_HANDLE h, LONG volume);
KOVA_EXPORT LONG KOVA_CALL KOVA_GetVolume(KOVA_HANDLE h, LONG *volume);
KOVA_EXPORT LONG KOVA_CALL KOVA_GetImagePara(KOVA_HANDLE h, LONG *width, LONG *height);
KOVA_EXPORT LONG KOVA_CALL KOVA_SetDigitalZoom(KOVA_HANDLE h, LONG left, LONG top, LONG right, LONG bottom);
KOVA_EXPORT LONG KOVA_CALL KOVA_SetAudioParam(KOVA_HANDLE h, LONG audioCode, LONG sampleRate, LONG channels,
                                              LONG bitRate, LONG bitsPerSample);
KOVA_EXPORT LONG KOVA_CALL KOVA_SetDecParam(KOVA_HANDLE h, LONG audioCode, LONG sampleRate, LONG channels,
                                            LONG bitRate, LONG bitsPerSample, LONG reserved1, LONG reserved2);
KOVA_EXPORT LONG KOVA_CALL KOVA_NotifySeek(KOVA_HANDLE h, LONG a, LONG b);
KOVA_EXPORT LONG KOVA_CALL KOVA_SetSpeed(KOVA_HANDLE h, LONG speed);
KOVA_EXPORT LONG KOVA_CALL KOVA_SetDisplayMode(KOVA_HANDLE h, LONG mode);

/* The diagnostics log: time-stamped lines in log/KvoaDecoder.log beside the
 * host program's executable, rotated at 5 MiB, ten files kept. Nothing is
 * written until KOVA_InitializeLog (which also switches writing on; non-zero
 * on success) nor after KOVA_ReleaseLog. KOVA_EnableLog(0) pauses writing,
 * any other value resumes it. */
KOVA_EXPORT LONG KOVA_CALL KOVA_InitializeLog(void);
KOVA_EXPORT void KOVA_CALL KOVA_EnableLog(LONG enable);
KOVA_EXPORT void KOVA_CALL KOVA_ReleaseLog(void);

#ifdef __cplusplus
}
#endif

#endif

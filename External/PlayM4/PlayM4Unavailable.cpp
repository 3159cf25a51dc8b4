/* The player library without a player: every port request fails, so no
 * other call can succeed either. It lets the system link and load against
 * PlayM4 where the player itself is not built. */
#include "PlayM4.h"

extern "C" {

PLAYM4_API BOOL PLAYM4_CALL PlayM4_GetPort(LONG *port)
{
    if (port)
        *port = -1;
    return FALSE;
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_FreePort(LONG) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetStreamOpenMode(LONG, DWORD) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_OpenStream(LONG, const BYTE *, DWORD, DWORD) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_CloseStream(LONG) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_ResetSourceBuffer(LONG) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Play(LONG, HWND) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Stop(LONG) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_InputData(LONG, const BYTE *, DWORD) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_GetPictureSize(LONG, LONG *, LONG *) { return FALSE; }
PLAYM4_API DWORD PLAYM4_CALL PlayM4_GetLastError(LONG) { return PLAYM4_ERR_UNAVAILABLE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetDisplayCallBack(LONG, PLAYM4_DISPLAY_CALLBACK) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_ConvertToBmpFile(const char *, LONG, LONG, LONG, LONG, const char *)
{
    return FALSE;
}
PLAYM4_API BOOL PLAYM4_CALL PlayM4_RefreshPlay(LONG) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_PlaySoundShare(LONG) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_StopSoundShare(LONG) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetVolume(LONG, WORD) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetDisplayRegion(LONG, DWORD, RECT *, HWND, BOOL) { return FALSE; }
PLAYM4_API DWORD PLAYM4_CALL PlayM4_GetPlayedFrames(LONG) { return 0; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Fast(LONG) { return FALSE; }
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Slow(LONG) { return FALSE; }

}  // extern "C"

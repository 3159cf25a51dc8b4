/* The player library's functions: argument checks, the port they name,
 * and the error code every call leaves for PlayM4_GetLastError. */
#include <new>

#include "PlayM4.h"
#include "Picture.h"
#include "Port.h"

using playm4::Port;

namespace {

/* Codes of calls that had no port to keep them. */
thread_local DWORD t_portlessError = PLAYM4_ERR_NONE;

/* Largest picture side PlayM4_ConvertToBmpFile takes. */
constexpr LONG kMaxPictureSide = 16384;

template <typename Call>
BOOL OnPort(LONG number, Call call)
{
    Port *port = playm4::PortAt(number);
    if (!port) {
        t_portlessError = PLAYM4_ERR_PORT;
        return FALSE;
    }
    DWORD code;
    try {
        code = call(*port);
    } catch (...) {
        /* Out of memory, the only failure the calls throw. */
        code = PLAYM4_ERR_MEMORY;
    }
    if (code == PLAYM4_ERR_PORT)
        t_portlessError = code;
    else
        port->lastError = code;
    return code == PLAYM4_ERR_NONE;
}

}  // namespace

extern "C" {

PLAYM4_API BOOL PLAYM4_CALL PlayM4_GetPort(LONG *port)
{
    if (!port) {
        t_portlessError = PLAYM4_ERR_ARGUMENT;
        return FALSE;
    }
    Port *taken = playm4::TakePort();
    if (!taken) {
        *port = -1;
        t_portlessError = PLAYM4_ERR_NO_PORT;
        return FALSE;
    }
    *port = taken->Number();
    return TRUE;
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_FreePort(LONG port)
{
    return OnPort(port, [](Port &p) { return p.Free(); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetStreamOpenMode(LONG port, DWORD mode)
{
    return OnPort(port, [&](Port &p) { return p.SetStreamOpenMode(mode); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_OpenStream(LONG port, const BYTE *header, DWORD headerSize, DWORD bufferSize)
{
    return OnPort(port, [&](Port &p) { return p.OpenStream(header, headerSize, bufferSize); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_CloseStream(LONG port)
{
    return OnPort(port, [](Port &p) { return p.CloseStream(); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_ResetSourceBuffer(LONG port)
{
    return OnPort(port, [](Port &p) { return p.ResetSourceBuffer(); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_Play(LONG port, HWND window)
{
    return OnPort(port, [&](Port &p) { return p.Play(window); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_Stop(LONG port)
{
    return OnPort(port, [](Port &p) { return p.Stop(); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_InputData(LONG port, const BYTE *data, DWORD size)
{
    return OnPort(port, [&](Port &p) { return p.InputData(data, size); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_GetPictureSize(LONG port, LONG *width, LONG *height)
{
    return OnPort(port, [&](Port &p) { return p.GetPictureSize(width, height); });
}

PLAYM4_API DWORD PLAYM4_CALL PlayM4_GetLastError(LONG port)
{
    Port *p = playm4::PortAt(port);
    if (p && p->Taken())
        return p->lastError;
    return t_portlessError;
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetDisplayCallBack(LONG port, PLAYM4_DISPLAY_CALLBACK callback)
{
    return OnPort(port, [&](Port &p) { return p.SetDisplayCallBack(callback); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_ConvertToBmpFile(const char *buffer, LONG size, LONG width, LONG height,
                                                    LONG type, const char *fileName)
{
    DWORD code = PLAYM4_ERR_NONE;
    if (!buffer || !fileName || !*fileName || type != PLAYM4_PICTURE_YV12 || width <= 0 || height <= 0 ||
        width > kMaxPictureSide || height > kMaxPictureSide || size < 0 ||
        size_t(size) < playm4::Yv12Size(width, height))
        code = PLAYM4_ERR_ARGUMENT;
    else {
        try {
            if (!playm4::WriteYv12Bitmap(reinterpret_cast<const uint8_t *>(buffer), width, height, fileName))
                code = PLAYM4_ERR_IO;
        } catch (const std::bad_alloc &) {
            code = PLAYM4_ERR_MEMORY;
        }
    }
    t_portlessError = code;
    return code == PLAYM4_ERR_NONE;
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_RefreshPlay(LONG port)
{
    return OnPort(port, [](Port &p) { return p.RefreshPlay(); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_PlaySoundShare(LONG port)
{
    return OnPort(port, [](Port &p) { return p.SetSoundShare(true); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_StopSoundShare(LONG port)
{
    return OnPort(port, [](Port &p) { return p.SetSoundShare(false); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetVolume(LONG port, WORD volume)
{
    return OnPort(port, [&](Port &p) { return p.SetVolume(volume); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetDisplayRegion(LONG port, DWORD regionNumber, RECT *source, HWND,
                                                    BOOL enable)
{
    return OnPort(port, [&](Port &p) { return p.SetDisplayRegion(regionNumber, source, enable); });
}

PLAYM4_API DWORD PLAYM4_CALL PlayM4_GetPlayedFrames(LONG port)
{
    DWORD frames = 0;
    OnPort(port, [&](Port &p) { return p.GetPlayedFrames(&frames); });
    return frames;
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_Fast(LONG port)
{
    return OnPort(port, [](Port &p) { return p.StepSpeed(1); });
}

PLAYM4_API BOOL PLAYM4_CALL PlayM4_Slow(LONG port)
{
    return OnPort(port, [](Port &p) { return p.StepSpeed(-1); });
}

}  // extern "C"

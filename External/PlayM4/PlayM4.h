/* PlayM4: the vendor player library (libPlayM4.so / PlayM4.dll).
 *
 * The player takes a vendor stream as a sequence of bytes, demuxes, decodes,
 * paces and draws it into a window by itself, and plays its sound. A caller
 * works through a play port:
 *
 *   PlayM4_GetPort(&port)                       take a free port
 *   PlayM4_SetStreamOpenMode(port, 0)           real-time stream
 *   PlayM4_OpenStream(port, header, 40, size)   open with the stream header;
 *                                               size is the source buffer
 *   PlayM4_Play(port, window)                   play into the window
 *   PlayM4_InputData(port, data, length) ...    feed bytes as they arrive
 *   PlayM4_Stop / PlayM4_CloseStream / PlayM4_FreePort
 *
 * Results: the BOOL functions return non-zero on success and 0 on failure;
 * PlayM4_GetLastError(port) then tells why (PLAYM4_ERR_* below).
 *
 * Ports are small non-negative numbers; -1 is never a port. Every function
 * may be called from any thread; the player plays on threads of its own and
 * calls the display callback on one of them.
 *
 * On 32-bit Windows the functions and the callback use the standard calling
 * convention (PLAYM4_CALL) and are exported under their decorated names
 * (PlayM4_GetPort@4, ...). All functions have C linkage. */
#ifndef PLAYM4_H
#define PLAYM4_H

#include <windows.h>

#if defined(_WIN32) && !defined(_WIN64)
#  define PLAYM4_CALL __stdcall
#else
#  define PLAYM4_CALL
#endif

#if defined(_WIN32)
#  if defined(PLAYM4_BUILDING_LIBRARY)
#    define PLAYM4_API __declspec(dllexport)
#  else
#    define PLAYM4_API __declspec(dllimport)
#  endif
#else
#  define PLAYM4_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* PlayM4_SetStreamOpenMode: a live stream, played as it arrives. */
#define PLAYM4_STREAM_REALTIME 0

/* The stream header that opens a stream and comes first in its data. */
#define PLAYM4_STREAM_HEADER_SIZE 40

/* Codes of PlayM4_GetLastError. */
#define PLAYM4_ERR_NONE 0
#define PLAYM4_ERR_PORT 1         /* not a port taken with PlayM4_GetPort */
#define PLAYM4_ERR_ARGUMENT 2     /* null pointer, bad size or value */
#define PLAYM4_ERR_ORDER 3        /* the port is not in a state for this call */
#define PLAYM4_ERR_MEMORY 4       /* out of memory */
#define PLAYM4_ERR_BUFFER_FULL 5  /* the source buffer has no room for the data */
#define PLAYM4_ERR_HEADER 6       /* not a stream header the player knows */
#define PLAYM4_ERR_DECODE 7       /* the stream could not be decoded */
#define PLAYM4_ERR_NO_PORT 8      /* every port is taken */
#define PLAYM4_ERR_IO 9           /* a file could not be written */
#define PLAYM4_ERR_UNAVAILABLE 10 /* this build has no player engine */

/* Picture types handed to the display callback and taken by
 * PlayM4_ConvertToBmpFile: planar 4:2:0, Y then Cb then Cr, each plane
 * tightly packed, chroma (width + 1) / 2 by (height + 1) / 2. */
#define PLAYM4_PICTURE_I420 3

/* Called for every picture the player shows, on a player thread:
 * the port, the picture (valid during the call only), its size in bytes,
 * its width and height, its time stamp in milliseconds, its type
 * (PLAYM4_PICTURE_*) and a reserved word (0). */
typedef void(PLAYM4_CALL *PLAYM4_DISPLAY_CALLBACK)(LONG port, char *buffer, LONG size, LONG width,
                                                   LONG height, LONG stamp, LONG type,
                                                   LONG reserved);

/* Takes a free port and writes it to *port; writes -1 when none is free. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_GetPort(LONG *port);

/* Gives the port back, closing whatever is open on it. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_FreePort(LONG port);

/* Sets how the next stream is opened; PLAYM4_STREAM_REALTIME only. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetStreamOpenMode(LONG port, DWORD mode);

/* Opens a stream: header describes it (PLAYM4_STREAM_HEADER_SIZE bytes),
 * bufferSize is the source buffer the player keeps for it in bytes. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_OpenStream(LONG port, const BYTE *header, DWORD headerSize,
                                              DWORD bufferSize);

/* Closes the stream; the port stays taken. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_CloseStream(LONG port);

/* Drops every byte fed and not yet played. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_ResetSourceBuffer(LONG port);

/* Starts playing the open stream into the window (a null window plays
 * without drawing). */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Play(LONG port, HWND window);

/* Stops playing; the stream stays open. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Stop(LONG port);

/* Feeds stream bytes; 0 (PLAYM4_ERR_BUFFER_FULL) when the source buffer has
 * no room for all of them, in which case none is taken. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_InputData(LONG port, const BYTE *data, DWORD size);

/* The size of the pictures the stream carries. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_GetPictureSize(LONG port, LONG *width, LONG *height);

/* Why the port's latest call failed (PLAYM4_ERR_*). */
PLAYM4_API DWORD PLAYM4_CALL PlayM4_GetLastError(LONG port);

/* Installs the display callback of the port; null removes it. Once it
 * returns after removal, the old callback is not running and will not run
 * again. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetDisplayCallBack(LONG port, PLAYM4_DISPLAY_CALLBACK callback);

/* Writes a picture handed to the display callback (buffer, size, width,
 * height and type as the callback got them) to a Windows bitmap file. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_ConvertToBmpFile(const char *buffer, LONG size, LONG width,
                                                    LONG height, LONG type, const char *fileName);

/* Draws the picture last shown once more (the window changed). */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_RefreshPlay(LONG port);

/* Plays the port's sound on the shared sound output, alongside other ports
 * that share it; stops doing so. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_PlaySoundShare(LONG port);
PLAYM4_API BOOL PLAYM4_CALL PlayM4_StopSoundShare(LONG port);

/* Sound volume of the port, 0 (silent) to 0xFFFF (full). */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetVolume(LONG port, WORD volume);

/* Shows only the part `source` of the picture (picture pixels, right and
 * bottom exclusive) stretched over `window`; a null `source` shows the
 * whole picture. regionNumber 0 is the main display, the only one; enable
 * non-zero turns the region on. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetDisplayRegion(LONG port, DWORD regionNumber, RECT *source,
                                                    HWND window, BOOL enable);

/* Pictures shown since the stream was opened. */
PLAYM4_API DWORD PLAYM4_CALL PlayM4_GetPlayedFrames(LONG port);

/* One speed step up or down: each step doubles or halves the speed, from
 * 1/16 to 16 times normal; steps beyond either end fail
 * (PLAYM4_ERR_ORDER). */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Fast(LONG port);
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Slow(LONG port);

#ifdef __cplusplus
}
#endif

#endif

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
 * Ports are small non-negative numbers below PLAYM4_MAX_PORTS; -1 is never
 * a port. Every function may be called from any thread; the player plays on
 * threads of its own and calls the display callback on one of them.
 *
 * The stream: the 40-byte stream header, then an MPEG program stream
 * (MPEG-2 or MPEG-1 packs). The program stream map names the codec of each
 * elementary stream: 0x1B H.264 video, 0x90 G.711 A-law and 0x91 G.711
 * mu-law sound (8000 Hz, mono). Bytes that are not part of a pack are
 * skipped up to the next start code.
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

/* The stream header that opens a stream and comes first in its data: ten
 * 32-bit little-endian words. The first is PLAYM4_STREAM_HEADER_MAGIC (the
 * bytes "4HKH"); the low and high halves of the eighth give the nominal
 * picture width and height, reported until the first picture is decoded.
 * The other words are not interpreted. */
#define PLAYM4_STREAM_HEADER_SIZE 40
#define PLAYM4_STREAM_HEADER_MAGIC 0x484B4834u

/* Size of the ports pool. */
#define PLAYM4_MAX_PORTS 64

/* Bounds of the source buffer size given to PlayM4_OpenStream. */
#define PLAYM4_SOURCE_BUFFER_MIN 4096u
#define PLAYM4_SOURCE_BUFFER_MAX (64u * 1024u * 1024u)

/* Program stream map stream types the player decodes. */
#define PLAYM4_STREAM_TYPE_H264 0x1B
#define PLAYM4_STREAM_TYPE_G711_ALAW 0x90
#define PLAYM4_STREAM_TYPE_G711_ULAW 0x91

/* Codes of PlayM4_GetLastError. A successful call sets PLAYM4_ERR_NONE.
 * Calls that name no port or a port that is not taken (and
 * PlayM4_ConvertToBmpFile) keep their code for the calling thread, and
 * PlayM4_GetLastError with a port that is not taken returns it. */
#define PLAYM4_ERR_NONE 0
#define PLAYM4_ERR_PORT 1         /* not a port taken with PlayM4_GetPort */
#define PLAYM4_ERR_ARGUMENT 2     /* null pointer, bad size or value; one packet
                                   * over 64 MiB */
#define PLAYM4_ERR_ORDER 3        /* the port is not in a state for this call */
#define PLAYM4_ERR_MEMORY 4       /* out of memory or threads */
#define PLAYM4_ERR_BUFFER_FULL 5  /* the source buffer has no room for the data */
#define PLAYM4_ERR_HEADER 6       /* not a stream header the player knows */
#define PLAYM4_ERR_DECODE 7       /* the stream could not be decoded */
#define PLAYM4_ERR_NO_PORT 8      /* every port is taken */
#define PLAYM4_ERR_IO 9           /* a file could not be written */
#define PLAYM4_ERR_UNAVAILABLE 10 /* this build has no player engine */

/* Picture type handed to the display callback and taken by
 * PlayM4_ConvertToBmpFile: YV12, planar 4:2:0 of video range (16-235),
 * Y then Cr (V) then Cb (U), each plane tightly packed, chroma
 * (width + 1) / 2 by (height + 1) / 2. */
#define PLAYM4_PICTURE_YV12 3

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

/* Sets how the next stream is opened; PLAYM4_STREAM_REALTIME only. Not
 * while a stream is open (PLAYM4_ERR_ORDER). */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetStreamOpenMode(LONG port, DWORD mode);

/* Opens a stream: header describes it (PLAYM4_STREAM_HEADER_SIZE bytes,
 * checked: PLAYM4_ERR_HEADER), bufferSize is the source buffer the player
 * keeps for it in bytes (PLAYM4_SOURCE_BUFFER_MIN to _MAX). */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_OpenStream(LONG port, const BYTE *header, DWORD headerSize,
                                              DWORD bufferSize);

/* Closes the stream, stopping it first; the port stays taken. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_CloseStream(LONG port);

/* Drops every byte fed and not yet played, and the pictures and sound
 * decoded from them; what comes next is timed afresh. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_ResetSourceBuffer(LONG port);

/* Starts playing the open stream into the window (a null window plays
 * without drawing). Playing again only changes the window. Pictures are
 * shown by their time stamps, stretched over the window's client area. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Play(LONG port, HWND window);

/* Stops playing and ends the player's threads; the stream stays open with
 * what is left in its source buffer. Stopping a port that does not play
 * does nothing. Not from the port's own display callback
 * (PLAYM4_ERR_ORDER), nor are PlayM4_CloseStream and PlayM4_FreePort. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Stop(LONG port);

/* Feeds stream bytes; 0 (PLAYM4_ERR_BUFFER_FULL) when the source buffer has
 * no room for all of them, in which case none is taken. A packet larger
 * than the whole source buffer (up to 64 MiB) grows the buffer and is
 * taken. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_InputData(LONG port, const BYTE *data, DWORD size);

/* The size of the pictures the stream carries: the stream header's until
 * the first picture is decoded. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_GetPictureSize(LONG port, LONG *width, LONG *height);

/* Why the port's latest call failed (PLAYM4_ERR_*). */
PLAYM4_API DWORD PLAYM4_CALL PlayM4_GetLastError(LONG port);

/* Installs the display callback of the port; null removes it. Once it
 * returns after removal, the old callback is not running and will not run
 * again (except when called from that callback itself). The callback stays
 * with the port until it is removed or the port is freed. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetDisplayCallBack(LONG port, PLAYM4_DISPLAY_CALLBACK callback);

/* Writes a picture handed to the display callback (buffer, size, width,
 * height and type as the callback got them) to a Windows bitmap file:
 * 24 bits per pixel, bottom-up, uncompressed. A partly written file is
 * removed (PLAYM4_ERR_IO). */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_ConvertToBmpFile(const char *buffer, LONG size, LONG width,
                                                    LONG height, LONG type, const char *fileName);

/* Draws the picture last shown once more (the window changed), on the
 * player's thread; PLAYM4_ERR_ORDER when the port does not play. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_RefreshPlay(LONG port);

/* Plays the port's sound on the shared sound output, alongside other ports
 * that share it (each port plays on a wave-out device of its own, opened
 * when sound is due); stops doing so. Sound plays at normal speed only.
 * The setting stays with the port across streams. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_PlaySoundShare(LONG port);
PLAYM4_API BOOL PLAYM4_CALL PlayM4_StopSoundShare(LONG port);

/* Sound volume of the port, 0 (silent) to 0xFFFF (full, the default),
 * applied to the samples. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetVolume(LONG port, WORD volume);

/* Shows only the part `source` of the picture (picture pixels, right and
 * bottom exclusive) stretched over the window; a null `source` shows the
 * whole picture. A rectangle given right to left or bottom to top is taken
 * in order; an empty one is refused (PLAYM4_ERR_ARGUMENT); one reaching
 * beyond the picture is cut to it. regionNumber 0 is the main display, the
 * only one, drawn into the window given to PlayM4_Play (the `window`
 * argument is not used); enable 0 shows the whole picture again. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_SetDisplayRegion(LONG port, DWORD regionNumber, RECT *source,
                                                    HWND window, BOOL enable);

/* Pictures shown since the stream was opened. */
PLAYM4_API DWORD PLAYM4_CALL PlayM4_GetPlayedFrames(LONG port);

/* One speed step up or down: each step doubles or halves the speed, from
 * 1/16 to 16 times normal; steps beyond either end fail
 * (PLAYM4_ERR_ORDER). The speed stays with the port across streams. */
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Fast(LONG port);
PLAYM4_API BOOL PLAYM4_CALL PlayM4_Slow(LONG port);

#ifdef __cplusplus
}
#endif

#endif

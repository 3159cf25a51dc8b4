/* Solvane: turns camera packets into what the decoding library takes.
 *
 * CreateConverter tells from the device code and the stream type whether a
 * device's packets need converting; when they do, ConvertStdData turns each
 * packet into decodable data owned by the converter, valid until the next
 * conversion on the same handle or its release.
 *
 * Devices of kind SOLVANE_DEVICE_FRAMED wrap their elementary stream in
 * units of an 8-byte header and a payload:
 *
 *   byte 0-1  0xA5 0x5A
 *   byte 2    payload kind: 0 video, 1 audio
 *   byte 3    0 (reserved)
 *   byte 4-7  payload length, little-endian, at least 1
 *
 * A packet is one or more whole units; conversion yields the payloads of the
 * requested kind, joined in order. Every other device's packets are already
 * elementary streams: CreateConverter returns 0 and they are decoded as
 * received. */
#ifndef SOLVANE_H
#define SOLVANE_H

#if defined(_WIN32) && !defined(_WIN64)
#  define SOLVANE_CALL __stdcall
#else
#  define SOLVANE_CALL
#endif

#if defined(_WIN32)
#  if defined(SOLVANE_BUILDING_LIBRARY)
#    define SOLVANE_API __declspec(dllexport)
#  else
#    define SOLVANE_API __declspec(dllimport)
#  endif
#else
#  define SOLVANE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void* SOLVANE_HANDLE;

#define SOLVANE_DEVICE_FRAMED 200
#define SOLVANE_VENDOR_STREAM 102 /* vendor streams go to the vendor player whole */

#define SOLVANE_KIND_VIDEO 0
#define SOLVANE_KIND_AUDIO 1

#define SOLVANE_FRAME_HEADER_SIZE 8
#define SOLVANE_SYNC0 0xA5
#define SOLVANE_SYNC1 0x5A

/* Results of ConvertStdData. */
#define SOLVANE_OK 0
#define SOLVANE_ERR_HANDLE (-1)   /* not a live converter handle */
#define SOLVANE_ERR_ARGUMENT (-2) /* null pointer, negative length, unknown kind */
#define SOLVANE_ERR_FRAMING (-3)  /* the packet is not a sequence of whole units */
#define SOLVANE_ERR_EMPTY (-4)    /* no payload of the requested kind */
#define SOLVANE_ERR_MEMORY (-5)

/* A converter for the device and stream type, or 0 when the packets need no
 * conversion (or memory is short). */
SOLVANE_API SOLVANE_HANDLE SOLVANE_CALL CreateConverter(int deviceCode, int streamType);

/* Converts one packet; kind is SOLVANE_KIND_VIDEO or SOLVANE_KIND_AUDIO. On
 * success *outData and *outLength describe the data to decode; on failure
 * they are set to null and 0. */
SOLVANE_API int SOLVANE_CALL ConvertStdData(SOLVANE_HANDLE handle, unsigned char* data, int length,
                                            unsigned char** outData, int* outLength, int kind);

/* Frees the converter; 0 and unknown handles are ignored. */
SOLVANE_API void SOLVANE_CALL ReleaseConverter(SOLVANE_HANDLE handle);

#ifdef __cplusplus
}
#endif

#endif

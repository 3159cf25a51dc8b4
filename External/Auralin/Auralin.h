/* Auralin: the sound-in (microphone capture) library (libAuralin.so /
 * Auralin.dll).
 *
 * Capture is one process-wide resource shared by every play port that talks
 * back: each TARVIK_AUDIO_StartAudioIn_b takes a reference to it and each
 * TARVIK_AUDIO_StopAudioIn_b gives one back; capture runs while at least one
 * reference is held.
 *
 * TARVIK_AUDIO_DataFromSondIn hands four 32-bit values through the library.
 * Their meaning is agreed between the caller and whoever reads them; the
 * library does not interpret them. While capture runs, each call queues the
 * four values, unchanged and in order, as one record; TARVIK_AUDIO_ReadSondIn
 * takes the oldest record out. The queue holds AURALIN_QUEUE_RECORDS
 * records; when it is full the oldest one is dropped to make room (and
 * counted), so a reader that falls behind sees the latest data.
 *
 * All functions may be called from any thread. On 32-bit Windows they use
 * the standard calling convention (AURALIN_CALL) and are exported under
 * their decorated names (TARVIK_AUDIO_StartAudioIn_b@0, ...). */
#ifndef AURALIN_H
#define AURALIN_H

#if defined(_WIN32) && !defined(_WIN64)
#  define AURALIN_CALL __stdcall
#else
#  define AURALIN_CALL
#endif

#if defined(_WIN32)
#  if defined(AURALIN_BUILDING_LIBRARY)
#    define AURALIN_API __declspec(dllexport)
#  else
#    define AURALIN_API __declspec(dllimport)
#  endif
#else
#  define AURALIN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define AURALIN_QUEUE_RECORDS 64

/* Takes a reference to the capture, starting it when it is the first.
 * Non-zero on success. */
AURALIN_API int AURALIN_CALL TARVIK_AUDIO_StartAudioIn_b(void);

/* Gives a reference back, stopping the capture with the last one; 0 when no
 * reference is held. Records already queued stay readable. */
AURALIN_API int AURALIN_CALL TARVIK_AUDIO_StopAudioIn_b(void);

/* Queues the four values as one record while capture runs: non-zero when
 * queued, 0 (nothing queued) while capture is stopped. */
AURALIN_API int AURALIN_CALL TARVIK_AUDIO_DataFromSondIn(int a, int b, int c, int d);

/* The reader's side, not called by the player's caller. */

/* Takes the oldest queued record out into values[0..3]: non-zero when there
 * was one, 0 when the queue is empty or values is null. */
AURALIN_API int AURALIN_CALL TARVIK_AUDIO_ReadSondIn(int values[4]);

/* What the library holds: references to the capture, queued records, and
 * records dropped because the queue was full (each pointer may be null). */
AURALIN_API void AURALIN_CALL TARVIK_AUDIO_GetSondInState(int *references, int *queued,
                                                          int *dropped);

#ifdef __cplusplus
}
#endif

#endif

/* The decoder interface every decoder of the library sits behind: the
 * per-instance facade and the two concrete decoders (vendor stream, standard
 * streams).
 *
 * The slot order of the virtual operations is fixed: the facade and the
 * exported functions are written against it. Do not reorder, insert or
 * remove operations.
 *
 * Results of the status operations: 0 success, 1 failure (nothing selected,
 * resource missing, call failed or faulted), 2 the decoder's state refuses
 * the request, 4 (facade's ChangeStreamFormat only) re-initialised and
 * restarted. GetDecoderKind and GetTotalFrames return a value instead.
 *
 * Every operation has a shared do-nothing body returning 0; a concrete
 * decoder overrides the ones it supports (mark them `override`). */
#ifndef KOVA_DECODER_ISAMPLEDECODER_H
#define KOVA_DECODER_ISAMPLEDECODER_H

#include <string>

#include "platform/win32.h"

/* Lifecycle state of a concrete decoder, kept in ISampleDecoder::state. */
enum DecoderState : LONG {
    Closed = 0,   /* construction; successful ShutDown */
    Opened = 1,   /* end of InitPlay: window bound, decoder opened */
    Playing = 2,  /* successful Start */
    Stopped = 3,  /* successful Stop */
};

/* Requests answered by CheckTransition. */
enum TransitionRequest : LONG {
    RequestShutDown = 0,
    RequestInit = 1,
    RequestStart = 2,
    RequestStop = 3,
};

class ISampleDecoder {
public:
    /* 1 */ virtual ~ISampleDecoder() = default;
    /* 2: hands four values to the sound-in library (vendor decoder). */
    virtual LONG GetSoundInData(LONG a, LONG b, LONG c, LONG d);
    /* 3: writes the picture now shown to a bitmap file. */
    virtual LONG CaptureBmpFile(std::string path);
    /* 4: facade only: re-initialises on a new stream type or picture size. */
    virtual LONG ChangeStreamFormat(LONG width, LONG height, LONG streamType);
    /* 5 */ virtual LONG ReservedA(LONG value);
    /* 6: the bound window's geometry changed. */
    virtual LONG UpdateBounds();
    /* 7 */ virtual LONG ReservedB(LONG value);
    /* 8: facade only: may `state` go through `request`? 0 yes, 2 no. */
    virtual LONG CheckTransition(LONG state, LONG request);
    /* 9: closes and frees the decoding resources; sets Closed. */
    virtual LONG ShutDown();
    /* 10: one video packet. width and height are 0 when unknown;
     * frameInfo1/2 are its time stamp (seconds, milliseconds), frameInfo3
     * the segment it belongs to. */
    virtual LONG InsertBuf(const BYTE *data, LONG length, LONG width, LONG height, LONG streamType,
                           LONG frameInfo1, LONG frameInfo2, LONG frameInfo3);
    /* 11: one audio packet with the same three per-frame values. */
    virtual LONG InsertAudioBuf(const BYTE *data, LONG length, LONG frameInfo1, LONG frameInfo2,
                                LONG frameInfo3);
    /* 12: stops playing; sets Stopped. */
    virtual LONG Stop();
    /* 13: starts playing; sets Playing. */
    virtual LONG Start();
    /* 14: binds the window and opens the decoder; sets Opened. Concrete
     * decoders use only the window (their streamType is set beforehand). */
    virtual LONG InitPlay(HWND window, LONG width, LONG height, LONG streamType);
    /* 15 */ virtual LONG ReservedC(LONG value);
    /* 16: 6 for the vendor decoder, 0 for the standard decoder. */
    virtual LONG GetDecoderKind();
    /* 17: show only this sub-rectangle (percent of the picture); all 0 is
     * the whole picture. */
    virtual LONG DigitalZoom(LONG left, LONG top, LONG right, LONG bottom);
    /* 18: vendor player speed step. */
    virtual LONG SetPlaySpeed(LONG step);
    /* 19 */ virtual LONG StartAudio();
    /* 20 */ virtual LONG ShutDownAudio();
    /* 21: volume 0..100. */
    virtual LONG SetAudioVolume(LONG volume);
    /* 22: writes the volume 0..100. */
    virtual LONG GetAudioVolume(LONG *volume);
    /* 23: the picture size GetImagePara reports (standard decoder). */
    virtual LONG SetVideoSize(LONG width, LONG height);
    /* 24: writes the current picture size. */
    virtual LONG GetImagePara(LONG *width, LONG *height);
    /* 25: frames played so far (vendor decoder). */
    virtual LONG GetTotalFrames();
    /* 26 */ virtual LONG ReservedD();
    /* 27: audio decoding parameters used when the standard decoder next
     * opens. */
    virtual LONG SetDecParam(LONG audioCode, LONG sampleRate, LONG channels, LONG bitRate,
                             LONG bitsPerSample, LONG reserved1, LONG reserved2);
    /* 28: the client seeked. */
    virtual LONG NotifySeek(LONG a, LONG b);
    /* 29: presentation speed. */
    virtual LONG SetSpeed(LONG speed);
    /* 30: display mode applied before the next picture. */
    virtual LONG SetDisplayMode(LONG mode);

    std::string cameraName;  /* shown in the vendor decoder's log lines */
    LONG state = Closed;     /* a DecoderState */
    LONG deviceCode = 0;     /* kind of source, from KOVA_CreateInstance */
    LONG streamType = 0;     /* selects the decoder and the codecs */
    LONG width = 0;          /* picture size in pixels */
    LONG height = 0;
};

#endif

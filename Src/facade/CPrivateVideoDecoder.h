/* The per-instance decoder facade.
 *
 * Owns one decoder of each kind, created with it: the vendor-stream decoder
 * (stream type 102) and the standard-stream decoder (every other type).
 * InitPlay selects one by the stream type; from then on every operation is
 * forwarded to the selected decoder, guarded by the transition table of
 * CheckTransition. The facade re-initialises the decoder when packets arrive
 * with another stream type or, for some types, another picture size, and
 * shields its caller from faults raised inside the decoder: a fault in a
 * guarded call sets faultFlag, and packets are refused until the next
 * Start.
 *
 * Either decoder may be missing (its creation failed); every operation is
 * defined for that case. The facade starts no thread, and one instance must
 * not be called from two threads at once, with one exception: the sound
 * switch. Switching another pane's sound on switches this one's off from
 * that pane's thread, so soundLock orders the sound operations against
 * everything that changes the selected decoder or opens, stops or frees
 * it, and against the vendor decoder's sound packets (the standard
 * decoder's sound flag is atomic). Packets of video take no lock. */
#ifndef KOVA_FACADE_CPRIVATEVIDEODECODER_H
#define KOVA_FACADE_CPRIVATEVIDEODECODER_H

#include "decoder/ISampleDecoder.h"

#include <mutex>

class CPrivateVideoDecoder : public ISampleDecoder {
public:
    /* Creates both decoders. A decoder whose creation returns null is left
     * missing; an exception from a decoder's creation leaves the facade
     * unbuilt (nothing leaks) and propagates. */
    CPrivateVideoDecoder(LONG deviceCode, LONG streamType);
    /* Shuts the selected decoder down, then destroys the vendor decoder and
     * the standard decoder; faults in either are swallowed. */
    ~CPrivateVideoDecoder() override;

    CPrivateVideoDecoder(const CPrivateVideoDecoder &) = delete;
    CPrivateVideoDecoder &operator=(const CPrivateVideoDecoder &) = delete;

    LONG GetSoundInData(LONG a, LONG b, LONG c, LONG d) override;
    LONG CaptureBmpFile(std::string path) override;
    LONG ChangeStreamFormat(LONG width, LONG height, LONG streamType) override;
    LONG ReservedA(LONG value) override;
    LONG UpdateBounds() override;
    LONG ReservedB(LONG value) override;
    LONG CheckTransition(LONG state, LONG request) override;
    LONG ShutDown() override;
    LONG InsertBuf(const BYTE *data, LONG length, LONG width, LONG height, LONG streamType,
                   LONG frameInfo1, LONG frameInfo2, LONG frameInfo3) override;
    LONG InsertAudioBuf(const BYTE *data, LONG length, LONG frameInfo1, LONG frameInfo2,
                        LONG frameInfo3) override;
    LONG Stop() override;
    LONG Start() override;
    LONG InitPlay(HWND window, LONG width, LONG height, LONG streamType) override;
    LONG ReservedC(LONG value) override;
    LONG GetDecoderKind() override;
    LONG DigitalZoom(LONG left, LONG top, LONG right, LONG bottom) override;
    LONG SetPlaySpeed(LONG step) override;
    LONG StartAudio() override;
    LONG ShutDownAudio() override;
    LONG SetAudioVolume(LONG volume) override;
    LONG GetAudioVolume(LONG *volume) override;
    LONG SetVideoSize(LONG width, LONG height) override;
    LONG GetImagePara(LONG *width, LONG *height) override;
    LONG GetTotalFrames() override;
    LONG ReservedD() override;
    LONG SetDecParam(LONG audioCode, LONG sampleRate, LONG channels, LONG bitRate,
                     LONG bitsPerSample, LONG reserved1, LONG reserved2) override;
    LONG NotifySeek(LONG a, LONG b) override;
    LONG SetSpeed(LONG speed) override;
    LONG SetDisplayMode(LONG mode) override;

private:
    /* The decoder the routing table gives for streamType (null if it is
     * missing); logs a type the table does not list. */
    ISampleDecoder *SelectByStreamType();
    /* InitPlay's routing, run under the fault guard. */
    LONG Route();
    /* Runs a call into the selected decoder under the fault guard; on a
     * fault sets faultFlag and gives 1. */
    template <class Call>
    LONG Guarded(Call &&call);

    ISampleDecoder *activeDecoder = nullptr;   /* selected by the last routing; not owned */
    ISampleDecoder *vendorDecoder = nullptr;   /* a GE_DecoderHIK; owned */
    ISampleDecoder *standardDecoder = nullptr; /* a QxvideoDecoder; owned */
    bool faultFlag = false;
    HWND window = nullptr; /* from the last InitPlay */
    /* Re-entrant: a shut-down of a playing decoder stops it from inside. */
    std::recursive_mutex soundLock;
    /* The last sound switch that reached a decoder; guarded by soundLock. */
    enum SoundSetting { SoundUnset, SoundOff, SoundOn } soundSetting = SoundUnset;
};

#endif

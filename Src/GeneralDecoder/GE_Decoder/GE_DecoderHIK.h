/* The vendor-stream decoder: hands the stream of the vendor's devices to the
 * PlayM4 player library, which decodes, paces, plays sound and draws into
 * the window by itself.
 *
 * InitPlay takes a play port (and a reference to the Auralin sound-in
 * capture); the first packet after Start opens a stream on the port with a
 * fixed 40-byte stream header and starts playing; every later packet goes to
 * the player unchanged. Stop closes the stream, ShutDown gives the port
 * back. Snapshots are taken from the player's display callback.
 *
 * Every call into the two libraries except PlayM4_SetDisplayCallBack and
 * PlayM4_GetLastError runs under the fault guard: a fault is logged and the
 * operation goes on. Failures and faults are written to the log, with the
 * camera name; nothing is thrown.
 *
 * Operations on one object must not run at the same time; the display
 * callback runs on a player thread, and the capture state it shares with
 * CaptureBmpFile is one for the whole process. */
#ifndef KOVA_GE_DECODERHIK_H
#define KOVA_GE_DECODERHIK_H

#include "decoder/ISampleDecoder.h"
#include "platform/win32.h"

#include "PlayM4.h"

class GE_DecoderHIK : public ISampleDecoder {
public:
    GE_DecoderHIK();
    /* Releases nothing in the libraries: the owner shuts the decoder down
     * first. */
    ~GE_DecoderHIK() override;

    GE_DecoderHIK(const GE_DecoderHIK &) = delete;
    GE_DecoderHIK &operator=(const GE_DecoderHIK &) = delete;

    /* Port life. */
    LONG InitPlay(HWND window, LONG width, LONG height, LONG streamType) override;
    LONG Start() override;
    LONG InsertBuf(const BYTE *data, LONG length, LONG width, LONG height, LONG streamType,
                   LONG frameInfo1, LONG frameInfo2, LONG frameInfo3) override;
    LONG InsertAudioBuf(const BYTE *data, LONG length, LONG frameInfo1, LONG frameInfo2,
                        LONG frameInfo3) override;
    LONG Stop() override;
    LONG ShutDown() override;
    LONG UpdateBounds() override;
    LONG CaptureBmpFile(std::string path) override;

    /* Controls. */
    LONG StartAudio() override;
    LONG ShutDownAudio() override;
    LONG SetAudioVolume(LONG volume) override;
    LONG GetSoundInData(LONG a, LONG b, LONG c, LONG d) override;
    LONG DigitalZoom(LONG left, LONG top, LONG right, LONG bottom) override;
    LONG GetTotalFrames() override;
    LONG SetPlaySpeed(LONG step) override;
    LONG GetImagePara(LONG *width, LONG *height) override;
    LONG GetDecoderKind() override;

    /* The player's display callback: converts one picture of the port a
     * capture waits for into the capture's bitmap file. */
    static void PLAYM4_CALL DisplayCBFun(LONG port, char *buffer, LONG size, LONG width,
                                         LONG height, LONG stamp, LONG type, LONG reserved);

    /* The stream header that opens every stream and is fed as its first
     * data: ten little-endian 32-bit words. */
    static const BYTE kStreamHeader[40];
    /* Source buffer the player keeps for a stream, in bytes. */
    static constexpr DWORD kSourceBufferSize = 512000;
    /* How long a capture waits for the player to show a picture. */
    static constexpr DWORD kCaptureWaitMs = 500;

    BOOL streamOpened = FALSE;   /* result of the latest PlayM4_OpenStream */
    LONG m_hPlayHandle = -1;     /* the play port; -1 without one */
    HWND window = nullptr;       /* the window the player draws into */
    bool soundShareRequested = false;
    bool normalSpeed = true;     /* false after four fast steps */
    bool audioPrimed = false;    /* set by the first audio packet */
    /* The player's source buffer refused the last packet as full: the
     * refusals that follow in a row are not logged again. */
    bool refusedAsFull = false;

    /* Logs a refused PlayM4_InputData: every refusal, except that a run of
     * refusals for a full source buffer is logged once. */
    void LogInputRefused();
};

#endif

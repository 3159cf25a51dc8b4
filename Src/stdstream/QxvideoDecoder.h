/* The decoder of every standard (non-vendor) stream.
 *
 * Packets pass through the stream converter (Solvane) and are decoded by a
 * QXDecoder (Bravik) on the caller's thread; each decoded picture or block
 * of sound is copied once into a buffer of the decoder's pool and queued.
 * The decoder's own presentation thread runs its VideoRenderer, which takes
 * the buffers in order, paces and draws the pictures and hands the sound to
 * the decoder's wave output.
 *
 * The decoding run is opened lazily by the first packet of a stream type
 * and reopened when the type changes; the output size of the decoding
 * library follows the bound window, the digital zoom and the display mode,
 * checked before every picture.
 *
 * No lock of its own: the client never calls one instance from two threads
 * at once. The presentation thread touches only the pool, the renderer and
 * the wave output. */
#ifndef KOVA_STDSTREAM_QXVIDEODECODER_H
#define KOVA_STDSTREAM_QXVIDEODECODER_H

#include <stdarg.h>

#include <atomic>

#include "decoder/ISampleDecoder.h"
#include "render/VideoOutput.h"
#include "stdstream/PictureStamps.h"
#include "stdstream/StreamTables.h"

class CBufferManager;
class CWaveOut;
class QXDecoder;
class VideoRenderer;
struct JobThread;

class QxvideoDecoder : public ISampleDecoder {
public:
    /* Builds the tables, the pool (8 buffers of 3 MiB), the wave output, the
     * renderer (drawing through outputs from `outputFactory`) and starts the
     * presentation thread, which idles until Start. Throws
     * std::runtime_error("Memory allocation failure!") when the pool cannot
     * be made; any later member that cannot be made is left missing and the
     * operations that need it return 1. */
    explicit QxvideoDecoder(VideoOutputFactory outputFactory = CreateVideoOutput);
    /* Ends the presentation thread and frees what the decoder owns, except
     * the QXDecoder object, which ShutDown frees. */
    ~QxvideoDecoder() override;

    QxvideoDecoder(const QxvideoDecoder &) = delete;
    QxvideoDecoder &operator=(const QxvideoDecoder &) = delete;

    /* The operations below are those standard streams support; the others
     * (GetSoundInData, ChangeStreamFormat, the four Reserved ones,
     * UpdateBounds, CheckTransition, GetDecoderKind, SetPlaySpeed,
     * GetTotalFrames) keep the interface's do-nothing bodies, which answer
     * 0. */
    LONG CaptureBmpFile(std::string path) override;
    LONG ShutDown() override;
    LONG InsertBuf(const BYTE *data, LONG length, LONG width, LONG height, LONG streamType,
                   LONG frameInfo1, LONG frameInfo2, LONG frameInfo3) override;
    LONG InsertAudioBuf(const BYTE *data, LONG length, LONG frameInfo1, LONG frameInfo2,
                        LONG frameInfo3) override;
    LONG Stop() override;
    LONG Start() override;
    LONG InitPlay(HWND window, LONG width, LONG height, LONG streamType) override;
    LONG DigitalZoom(LONG x1, LONG y1, LONG x2, LONG y2) override;
    LONG StartAudio() override;
    LONG ShutDownAudio() override;
    LONG SetAudioVolume(LONG volume) override;
    LONG GetAudioVolume(LONG *volume) override;
    LONG SetVideoSize(LONG width, LONG height) override;
    LONG GetImagePara(LONG *width, LONG *height) override;
    LONG SetDecParam(LONG audioType, LONG rate, LONG channelCount, LONG bitrate, LONG bits,
                     LONG fieldBlend, LONG reserved2) override;
    LONG NotifySeek(LONG seekA, LONG seekB) override;
    LONG SetSpeed(LONG speed) override;
    LONG SetDisplayMode(LONG mode) override;

    /* Binds the window and makes a new QXDecoder; opens nothing. Behind
     * InitPlay. */
    LONG Initialize(HWND window);
    /* Codec, code mode and (when they must change) the sound parameters
     * for a stream type; run before every open attempt. */
    void ApplyStreamSettings(LONG type);
    /* Opens a decoding run for currentStreamType, with sound if the library
     * takes the audio codec and without otherwise: 0 opened, 1 failed. */
    LONG OpenDecoder();
    /* Queues one decoded picture: 0 queued (or dropped because the pool is
     * stopped), 1 refused. */
    LONG InsertBuffers(const unsigned char *picture, LONG size, LONG frameInfo1, LONG frameInfo2,
                       LONG frameInfo3);
    /* Queues one decoded block of sound: 0 queued, dropped because the
     * pool is stopped, or empty (nothing to queue); 1 refused. */
    LONG InsertAudioBuffers(const unsigned char *pcm, LONG size, LONG frameInfo1, LONG frameInfo2,
                            LONG frameInfo3);
    /* Matches the decoder's output size to the window and applies a pending
     * zoom: 0, or 1 without a decoder or for a window out of range. */
    LONG CheckWindowSize();
    /* Sets the decoder's output size, each side rounded up to a multiple of
     * 16, or the largest size that keeps the aspect ratio and fits a pool
     * buffer: 0, or 1 without a decoder. */
    LONG SetOutputSize(LONG width, LONG height);
    /* Display mode 1: the stream's own size, or the largest size that fits
     * a pool buffer when the stream's is larger. */
    void FitNativeOutput();
    /* Logs, once per opening, that an output size was reduced to fit. */
    void NoteOutputFitted(LONG askedWidth, LONG askedHeight, LONG fitWidth, LONG fitHeight);
    /* The decoding library's log sink: errors and worse go to the log with
     * their text as received. */
    static void FFmpegLogCallback(void *context, int level, const char *text, va_list args);

    /* Fields, in this order. Plain values: tests read them. */
    StreamTypeTable videoCodecMap;
    StreamTypeTable audioCodecMap;
    StreamTypeTable codeModeMap;
    LONG videoCodec = 0;
    LONG audioCodec = 0;
    LONG bitsPerSample = 0;
    /* Switched from the thread of the pane that takes the sound over. */
    std::atomic<bool> audioOn{false};
    QXDecoder *decoder = nullptr;       /* owned; made by Initialize, freed by ShutDown */
    LONG currentStreamType = 0;         /* 0: nothing opened since construction or Stop */
    LONG videoWidth = 0;
    LONG videoHeight = 0;
    LONG videoFormat = 0;
    LONG sampleRate = 0;
    LONG channels = 0;
    LONG audioBitrate = 0;
    CWaveOut *waveOut = nullptr;        /* owned */
    bool audioFormatPending = true;     /* reopen the wave output before the next sound */
    CBufferManager *bufferManager = nullptr; /* owned */
    VideoRenderer *renderer = nullptr;  /* owned */
    LONG lastWindowWidth = 0;           /* 0: no window size applied yet */
    LONG lastWindowHeight = 0;
    HWND window = nullptr;
    RECT windowRect = {0, 0, 0, 0};
    bool audioParamsMissing = false;    /* derive sound parameters at the next open */
    void *converter = nullptr;          /* Solvane handle; null: decode as received */
    LONG zoomPercent = -1;              /* -1 none pending, 0 zoom off, above 0 zoomed */
    LONG displayMode = 0;               /* 1 native size, DirectDraw; 2 window size, GDI; else window size, DirectDraw */
    bool displayModeChanged = false;
    JobThread *jobThread = nullptr;     /* owned */
    PictureStamps pendingStamps;        /* stamps of packets whose picture is still held back */
    LONG nativeFitWidth = 0;            /* display mode 1: output asked for; 0 the stream's own, -1 unknown */
    LONG nativeFitHeight = 0;
    bool outputFitLogged = false;       /* a reduced output was logged since the open */
    bool blendFields = false;           /* deinterlace: blend the fields of each picture (SetDecParam) */

private:
    /* Copies decoded data into a free buffer and queues it. */
    LONG QueueFrame(const unsigned char *payload, LONG size, LONG audioLength, LONG frameInfo1,
                    LONG frameInfo2, LONG frameInfo3);
    /* Bytes of payload one pool buffer holds. */
    LONG BufferPayload() const;
    /* Frees the QXDecoder object, if any. */
    void FreeDecoder();
    /* Stops the pool: both Gets return none from now on. */
    void StopPool();
};

#endif

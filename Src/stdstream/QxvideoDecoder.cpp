/* The standard-stream decoder: construction and teardown, opening the
 * decoding library, and every operation but the packet path (in
 * QxvideoDecodePath.cpp). */
#include "stdstream/QxvideoDecoder.h"

#include <QXDecoder.h>
#include <Solvane.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "support/Log.h"
#include "render/VideoRenderer.h"
#include "pool/FrameEntry.h"
#include "pool/CBufferManager.h"
#include "stdstream/CWaveOut.h"
#include "pool/JobThread.h"

namespace {

const int32_t kBufferCount = 8;
const int32_t kBufferSize = 0x300000;

/* What callers of the decoding library reserve for one QXDecoder object:
 * the library's object is larger than its public header shows. */
const size_t kQXDecoderObjectSize = 552;

/* The wave output's format until the first sound reopens it. */
const WORD kInitialChannels = 1;
const DWORD kInitialSamplesPerSec = 8000;
const WORD kInitialBitsPerSample = 16;

/* The decoding library answers an open it can do only without sound so. */
const int kVideoOnlyOpen = QX_ERR_AUDIO_OPEN;

/* Messages at this level or more severe reach the log. */
const int kLoggedLevel = 16;

/* A product of client-given values, wrapped to 32 bits as the client's
 * platform computes it, without signed overflow. */
LONG Wrap32(int64_t value)
{
    return static_cast<LONG>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

}  // namespace

QxvideoDecoder::QxvideoDecoder(VideoOutputFactory outputFactory)
{
    FillCodecTables(videoCodecMap, audioCodecMap, codeModeMap);

    bufferManager = new (std::nothrow) CBufferManager;
    if (bufferManager) {
        bufferManager->bufferCount = kBufferCount;
        bufferManager->bufferSize = kBufferSize;
        /* Each buffer starts as a header and grows to the pictures it
         * carries: a pane holds what its stream needs, not eight of the
         * largest picture. */
        bufferManager->firstSize = static_cast<int32_t>(sizeof(FrameEntry));
        if (bufferManager->AllocateBuffers())
            bufferManager->running = true;
        /* A pool without a single buffer would hold every packet forever:
         * it counts as not made. */
        if (bufferManager->emptyList.count == 0) {
            delete bufferManager;
            bufferManager = nullptr;
        }
    }
    if (!bufferManager) {
        WriteLog("QxvideoDecoder::QxvideoDecoder new CBufferManager Memory allocation failure!");
        throw std::runtime_error("Memory allocation failure!");
    }

    waveOut = new (std::nothrow) CWaveOut;
    if (!waveOut)
        return;
    waveOut->channels = kInitialChannels;
    waveOut->samplesPerSec = kInitialSamplesPerSec;
    waveOut->bitsPerSample = kInitialBitsPerSample;

    renderer = new (std::nothrow) VideoRenderer(bufferManager, waveOut, outputFactory);
    if (!renderer)
        return;

    jobThread = StartJobThread(renderer);
}

QxvideoDecoder::~QxvideoDecoder()
{
    /* Each step's failure is swallowed and the next one still runs. */
    auto step = [](auto &&action) {
        try {
            action();
        } catch (...) {
        }
    };
    /* A renderer waiting for a filled buffer gives up at once. */
    step([this] { StopPool(); });
    step([this] {
        if (renderer)
            renderer->Exit();
    });
    step([this] {
        if (waveOut) {
            waveOut->Close();
            delete waveOut;
            waveOut = nullptr;
        }
    });
    step([this] {
        if (converter)
            ReleaseConverter(converter);
        converter = nullptr;
    });
    step([this] {
        JobThread *record = jobThread;
        jobThread = nullptr;
        EndJobThread(record);
    });
    delete bufferManager;
    bufferManager = nullptr;
    delete renderer;
    renderer = nullptr;
}

LONG QxvideoDecoder::Initialize(HWND window_)
{
    QXDecoderInitialize();
    window = window_;
    if (renderer)
        renderer->BindWindow(window, displayMode == 2 ? 0 : 1);

    void *memory = ::operator new(kQXDecoderObjectSize, std::nothrow);
    if (memory) {
        try {
            decoder = new (memory) QXDecoder;
        } catch (...) {
            ::operator delete(memory);
            decoder = nullptr;
        }
    }
    state = Opened;
    return 0;
}

void QxvideoDecoder::FreeDecoder()
{
    if (!decoder)
        return;
    decoder->~QXDecoder();
    ::operator delete(static_cast<void *>(decoder));
    decoder = nullptr;
}

void QxvideoDecoder::ApplyStreamSettings(LONG type)
{
    if (!decoder)
        return;
    LONG codeMode = 0;
    LookupStreamType(codeModeMap, type, &codeMode);
    decoder->QXDecoderSetEncodeMode(codeMode);

    if (!LookupStreamType(videoCodecMap, type, &videoCodec))
        videoCodec = CODEC_ID_H264;

    LONG candidate = audioCodec;
    LookupStreamType(audioCodecMap, type, &candidate);

    if (type == 103)
        decoder->QXDecoderSetDemux(1);

    /* Parameters the client set for this codec stay. */
    if (!audioParamsMissing && candidate == audioCodec)
        return;

    audioParamsMissing = false;
    audioFormatPending = true;
    const StreamAudioParams params = AudioParamsForStreamType(type);
    audioCodec = params.audioCodec;
    sampleRate = params.sampleRate;
    channels = params.channels;
    audioBitrate = params.audioBitrate;
    bitsPerSample = params.bitsPerSample;
}

LONG QxvideoDecoder::OpenDecoder()
{
    if (!decoder)
        return 1;
    pendingStamps.Clear();
    outputFitLogged = false;
    ApplyStreamSettings(currentStreamType);
    decoder->QXDecoderRegisterLog(FFmpegLogCallback, 10);
    decoder->QXDecoderSetOutputMode(1);

    const _picture_param picture = {videoWidth, videoHeight, videoFormat};
    const _audio_param sound = {sampleRate, channels, audioBitrate};
    int r = decoder->QXOpenDecoder(static_cast<CodecID>(videoCodec), picture,
                                   static_cast<CodecID>(audioCodec), sound);
    WriteLog("QXOpenDecoder return %d VideoCode %d width %d height %d videoformat %d, AudioCode %d "
             "sample_rate %d channels %d audio_bitrate %d.",
             r, static_cast<int>(videoCodec), static_cast<int>(videoWidth),
             static_cast<int>(videoHeight), static_cast<int>(videoFormat),
             static_cast<int>(audioCodec), static_cast<int>(sampleRate),
             static_cast<int>(channels), static_cast<int>(audioBitrate));

    if (r == kVideoOnlyOpen) {
        ApplyStreamSettings(currentStreamType);
        decoder->QXDecoderRegisterLog(FFmpegLogCallback, 10);
        decoder->QXDecoderSetOutputMode(1);
        const _picture_param again = {videoWidth, videoHeight, videoFormat};
        r = decoder->QXOpenDecoder(static_cast<CodecID>(videoCodec), again);
    }
    if (r != 0)
        return 1;

    if (displayMode == 1)
        decoder->QXSetOutputFormat(PIX_FMT_YUV420P, 0);
    else
        CheckWindowSize();
    return 0;
}

LONG QxvideoDecoder::Start()
{
    if (!decoder || !bufferManager || !renderer)
        return 1;
    bufferManager->running = true;
    renderer->Start();
    state = Playing;
    return 0;
}

LONG QxvideoDecoder::Stop()
{
    if (!decoder || !bufferManager || !renderer)
        return 1;
    currentStreamType = 0;
    audioFormatPending = true;
    zoomPercent = -1;
    displayModeChanged = false;
    lastWindowWidth = 0;
    lastWindowHeight = 0;
    /* The renderer holds its job mutex while it waits for a filled buffer:
     * stopping the pool first lets it give up. */
    StopPool();
    renderer->Stop();
    state = Stopped;
    return 0;
}

void QxvideoDecoder::StopPool()
{
    if (!bufferManager)
        return;
    bufferManager->running = false;
    /* Waiters would notice only at the end of their current wait (up to a
     * second): wake them, so that stopping takes no longer than a picture. */
    SetEvent(bufferManager->fullEvent);
    SetEvent(bufferManager->emptyEvent);
}

LONG QxvideoDecoder::ShutDown()
{
    Stop();
    if (decoder) {
        decoder->QXClose();
        FreeDecoder();
    }
    state = Closed;
    return 0;
}

LONG QxvideoDecoder::InitPlay(HWND window_, LONG, LONG, LONG)
{
    return Initialize(window_);
}

LONG QxvideoDecoder::CaptureBmpFile(std::string path)
{
    if (!decoder)
        return 1;
    decoder->QXSaveCurrentImage(path.c_str());
    return 0;
}

LONG QxvideoDecoder::DigitalZoom(LONG x1, LONG y1, LONG x2, LONG y2)
{
    if (!renderer || !decoder)
        return 1;
    const int64_t across = std::llabs(static_cast<int64_t>(x2) - x1);
    const int64_t down = std::llabs(static_cast<int64_t>(y2) - y1);
    zoomPercent = Wrap32(across < down ? across : down);
    return renderer->SetDisplayRegion(x1, y1, x2, y2);
}

LONG QxvideoDecoder::StartAudio()
{
    audioOn = true;
    return 0;
}

LONG QxvideoDecoder::ShutDownAudio()
{
    /* The wave device stays open: switching back on plays at once. */
    audioOn = false;
    return 0;
}

LONG QxvideoDecoder::SetAudioVolume(LONG volume)
{
    if (!waveOut)
        return 1;
    const DWORD raw = static_cast<DWORD>(Wrap32(static_cast<int64_t>(volume) * 65535 / 100)) & 0xFFFFu;
    const MMRESULT result = waveOutSetVolume(waveOut->device.load(), raw | raw << 16);
    waveOut->lastResult = result;
    return result != MMSYSERR_NOERROR ? 1 : 0;
}

LONG QxvideoDecoder::GetAudioVolume(LONG *volume)
{
    if (!waveOut || !volume)
        return 1;
    if (!audioOn) {
        *volume = 0;
        return 0;
    }
    DWORD raw = 0;
    if (!waveOut->GetVolume(&raw)) {
        *volume = 0;
        return 1;
    }
    /* Single precision, as the level has always been reported: 50 set
     * reads back 50, the opening 0xE665 reads back 90. */
    const float quotient = static_cast<float>(raw * 100) / 65535.0f;
    const float ceiling = std::ceil(quotient);
    *volume = static_cast<LONG>(ceiling);
    return 0;
}

LONG QxvideoDecoder::SetVideoSize(LONG width_, LONG height_)
{
    videoWidth = width_;
    videoHeight = height_;
    return 0;
}

LONG QxvideoDecoder::GetImagePara(LONG *width_, LONG *height_)
{
    if (width_)
        *width_ = videoWidth;
    if (height_)
        *height_ = videoHeight;
    return 0;
}

LONG QxvideoDecoder::SetDecParam(LONG audioType, LONG rate, LONG channelCount, LONG bitrate,
                                 LONG bits, LONG fieldBlend, LONG)
{
    /* The first spare value switches the deinterlacer for interlaced
     * cameras: 1 on, 2 off; 0 (what callers pass) and anything else leave
     * it as it is, so it stays off unless asked for. */
    if (fieldBlend == 1 || fieldBlend == 2)
        blendFields = fieldBlend == 1;
    if (audioType == 0 || rate == 0 || channelCount == 0 || bits == 0) {
        bitrate = 0;
        DeviceAudioDefaults defaults;
        if (DefaultAudioForDevice(deviceCode, &defaults)) {
            audioType = defaults.audioType;
            rate = defaults.sampleRate;
            channelCount = defaults.channels;
            bitrate = defaults.bitrate;
            bits = defaults.bitsPerSample;
        } else {
            audioParamsMissing = true;
        }
    }
    /* These devices send A-law where the client says mu-law. */
    if ((deviceCode == 112 || deviceCode == 128) && audioType == 2)
        audioType = 3;

    LONG fallbackBitrate = deviceCode == 48 ? 16000 : bitrate;
    if (deviceCode == 103)
        fallbackBitrate = 32000;
    if (deviceCode == 98)
        fallbackBitrate = 16000;

    audioCodec = AudioCodecForType(audioType);
    sampleRate = rate;
    channels = channelCount;
    if (audioType == 2 || audioType == 3)
        audioBitrate = Wrap32(static_cast<int64_t>(rate) * channelCount * bits);
    else
        audioBitrate = fallbackBitrate;
    bitsPerSample = bits;
    if (audioBitrate == 0)
        audioParamsMissing = true;
    return 0;
}

LONG QxvideoDecoder::NotifySeek(LONG seekA, LONG seekB)
{
    if (!renderer)
        return 1;
    renderer->NotifySeek(seekA, seekB);
    return 0;
}

LONG QxvideoDecoder::SetSpeed(LONG speed)
{
    if (!renderer)
        return 1;
    renderer->speed = speed;
    return 0;
}

LONG QxvideoDecoder::SetDisplayMode(LONG mode)
{
    if (!renderer)
        return 1;
    if (mode != displayMode) {
        displayMode = mode;
        displayModeChanged = true;
    }
    return 0;
}

void QxvideoDecoder::FFmpegLogCallback(void *, int level, const char *text, va_list)
{
    /* The text is logged as the library gives it, placeholders and all. */
    if (text && level <= kLoggedLevel)
        WriteLog("[FFmpeg]Level: %d, Content: %s", level, text);
}

/* The standard-stream decoder's packet path, on the client's thread:
 * convert, decode, copy into a pool buffer, queue. Before each picture the
 * decoding library's output size is matched to the window, the zoom and the
 * display mode. */
#include "stdstream/QxvideoDecoder.h"

#include <QXDecoder.h>
#include <Solvane.h>

#include <cstdint>
#include <cstring>

#include "support/Log.h"
#include "render/VideoRenderer.h"
#include "pool/CBufferManager.h"
#include "stdstream/CWaveOut.h"
#include "pool/FrameCopy.h"
#include "pool/FrameEntry.h"
#include "stdstream/OutputSize.h"
#include "stdstream/PictureStamps.h"

namespace {

/* The stream's own picture size, as the decoding library reports it. */
void NativeSize(QXDecoder *decoder, LONG *width, LONG *height)
{
    _video_param param;
    std::memset(&param, 0, sizeof param);
    decoder->QXGetParam(param);
    *width = param.width;
    *height = param.height;
}

}  // namespace

LONG QxvideoDecoder::InsertBuf(const BYTE *data, LONG length, LONG width_, LONG height_,
                               LONG packetStreamType, LONG frameInfo1, LONG frameInfo2,
                               LONG frameInfo3)
{
    if (!decoder || !renderer || !bufferManager)
        return 1;

    if (packetStreamType != currentStreamType) {
        currentStreamType = packetStreamType;
        videoWidth = width_;
        videoHeight = height_;
        videoFormat = 0;
        decoder->QXClose();
        OpenDecoder(); /* a failed open shows as failed decodes */
        if (converter) {
            ReleaseConverter(converter);
            converter = nullptr;
        }
        converter = CreateConverter(deviceCode, streamType);
        const int32_t shownWidth = renderer->pictureWidth.load();
        const int32_t shownHeight = renderer->pictureHeight.load();
        if (static_cast<int64_t>(shownWidth) * shownHeight != 0 &&
            (width_ != shownWidth || height_ != shownHeight)) {
            renderer->pictureWidth = width_;
            renderer->pictureHeight = height_;
        }
    }

    if (displayMode != 1)
        CheckWindowSize();

    if (displayModeChanged) {
        displayModeChanged = false;
        if (displayMode == 1) {
            LONG nativeWidth = 0, nativeHeight = 0;
            NativeSize(decoder, &nativeWidth, &nativeHeight);
            decoder->QXSetOutput(_picture_param{nativeWidth, nativeHeight, -1}, 0);
            decoder->QXSetOutputFormat(PIX_FMT_YUV420P, 0);
        }
        renderer->SetOutputMode(displayMode == 2 ? 0 : 1);
        nativeFitWidth = nativeFitHeight = 0;
    }
    if (displayMode == 1)
        FitNativeOutput();

    unsigned char *outData = const_cast<unsigned char *>(data);
    int outLength = length;
    if (converter &&
        ConvertStdData(converter, const_cast<unsigned char *>(data), length, &outData, &outLength,
                       SOLVANE_KIND_VIDEO) != 0) {
        WriteLog("QXDecodeVideoFrame fail with %d", -1);
        return 1;
    }

    const int r = decoder->QXDecodeVideoFrame(outData, outLength, 0);
    const PictureStamp packetStamp = {frameInfo1, frameInfo2, frameInfo3};
    if (r == QX_ERR_NO_OUTPUT) {
        /* Taken and held back (a reordering decoder's delay): its picture
         * comes out with a later packet. */
        pendingStamps.Add(packetStamp);
        return 0;
    }
    if (r != 0) {
        WriteLog("QXDecodeVideoFrame fail with %d", r);
        return 1;
    }
    pendingStamps.Add(packetStamp);
    const PictureStamp stamp = pendingStamps.Take(packetStamp);
    return InsertBuffers(decoder->QXGetVideoFrame(), decoder->QXGetVideoFrameSize(), stamp.seconds,
                         stamp.milliseconds, stamp.segmentId);
}

LONG QxvideoDecoder::InsertBuffers(const unsigned char *picture, LONG size, LONG frameInfo1,
                                   LONG frameInfo2, LONG frameInfo3)
{
    if (!decoder || !picture)
        return 1;
    if (size <= 0) {
        WriteLog("InsertBuffers param with %d", static_cast<int>(size));
        return 1;
    }
    /* Copying past the buffer would overwrite the next allocation. The
     * output is chosen to fit, so this only happens when the library's
     * picture is not the size it was asked for (a stream whose size was not
     * known yet): ask again before the next picture. */
    if (size > BufferPayload()) {
        nativeFitWidth = nativeFitHeight = -1;
        int outWidth = 0, outHeight = 0;
        decoder->QXGetOutputResolution(outWidth, outHeight);
        WriteLog("QxvideoDecoder::InsertBuffers picture of %d bytes (%dx%d) exceeds the buffer "
                 "payload of %d bytes, dropped",
                 static_cast<int>(size), outWidth, outHeight, static_cast<int>(BufferPayload()));
        return 1;
    }
    const LONG queued = QueueFrame(picture, size, 0, frameInfo1, frameInfo2, frameInfo3);
    if (queued < 0)
        WriteLog("QxvideoDecoder::InsertBuffers no empty buffer now!");
    return 0;
}

LONG QxvideoDecoder::InsertAudioBuf(const BYTE *data, LONG length, LONG frameInfo1,
                                    LONG frameInfo2, LONG frameInfo3)
{
    if (!audioOn)
        return 2;
    if (!decoder || !waveOut)
        return 1;
    if (length <= 0)
        return 0;

    if (audioFormatPending) {
        waveOut->Close();
        waveOut->bitsPerSample = bitsPerSample == 8 ? 8 : 16;
        waveOut->channels = channels == 1 ? 1 : 2;
        waveOut->samplesPerSec = static_cast<DWORD>(sampleRate);
        waveOut->Open(); /* a closed device refuses the writes later */
        audioFormatPending = false;
    }

    unsigned char *outData = const_cast<unsigned char *>(data);
    int outLength = length;
    if (converter &&
        ConvertStdData(converter, const_cast<unsigned char *>(data), length, &outData, &outLength,
                       SOLVANE_KIND_AUDIO) != 0) {
        WriteLog("QXDecodeAudioFrame fail with %d", -1);
        return 1;
    }

    const int r = decoder->QXDecodeAudioFrame(outData, outLength);
    if (r != 0) {
        WriteLog("QXDecodeAudioFrame fail with %d", r);
        return 1;
    }
    const LONG size = decoder->QXGetAudioFrameSize();
    const unsigned char *pcm = decoder->QXGetAudioFrame();
    return InsertAudioBuffers(pcm, size, frameInfo1, frameInfo2, frameInfo3);
}

LONG QxvideoDecoder::InsertAudioBuffers(const unsigned char *pcm, LONG size, LONG frameInfo1,
                                        LONG frameInfo2, LONG frameInfo3)
{
    /* An empty block would be taken for a picture: nothing to queue. */
    if (size == 0)
        return 0;
    if (!decoder || !pcm || size < 0)
        return 1;
    if (size > BufferPayload()) {
        WriteLog("QxvideoDecoder::InsertAudioBuf sound of %d bytes exceeds the buffer payload of "
                 "%d bytes, dropped",
                 static_cast<int>(size), static_cast<int>(BufferPayload()));
        return 1;
    }
    QueueFrame(pcm, size, size, frameInfo1, frameInfo2, frameInfo3); /* dropped silently when stopped */
    return 0;
}

/* 1 queued, -1 no free buffer (the pool is stopped). */
LONG QxvideoDecoder::QueueFrame(const unsigned char *payload, LONG size, LONG audioLength,
                                LONG frameInfo1, LONG frameInfo2, LONG frameInfo3)
{
    /* Holds the client's thread while every buffer is in use. */
    unsigned char *buffer = bufferManager->GetEmptyBuffer();
    if (!buffer)
        return -1;
    /* Grown when the picture is larger than any this buffer carried. */
    buffer = bufferManager->FitBuffer(buffer, sizeof(FrameEntry) + static_cast<size_t>(size));
    if (!buffer) {
        WriteLog("QxvideoDecoder::QueueFrame no memory for a frame of %d bytes, dropped", static_cast<int>(size));
        return -1;
    }
    int outWidth = 0, outHeight = 0;
    decoder->QXGetOutputResolution(outWidth, outHeight);
    const FrameEntry header = {outWidth, outHeight, frameInfo1, frameInfo2, audioLength, frameInfo3};
    CopyIntoEntry(reinterpret_cast<FrameEntry *>(buffer), header, payload, static_cast<size_t>(size),
                  blendFields);
    bufferManager->PutFullBuffer(buffer);
    return 1;
}

LONG QxvideoDecoder::BufferPayload() const
{
    return static_cast<LONG>(FrameEntryCapacity(bufferManager->bufferSize));
}

LONG QxvideoDecoder::CheckWindowSize()
{
    if (!decoder)
        return 1;
    if (GetWindowRect(window, &windowRect)) {
        const LONG newWidth = windowRect.right - windowRect.left;
        const LONG newHeight = windowRect.bottom - windowRect.top;
        if (!WindowSizeFollowed(newWidth, newHeight)) {
            WriteLog("Get window size error: width %d height %d", static_cast<int>(newWidth),
                     static_cast<int>(newHeight));
            return 1;
        }
        if (newWidth != lastWindowWidth || newHeight != lastWindowHeight) {
            WriteLog("Window size change from %dx%d to %dx%d", static_cast<int>(lastWindowWidth),
                     static_cast<int>(lastWindowHeight), static_cast<int>(newWidth),
                     static_cast<int>(newHeight));
            lastWindowWidth = newWidth;
            lastWindowHeight = newHeight;
            SetOutputSize(newWidth, newHeight);
        }
    }

    if (zoomPercent < 0)
        return 0;
    const LONG zoom = zoomPercent;
    zoomPercent = -1;
    if (zoom == 0) {
        SetOutputSize(lastWindowWidth, lastWindowHeight);
        return 0;
    }
    LONG nativeWidth = 0, nativeHeight = 0;
    NativeSize(decoder, &nativeWidth, &nativeHeight);
    const OutputSize zoomed =
        ZoomedOutput(lastWindowWidth, lastWindowHeight, zoom, nativeWidth, nativeHeight);
    SetOutputSize(zoomed.width, zoomed.height);
    return 0;
}

void QxvideoDecoder::FitNativeOutput()
{
    LONG nativeWidth = 0, nativeHeight = 0;
    NativeSize(decoder, &nativeWidth, &nativeHeight);
    const OutputSize want = NativeOutput(nativeWidth, nativeHeight, BufferPayload());
    if (want.width == nativeFitWidth && want.height == nativeFitHeight)
        return;
    nativeFitWidth = want.width;
    nativeFitHeight = want.height;
    if (want.width == 0) {
        decoder->QXSetOutput(_picture_param{nativeWidth, nativeHeight, -1}, 0);
        return;
    }
    NoteOutputFitted(nativeWidth, nativeHeight, want.width, want.height);
    decoder->QXSetOutput(_picture_param{want.width, want.height, 0}, 0);
}

void QxvideoDecoder::NoteOutputFitted(LONG askedWidth, LONG askedHeight, LONG fitWidth,
                                      LONG fitHeight)
{
    if (outputFitLogged)
        return;
    outputFitLogged = true;
    WriteLog("QXSetOutput %dx%d exceeds the buffer payload of %d bytes, using %dx%d",
             static_cast<int>(askedWidth), static_cast<int>(askedHeight),
             static_cast<int>(BufferPayload()), static_cast<int>(fitWidth),
             static_cast<int>(fitHeight));
}

LONG QxvideoDecoder::SetOutputSize(LONG width_, LONG height_)
{
    if (!decoder)
        return 1;
    const OutputSize asked = RoundedOutput(width_, height_);
    const OutputSize output = OutputForSize(width_, height_, BufferPayload());
    if (!OutputFits(asked, BufferPayload()))
        NoteOutputFitted(asked.width, asked.height, output.width, output.height);
    WriteLog("QXSetOutput Picture width %d, Picture height %d", static_cast<int>(output.width),
             static_cast<int>(output.height));
    decoder->QXSetOutput(_picture_param{output.width, output.height, 0}, 0);
    return 0;
}

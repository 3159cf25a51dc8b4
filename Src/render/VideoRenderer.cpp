#include "render/VideoRenderer.h"

#include "pool/CBufferManager.h"
#include "pool/FrameEntry.h"
#include "support/Log.h"

#include <new>

namespace {

/* A timed wait normally ends with the timer; if the timer never fires, the
 * wait still ends this long after the frame was due. */
const DWORD kTimerGrace = 100;

/* While a seek is storing its target the loop waits for it in steps of this
 * many ms, at most this many steps. */
const DWORD kSeekWaitStep = 1;
const int kSeekWaitRounds = 100;

PacingFrame FrameOf(const FrameEntry *entry)
{
    PacingFrame frame = {entry->width,       entry->height,      entry->seconds,
                         entry->milliseconds, entry->audioLength, entry->segmentId};
    return frame;
}

/* Holds a critical section for a scope. */
class Section {
public:
    explicit Section(CRITICAL_SECTION &section) : section_(section) { EnterCriticalSection(&section_); }
    ~Section() { LeaveCriticalSection(&section_); }
    Section(const Section &) = delete;
    Section &operator=(const Section &) = delete;

private:
    CRITICAL_SECTION &section_;
};

}  // namespace

VideoRenderer::VideoRenderer(CBufferManager *frameList_, SoundSink *audioOut_,
                             VideoOutputFactory outputFactory_)
    : pictureWidth(0),
      pictureHeight(0),
      speed(3),
      frameList(frameList_),
      output(nullptr),
      audioOut(audioOut_),
      window(nullptr),
      timer(OnTimer),
      wakeEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      outputMode(0),
      rendererState(RendererIdle),
      outputFactory(outputFactory_),
      pendingSeeks(0),
      timerFired(false)
{
    InitializeCriticalSection(&presentLock);
    InitializeCriticalSection(&outputLock);
}

VideoRenderer::~VideoRenderer()
{
    /* No timer may fire into a closed event. */
    timer.Cancel();
    if (wakeEvent) CloseHandle(wakeEvent);
    wakeEvent = nullptr;
    DeleteCriticalSection(&presentLock);
    {
        /* The owner's Exit released the output; one made afterwards (a mode
         * change after Exit) must not leak. */
        Section guard(outputLock);
        ReleaseOutput();
    }
    DeleteCriticalSection(&outputLock);
    frameList = nullptr;
    audioOut = nullptr;
}

void VideoRenderer::Run()
{
    for (;;) {
        WaitForSingleObject(jobMutex, INFINITE);
        const int32_t state = rendererState.load();
        if (state == RendererIdle) {
            Sleep(10);
            ReleaseMutex(jobMutex);
            continue;
        }
        if (state == RendererExit) {
            ReleaseMutex(jobMutex);
            return;
        }
        unsigned char *buffer = frameList ? frameList->GetFullBuffer() : nullptr;
        if (!buffer) {
            Sleep(2);
            ReleaseMutex(jobMutex);
            continue;
        }
        /* A seek that has just woken the loop stores its target under
         * presentLock; let it, so that this frame already meets its filter.
         * The seek sets the wake event once stored; a wake left over from
         * something else only costs one more round. */
        for (int spin = 0; spin < kSeekWaitRounds && pendingSeeks.load() > 0; ++spin) {
            if (wakeEvent) WaitForSingleObject(wakeEvent, kSeekWaitStep);
            else Sleep(kSeekWaitStep);
        }
        {
            Section guard(presentLock);
            PresentFrame(reinterpret_cast<FrameEntry *>(buffer));
        }
        frameList->PutEmptyBuffer(buffer);
        ReleaseMutex(jobMutex);
    }
}

void VideoRenderer::PresentFrame(FrameEntry *entry)
{
    const PacingFrame frame = FrameOf(entry);
    const int32_t pace = speed.load();
    const PacingDecision decision = pacer.Decide(frame, pace);
    if (decision.action == PacingDiscard && decision.reason == ReasonSeekFilter) return;
    if (frame.width != pictureWidth.load() || frame.height != pictureHeight.load()) {
        pictureWidth = frame.width;
        pictureHeight = frame.height;
    }
    if (decision.action == PacingDiscard) return;
    if (decision.action == PacingWait && !WaitUntilDue(decision.delay, decision.useTimer))
        return;  // stopping: the frame is not presented

    pacer.Presented(frame, pace, decision);
    if (frame.IsSound()) {
        if (static_cast<size_t>(frame.audioLength) <= FrameEntryCapacity(frameList->bufferSize))
            WriteSound(entry->Payload(), frame.audioLength);
        return;
    }
    DrawPicture(entry);
}

void VideoRenderer::DrawPicture(const FrameEntry *entry)
{
    const int width = entry->width;
    const int height = entry->height;
    uint32_t result;
    const Yuv420Planes planes(width, height);
    if (width <= 0 || height <= 0 || !planes.FitsIn(FrameEntryCapacity(frameList->bufferSize))) {
        result = kDrawBadGeometry;
    } else {
        const uint8_t *y = entry->Payload();
        Section guard(outputLock);
        result = output ? output->DrawYUV(y, y + planes.uOffset, y + planes.vOffset, width, height,
                                          width, planes.chromaWidth)
                        : kDrawNoPlane;
    }
    /* A lasting failure would fill the log at the picture rate: the first
     * of a run says it all. */
    const bool repeated = IsLastingDrawFailure(result) && result == lastDrawResult;
    lastDrawResult = result;
    if (result != 0 && !repeated)
        WriteLog("Display err. Call ZR_VO_DrawYUV fail with %x, Width %ld, Height %ld",
                 static_cast<unsigned>(result), static_cast<long>(pictureWidth.load()),
                 static_cast<long>(pictureHeight.load()));
}

bool VideoRenderer::WaitUntilDue(int32_t delay, bool useTimer)
{
    if (!useTimer) {
        Sleep(static_cast<DWORD>(delay));
        return true;
    }
    const DWORD start = GetTickCount();
    timerFired = false;
    /* Without a timer the wait is bounded by the delay itself. */
    const bool armed = timer.Schedule(this, static_cast<DWORD>(delay)) == 0;
    const int32_t limit = armed ? delay + static_cast<int32_t>(kTimerGrace) : delay;
    bool due = true;
    for (;;) {
        if (rendererState.load() != RendererRunning) {
            due = false;
            break;
        }
        if (pendingSeeks.load() > 0 || (armed && timerFired.load()))
            break;
        const int32_t remaining = limit - static_cast<int32_t>(GetTickCount() - start);
        if (remaining <= 0)
            break;
        /* A wake that is none of the above was left over from a seek or a
         * stop that found no wait in progress: keep waiting. */
        WaitForSingleObject(wakeEvent, static_cast<DWORD>(remaining));
    }
    if (armed)
        timer.Cancel();
    return due;
}

void VideoRenderer::WriteSound(const unsigned char *pcm, int32_t length)
{
    if (audioOut)
        audioOut->Write(pcm, length);
}

void VideoRenderer::OnTimer(void *context)
{
    VideoRenderer *renderer = static_cast<VideoRenderer *>(context);
    if (!renderer || !renderer->wakeEvent)
        return;
    renderer->timerFired = true;
    SetEvent(renderer->wakeEvent);
}

void VideoRenderer::WakeLoop()
{
    if (wakeEvent)
        SetEvent(wakeEvent);
}

IVideoOutput *VideoRenderer::MakeOutput(int displayMode)
{
    if (!outputFactory) return nullptr;
    try {
        return outputFactory(displayMode);
    } catch (...) {
        return nullptr;
    }
}

void VideoRenderer::ReleaseOutput()
{
    if (!output)
        return;
    output->Close();
    delete output;
    output = nullptr;
}

int VideoRenderer::BindWindow(HWND newWindow, int displayMode)
{
    Section guard(outputLock);
    if (!output) {
        output = MakeOutput(displayMode);
        if (!output)
            return 1;
    }
    output->SetWindow(newWindow);
    window = newWindow;
    outputMode = displayMode;
    return 0;
}

void VideoRenderer::Start()
{
    WaitForSingleObject(jobMutex, INFINITE);
    if (rendererState.load() != RendererExit) {
        rendererState = RendererRunning;
        Section guard(outputLock);
        if (!output) {
            output = MakeOutput(outputMode);
            if (output)
                output->SetWindow(window);
        }
    }
    ReleaseMutex(jobMutex);
}

void VideoRenderer::Stop()
{
    /* Leave the running state before waiting for the loop, so that a pacing
     * wait in progress gives up instead of being waited out. */
    int32_t running = RendererRunning;
    rendererState.compare_exchange_strong(running, RendererIdle);
    WakeLoop();

    WaitForSingleObject(jobMutex, INFINITE);
    if (rendererState.load() != RendererExit)
        rendererState = RendererIdle;
    {
        Section guard(outputLock);
        ReleaseOutput();
    }
    ReleaseMutex(jobMutex);
}

void VideoRenderer::Exit()
{
    rendererState = RendererExit;
    WakeLoop();

    WaitForSingleObject(jobMutex, INFINITE);
    rendererState = RendererExit;
    pictureWidth = 0;
    pictureHeight = 0;
    {
        Section guard(presentLock);
        pacer.Reset();
    }
    WakeLoop();
    {
        Section guard(outputLock);
        window = nullptr;
        if (output) {
            ReleaseOutput();
            outputMode = 0;
        }
    }
    ReleaseMutex(jobMutex);
}

void VideoRenderer::NotifySeek(int seekA, int seekB)
{
    /* Wake first: the loop holds presentLock for as long as it waits. */
    ++pendingSeeks;
    timer.Cancel();
    WakeLoop();
    {
        Section guard(presentLock);
        pacer.Seek(seekA, seekB);
    }
    /* The loop may be waiting for the target to be stored before it paces
     * its next frame. */
    if (--pendingSeeks == 0) WakeLoop();
}

int VideoRenderer::SetDisplayRegion(int x1, int y1, int x2, int y2)
{
    Section guard(outputLock);
    if (!output)
        return 2;
    const int enable = (x1 != 0 || y1 != 0 || x2 != 0 || y2 != 0) ? 1 : 0;
    return output->SetDisplayRegion(enable, x1, y1, x2, y2) != 0 ? 1 : 0;
}

void VideoRenderer::SetOutputMode(int displayMode)
{
    Section guard(outputLock);
    if (displayMode == outputMode)
        return;
    outputMode = displayMode;
    ReleaseOutput();
    output = MakeOutput(displayMode);
    if (output)
        output->SetWindow(window);
}

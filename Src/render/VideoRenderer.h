/* The presentation stage of a standard-stream decoder: on a thread of its
 * own it takes the decoded pictures and sound out of the decoder's buffer
 * pool in order, holds each until it is due by its time stamp and the
 * playback speed, draws pictures through a video output into the bound
 * window, hands sound to a sound sink (the decoder's wave output) and gives every buffer
 * back. It also carries out seeks, speed changes, zoom and output-mode
 * changes.
 *
 * Locks, always taken in this order: jobMutex (a pass of the loop; Start,
 * Stop, Exit), presentLock (pacing one frame; NotifySeek), outputLock (any
 * use or replacement of the output, including every draw). */
#ifndef KOVA_RENDER_VIDEORENDERER_H
#define KOVA_RENDER_VIDEORENDERER_H

#include "platform/win32.h"
#include "pool/JobThread.h"
#include "render/FramePacing.h"
#include "render/HighResolutionTimer.h"
#include "render/SoundSink.h"
#include "render/VideoOutput.h"

#include <cstdint>

#include <atomic>

class CBufferManager;
struct FrameEntry;

enum RendererState {
    RendererIdle = 0,     // the loop polls and takes no frames
    RendererRunning = 1,  // frames are taken, paced and presented
    RendererExit = 2      // Run returns; never left
};

class VideoRenderer : public BaseJob {
public:
    /* `frameList` and `audioOut` stay the caller's. Outputs come from
     * `outputFactory`. */
    VideoRenderer(CBufferManager *frameList, SoundSink *audioOut,
                  VideoOutputFactory outputFactory = CreateVideoOutput);

    /* The presentation thread's body; returns once Exit was called. */
    void Run() override;
    /* Ends Run at its next pass (a pacing wait in progress is given up),
     * forgets the stream and releases the output. The pool must have
     * stopped running first, or Exit waits for the next filled buffer. */
    void Exit() override;
    ~VideoRenderer() override;

    /* Binds a window, making an output for `displayMode` if there is none:
     * 0 bound, 1 no output could be made. */
    int BindWindow(HWND window, int displayMode);
    /* Starts taking frames, remaking the output a Stop released. */
    void Start();
    /* Stops taking frames (a pacing wait in progress is given up) and
     * releases the output. The pool must have stopped running first. */
    void Stop();
    /* A seek to seekA + seekB seconds: a long wait in progress ends at once;
     * frames before the target (or, going back, after the last picture
     * shown) are then dropped; pacing restarts on the next frame let through.
     * Either value 0 or below and the other too: only the restart. */
    void NotifySeek(int seekA, int seekB);
    /* Shows only a part of the picture, in percent of its size; all four 0
     * show it whole. 2 no output, 0 accepted, 1 refused by the output. */
    int SetDisplayRegion(int x1, int y1, int x2, int y2);
    /* Remakes the output for another display mode; nothing if unchanged. */
    void SetOutputMode(int displayMode);

    /* The timer's callback: wakes the loop out of a long pacing wait. */
    static void OnTimer(void *context);

    RendererState State() const { return static_cast<RendererState>(rendererState.load()); }

    /* Written by the decoder at any time without a lock; read at every frame. */
    std::atomic<int32_t> pictureWidth;   // size of the last picture seen
    std::atomic<int32_t> pictureHeight;
    std::atomic<int32_t> speed;          // 1..5, 3 normal; other values pace as 3

protected:
    /* Hands a sound frame to the wave output. */
    virtual void WriteSound(const unsigned char *pcm, int32_t length);

private:
    void PresentFrame(FrameEntry *entry);
    void DrawPicture(const FrameEntry *entry);
    /* Waits `delay` ms before a frame is let through; false when the wait was
     * given up because the renderer left the running state. */
    bool WaitUntilDue(int32_t delay, bool useTimer);
    /* Wakes a long pacing wait so that the loop notices a state change, or
     * the loop waiting for a seek to store its target. */
    void WakeLoop();
    IVideoOutput *MakeOutput(int displayMode);
    /* Close and delete; under outputLock. */
    void ReleaseOutput();

    CBufferManager *frameList;
    IVideoOutput *output;           // owned; guarded by outputLock
    SoundSink *audioOut;
    FramePacer pacer;               // guarded by presentLock
    HWND window;                    // guarded by outputLock
    CHighResolutionTimer timer;
    HANDLE wakeEvent;               // auto-reset; ends a long pacing wait or a wait for a seek
    int32_t outputMode;             // guarded by outputLock
    CRITICAL_SECTION presentLock;
    std::atomic<int32_t> rendererState;

    CRITICAL_SECTION outputLock;
    VideoOutputFactory outputFactory;
    /* Seeks that have woken the loop and not yet stored their target: a long
     * wait ends while any is pending, and the loop waits for them before it
     * paces the next frame. */
    std::atomic<int32_t> pendingSeeks;
    /* Set by the timer's callback; tells its wake from a stale one. */
    std::atomic<bool> timerFired;
    /* What the last picture's DrawYUV gave; the presentation thread's own. */
    uint32_t lastDrawResult = 0;
};

#endif

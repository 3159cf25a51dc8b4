/* Sound output of one standard-stream decoder on the default wave-out
 * device. Each written block is copied, handed to the device, and freed by
 * a message thread of the object's own when the device has played it. */
#ifndef KOVA_STDSTREAM_CWAVEOUT_H
#define KOVA_STDSTREAM_CWAVEOUT_H

#include "platform/win32.h"
#include "render/SoundSink.h"
#include <mmsystem.h>

#include <atomic>
#include <cstdint>

class CWaveOut : public SoundSink {
public:
    /* The format of the next Open; set by the owner while closed. */
    WORD channels = 1;
    DWORD samplesPerSec = 8000;
    WORD bitsPerSample = 16;
    /* Result of the latest waveOut call; the decoding thread (opening,
     * closing, volume) and the presentation thread (writes) both set it. */
    std::atomic<MMRESULT> lastResult{MMSYSERR_NOERROR};
    /* Read without the lock by Write on the presentation thread. */
    std::atomic<HWAVEOUT> device{nullptr};
    HANDLE messageThread = nullptr;
    DWORD messageThreadId = 0;
    int32_t queued = 0;  // blocks written and not yet returned; guarded by lock
    CRITICAL_SECTION lock;
    int32_t threadRunning = 0;
    std::atomic<int32_t> deviceOpen{0};

    CWaveOut();
    virtual ~CWaveOut();
    CWaveOut(const CWaveOut &) = delete;
    CWaveOut &operator=(const CWaveOut &) = delete;

    /* Starts the message thread and opens the device: 1, or 0 when the
     * object is already started or the device refuses the format. */
    int Open();
    /* Opens the device for the current format at volume 0xE665 on both
     * channels: 1, or 0. */
    int OpenDevice();
    /* Returns the blocks still playing, closes the device and stops the
     * message thread. Always 1. */
    int Close();
    /* Ends the message thread (terminating it after about 500 ms): 1, or
     * 0 when it was not running. */
    int StopThread();
    /* Queues a copy of `length` bytes: 1 when queued or dropped because 11
     * blocks are outstanding, 0 when refused or failed. */
    int Write(const unsigned char *data, int32_t length) override;
    /* 1 with the louder channel's volume (0..0xFFFF) in `out`, or 0 with
     * `out` = 0. */
    int GetVolume(DWORD *out);

private:
    static DWORD WINAPI MessageThreadProc(LPVOID self);
    DWORD MessageLoop();
    bool MessageThreadActive();
    int32_t Outstanding();
    bool CloseDevice();

    HANDLE threadReady = nullptr;  // set once the message thread can take messages
};

#endif

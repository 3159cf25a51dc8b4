#include "stdstream/CWaveOut.h"

#include <cstdlib>
#include <cstring>

namespace {

/* Blocks outstanding on the device beyond which Write drops new ones. */
const int32_t kMaxQueued = 10;
/* Both channels at 0xE665 of 0xFFFF whenever the device opens. */
const DWORD kOpenVolume = 0xE665E665u;
/* StopThread polls the thread's end this often, this many times. */
const DWORD kStopPollMs = 10;
const int kStopPolls = 50;
/* How long Close lets the message thread free the blocks a reset returned. */
const DWORD kReturnWaitMs = 500;
/* Reset-and-close rounds before Close gives up on a device that a racing
 * Write keeps busy. */
const int kCloseAttempts = 3;

void FreeBlock(WAVEHDR *header)
{
    std::free(header->lpData);
    std::free(header);
}

}  // namespace

CWaveOut::CWaveOut()
{
    InitializeCriticalSection(&lock);
}

CWaveOut::~CWaveOut()
{
    // The owner closes first. An object destroyed while started is closed
    // here all the same: its message thread must not outlive it.
    if (deviceOpen || threadRunning) {
        Close();
        if (threadRunning) StopThread();
    }
    device = nullptr;
    messageThread = nullptr;
    DeleteCriticalSection(&lock);
}

DWORD WINAPI CWaveOut::MessageThreadProc(LPVOID self)
{
    return static_cast<CWaveOut *>(self)->MessageLoop();
}

DWORD CWaveOut::MessageLoop()
{
    MSG msg;
    // The thread's message queue exists from its first message call on;
    // Open waits for it, so that no device message is posted into the void.
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(threadReady);

    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        if (msg.message != MM_WOM_DONE) continue;
        auto *header = reinterpret_cast<WAVEHDR *>(msg.lParam);
        waveOutUnprepareHeader(reinterpret_cast<HWAVEOUT>(msg.wParam), header, sizeof(WAVEHDR));
        EnterCriticalSection(&lock);
        --queued;
        LeaveCriticalSection(&lock);
        FreeBlock(header);
    }
    // WM_QUIT's wParam is the thread's exit code.
    return got == 0 ? static_cast<DWORD>(msg.wParam) : 0;
}

int CWaveOut::Open()
{
    if (threadRunning) return 0;
    threadReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!threadReady) return 0;
    messageThread = CreateThread(nullptr, 0, MessageThreadProc, this, 0, &messageThreadId);
    if (!messageThread) {
        CloseHandle(threadReady);
        threadReady = nullptr;
        return 0;
    }
    threadRunning = 1;
    WaitForSingleObject(threadReady, 1000);
    CloseHandle(threadReady);
    threadReady = nullptr;

    if (OpenDevice()) return 1;
    StopThread();
    return 0;
}

int CWaveOut::OpenDevice()
{
    if (deviceOpen) return 0;
    WAVEFORMATEX format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = samplesPerSec;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<WORD>(channels * bitsPerSample / 8);
    format.nAvgBytesPerSec = channels * bitsPerSample * samplesPerSec / 8;
    format.cbSize = 0;

    MMRESULT result = waveOutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY);
    lastResult = result;
    if (result != MMSYSERR_NOERROR) return 0;
    HWAVEOUT opened = nullptr;
    result = waveOutOpen(&opened, WAVE_MAPPER, &format, messageThreadId, 0, CALLBACK_THREAD);
    lastResult = result;
    if (result != MMSYSERR_NOERROR) return 0;
    device = opened;
    waveOutSetVolume(opened, kOpenVolume);
    EnterCriticalSection(&lock);
    queued = 0;
    LeaveCriticalSection(&lock);
    deviceOpen = 1;
    return 1;
}

int CWaveOut::Write(const unsigned char *data, int32_t length)
{
    if (!deviceOpen) return 0;
    if (!data || length <= 0) return 0;
    if (Outstanding() > kMaxQueued) return 1;  // dropped: the device is far enough ahead

    auto *header = static_cast<WAVEHDR *>(std::calloc(1, sizeof(WAVEHDR)));
    auto *copy = static_cast<char *>(std::malloc(static_cast<size_t>(length)));
    if (!header || !copy) {
        std::free(header);
        std::free(copy);
        return 0;
    }
    std::memcpy(copy, data, static_cast<size_t>(length));
    header->lpData = copy;
    header->dwBufferLength = static_cast<DWORD>(length);

    HWAVEOUT target = device;
    MMRESULT result = waveOutPrepareHeader(target, header, sizeof(WAVEHDR));
    lastResult = result;
    if (result != MMSYSERR_NOERROR) {
        FreeBlock(header);
        return 0;
    }
    result = waveOutWrite(target, header, sizeof(WAVEHDR));
    lastResult = result;
    if (result != MMSYSERR_NOERROR) {
        waveOutUnprepareHeader(target, header, sizeof(WAVEHDR));
        FreeBlock(header);
        return 0;
    }
    EnterCriticalSection(&lock);
    ++queued;
    LeaveCriticalSection(&lock);
    return 1;
}

int32_t CWaveOut::Outstanding()
{
    EnterCriticalSection(&lock);
    int32_t n = queued;
    LeaveCriticalSection(&lock);
    return n;
}

bool CWaveOut::MessageThreadActive()
{
    DWORD code = 0;
    return messageThread && GetExitCodeThread(messageThread, &code) && code == STILL_ACTIVE;
}

/* Closing a device that still has blocks fails, and a block that is never
 * returned is never freed. So the blocks are returned first (the device
 * posts MM_WOM_DONE for each), the message thread frees them, and only then
 * is the device closed. */
bool CWaveOut::CloseDevice()
{
    HWAVEOUT target = device;
    MMRESULT result = MMSYSERR_NOERROR;
    for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
        lastResult = waveOutReset(target);
        DWORD start = GetTickCount();
        while (Outstanding() > 0 && MessageThreadActive() && GetTickCount() - start < kReturnWaitMs) Sleep(1);
        result = waveOutClose(target);
        lastResult = result;
        if (result != WAVERR_STILLPLAYING) break;
    }
    if (result != MMSYSERR_NOERROR) return false;
    device = nullptr;
    deviceOpen = 0;
    return true;
}

int CWaveOut::Close()
{
    if (deviceOpen && device && !CloseDevice()) {
        // The device would not close: it stays open, and so does the
        // message thread that frees its blocks; the next Close tries again.
        return 1;
    }
    StopThread();
    return 1;
}

int CWaveOut::StopThread()
{
    if (!threadRunning) return 0;
    if (messageThread) {
        PostThreadMessageA(messageThreadId, WM_QUIT, 0, 0);
        bool ended = false;
        for (int i = 0; i < kStopPolls && !ended; ++i) {
            ended = !MessageThreadActive();
            if (!ended) Sleep(kStopPollMs);
        }
        if (!ended && MessageThreadActive()) TerminateThread(messageThread, 0);
        CloseHandle(messageThread);
        messageThread = nullptr;
    }
    threadRunning = 0;
    return 1;
}

int CWaveOut::GetVolume(DWORD *out)
{
    DWORD value = 0;
    const MMRESULT result = waveOutGetVolume(device, &value);
    lastResult = result;
    if (result != MMSYSERR_NOERROR) {
        if (out) *out = 0;
        return 0;
    }
    WORD left = LOWORD(value);
    WORD right = HIWORD(value);
    if (out) *out = left > right ? left : right;
    return 1;
}

/* A play port: the stream opened on it, its settings, and the player that
 * plays it while it plays.
 *
 * Locks: `lifecycle_` orders the calls that open, play, stop, reset and
 * close (it is held while a stopping player's threads are joined); `lock_`
 * guards the fields and is only ever held briefly. The player's threads
 * take `lock_` (for a settings snapshot) but never `lifecycle_`, so the
 * calls that join them cannot deadlock with them; those calls are refused
 * on the player's own threads (the display callback), which they would
 * have to join. Lock order: lifecycle_, lock_, then the player's queue
 * lock. The display callback runs under `callbackLock_`, so removing it
 * waits for a call in progress. */
#ifndef PLAYM4_PORT_H
#define PLAYM4_PORT_H

#include <atomic>
#include <memory>
#include <mutex>

#include "PlayM4.h"
#include "Display.h"
#include "SourceBuffer.h"

namespace playm4 {

class Player;

/* What an open stream keeps: its source buffer. Shared with callers
 * feeding it, so a close does not free the buffer under a write. */
struct Stream {
    explicit Stream(size_t bufferSize) : buffer(bufferSize) {}
    SourceBuffer buffer;
};

/* The settings the player reads for every item it plays. */
struct Settings {
    HWND window = nullptr;
    Region region;
    int speedExponent = 0;  /* -4 (1/16) .. 4 (16 times) */
    WORD volume = 0xFFFF;
    bool soundShare = false;
};

class Port {
public:
    explicit Port(LONG number);
    ~Port();
    LONG Number() const { return number_; }

    /* The pool: takes the port if it is free. */
    bool TryTake();
    bool Taken() const;

    /* Each returns a PLAYM4_ERR_* code, PLAYM4_ERR_NONE on success. */
    DWORD Free();
    DWORD SetStreamOpenMode(DWORD mode);
    DWORD OpenStream(const BYTE *header, DWORD headerSize, DWORD bufferSize);
    DWORD CloseStream();
    DWORD ResetSourceBuffer();
    DWORD Play(HWND window);
    DWORD Stop();
    DWORD InputData(const BYTE *data, DWORD size);
    DWORD GetPictureSize(LONG *width, LONG *height);
    DWORD SetDisplayCallBack(PLAYM4_DISPLAY_CALLBACK callback);
    DWORD RefreshPlay();
    DWORD SetSoundShare(bool on);
    DWORD SetVolume(WORD volume);
    DWORD SetDisplayRegion(DWORD regionNumber, const RECT *source, BOOL enable);
    DWORD GetPlayedFrames(DWORD *frames);
    DWORD StepSpeed(int step);

    /* The code of the port's latest call. */
    std::atomic<DWORD> lastError{PLAYM4_ERR_NONE};

    /* For the player's threads. */
    Settings Snapshot() const;
    void PictureDecoded(int width, int height);
    void PictureShown() { played_.fetch_add(1, std::memory_order_relaxed); }
    /* Calls the display callback, if one is installed, with a picture. */
    void Display(const uint8_t *yv12, size_t size, int width, int height, LONG stamp);
    bool WantsPictures() const { return callback_.load(std::memory_order_acquire) != nullptr; }

private:
    /* True on one of the port's player threads, also while a Stop joins them. */
    bool OnPlayerThread() const;
    /* Ends the player and the stream; the caller holds lifecycle_. */
    void EndStream();
    /* Takes the player out of the port and joins its threads, outside
     * lock_ (they take it for their settings); the caller holds lifecycle_. */
    void StopPlayer();
    /* Under lock_: PLAYM4_ERR_PORT for a port not taken, PLAYM4_ERR_ORDER
     * without an open stream, else PLAYM4_ERR_NONE. */
    DWORD StreamCheckLocked() const;

    const LONG number_;
    std::mutex lifecycle_;
    mutable std::mutex lock_;
    bool taken_ = false;
    std::shared_ptr<Stream> stream_;
    std::unique_ptr<Player> player_;
    Settings settings_;

    std::atomic<LONG> width_{0};
    std::atomic<LONG> height_{0};
    std::atomic<DWORD> played_{0};

    std::mutex callbackLock_;
    std::atomic<PLAYM4_DISPLAY_CALLBACK> callback_{nullptr};
};

/* The pool of ports; ports live as long as the process. */
Port *PortAt(LONG number);
/* Takes the lowest free port; null when every port is taken. */
Port *TakePort();

}  // namespace playm4

#endif

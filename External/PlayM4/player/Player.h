/* The threads that play an open stream on a port, from PlayM4_Play to
 * PlayM4_Stop.
 *
 * The demultiplexing thread reads the source buffer (PsDemuxer), decodes
 * pictures and sound (VideoDecoder, AudioDecoder) and queues them; it
 * waits while the queues are full, so a stalled display fills the source
 * buffer and the caller sees it refuse data. The presentation thread takes
 * them out when they fall due (Pacer): pictures are drawn (Display) and
 * handed to the display callback, sound is played on the port's wave-out
 * device (SoundOut) while sound share is on.
 *
 * Items carry the generation of the source bytes they came from: a reset
 * of the source buffer drops the queued items of older generations and
 * restarts the timing. */
#ifndef PLAYM4_PLAYER_H
#define PLAYM4_PLAYER_H

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Port.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace playm4 {

class Player {
public:
    static constexpr int kPictures = 8;        /* queued pictures */
    static constexpr int kSoundBlocks = 64;    /* queued sound blocks */
    static constexpr int kSoundBlockSamples = 1024;

    Player(Port &port, std::shared_ptr<Stream> stream);
    ~Player();
    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;

    /* Starts both threads; false when a thread cannot be made. */
    bool Start();
    /* Ends both threads and drops what is queued. */
    void Stop();

    /* The port whose player thread the calling thread is, or null. Set by
     * the threads themselves, so it holds while a Stop joins them, when the
     * port no longer has this player. */
    static const Port *PortOfThisThread();

    /* The settings changed: look at them again now. */
    void Wake();
    /* Draw the last picture again. */
    void RequestRefresh();
    /* The source buffer began generation `generation`: drop older items. */
    void DropBefore(uint64_t generation);

private:
    void FreeFrames();
    /* Under queueLock_: drops every queued picture and sound block. */
    void ClearQueuesLocked();

    struct Picture {
        AVFrame *frame = nullptr;
        int64_t stamp = 0;
        uint64_t generation = 0;
    };
    struct Sound {
        std::array<int16_t, kSoundBlockSamples> samples;
        int count = 0;
        int rate = 0;
        int64_t stamp = 0;
        uint64_t generation = 0;
    };

    void Demultiplex();
    void Present();
    void QueuePicture(AVFrame *frame, int64_t stamp, uint64_t generation);
    void QueueSound(const int16_t *samples, int count, int rate, int64_t stamp, uint64_t generation);
    void WaitForStop(int ms);

    Port &port_;
    std::shared_ptr<Stream> stream_;
    std::thread demultiplexer_;
    std::thread presenter_;
    /* Set by each thread as it begins: the callback may run before the
     * std::thread objects are assigned. */

    std::mutex queueLock_;
    std::condition_variable presentable_;  /* presenter: something to do */
    std::condition_variable space_;        /* demultiplexer: room in a queue */
    bool stopping_ = false;
    bool wake_ = false;
    bool refresh_ = false;
    bool restartTiming_ = false;
    uint64_t oldestGeneration_ = 0;
    std::array<Picture, kPictures> pictures_;
    AVFrame *showing_ = nullptr;  /* the presenter's picture in hand */
    int pictureHead_ = 0, pictureCount_ = 0;
    std::vector<Sound> sounds_;
    int soundHead_ = 0, soundCount_ = 0;
};

}  // namespace playm4

#endif

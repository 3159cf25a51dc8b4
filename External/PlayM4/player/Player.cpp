#include "Player.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "Decoders.h"
#include "Pacer.h"
#include "PsDemuxer.h"
#include "SoundOut.h"

namespace playm4 {

namespace {

/* The presenter looks at its settings at least this often. */
constexpr int64_t kIdleMs = 500;
/* Sound goes to the device this long before it is due, so that the device
 * never runs dry between blocks. */
constexpr int64_t kSoundLeadMs = 80;
/* Sound due longer ago than this is dropped rather than played late. */
constexpr int64_t kSoundLateMs = 500;
/* With no picture for this long the sound keeps the stream's time itself. */
constexpr int64_t kSoundLeadsAfterMs = 2000;
/* Spacing of pictures that come without a time stamp. */
constexpr int64_t kPictureSpacingMs = 40;
/* Pause before the demultiplexer is opened again after a failure. */
constexpr int kRetryMs = 20;

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

AVCodecID PictureCodec(int streamType, AVCodecID guessed)
{
    if (streamType == PLAYM4_STREAM_TYPE_H264)
        return AV_CODEC_ID_H264;
    if (streamType >= 0)
        return AV_CODEC_ID_NONE;  /* named by the map, not played here */
    /* No map: FFmpeg's own look at the payload. */
    return guessed == AV_CODEC_ID_H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_NONE;
}

AVCodecID SoundCodec(int streamType)
{
    switch (streamType) {
    case PLAYM4_STREAM_TYPE_G711_ALAW: return AV_CODEC_ID_PCM_ALAW;
    case PLAYM4_STREAM_TYPE_G711_ULAW: return AV_CODEC_ID_PCM_MULAW;
    default: return AV_CODEC_ID_NONE;
    }
}

/* Which of the elementary streams of a kind the port plays: the first it
 * can decode, and a stream the map names rather than one FFmpeg guessed
 * at (noise makes streams of any id). */
struct StreamChoice {
    int id = -1;
    bool named = false;
    bool changed = false;

    bool Take(const Payload &p, AVCodecID codec)
    {
        changed = false;
        if (codec == AV_CODEC_ID_NONE)
            return false;
        const bool isNamed = p.streamType >= 0;
        if (id < 0 || (isNamed && !named && p.streamId != id)) {
            changed = id >= 0;
            id = p.streamId;
            named = isNamed;
        }
        return p.streamId == id;
    }
};

}  // namespace

Player::Player(Port &port, std::shared_ptr<Stream> stream)
    : port_(port), stream_(std::move(stream)), sounds_(kSoundBlocks)
{
    for (Picture &p : pictures_)
        p.frame = av_frame_alloc();
    showing_ = av_frame_alloc();
    const bool allMade = showing_ && std::all_of(pictures_.begin(), pictures_.end(),
                                                 [](const Picture &p) { return p.frame != nullptr; });
    if (!allMade) {
        FreeFrames();
        throw std::bad_alloc();
    }
}

void Player::FreeFrames()
{
    for (Picture &p : pictures_)
        av_frame_free(&p.frame);
    av_frame_free(&showing_);
}

Player::~Player()
{
    Stop();
    FreeFrames();
}

bool Player::Start()
{
    oldestGeneration_ = stream_->buffer.Generation();
    try {
        demultiplexer_ = std::thread(&Player::Demultiplex, this);
        presenter_ = std::thread(&Player::Present, this);
    } catch (...) {
        Stop();
        return false;
    }
    return true;
}

void Player::Stop()
{
    {
        std::lock_guard<std::mutex> hold(queueLock_);
        stopping_ = true;
    }
    presentable_.notify_all();
    space_.notify_all();
    stream_->buffer.Interrupt();
    if (demultiplexer_.joinable())
        demultiplexer_.join();
    if (presenter_.joinable())
        presenter_.join();
    stream_->buffer.Resume();
    std::lock_guard<std::mutex> hold(queueLock_);
    ClearQueuesLocked();
}

void Player::ClearQueuesLocked()
{
    for (Picture &p : pictures_)
        av_frame_unref(p.frame);
    pictureCount_ = 0;
    soundCount_ = 0;
}

namespace {

thread_local const Port *t_playerPort = nullptr;

}  // namespace

const Port *Player::PortOfThisThread()
{
    return t_playerPort;
}

void Player::Wake()
{
    {
        std::lock_guard<std::mutex> hold(queueLock_);
        wake_ = true;
    }
    presentable_.notify_all();
}

void Player::RequestRefresh()
{
    {
        std::lock_guard<std::mutex> hold(queueLock_);
        refresh_ = true;
        wake_ = true;
    }
    presentable_.notify_all();
}

void Player::DropBefore(uint64_t generation)
{
    {
        std::lock_guard<std::mutex> hold(queueLock_);
        oldestGeneration_ = std::max(oldestGeneration_, generation);
        ClearQueuesLocked();
        restartTiming_ = true;
        wake_ = true;
    }
    space_.notify_all();
    presentable_.notify_all();
}

void Player::WaitForStop(int ms)
{
    std::unique_lock<std::mutex> hold(queueLock_);
    space_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return stopping_; });
}

void Player::QueuePicture(AVFrame *frame, int64_t stamp, uint64_t generation)
{
    {
        std::unique_lock<std::mutex> hold(queueLock_);
        space_.wait(hold, [&] {
            return stopping_ || generation < oldestGeneration_ || pictureCount_ < kPictures;
        });
        if (stopping_ || generation < oldestGeneration_)
            return;
        Picture &slot = pictures_[size_t((pictureHead_ + pictureCount_) % kPictures)];
        av_frame_move_ref(slot.frame, frame);
        slot.stamp = stamp;
        slot.generation = generation;
        ++pictureCount_;
        wake_ = true;
    }
    presentable_.notify_all();
}

void Player::QueueSound(const int16_t *samples, int count, int rate, int64_t stamp, uint64_t generation)
{
    {
        std::unique_lock<std::mutex> hold(queueLock_);
        space_.wait(hold, [&] {
            return stopping_ || generation < oldestGeneration_ || soundCount_ < kSoundBlocks;
        });
        if (stopping_ || generation < oldestGeneration_)
            return;
        Sound &slot = sounds_[size_t((soundHead_ + soundCount_) % kSoundBlocks)];
        std::memcpy(slot.samples.data(), samples, size_t(count) * sizeof(int16_t));
        slot.count = count;
        slot.rate = rate;
        slot.stamp = stamp;
        slot.generation = generation;
        ++soundCount_;
        wake_ = true;
    }
    presentable_.notify_all();
}

void Player::Demultiplex()
{
    t_playerPort = &port_;
    PsDemuxer demuxer(stream_->buffer);
    VideoDecoder pictures;
    AudioDecoder sound;
    int64_t lastPictureStamp = kNoStamp;
    int64_t nextSoundStamp = kNoStamp;
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(queueLock_);
            if (stopping_)
                break;
        }
        if (!demuxer.Open()) {
            /* Stopped, reset while opening, or out of memory. */
            WaitForStop(kRetryMs);
            continue;
        }
        const uint64_t generation = demuxer.Generation();
        StreamChoice pictureStream, soundStream;
        PsDemuxer::Result result;
        Payload p;
        while ((result = demuxer.Next(&p)) == PsDemuxer::Result::Payload) {
            if (p.streamId >= 0xE0) {
                const AVCodecID codec = PictureCodec(p.streamType, p.guessed);
                if (!pictureStream.Take(p, codec))
                    continue;
                if (pictureStream.changed)
                    pictures.Close();
                if (pictures.Codec() != codec && !pictures.Open(codec))
                    continue;
                pictures.Decode(p.data, p.size, p.stamp, [&](AVFrame *frame, int64_t stamp) {
                    if (stamp == kNoStamp)
                        stamp = lastPictureStamp == kNoStamp ? 0 : lastPictureStamp + kPictureSpacingMs;
                    lastPictureStamp = stamp;
                    port_.PictureDecoded(frame->width, frame->height);
                    QueuePicture(frame, stamp, generation);
                });
            } else {
                const AVCodecID codec = SoundCodec(p.streamType);
                if (!soundStream.Take(p, codec))
                    continue;
                if (soundStream.changed)
                    sound.Close();
                if (sound.Codec() != codec && !sound.Open(codec))
                    continue;
                int64_t stamp = p.stamp != kNoStamp ? p.stamp : nextSoundStamp;
                if (stamp == kNoStamp)
                    stamp = lastPictureStamp == kNoStamp ? 0 : lastPictureStamp;
                sound.Decode(p.data, p.size, [&](const int16_t *samples, int count, int rate) {
                    if (rate <= 0)
                        return;
                    for (int at = 0; at < count; at += kSoundBlockSamples) {
                        const int n = std::min(count - at, int(kSoundBlockSamples));
                        QueueSound(samples + at, n, rate, stamp + int64_t(at) * 1000 / rate, generation);
                    }
                    stamp += int64_t(count) * 1000 / rate;
                    nextSoundStamp = stamp;
                });
            }
        }
        /* The source was reset, or stopped: what the decoders hold of the
         * old bytes goes. */
        pictures.Flush();
        demuxer.Close();
        if (result == PsDemuxer::Result::Interrupted)
            break;
        if (result == PsDemuxer::Result::Failed)
            WaitForStop(kRetryMs);
    }
}

void Player::Present()
{
    t_playerPort = &port_;
    playm4::Display display;
    SoundOut sound;
    Yv12Packer packer;
    Pacer pacer;
    AVFrame *showing = showing_;
    std::vector<int16_t> block(kSoundBlockSamples);
    int64_t lastPictureTick = INT64_MIN / 2;
    for (;;) {
        const Settings settings = port_.Snapshot();
        const int64_t now = NowMs();
        int64_t waitMs = kIdleMs;
        bool refresh;
        {
            std::lock_guard<std::mutex> hold(queueLock_);
            if (stopping_)
                break;
            if (restartTiming_) {
                pacer.Reset();
                restartTiming_ = false;
            }
            refresh = refresh_;
            refresh_ = false;
        }
        if (settings.speedExponent != pacer.SpeedExponent())
            pacer.SetSpeed(settings.speedExponent, now);
        /* Sound plays at normal speed only. */
        const bool soundWanted = settings.soundShare && settings.speedExponent == 0;
        if (!soundWanted && sound.IsOpen())
            sound.Close();
        if (refresh)
            display.Redraw(settings.window, settings.region);

        for (;;) {
            int count, rate;
            int64_t due;
            {
                std::lock_guard<std::mutex> hold(queueLock_);
                if (soundCount_ == 0)
                    break;
                const Sound &head = sounds_[size_t(soundHead_)];
                due = pacer.Due(head.stamp, now);
                /* Without pictures a block due long ago (the source
                 * stalled) or far ahead (its stamps jumped) re-anchors
                 * the stream on itself, as a picture would. */
                if ((now - due > Pacer::kMaxLateMs || due - now > Pacer::kMaxEarlyMs) && pictureCount_ == 0 &&
                    now - lastPictureTick > kSoundLeadsAfterMs) {
                    pacer.Decide(head.stamp, now);
                    due = now;
                }
                /* Sound stamped far ahead of the pictures would hold the
                 * queue, and the demultiplexer with it: dropped. */
                const bool farAhead = due - now > Pacer::kMaxEarlyMs;
                if (due - now > kSoundLeadMs && !farAhead) {
                    waitMs = std::min(waitMs, due - now - kSoundLeadMs);
                    break;
                }
                count = head.count;
                rate = head.rate;
                std::copy(head.samples.begin(), head.samples.begin() + count, block.begin());
                soundHead_ = (soundHead_ + 1) % kSoundBlocks;
                --soundCount_;
            }
            space_.notify_all();
            if (soundWanted && now - due <= kSoundLateMs && due - now <= kSoundLeadMs)
                sound.Play(block.data(), count, rate, settings.volume);
        }

        bool show = false;
        int64_t stamp = 0;
        {
            std::lock_guard<std::mutex> hold(queueLock_);
            if (pictureCount_ > 0) {
                Picture &head = pictures_[size_t(pictureHead_)];
                const Pacer::Decision decision = pacer.Decide(head.stamp, now);
                if (decision.show) {
                    lastPictureTick = now;
                    av_frame_move_ref(showing, head.frame);
                    stamp = head.stamp;
                    pictureHead_ = (pictureHead_ + 1) % kPictures;
                    --pictureCount_;
                    show = true;
                } else {
                    waitMs = std::min(waitMs, decision.waitMs);
                }
            }
        }
        if (show) {
            space_.notify_all();
            if (display.Show(showing, settings.window, settings.region)) {
                if (port_.WantsPictures()) {
                    size_t size = 0;
                    if (const uint8_t *picture = packer.Pack(showing, &size))
                        port_.Display(picture, size, showing->width, showing->height, LONG(stamp));
                }
                port_.PictureShown();
            }
            av_frame_unref(showing);
            continue;
        }

        std::unique_lock<std::mutex> hold(queueLock_);
        presentable_.wait_for(hold, std::chrono::milliseconds(std::max<int64_t>(waitMs, 1)),
                              [&] { return stopping_ || wake_; });
        wake_ = false;
    }
    sound.Close();
    av_frame_unref(showing);
}

}  // namespace playm4

#include "Port.h"

#include <algorithm>
#include <new>

#include "Player.h"
#include "StreamHeader.h"

namespace playm4 {

namespace {

constexpr int kSlowest = -4;  /* 1/16 */
constexpr int kFastest = 4;   /* 16 times */

}  // namespace

Port::Port(LONG number) : number_(number) {}

Port::~Port() = default;

bool Port::TryTake()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (taken_)
            return false;
        taken_ = true;
        settings_ = Settings();
        lastError = PLAYM4_ERR_NONE;
    }
    /* A callback set while the previous owner freed the port is not the
     * new owner's. (No player runs on the port yet.) */
    std::lock_guard<std::mutex> callback(callbackLock_);
    callback_ = nullptr;
    return true;
}

bool Port::Taken() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return taken_;
}

bool Port::OnPlayerThread() const
{
    return Player::PortOfThisThread() == this;
}

void Port::StopPlayer()
{
    std::unique_ptr<Player> player;
    {
        std::lock_guard<std::mutex> hold(lock_);
        player = std::move(player_);
    }
    if (player)
        player->Stop();
}

void Port::EndStream()
{
    StopPlayer();
    std::lock_guard<std::mutex> hold(lock_);
    stream_.reset();
}

DWORD Port::StreamCheckLocked() const
{
    if (!taken_)
        return PLAYM4_ERR_PORT;
    return stream_ ? PLAYM4_ERR_NONE : PLAYM4_ERR_ORDER;
}

DWORD Port::Free()
{
    if (OnPlayerThread())
        return PLAYM4_ERR_ORDER;
    std::lock_guard<std::mutex> order(lifecycle_);
    if (!Taken())
        return PLAYM4_ERR_PORT;
    EndStream();
    {
        /* No player thread is left to be inside the callback. */
        std::lock_guard<std::mutex> hold(callbackLock_);
        callback_ = nullptr;
    }
    std::lock_guard<std::mutex> hold(lock_);
    settings_ = Settings();
    taken_ = false;
    return PLAYM4_ERR_NONE;
}

DWORD Port::SetStreamOpenMode(DWORD mode)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!taken_)
        return PLAYM4_ERR_PORT;
    if (mode != PLAYM4_STREAM_REALTIME)
        return PLAYM4_ERR_ARGUMENT;
    if (stream_)
        return PLAYM4_ERR_ORDER;
    return PLAYM4_ERR_NONE;
}

DWORD Port::OpenStream(const BYTE *header, DWORD headerSize, DWORD bufferSize)
{
    if (OnPlayerThread())
        return PLAYM4_ERR_ORDER;
    std::lock_guard<std::mutex> order(lifecycle_);
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!taken_)
            return PLAYM4_ERR_PORT;
        if (stream_)
            return PLAYM4_ERR_ORDER;
    }
    StreamHeader described;
    const DWORD checked = CheckStreamHeader(header, headerSize, &described);
    if (checked != PLAYM4_ERR_NONE)
        return checked;
    if (bufferSize < PLAYM4_SOURCE_BUFFER_MIN || bufferSize > PLAYM4_SOURCE_BUFFER_MAX)
        return PLAYM4_ERR_ARGUMENT;
    std::shared_ptr<Stream> stream;
    try {
        stream = std::make_shared<Stream>(bufferSize);
    } catch (const std::bad_alloc &) {
        return PLAYM4_ERR_MEMORY;
    }
    std::lock_guard<std::mutex> hold(lock_);
    stream_ = std::move(stream);
    width_ = described.width;
    height_ = described.height;
    played_ = 0;
    return PLAYM4_ERR_NONE;
}

DWORD Port::CloseStream()
{
    if (OnPlayerThread())
        return PLAYM4_ERR_ORDER;
    std::lock_guard<std::mutex> order(lifecycle_);
    {
        std::lock_guard<std::mutex> hold(lock_);
        const DWORD checked = StreamCheckLocked();
        if (checked != PLAYM4_ERR_NONE)
            return checked;
    }
    EndStream();
    return PLAYM4_ERR_NONE;
}

DWORD Port::ResetSourceBuffer()
{
    if (OnPlayerThread())
        return PLAYM4_ERR_ORDER;
    std::lock_guard<std::mutex> order(lifecycle_);
    std::lock_guard<std::mutex> hold(lock_);
    const DWORD checked = StreamCheckLocked();
    if (checked != PLAYM4_ERR_NONE)
        return checked;
    stream_->buffer.Reset();
    if (player_)
        player_->DropBefore(stream_->buffer.Generation());
    return PLAYM4_ERR_NONE;
}

DWORD Port::Play(HWND window)
{
    if (OnPlayerThread())
        return PLAYM4_ERR_ORDER;
    std::lock_guard<std::mutex> order(lifecycle_);
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard<std::mutex> hold(lock_);
        const DWORD checked = StreamCheckLocked();
        if (checked != PLAYM4_ERR_NONE)
            return checked;
        settings_.window = window;
        if (player_) {
            /* Playing already: only the window changes. */
            player_->RequestRefresh();
            return PLAYM4_ERR_NONE;
        }
        stream = stream_;
    }
    std::unique_ptr<Player> player;
    try {
        player.reset(new Player(*this, stream));
    } catch (const std::bad_alloc &) {
        return PLAYM4_ERR_MEMORY;
    }
    Player *started = player.get();
    {
        std::lock_guard<std::mutex> hold(lock_);
        player_ = std::move(player);
    }
    if (!started->Start()) {
        std::lock_guard<std::mutex> hold(lock_);
        player_.reset();
        return PLAYM4_ERR_MEMORY;
    }
    return PLAYM4_ERR_NONE;
}

DWORD Port::Stop()
{
    if (OnPlayerThread())
        return PLAYM4_ERR_ORDER;
    std::lock_guard<std::mutex> order(lifecycle_);
    if (!Taken())
        return PLAYM4_ERR_PORT;
    StopPlayer();
    return PLAYM4_ERR_NONE;
}

DWORD Port::InputData(const BYTE *data, DWORD size)
{
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard<std::mutex> hold(lock_);
        const DWORD checked = StreamCheckLocked();
        if (checked != PLAYM4_ERR_NONE)
            return checked;
        stream = stream_;
    }
    if (size == 0)
        return PLAYM4_ERR_NONE;
    if (!data)
        return PLAYM4_ERR_ARGUMENT;
    switch (stream->buffer.Write(data, size)) {
    case SourceBuffer::Put::Taken: return PLAYM4_ERR_NONE;
    case SourceBuffer::Put::Full: return PLAYM4_ERR_BUFFER_FULL;
    case SourceBuffer::Put::TooLarge: break;
    }
    return PLAYM4_ERR_ARGUMENT;
}

DWORD Port::GetPictureSize(LONG *width, LONG *height)
{
    if (!width || !height)
        return Taken() ? PLAYM4_ERR_ARGUMENT : PLAYM4_ERR_PORT;
    std::lock_guard<std::mutex> hold(lock_);
    const DWORD checked = StreamCheckLocked();
    if (checked != PLAYM4_ERR_NONE)
        return checked;
    *width = width_;
    *height = height_;
    return PLAYM4_ERR_NONE;
}

DWORD Port::SetDisplayCallBack(PLAYM4_DISPLAY_CALLBACK callback)
{
    if (!Taken())
        return PLAYM4_ERR_PORT;
    /* Inside the callback the lock is held by this very thread. */
    if (OnPlayerThread()) {
        callback_ = callback;
        return PLAYM4_ERR_NONE;
    }
    std::lock_guard<std::mutex> hold(callbackLock_);
    callback_ = callback;
    return PLAYM4_ERR_NONE;
}

void Port::Display(const uint8_t *yv12, size_t size, int width, int height, LONG stamp)
{
    std::lock_guard<std::mutex> hold(callbackLock_);
    const PLAYM4_DISPLAY_CALLBACK callback = callback_.load();
    if (!callback)
        return;
    try {
        callback(number_, reinterpret_cast<char *>(const_cast<uint8_t *>(yv12)), LONG(size), width, height, stamp,
                 PLAYM4_PICTURE_YV12, 0);
    } catch (...) {
        /* The caller's fault must not end the player's thread. */
    }
}

DWORD Port::RefreshPlay()
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!taken_)
        return PLAYM4_ERR_PORT;
    if (!player_)
        return PLAYM4_ERR_ORDER;
    player_->RequestRefresh();
    return PLAYM4_ERR_NONE;
}

DWORD Port::SetSoundShare(bool on)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!taken_)
        return PLAYM4_ERR_PORT;
    settings_.soundShare = on;
    if (player_)
        player_->Wake();
    return PLAYM4_ERR_NONE;
}

DWORD Port::SetVolume(WORD volume)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!taken_)
        return PLAYM4_ERR_PORT;
    settings_.volume = volume;
    return PLAYM4_ERR_NONE;
}

DWORD Port::SetDisplayRegion(DWORD regionNumber, const RECT *source, BOOL enable)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!taken_)
        return PLAYM4_ERR_PORT;
    if (regionNumber != 0)
        return PLAYM4_ERR_ARGUMENT;
    Region region;
    if (enable && source) {
        region.whole = false;
        region.left = std::min(source->left, source->right);
        region.right = std::max(source->left, source->right);
        region.top = std::min(source->top, source->bottom);
        region.bottom = std::max(source->top, source->bottom);
        if (region.left == region.right || region.top == region.bottom)
            return PLAYM4_ERR_ARGUMENT;
    }
    settings_.region = region;
    /* Shown at once, also while no new picture comes. */
    if (player_)
        player_->RequestRefresh();
    return PLAYM4_ERR_NONE;
}

DWORD Port::GetPlayedFrames(DWORD *frames)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!taken_)
        return PLAYM4_ERR_PORT;
    *frames = played_.load(std::memory_order_relaxed);
    return PLAYM4_ERR_NONE;
}

DWORD Port::StepSpeed(int step)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!taken_)
        return PLAYM4_ERR_PORT;
    const int speed = settings_.speedExponent + step;
    if (speed < kSlowest || speed > kFastest)
        return PLAYM4_ERR_ORDER;
    settings_.speedExponent = speed;
    if (player_)
        player_->Wake();
    return PLAYM4_ERR_NONE;
}

Settings Port::Snapshot() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return settings_;
}

void Port::PictureDecoded(int width, int height)
{
    width_.store(width, std::memory_order_relaxed);
    height_.store(height, std::memory_order_relaxed);
}

namespace {

Port **Pool()
{
    /* Never destroyed: a host may leave with ports playing, and their
     * threads must not meet destroyed ports on the way out. */
    static Port **pool = [] {
        Port **ports = new Port *[PLAYM4_MAX_PORTS];
        for (LONG i = 0; i < PLAYM4_MAX_PORTS; ++i)
            ports[i] = new Port(i);
        return ports;
    }();
    return pool;
}

}  // namespace

Port *PortAt(LONG number)
{
    if (number < 0 || number >= PLAYM4_MAX_PORTS)
        return nullptr;
    return Pool()[number];
}

Port *TakePort()
{
    for (LONG i = 0; i < PLAYM4_MAX_PORTS; ++i)
        if (Pool()[i]->TryTake())
            return Pool()[i];
    return nullptr;
}

}  // namespace playm4

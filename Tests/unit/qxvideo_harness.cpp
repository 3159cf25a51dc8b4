#include "qxvideo_harness.h"

#include <map>

#include "TestWindow.h"

namespace qxtest {

namespace {

const char kWindowClass[] = "KovaDecoderTestPane";

}  // namespace

Window::Window(int width, int height, int x, int y)
{
    handle_ = kova_test::MakePopup(kWindowClass, x, y, width, height, nullptr, "pane");
    EXPECT_NE(handle_, nullptr);
}

Window::~Window()
{
    if (handle_)
        DestroyWindow(handle_);
}

void Window::Resize(int width, int height)
{
    RECT r;
    GetWindowRect(handle_, &r);
    MoveWindow(handle_, r.left, r.top, width, height, TRUE);
}

Player::Player(int windowWidth, int windowHeight, LONG streamType, LONG deviceCode,
               LONG displayMode)
    : window(windowWidth, windowHeight), decoder(new QxvideoDecoder(screen.Factory()))
{
    decoder->deviceCode = deviceCode;
    decoder->streamType = streamType;
    if (displayMode != 0)
        decoder->SetDisplayMode(displayMode);
    EXPECT_EQ(decoder->InitPlay(window.handle(), 0, 0, streamType), 0);
    EXPECT_EQ(decoder->Start(), 0);
    /* As fast as the stream allows: pictures 10 ms apart. */
    decoder->SetSpeed(5);
}

Player::~Player()
{
    if (decoder)
        decoder->ShutDown();
    decoder.reset();
}

int Player::Feed(const std::vector<media::Bytes> &packets, LONG width, LONG height, LONG type,
                 int first, bool timed)
{
    int accepted = 0;
    int k = first;
    for (const media::Bytes &packet : packets) {
        const int ms = timed ? 10000 + 40 * k++ : 0;
        accepted += decoder->InsertBuf(packet.data(), static_cast<LONG>(packet.size()), width,
                                       height, type, ms / 1000, ms % 1000, 0) == 0;
    }
    return accepted;
}

int Player::FeedSound(const std::vector<media::Bytes> &packets, int ms, int first)
{
    int accepted = 0;
    int k = first;
    for (const media::Bytes &packet : packets) {
        const int at = 10000 + ms * k++;
        accepted += decoder->InsertAudioBuf(packet.data(), static_cast<LONG>(packet.size()),
                                            at / 1000, at % 1000, 0) == 0;
    }
    return accepted;
}

std::vector<media::Bytes> QuadrantPackets(const std::string &codec, int width, int height, int frames)
{
    static std::mutex lock;
    static std::map<std::string, std::vector<media::Bytes>> made;
    const std::string key = codec + std::to_string(width) + "x" + std::to_string(height) + "/" +
                            std::to_string(frames);
    std::lock_guard<std::mutex> hold(lock);
    auto found = made.find(key);
    if (found != made.end())
        return found->second;
    const std::string path = media::MakeQuadrants(codec, width, height, frames);
    std::vector<media::Bytes> packets = path.empty() ? std::vector<media::Bytes>() : media::VideoPackets(path);
    made[key] = packets;
    return packets;
}

}  // namespace qxtest

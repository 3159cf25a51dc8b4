// The standard-stream decoder over the real decoding library and real
// sample streams, with recording outputs in place of DirectDraw: what the
// renderer draws is kept (size and the colour at the quadrant centres), and
// every log line is collected.
#ifndef KOVA_TESTS_QXVIDEO_HARNESS_H
#define KOVA_TESTS_QXVIDEO_HARNESS_H

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Media.h"
#include "LogCapture.h"
#include "platform/win32.h"
#include "render/VideoOutput.h"
#include "stdstream/QxvideoDecoder.h"

namespace qxtest {

/* One sample of a picture: luma and chroma at a point. */
struct Yuv {
    int y, u, v;
};

/* What a recording output saw of one picture. */
struct Picture {
    int width, height;
    Yuv topLeft, topRight, bottomLeft, bottomRight;
};

/* The quadrant colours of the sample streams in video-range BT.601. */
const Yuv kRed = {81, 90, 240};
const Yuv kWhite = {235, 128, 128};
const Yuv kBlack = {16, 128, 128};
const Yuv kBlue = {41, 240, 110};

inline bool Near(const Yuv &got, const Yuv &want, int tolerance = 14)
{
    return std::abs(got.y - want.y) <= tolerance && std::abs(got.u - want.u) <= tolerance &&
           std::abs(got.v - want.v) <= tolerance;
}

/* True when a picture shows the four quadrants. */
inline bool ShowsQuadrants(const Picture &p)
{
    return Near(p.topLeft, kRed) && Near(p.topRight, kWhite) && Near(p.bottomLeft, kBlack) &&
           Near(p.bottomRight, kBlue);
}

/* Everything every output of one decoder recorded. */
class Screen {
public:
    VideoOutputFactory Factory()
    {
        return [this](int mode) -> IVideoOutput * { return new Output(*this, mode); };
    }

    std::vector<Picture> Pictures()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return pictures_;
    }
    /* Display modes of the outputs made, in order. */
    std::vector<int> Modes()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return modes_;
    }
    std::vector<std::string> Regions()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return regions_;
    }
    /* Waits until at least `count` pictures were drawn. */
    bool WaitForPictures(size_t count, int ms = 5000)
    {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::milliseconds(ms),
                                 [&] { return pictures_.size() >= count; });
    }
    void Clear()
    {
        std::lock_guard<std::mutex> hold(lock_);
        pictures_.clear();
    }

private:
    class Output : public IVideoOutput {
    public:
        Output(Screen &screen, int mode) : screen_(screen)
        {
            std::lock_guard<std::mutex> hold(screen_.lock_);
            screen_.modes_.push_back(mode);
        }
        void SetWindow(HWND) override {}
        uint32_t DrawYUV(const uint8_t *y, const uint8_t *u, const uint8_t *v, int width, int height,
                         int lumaPitch, int chromaPitch) override
        {
            auto at = [&](int px, int py) {
                return Yuv{y[py * lumaPitch + px], u[(py / 2) * chromaPitch + px / 2],
                           v[(py / 2) * chromaPitch + px / 2]};
            };
            const Picture picture = {width, height, at(width / 4, height / 4),
                                     at(3 * width / 4, height / 4), at(width / 4, 3 * height / 4),
                                     at(3 * width / 4, 3 * height / 4)};
            std::lock_guard<std::mutex> hold(screen_.lock_);
            screen_.pictures_.push_back(picture);
            screen_.changed_.notify_all();
            return 0;
        }
        int SetDisplayRegion(int enable, int x1, int y1, int x2, int y2) override
        {
            std::lock_guard<std::mutex> hold(screen_.lock_);
            screen_.regions_.push_back(std::to_string(enable) + " " + std::to_string(x1) + "," +
                                       std::to_string(y1) + "," + std::to_string(x2) + "," +
                                       std::to_string(y2));
            return 0;
        }
        void Close() override {}

    private:
        Screen &screen_;
    };

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Picture> pictures_;
    std::vector<int> modes_;
    std::vector<std::string> regions_;
};

/* Collects every line handed to WriteLog while it lives. */
class LogLines : public kova_test::LogCapture {
public:
    std::vector<std::string> All() const { return Lines(); }
};

/* A top-level window without a frame, so that its window rectangle is the
 * size asked for. */
class Window {
public:
    Window(int width, int height, int x = 0, int y = 0);
    ~Window();
    HWND handle() const { return handle_; }
    void Resize(int width, int height);

private:
    HWND handle_;
};

/* A decoder with recording outputs, bound to a window and started. */
class Player {
public:
    Player(int windowWidth, int windowHeight, LONG streamType, LONG deviceCode = 0,
           LONG displayMode = 0);
    ~Player();

    /* Feeds video packets; returns how many InsertBuf accepted (result
     * 0). Untimed packets (0 s 0 ms) are shown as soon as they come, so
     * that a slow machine drops none as late; timed ones are stamped 40 ms
     * apart from number `first` on. */
    int Feed(const std::vector<media::Bytes> &packets, LONG width, LONG height, LONG type,
             int first = 0, bool timed = false);
    /* Feeds sound packets of `ms` milliseconds each with their time stamps. */
    int FeedSound(const std::vector<media::Bytes> &packets, int ms, int first = 0);

    Screen screen;
    Window window;
    std::unique_ptr<QxvideoDecoder> decoder;
};

/* Packets of a quadrant stream, made once per process and size. */
std::vector<media::Bytes> QuadrantPackets(const std::string &codec, int width, int height,
                                          int frames = 12);

}  // namespace qxtest

#endif

// A renderer on a real pool and its own thread, with scripted outputs that
// record what is drawn and when, and fail or block on demand.
#ifndef KOVA_TESTS_RENDERER_HARNESS_H
#define KOVA_TESTS_RENDERER_HARNESS_H

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/VideoRenderer.h"
#include "pool/CBufferManager.h"
#include "pool/FrameEntry.h"

namespace rendertest {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point from, Clock::time_point to = Clock::now())
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Draw {
    Clock::time_point when;
    int output;
    int frameId;  // the id written into the picture's first luma bytes
    int width;
    int height;
};

struct Played {
    Clock::time_point when;
    int frameId;
    int32_t length;
};

/* Everything the outputs and the renderer's sound see, shared by all outputs
 * a renderer makes; outlives them. */
class Script {
public:
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Draw> draws;
    std::vector<Played> played;
    std::vector<std::string> events;  // "make 1 mode 0", "window 1", "close 1", "delete 1", ...
    uint32_t drawResult = 0;
    int regionResult = 0;
    bool failMake = false;
    bool blockDraws = false;  // DrawYUV waits while set
    int drawsBlocked = 0;     // draws now waiting
    int made = 0;
    int inCall = 0;           // output calls in progress, over all outputs
    bool overlapped = false;  // two output calls ran at once
    bool usedAfterClose = false;

    VideoOutputFactory Factory();

    void Release()
    {
        std::lock_guard<std::mutex> hold(lock);
        blockDraws = false;
        changed.notify_all();
    }

    /* Waits until `done` holds (checked under the lock) or `ms` pass. */
    template <typename Predicate>
    bool WaitFor(Predicate done, int ms = 3000)
    {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, std::chrono::milliseconds(ms), [&] { return done(); });
    }

    size_t DrawCount()
    {
        std::lock_guard<std::mutex> hold(lock);
        return draws.size();
    }

    std::vector<Draw> Draws()
    {
        std::lock_guard<std::mutex> hold(lock);
        return draws;
    }

    std::vector<std::string> Events()
    {
        std::lock_guard<std::mutex> hold(lock);
        return events;
    }

    void Note(const std::string &event)
    {
        std::lock_guard<std::mutex> hold(lock);
        events.push_back(event);
        changed.notify_all();
    }
};

class ScriptedOutput : public IVideoOutput {
public:
    ScriptedOutput(Script &script, int id, int mode) : script_(script), id_(id), mode_(mode) {}

    ~ScriptedOutput() override
    {
        closed_ = false;  // deleting after Close is the rule, not a use
        Call call(*this);
        script_.events.push_back("delete " + std::to_string(id_));
    }

    void SetWindow(HWND window) override
    {
        Call call(*this);
        char text[64];
        snprintf(text, sizeof text, "window %d %p", id_, static_cast<void *>(window));
        script_.events.push_back(text);
    }

    uint32_t DrawYUV(const uint8_t *y, const uint8_t *u, const uint8_t *v, int width, int height,
                     int lumaPitch, int chromaPitch) override
    {
        std::unique_lock<std::mutex> hold(script_.lock);
        Enter();
        const Clock::time_point when = Clock::now();
        int frameId = -1;
        if (y && width * height >= 4)
            memcpy(&frameId, y, sizeof frameId);
        // The plane layout the renderer promises for its pool buffers.
        EXPECT_EQ(y + width * height, u);
        EXPECT_EQ(y + (5 * width * height) / 4, v);
        EXPECT_EQ(width, lumaPitch);
        EXPECT_EQ(width / 2, chromaPitch);
        script_.draws.push_back({when, id_, frameId, width, height});
        ++script_.drawsBlocked;
        script_.changed.notify_all();
        script_.changed.wait(hold, [&] { return !script_.blockDraws; });
        --script_.drawsBlocked;
        script_.events.push_back("drawn " + std::to_string(id_));
        Leave();
        return script_.drawResult;
    }

    int SetDisplayRegion(int enable, int x1, int y1, int x2, int y2) override
    {
        Call call(*this);
        char text[96];
        snprintf(text, sizeof text, "region %d %d %d %d %d %d", id_, enable, x1, y1, x2, y2);
        script_.events.push_back(text);
        return script_.regionResult;
    }

    void Close() override
    {
        Call call(*this);
        script_.events.push_back("close " + std::to_string(id_));
        closed_ = true;
    }

    int Mode() const { return mode_; }

private:
    /* Holds the script's lock for one call and checks that calls never
     * overlap and never follow Close. */
    class Call {
    public:
        explicit Call(ScriptedOutput &output) : output_(output), hold_(output.script_.lock)
        {
            output_.Enter();
        }
        ~Call()
        {
            output_.Leave();
            output_.script_.changed.notify_all();
        }

    private:
        ScriptedOutput &output_;
        std::lock_guard<std::mutex> hold_;
    };

    void Enter()
    {
        if (script_.inCall++ != 0)
            script_.overlapped = true;
        if (closed_)
            script_.usedAfterClose = true;
    }
    void Leave() { --script_.inCall; }

    Script &script_;
    const int id_;
    const int mode_;
    bool closed_ = false;
};

inline VideoOutputFactory Script::Factory()
{
    return [this](int mode) -> IVideoOutput * {
        std::lock_guard<std::mutex> hold(lock);
        if (failMake)
            return nullptr;
        ++made;
        events.push_back("make " + std::to_string(made) + " mode " + std::to_string(mode));
        return new ScriptedOutput(*this, made, mode);
    };
}

/* Records sound instead of playing it. */
class RecordingRenderer : public VideoRenderer {
public:
    RecordingRenderer(CBufferManager *pool, Script &script)
        : VideoRenderer(pool, nullptr, script.Factory()), script_(script)
    {
    }

protected:
    void WriteSound(const unsigned char *pcm, int32_t length) override
    {
        int frameId = -1;
        if (length >= 4)
            memcpy(&frameId, pcm, sizeof frameId);
        std::lock_guard<std::mutex> hold(script_.lock);
        script_.played.push_back({Clock::now(), frameId, length});
        script_.changed.notify_all();
    }

private:
    Script &script_;
};

const int kWidth = 32;
const int kHeight = 16;

/* A pool of 8 small buffers, a renderer bound to a window and its thread. */
class RendererHarness {
public:
    explicit RendererHarness(bool bind = true) : renderer(Pool(), script)
    {
        if (bind) {
            EXPECT_EQ(0, renderer.BindWindow(Window(), 1));
        }
        thread = std::thread([this] { renderer.Run(); });
    }

    ~RendererHarness() { Shutdown(); }

    /* The owner's order: stop the pool, then end the renderer, then join. */
    void Shutdown()
    {
        if (!thread.joinable())
            return;
        pool.running = false;
        renderer.Exit();
        thread.join();
    }

    static HWND Window() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)); }

    void Start()
    {
        pool.running = true;
        renderer.Start();
    }

    /* Queues one frame; blocks while all buffers are in use. */
    void Feed(int id, int32_t seconds, int32_t milliseconds, int32_t segment = 0,
              int32_t audioLength = 0, int width = kWidth, int height = kHeight)
    {
        unsigned char *buffer = pool.GetEmptyBuffer();
        ASSERT_NE(nullptr, buffer);
        FrameEntry *entry = reinterpret_cast<FrameEntry *>(buffer);
        entry->width = width;
        entry->height = height;
        entry->seconds = seconds;
        entry->milliseconds = milliseconds;
        entry->audioLength = audioLength;
        entry->segmentId = segment;
        memset(entry->Payload(), 0x80, 64);
        memcpy(entry->Payload(), &id, sizeof id);
        ASSERT_TRUE(pool.PutFullBuffer(buffer));
    }

    void FeedSound(int id, int32_t seconds, int32_t milliseconds, int32_t segment = 0)
    {
        Feed(id, seconds, milliseconds, segment, 320);
    }

    /* Feeds frame k of a stream starting at 10 s with the given interval. */
    void FeedNth(int k, int intervalMs = 40)
    {
        const int32_t ms = 10000 + k * intervalMs;
        Feed(k, ms / 1000, ms % 1000);
    }

    /* Waits for the draw of a frame id; null when it does not come. */
    bool WaitForDraw(int frameId, int ms = 3000)
    {
        return script.WaitFor(
            [&] {
                for (const Draw &draw : script.draws)
                    if (draw.frameId == frameId)
                        return true;
                return false;
            },
            ms);
    }

    bool Drawn(int frameId, Draw *found = nullptr)
    {
        for (const Draw &draw : script.Draws()) {
            if (draw.frameId == frameId) {
                if (found)
                    *found = draw;
                return true;
            }
        }
        return false;
    }

    Script script;
    CBufferManager pool;
    RecordingRenderer renderer;
    std::thread thread;

private:
    CBufferManager *Pool()
    {
        pool.bufferCount = 8;
        pool.bufferSize = 4096;
        pool.AllocateBuffers();
        return &pool;
    }
};

}  // namespace rendertest

#endif

/* The player library playing the vendor sample into windows: pictures
 * paced and drawn with their colours, the display callback and its
 * bitmaps, display regions, speed, refresh, reset, and threads ended. */
#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <vector>

#include "PlayM4TestUtil.h"

using namespace playm4_test;

namespace {

struct Shown {
    LONG port, size, width, height, stamp, type, reserved;
    std::vector<char> picture;
};

std::mutex g_shownLock;
std::vector<Shown> g_shown;

void PLAYM4_CALL Record(LONG port, char *buffer, LONG size, LONG width, LONG height, LONG stamp, LONG type,
                        LONG reserved)
{
    std::lock_guard<std::mutex> hold(g_shownLock);
    Shown s{port, size, width, height, stamp, type, reserved, {}};
    if (g_shown.empty())
        s.picture.assign(buffer, buffer + size);
    g_shown.push_back(std::move(s));
}

size_t ShownCount()
{
    std::lock_guard<std::mutex> hold(g_shownLock);
    return g_shown.size();
}

TEST(PlayM4Playback, PicturesAppearWithThePatternsColoursAtTheirPace)
{
    const vendor_sample::Sample *sample = Sample();
    if (!sample)
        return;
    HWND window = MakeWindow(100, 100, 320, 240);
    ASSERT_NE(window, nullptr);
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayM4_Play(p.port, window));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(FeedSample(p.port, *sample));

    EXPECT_TRUE(WaitFor([&] { return ShowsQuadrants(window); }))
        << "top left shows " << Describe(Pixel(window, 80, 60));
    LONG width = 0, height = 0;
    EXPECT_TRUE(PlayM4_GetPictureSize(p.port, &width, &height));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);

    /* All but the last picture (held until a next one shows where it
     * ends) play in about their four seconds, not at once. */
    ASSERT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) + 1 >= DWORD(sample->pictures); }, 15000))
        << PlayM4_GetPlayedFrames(p.port) << " of " << sample->pictures;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(seconds, 3.0);
    EXPECT_LT(seconds, 10.0);
    DestroyWindow(window);
}

TEST(PlayM4Playback, TheDisplayCallbackGetsEveryPictureAsYv12)
{
    const vendor_sample::Sample *sample = Sample();
    if (!sample)
        return;
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayM4_SetDisplayCallBack(p.port, Record));
    ASSERT_TRUE(PlayFaster(p.port, 2, nullptr));  /* no window: played, not drawn */
    ASSERT_TRUE(FeedSample(p.port, *sample));
    ASSERT_TRUE(WaitFor([&] { return ShownCount() + 1 >= size_t(sample->pictures); }, 10000));
    ASSERT_TRUE(PlayM4_SetDisplayCallBack(p.port, nullptr));
    const size_t count = ShownCount();
    EXPECT_EQ(PlayM4_GetPlayedFrames(p.port), DWORD(count));

    std::lock_guard<std::mutex> hold(g_shownLock);
    const Shown &first = g_shown.front();
    EXPECT_EQ(first.port, p.port);
    EXPECT_EQ(first.width, 320);
    EXPECT_EQ(first.height, 240);
    EXPECT_EQ(first.size, 320 * 240 * 3 / 2);
    EXPECT_EQ(first.type, PLAYM4_PICTURE_YV12);
    EXPECT_EQ(first.reserved, 0);
    EXPECT_EQ(first.stamp, LONG(sample->firstStamp90k / 90));
    for (size_t i = 1; i < g_shown.size(); ++i)
        ASSERT_EQ(g_shown[i].stamp - g_shown[i - 1].stamp, 40) << i;

    /* YV12: after Y comes V, then U. Red (top left) is Y 81, Cb 90,
     * Cr 240; blue (bottom left) is Y 41, Cb 240, Cr 110. */
    const unsigned char *y = reinterpret_cast<const unsigned char *>(first.picture.data());
    const unsigned char *v = y + 320 * 240;
    const unsigned char *u = v + 160 * 120;
    EXPECT_NEAR(y[60 * 320 + 80], 81, 3);
    EXPECT_NEAR(v[30 * 160 + 40], 240, 3);
    EXPECT_NEAR(u[30 * 160 + 40], 90, 3);
    EXPECT_NEAR(y[180 * 320 + 80], 41, 3);
    EXPECT_NEAR(v[90 * 160 + 40], 110, 3);
    EXPECT_NEAR(u[90 * 160 + 40], 240, 3);

    /* The picture makes a 24-bit bitmap of the pattern. */
    const std::string path = ::testing::TempDir() + "playm4-callback.bmp";
    ASSERT_TRUE(PlayM4_ConvertToBmpFile(first.picture.data(), first.size, first.width, first.height, first.type,
                                        path.c_str()));
    const Bytes bmp = media::ReadFile(path);
    ASSERT_EQ(bmp.size(), 54u + 320 * 240 * 3);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[28], 24);
    auto at = [&](int x, int yTop) {
        const unsigned char *px = &bmp[54 + size_t(239 - yTop) * 960 + size_t(x) * 3];
        return RGB(px[2], px[1], px[0]);
    };
    EXPECT_TRUE(Near(at(80, 60), vendor_sample::kTopLeft)) << Describe(at(80, 60));
    EXPECT_TRUE(Near(at(240, 60), vendor_sample::kTopRight)) << Describe(at(240, 60));
    EXPECT_TRUE(Near(at(80, 180), vendor_sample::kBottomLeft)) << Describe(at(80, 180));
    EXPECT_TRUE(Near(at(240, 180), vendor_sample::kBottomRight)) << Describe(at(240, 180));
    std::remove(path.c_str());
}

std::atomic<bool> g_inside{false};
std::atomic<int> g_callsAfterRemoval{0};
std::atomic<bool> g_removed{false};
std::atomic<LONG> g_stopResult{-1};
std::atomic<DWORD> g_stopError{0};

void PLAYM4_CALL Slow(LONG port, char *, LONG, LONG, LONG, LONG, LONG, LONG)
{
    if (g_removed)
        ++g_callsAfterRemoval;
    g_inside = true;
    /* The port's own threads cannot stop it: refused, not deadlocked. */
    g_stopResult = PlayM4_Stop(port);
    g_stopError = PlayM4_GetLastError(port);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    g_inside = false;
}

TEST(PlayM4Playback, RemovingTheCallbackWaitsForACallInProgress)
{
    const vendor_sample::Sample *sample = Sample();
    if (!sample)
        return;
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayM4_SetDisplayCallBack(p.port, Slow));
    ASSERT_TRUE(PlayM4_Play(p.port, nullptr));
    ASSERT_TRUE(FeedSample(p.port, *sample));
    ASSERT_TRUE(WaitFor([] { return g_inside.load(); }));
    ASSERT_TRUE(PlayM4_SetDisplayCallBack(p.port, nullptr));
    g_removed = true;
    EXPECT_FALSE(g_inside) << "the callback still ran after its removal returned";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(g_callsAfterRemoval, 0);
    EXPECT_EQ(g_stopResult, FALSE);
    EXPECT_EQ(g_stopError, DWORD(PLAYM4_ERR_ORDER));
}

std::atomic<bool> g_entered{false};
std::atomic<LONG> g_innerStop{-1};
std::atomic<DWORD> g_innerError{0};

/* Waits until a Stop from another thread is under way, then stops the
 * port from inside the callback. */
void PLAYM4_CALL StopsWhileStopped(LONG port, char *, LONG, LONG, LONG, LONG, LONG, LONG)
{
    if (g_entered.exchange(true))
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    g_innerStop = PlayM4_Stop(port);
    g_innerError = PlayM4_GetLastError(port);
}

TEST(PlayM4Playback, TheCallbackCannotStopAPortThatIsBeingStopped)
{
    const vendor_sample::Sample *sample = Sample();
    ASSERT_NE(sample, nullptr);
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayM4_SetDisplayCallBack(p.port, StopsWhileStopped));
    ASSERT_TRUE(PlayM4_Play(p.port, nullptr));
    ASSERT_TRUE(FeedSample(p.port, *sample));
    ASSERT_TRUE(WaitFor([] { return g_entered.load(); }));
    /* The player is already out of the port while this Stop joins its
     * threads; the callback's Stop is still on one of them: refused. */
    auto stop = std::async(std::launch::async, [&] { return PlayM4_Stop(p.port); });
    ASSERT_EQ(stop.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "Stop deadlocked";
    EXPECT_TRUE(stop.get());
    EXPECT_EQ(g_innerStop, FALSE);
    EXPECT_EQ(g_innerError, DWORD(PLAYM4_ERR_ORDER));
}

TEST(PlayM4Playback, ADisplayRegionFillsTheWindow)
{
    const vendor_sample::Sample *sample = Sample(8);
    if (!sample)
        return;
    HWND window = MakeWindow(50, 400, 400, 300);
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayM4_Play(p.port, window));
    ASSERT_TRUE(FeedSample(p.port, *sample));
    ASSERT_TRUE(WaitFor([&] { return ShowsQuadrants(window); }));

    RECT topRight = {160, 0, 320, 120};
    ASSERT_TRUE(PlayM4_SetDisplayRegion(p.port, 0, &topRight, window, 1));
    EXPECT_TRUE(WaitFor([&] { return ShowsOnly(window, vendor_sample::kTopRight); }))
        << Describe(Pixel(window, 10, 10));
    /* Given bottom to top and right to left, and beyond the picture. */
    RECT bottomLeft = {160, 400, -50, 120};
    ASSERT_TRUE(PlayM4_SetDisplayRegion(p.port, 0, &bottomLeft, window, 1));
    EXPECT_TRUE(WaitFor([&] { return ShowsOnly(window, vendor_sample::kBottomLeft); }));
    ASSERT_TRUE(PlayM4_SetDisplayRegion(p.port, 0, nullptr, window, 1));
    EXPECT_TRUE(WaitFor([&] { return ShowsQuadrants(window); }));
    DestroyWindow(window);
}

TEST(PlayM4Playback, RefreshDrawsTheLastPictureAgain)
{
    const vendor_sample::Sample *sample = Sample();
    if (!sample)
        return;
    HWND window = MakeWindow(600, 100, 160, 120);
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayFaster(p.port, 4, window));
    ASSERT_TRUE(FeedSample(p.port, *sample));
    /* At 16 times the sample is over in a moment. */
    ASSERT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) + 1 >= DWORD(sample->pictures); }));
    ASSERT_TRUE(ShowsQuadrants(window));
    HDC dc = GetDC(window);
    RECT all = {0, 0, 160, 120};
    FillRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    ReleaseDC(window, dc);
    ASSERT_FALSE(ShowsQuadrants(window));
    EXPECT_TRUE(PlayM4_RefreshPlay(p.port));
    EXPECT_TRUE(WaitFor([&] { return ShowsQuadrants(window); }, 2000));
    DestroyWindow(window);
}

TEST(PlayM4Playback, FasterSpeedsPlayTheSampleSooner)
{
    const vendor_sample::Sample *sample = Sample();
    if (!sample)
        return;
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayFaster(p.port, 3, nullptr));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(FeedSample(p.port, *sample));
    ASSERT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) + 1 >= DWORD(sample->pictures); }));
    /* Four seconds at eight times: half a second, give or take a loaded
     * machine; far from four. */
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 2.5);
}

TEST(PlayM4Playback, AResetDropsWhatWasQueuedAndPlaysWhatFollows)
{
    const vendor_sample::Sample *sample = Sample();
    if (!sample)
        return;
    OpenPort p;
    ASSERT_TRUE(p.opened);
    ASSERT_TRUE(PlayM4_Play(p.port, nullptr));
    ASSERT_TRUE(FeedSample(p.port, *sample));
    ASSERT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) >= 5; }));
    ASSERT_TRUE(PlayM4_ResetSourceBuffer(p.port));
    const DWORD atReset = PlayM4_GetPlayedFrames(p.port);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LE(PlayM4_GetPlayedFrames(p.port), atReset + 1) << "pictures of dropped bytes were shown";

    /* The stream again, from its header: it plays afresh. */
    ASSERT_TRUE(FeedSample(p.port, *sample));
    EXPECT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) >= atReset + 10; }));
}

TEST(PlayM4Playback, StopCloseAndFreeEndEveryThread)
{
    const vendor_sample::Sample *sample = Sample();
    if (!sample)
        return;
    HWND window = MakeWindow(0, 0, 64, 48);
    const int before = ThreadCount();
    for (int round = 0; round < 3; ++round) {
        OpenPort p;
        ASSERT_TRUE(p.opened);
        ASSERT_TRUE(PlayM4_PlaySoundShare(p.port));
        ASSERT_TRUE(PlayM4_Play(p.port, window));
        ASSERT_TRUE(FeedSample(p.port, *sample));
        ASSERT_TRUE(WaitFor([&] { return PlayM4_GetPlayedFrames(p.port) >= 3; }));
        EXPECT_GT(ThreadCount(), before);
        switch (round) {
        case 0:
            EXPECT_TRUE(PlayM4_Stop(p.port));
            EXPECT_TRUE(PlayM4_Stop(p.port));
            break;
        case 1:
            EXPECT_TRUE(PlayM4_CloseStream(p.port));
            break;
        default:
            break;  /* freed by OpenPort, playing */
        }
        /* None left behind; the platform's pool workers may have ended
         * on their own after ten idle seconds. */
        if (round < 2) {
            EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= before; }, 2000)) << ThreadCount() << " vs " << before;
        }
    }
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= before; }, 2000)) << ThreadCount() << " vs " << before;
    DestroyWindow(window);
}

TEST(PlayM4Playback, ManyPortsPlayAtOnce)
{
    const vendor_sample::Sample *sample = Sample();
    if (!sample)
        return;
    constexpr int kPorts = 6;
    std::vector<std::unique_ptr<OpenPort>> ports;
    std::vector<HWND> windows;
    for (int i = 0; i < kPorts; ++i) {
        ports.emplace_back(new OpenPort);
        ASSERT_TRUE(ports.back()->opened);
        windows.push_back(MakeWindow(200 * i, 700, 160, 120));
        ASSERT_TRUE(PlayM4_Play(ports.back()->port, windows.back()));
    }
    std::vector<std::thread> feeders;
    for (int i = 0; i < kPorts; ++i)
        feeders.emplace_back([&, i] { EXPECT_TRUE(FeedSample(ports[size_t(i)]->port, *sample)); });
    for (std::thread &t : feeders)
        t.join();
    for (int i = 0; i < kPorts; ++i)
        EXPECT_TRUE(WaitFor([&] { return ShowsQuadrants(windows[size_t(i)]); })) << "port " << i;
    ports.clear();
    for (HWND w : windows)
        DestroyWindow(w);
}

}  // namespace

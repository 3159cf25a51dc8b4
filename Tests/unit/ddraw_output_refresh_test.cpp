// The DirectDraw output's refresh thread: a stalled picture is painted
// again from what the surfaces or the bitmap hold, never from the caller's
// planes; a flowing stream is not repainted; closing, rebinding and
// deleting stop and restart the thread cleanly.
#include "ddraw_output_util.h"

#include <atomic>
#include <memory>
#include <thread>

using namespace ddtest;

namespace {

class DDrawRefreshTest : public ::testing::Test {
protected:
    void SetUp() override { KovaControl_ConfigureDesktop("640x480x32"); }
    void TearDown() override
    {
        KovaControl_ClearFaults();
        KovaControl_ConfigureDesktop(nullptr);
    }
};

/* Paints the client area with the window's background, as when it is
 * uncovered. */
void Uncover(HWND window)
{
    InvalidateRect(window, NULL, TRUE);
    UpdateWindow(window);
}

TEST_F(DDrawRefreshTest, StalledPictureIsRepaintedFromWhatTheOutputHolds)
{
    for (int mode = 0; mode <= 1; ++mode) {
        SCOPED_TRACE(mode ? "DirectDraw" : "GDI");
        TestWindow window(WS_POPUP, 40, 40, 300, 200);
        CZR_VO_DDraw output(mode);
        output.SetWindow(window.handle);
        Picture p = Quadrants(128, 96);
        ASSERT_EQ(p.DrawOn(output), 0u);
        const RECT client = window.ClientOnScreen();
        ASSERT_EQ(CheckQuadrants(client, 32, 0), "");

        // The caller reuses its planes at once; the repaint must not see it.
        FillRect(p, 0, 0, 128, 96, kBlue);
        Uncover(window.handle);
        ASSERT_EQ(ScreenAt(client, 0.5, 0.5), kBackground);
        EXPECT_TRUE(WaitFor([&] { return output.GetRepaintCount() > 0 && CheckQuadrants(client, 32, 0).empty(); }, 2000))
            << CheckQuadrants(client, 32, 0);

        // And again after the next stall.
        const uint32_t before = output.GetRepaintCount();
        Uncover(window.handle);
        EXPECT_TRUE(WaitFor([&] { return output.GetRepaintCount() > before && CheckQuadrants(client, 32, 0).empty(); }, 2000));
    }
}

TEST_F(DDrawRefreshTest, NothingIsRepaintedFromASurfaceThatWasRestored)
{
    TestWindow window(WS_POPUP, 40, 40, 300, 200);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    const Picture p = Quadrants(128, 96);
    // An RGB picture surface that cannot be locked: the setup takes YUY2.
    KovaControl_FailCall("IDirectDrawSurface7::Lock:RGB32", (LONG_PTR)DDERR_GENERIC, 0, 1);
    ASSERT_EQ(p.DrawOn(output), 0u);
    ASSERT_EQ(output.GetLayout(), CZR_VO_DDraw::Yuy2);
    ASSERT_TRUE(WaitFor([&] { return output.GetRepaintCount() > 0; }, 3000));

    // The next lock fails and the surface is restored: what it holds now is
    // no picture, and a stall shows nothing from it.
    KovaControl_FailCall("IDirectDrawSurface7::Lock:YUY2", (LONG_PTR)DDERR_GENERIC, 0, 1);
    ASSERT_EQ(p.DrawOn(output), 0xA1888043u);
    const uint32_t after = output.GetRepaintCount();
    Sleep(450);
    EXPECT_EQ(output.GetRepaintCount(), after);

    // The next picture is held, and repainted, again.
    ASSERT_EQ(p.DrawOn(output), 0u);
    EXPECT_TRUE(WaitFor([&] { return output.GetRepaintCount() > after; }, 3000));
}

TEST_F(DDrawRefreshTest, FirstRepaintComesOnePeriodAfterThePicture)
{
    TestWindow window(WS_POPUP, 40, 40, 300, 200);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    ASSERT_EQ(Quadrants(128, 96).DrawOn(output), 0u);
    const DWORD drawn = GetTickCount();
    ASSERT_TRUE(WaitFor([&] { return output.GetRepaintCount() > 0; }, 3000));
    const DWORD elapsed = GetTickCount() - drawn;
    // At least one whole period: the thread first notices the new picture.
    EXPECT_GE(elapsed, 80u);
    // Then every period while the stream stalls.
    const uint32_t first = output.GetRepaintCount();
    Sleep(450);
    EXPECT_GE(output.GetRepaintCount(), first + 2);
}

TEST_F(DDrawRefreshTest, FlowingPicturesAreNotRepainted)
{
    TestWindow window(WS_POPUP, 40, 40, 300, 200);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    const Picture p = Quadrants(128, 96);
    const DWORD start = GetTickCount();
    uint32_t failures = 0;
    while (GetTickCount() - start < 600) failures += p.DrawOn(output) != 0;
    EXPECT_EQ(failures, 0u);
    // A repaint needs a whole period without a picture.
    EXPECT_LE(output.GetRepaintCount(), 1u);
}

TEST_F(DDrawRefreshTest, NothingIsRepaintedBeforeAPictureOrAfterAFailedSetup)
{
    TestWindow window(WS_POPUP, 40, 40, 300, 200);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    Sleep(300);
    EXPECT_EQ(output.GetRepaintCount(), 0u);

    // A setup that fails leaves nothing to repaint.
    KovaControl_FailCall("DirectDrawCreateEx", (LONG_PTR)DDERR_GENERIC, 0, -1);
    ASSERT_EQ(Quadrants(128, 96).DrawOn(output), 0xA1888039u);
    Sleep(300);
    EXPECT_EQ(output.GetRepaintCount(), 0u);
}

TEST_F(DDrawRefreshTest, CloseStopsTheThreadPromptlyAndABindingRestartsIt)
{
    TestWindow window(WS_POPUP, 40, 40, 300, 200);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    const Picture p = Quadrants(128, 96);
    ASSERT_EQ(p.DrawOn(output), 0u);
    ASSERT_TRUE(WaitFor([&] { return output.GetRepaintCount() > 0; }, 3000));

    const DWORD start = GetTickCount();
    output.Close();
    EXPECT_LT(GetTickCount() - start, 1000u);
    const uint32_t closed = output.GetRepaintCount();
    Sleep(300);
    EXPECT_EQ(output.GetRepaintCount(), closed);

    output.SetWindow(window.handle);
    ASSERT_EQ(p.DrawOn(output), 0u);
    EXPECT_TRUE(WaitFor([&] { return output.GetRepaintCount() > closed; }, 3000));
}

// Pictures, bindings and zoom changes from one thread while the refresh
// thread repaints: run under the thread sanitizer to check the locking.
TEST_F(DDrawRefreshTest, DrawingBindingAndZoomRaceNotWithRepaints)
{
    TestWindow window(WS_POPUP, 40, 40, 300, 200);
    std::unique_ptr<CZR_VO_DDraw> output(new CZR_VO_DDraw(1));
    const Picture small = Quadrants(128, 96);
    const Picture large = Quadrants(256, 192);
    for (int round = 0; round < 6; ++round) {
        output->SetWindow(window.handle);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ((i % 2 ? small : large).DrawOn(*output), 0u);
            output->SetDisplayRegion(i % 2, 10, 10, 60, 60);
            Sleep(round % 2 ? 130 : 20);  // some stalls long enough for a repaint
        }
        if (round == 3) {
            output->Close();
            output.reset(new CZR_VO_DDraw(round % 2));
        }
    }
    output.reset();
}

}  // namespace

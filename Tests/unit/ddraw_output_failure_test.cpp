// Every result code of the DirectDraw output, provoked through the layer's
// fault injection: what each failure returns, the state it leaves, and how
// the output recovers.
#include "ddraw_output_util.h"

#include "kova_control_ddraw.h"

using namespace ddtest;

namespace {

class DDrawFailureTest : public ::testing::Test {
protected:
    void SetUp() override { KovaControl_ConfigureDesktop("640x480x32;640x480x32@640,0"); }
    void TearDown() override
    {
        KovaControl_ClearFaults();
        KovaControl_ConfigureDesktop(nullptr);
    }

    static void Fail(const char *name) { KovaControl_FailCall(name, (LONG_PTR)DDERR_GENERIC, 0, 1); }

    static void ExpectNothingAlive()
    {
        KovaDirectDrawObjects alive;
        KovaControl_GetDirectDrawObjects(&alive);
        EXPECT_EQ(alive.directDraws, 0);
        EXPECT_EQ(alive.surfaces, 0);
        EXPECT_EQ(alive.clippers, 0);
        EXPECT_EQ(alive.lockedSurfaces, 0);
    }
};

struct SetupFault {
    const char *name;
    uint32_t code;
};

// A setup step that fails returns its code and leaves the output not
// ready; nothing is drawn until a new binding or new geometry sets
// everything up again.
TEST_F(DDrawFailureTest, EverySetupStepHasItsCodeAndLeavesTheOutputNotReady)
{
    const SetupFault faults[] = {
        {"DirectDrawCreateEx", 0xA1888039u},
        {"IDirectDraw7::SetCooperativeLevel", 0xA188803Au},
        {"IDirectDraw7::GetCaps", 0xA188803Bu},
        {"IDirectDraw7::CreateSurface:PRIMARY", 0xA188803Cu},
        {"IDirectDrawSurface7::GetSurfaceDesc", 0xA188803Du},
        {"IDirectDraw7::CreateSurface:OFFSCREEN", 0xA188803Eu},  // stage surfaces come first
        {"IDirectDraw7::CreateClipper", 0xA1888040u},
        {"IDirectDrawClipper::SetHWnd", 0xA1888040u},
        {"IDirectDrawSurface7::SetClipper", 0xA1888040u},
    };
    TestWindow window(WS_POPUP, 600, 100, 160, 120);
    const Picture p = Quadrants(64, 48);
    for (int mode = 0; mode <= 1; ++mode) {
        for (const SetupFault &f : faults) {
            SCOPED_TRACE(std::string(f.name) + (mode ? " DirectDraw" : " GDI"));
            {
                CZR_VO_DDraw output(mode);
                output.SetWindow(window.handle);
                Fail(f.name);
                EXPECT_EQ(p.DrawOn(output), f.code);
                EXPECT_EQ(KovaControl_FaultsTaken(f.name), 1);
                EXPECT_EQ(output.GetState(), CZR_VO_DDraw::Idle);
                EXPECT_EQ(p.DrawOn(output), 0xA1888037u);
                EXPECT_EQ(output.GetDrawnCount(), 1u);  // reached the window, not shown
                // New geometry sets up again as a new binding does.
                EXPECT_EQ(Quadrants(64, 64).DrawOn(output), 0u);
                EXPECT_EQ(output.GetState(), mode ? CZR_VO_DDraw::DirectDrawReady : CZR_VO_DDraw::GdiReady);
                output.SetWindow(window.handle);
                EXPECT_EQ(p.DrawOn(output), 0u);
                EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");
                KovaControl_ClearFaults();
            }
            ExpectNothingAlive();
        }
    }
}

static void AttachAMonitor(void *)
{
    KovaControl_AttachMonitor("320x240x32");
}

TEST_F(DDrawFailureTest, MonitorAttachedWhileCountingFailsTheSetup)
{
    TestWindow window(WS_POPUP, 100, 100, 160, 120);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    KovaControl_OnNextMonitorEnumeration(AttachAMonitor, NULL);
    EXPECT_EQ(Quadrants(64, 48).DrawOn(output), 0xFFFFFFFFu);
    EXPECT_EQ(output.GetState(), CZR_VO_DDraw::Idle);
    EXPECT_EQ(Quadrants(64, 48).DrawOn(output), 0xA1888037u);
    output.SetWindow(window.handle);
    EXPECT_EQ(Quadrants(64, 48).DrawOn(output), 0u);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");
}

TEST_F(DDrawFailureTest, FailedLockOfAnRgbSurfaceRebuildsEverything)
{
    TestWindow window(WS_POPUP, 100, 100, 160, 120);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    const Picture p = Quadrants(64, 48);
    ASSERT_EQ(p.DrawOn(output), 0u);
    ASSERT_EQ(output.GetLayout(), CZR_VO_DDraw::Rgb32);
    Fail("IDirectDrawSurface7::Lock:OFFSCREEN");
    EXPECT_EQ(p.DrawOn(output), 0xFFFFFFFFu);
    EXPECT_EQ(output.GetState(), CZR_VO_DDraw::DirectDrawReady);
    EXPECT_EQ(p.DrawOn(output), 0u);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");
}

TEST_F(DDrawFailureTest, FailedLockOfAPackedSurfaceLosesOnePicture)
{
    TestWindow window(WS_POPUP, 100, 100, 160, 120);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    const Picture p = Quadrants(64, 48);
    // An RGB picture surface that cannot be locked makes the setup go on to YUY2.
    Fail("IDirectDrawSurface7::Lock:RGB32");
    ASSERT_EQ(p.DrawOn(output), 0u);
    ASSERT_EQ(output.GetLayout(), CZR_VO_DDraw::Yuy2);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 2), "");
    Fail("IDirectDrawSurface7::Lock:YUY2");
    EXPECT_EQ(p.DrawOn(output), 0xA1888043u);
    EXPECT_EQ(output.GetState(), CZR_VO_DDraw::DirectDrawReady);
    EXPECT_EQ(output.GetLayout(), CZR_VO_DDraw::Yuy2);
    EXPECT_EQ(p.DrawOn(output), 0u);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 2), "");
}

TEST_F(DDrawFailureTest, ResultsOfEveryPresentWhenTheOutputHasNothingToDrawWith)
{
    TestWindow window(WS_POPUP, 100, 100, 160, 120);
    CZR_VO_DDraw output(1);
    const Picture p = Quadrants(64, 48);
    // Closed after a setup: the state stays, the objects are gone.
    output.SetWindow(window.handle);
    ASSERT_EQ(p.DrawOn(output), 0u);
    output.Close();
    ExpectNothingAlive();
    EXPECT_EQ(p.DrawOn(output), 0xFFFFFFFFu);
}

struct PresentFault {
    const char *name;
    HRESULT result;
    int mode;  // 1 DirectDraw, 0 GDI
    int region;  // percent corner of a zoom region from (0, 0); 0 none
    uint32_t code;
};

// A blit that fails, or a zoom region that truncates to no pixel, is
// reported with its code; a lost surface is restored without one.
// The next picture is shown.
TEST_F(DDrawFailureTest, FailedBlitsAndEmptyRegionsAreReported)
{
    const PresentFault faults[] = {
        {"IDirectDrawSurface7::Blt:OFFSCREEN", DDERR_GENERIC, 1, 0, 0xA1888041u},
        {"IDirectDrawSurface7::Blt:PRIMARY", DDERR_GENERIC, 1, 0, 0xA1888042u},
        {"IDirectDrawSurface7::Blt:OFFSCREEN", DDERR_SURFACELOST, 1, 0, 0u},
        {"IDirectDrawSurface7::Blt:PRIMARY", DDERR_SURFACELOST, 1, 0, 0u},
        {nullptr, 0, 1, 1, 0xA1888034u},  // 1 % of 64 by 48: no whole pixel
        {nullptr, 0, 0, 1, 0xA1888034u},
        {nullptr, 0, 1, 3, 0u},           // 1.92 by 1.44 pixels: one whole pixel
    };
    TestWindow window(WS_POPUP, 100, 100, 160, 120);
    const Picture p = Quadrants(64, 48);
    for (const PresentFault &f : faults) {
        SCOPED_TRACE(std::string(f.name ? f.name : "region") + " " + std::to_string(f.code));
        CZR_VO_DDraw output(f.mode);
        output.SetWindow(window.handle);
        ASSERT_EQ(p.DrawOn(output), 0u);
        if (f.name) KovaControl_FailCall(f.name, (LONG_PTR)f.result, 0, 1);
        if (f.region) output.SetDisplayRegion(1, 0, 0, f.region, f.region);
        EXPECT_EQ(p.DrawOn(output), f.code);
        KovaControl_ClearFaults();
        output.SetDisplayRegion(0, 0, 0, 0, 0);
        EXPECT_EQ(p.DrawOn(output), 0u);
        EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");
    }
}

}  // namespace

// The DirectDraw output over the layer's virtual desktop: geometry checks,
// layout choice by display format and what the monitors then show, zoom
// regions, the window check, windows across monitors, display mode changes
// and the erase when the output is deleted.
#include "ddraw_output_util.h"

#include "render/VideoOutput.h"

#include "kova_control_ddraw.h"

#include <memory>

using namespace ddtest;
using kova::color::Layout;

namespace {

class DDrawOutputTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        KovaControl_ClearFaults();
        KovaControl_SetDirectDrawFourCCs(NULL, -1);
        KovaControl_ConfigureDesktop(nullptr);
    }
};

const DWORD kPopup = WS_POPUP;
const DWORD kCaptioned = WS_OVERLAPPEDWINDOW;

TEST_F(DDrawOutputTest, FactoryMakesTheOutputForEveryDisplayMode)
{
    std::unique_ptr<IVideoOutput> gdi(CreateVideoOutput(0));
    std::unique_ptr<IVideoOutput> dd(CreateVideoOutput(1));
    ASSERT_NE(dynamic_cast<CZR_VO_DDraw *>(gdi.get()), nullptr);
    ASSERT_NE(dynamic_cast<CZR_VO_DDraw *>(dd.get()), nullptr);
    EXPECT_EQ(static_cast<CZR_VO_DDraw *>(gdi.get())->GetState(), CZR_VO_DDraw::NeedsSetup);
}

TEST_F(DDrawOutputTest, WithoutAWindowPicturesSucceedAndAreNotCounted)
{
    KovaControl_ConfigureDesktop("640x480x32");
    CZR_VO_DDraw output(1);
    const Picture p = Quadrants(64, 32);
    EXPECT_EQ(p.DrawOn(output), 0u);
    EXPECT_EQ(output.GetDrawnCount(), 0u);
}

TEST_F(DDrawOutputTest, NullPlanesAndGeometryOutOfRangeAreRefusedWithoutChange)
{
    KovaControl_ConfigureDesktop("640x480x32");
    TestWindow window(kPopup, 10, 10, 200, 100);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    const Picture p = Quadrants(64, 32);
    ASSERT_EQ(p.DrawOn(output), 0u);
    ASSERT_EQ(output.GetState(), CZR_VO_DDraw::DirectDrawReady);

    EXPECT_EQ(output.DrawYUV(NULL, p.u.data(), p.v.data(), 64, 32, 64, 32), 0xA1888032u);
    EXPECT_EQ(output.DrawYUV(p.y.data(), NULL, p.v.data(), 64, 32, 64, 32), 0xA1888032u);
    EXPECT_EQ(output.DrawYUV(p.y.data(), p.u.data(), NULL, 64, 32, 64, 32), 0xA1888032u);

    struct Geometry {
        int width, height, lumaPitch, chromaPitch;
    };
    const Geometry bad[] = {
        {31, 32, 64, 32},     {2049, 32, 2049, 1025}, {64, 7, 64, 32},   {64, 1537, 64, 32},
        {64, 32, 63, 32},     {64, 32, 2049, 32},     {64, 32, 64, 31},  {64, 32, 64, 2049},
    };
    // Planes big enough for any of the geometries, so only the check refuses.
    const std::vector<uint8_t> big(2049 * 1537, 16);
    for (const Geometry &g : bad) {
        EXPECT_EQ(output.DrawYUV(big.data(), big.data(), big.data(), g.width, g.height, g.lumaPitch, g.chromaPitch),
                  0xA1888033u)
            << g.width << "x" << g.height << " pitches " << g.lumaPitch << "/" << g.chromaPitch;
        EXPECT_EQ(output.GetState(), CZR_VO_DDraw::DirectDrawReady);
    }
    EXPECT_EQ(output.GetDrawnCount(), 1u);
    // The picture shown is still the last good one.
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");

    // The largest picture there is.
    const Picture largest = Blank(2048, 1536, 2048, 1024);
    EXPECT_EQ(largest.DrawOn(output), 0u);
    EXPECT_EQ(output.GetDrawnCount(), 2u);
}

struct FormatCase {
    const char *desktop;
    int depth;
    CZR_VO_DDraw::PictureLayout layout;
    Layout conversion;
};

class DisplayFormatTest : public DDrawOutputTest, public ::testing::WithParamInterface<FormatCase> {};

// A picture drawn at its own size lands on the screen byte for byte as the
// scalar conversion into the display's format.
TEST_P(DisplayFormatTest, RgbDisplayGetsItsLayoutAndTheExactPicture)
{
    const FormatCase &c = GetParam();
    KovaControl_ConfigureDesktop(c.desktop);
    const int w = 100, h = 36;  // neither a multiple of the kernels' steps
    TestWindow window(kPopup, 37, 21, w, h);
    const RECT area = window.ClientOnScreen();
    {
        CZR_VO_DDraw output(1);
        output.SetWindow(window.handle);
        const Picture p = Gradient(w, h);
        ASSERT_EQ(p.DrawOn(output), 0u);
        EXPECT_EQ(output.GetState(), CZR_VO_DDraw::DirectDrawReady);
        EXPECT_EQ(output.GetLayout(), c.layout);
        std::vector<uint8_t> shown = ReadMonitor(0, area);
        const std::vector<uint8_t> want = Converted(p, c.conversion);
        ASSERT_EQ(shown.size(), want.size());
        if (c.depth == 32)
            for (size_t i = 3; i < shown.size(); i += 4) shown[i] = want[i];  // the unused byte
        EXPECT_TRUE(shown == want);
    }
    // GDI drawing of another picture: a 24-bit bitmap, upright. (The first
    // output is gone: its repaints would draw over this one.)
    CZR_VO_DDraw gdi(0);
    gdi.SetWindow(window.handle);
    const Picture q = Gradient(w, h, 77);
    ASSERT_EQ(q.DrawOn(gdi), 0u);
    EXPECT_EQ(gdi.GetState(), CZR_VO_DDraw::GdiReady);
    EXPECT_EQ(gdi.GetLayout(), CZR_VO_DDraw::GdiOnly);
    std::vector<uint8_t> shown = ReadMonitor(0, area);
    const std::vector<uint8_t> want = Converted(q, c.conversion);
    ASSERT_EQ(shown.size(), want.size());
    if (c.depth == 32)
        for (size_t i = 3; i < shown.size(); i += 4) shown[i] = want[i];
    // On 16-bit displays GDI drops the low bits, as the conversion does.
    EXPECT_TRUE(shown == want);
}

INSTANTIATE_TEST_SUITE_P(Formats, DisplayFormatTest,
                         ::testing::Values(FormatCase{"640x480x32", 32, CZR_VO_DDraw::Rgb32, Layout::Rgb32},
                                           FormatCase{"640x480x24", 24, CZR_VO_DDraw::Rgb24, Layout::Rgb24},
                                           FormatCase{"640x480x16", 16, CZR_VO_DDraw::Rgb565, Layout::Rgb565},
                                           FormatCase{"640x480x15", 15, CZR_VO_DDraw::Rgb555, Layout::Rgb555}),
                         [](const ::testing::TestParamInfo<FormatCase> &info) {
                             return "Depth" + std::to_string(info.param.depth);
                         });

/* Fails the next lock of an off-screen surface: in a setup, that of the
 * RGB attempt's picture surface. */
void RefuseRgbPictureSurface()
{
    KovaControl_FailCall("IDirectDrawSurface7::Lock:OFFSCREEN", (LONG_PTR)DDERR_GENERIC, 0, 1);
}

TEST_F(DDrawOutputTest, WithoutAnRgbSurfaceTheLayoutFallsBackThroughYuy2AndUyvyToGdi)
{
    KovaControl_ConfigureDesktop("640x480x32");
    TestWindow window(kPopup, 20, 20, 320, 240);
    const Picture p = Quadrants(128, 64);
    struct Step {
        std::vector<DWORD> offered;
        CZR_VO_DDraw::PictureLayout layout;
    };
    const Step steps[] = {
        {{MAKEFOURCC('Y', 'U', 'Y', '2'), MAKEFOURCC('U', 'Y', 'V', 'Y')}, CZR_VO_DDraw::Yuy2},
        {{MAKEFOURCC('U', 'Y', 'V', 'Y')}, CZR_VO_DDraw::Uyvy},
        {{}, CZR_VO_DDraw::GdiOnly},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.layout);
        KovaControl_SetDirectDrawFourCCs(step.offered.data(), (int)step.offered.size());
        CZR_VO_DDraw output(1);
        output.SetWindow(window.handle);
        RefuseRgbPictureSurface();
        ASSERT_EQ(p.DrawOn(output), 0u);
        EXPECT_EQ(output.GetLayout(), step.layout);
        EXPECT_EQ(output.GetState(),
                  step.layout == CZR_VO_DDraw::GdiOnly ? CZR_VO_DDraw::GdiReady : CZR_VO_DDraw::DirectDrawReady);
        // The blitter's YUV conversion may round differently from ours.
        EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 2), "");
    }
}

TEST_F(DDrawOutputTest, PalettisedDisplayTriesYuy2AndUyvyThenDrawsWithGdi)
{
    KovaControl_ConfigureDesktop("640x480x8");
    TestWindow window(kPopup, 20, 20, 320, 240);
    KovaControl_ResetDirectDrawCalls();
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    ASSERT_EQ(Quadrants(128, 64).DrawOn(output), 0u);
    EXPECT_EQ(KovaControl_DirectDrawCalls("IDirectDraw7::CreateSurface:YUY2"), 1);
    EXPECT_EQ(KovaControl_DirectDrawCalls("IDirectDraw7::CreateSurface:UYVY"), 1);
    EXPECT_EQ(output.GetLayout(), CZR_VO_DDraw::GdiOnly);
    EXPECT_EQ(output.GetState(), CZR_VO_DDraw::GdiReady);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 8, 48), "");
}

TEST_F(DDrawOutputTest, ZoomRegionIsStretchedOverTheWindow)
{
    KovaControl_ConfigureDesktop("640x480x32");
    TestWindow window(kPopup, 50, 40, 300, 200);
    const Picture p = Quadrants(352, 288);
    const RECT client = window.ClientOnScreen();
    for (int mode = 0; mode <= 1; ++mode) {
        SCOPED_TRACE(mode ? "DirectDraw" : "GDI");
        CZR_VO_DDraw output(mode);
        output.SetWindow(window.handle);
        // The corners in either order give the same rectangle.
        EXPECT_EQ(output.SetDisplayRegion(1, 50, 50, 0, 0), 0);
        RECT r = output.GetRegion();
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.right, 176);
        EXPECT_EQ(r.bottom, 144);
        ASSERT_EQ(p.DrawOn(output), 0u);
        for (double f : {0.1, 0.5, 0.9})
            EXPECT_EQ(ColourDistance(ScreenAt(client, f, f), Expected(kRed)), 0) << f;

        output.SetDisplayRegion(1, 50, 50, 100, 100);
        ASSERT_EQ(p.DrawOn(output), 0u);
        for (double f : {0.1, 0.5, 0.9})
            EXPECT_EQ(ColourDistance(ScreenAt(client, f, f), Expected(kWhite)), 0) << f;

        // Bitmap rows count from the bottom: the top right is still green.
        output.SetDisplayRegion(1, 50, 0, 100, 50);
        ASSERT_EQ(p.DrawOn(output), 0u);
        EXPECT_EQ(ColourDistance(ScreenAt(client, 0.5, 0.5), Expected(kGreen)), 0);

        output.SetDisplayRegion(0, 50, 0, 100, 50);
        ASSERT_EQ(p.DrawOn(output), 0u);
        EXPECT_EQ(CheckQuadrants(client, 32, 0), "");
    }
}

TEST_F(DDrawOutputTest, ZoomKeepsItsPercentagesAcrossAGeometryChange)
{
    KovaControl_ConfigureDesktop("1024x768x32");
    TestWindow window(kPopup, 0, 0, 400, 300);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    ASSERT_EQ(Quadrants(352, 288).DrawOn(output), 0u);
    output.SetDisplayRegion(1, 0, 0, 50, 50);
    RECT r = output.GetRegion();
    EXPECT_EQ(r.right, 176);
    EXPECT_EQ(r.bottom, 144);

    ASSERT_EQ(Quadrants(704, 576).DrawOn(output), 0u);
    r = output.GetRegion();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 352);
    EXPECT_EQ(r.bottom, 288);
    EXPECT_EQ(output.GetState(), CZR_VO_DDraw::DirectDrawReady);
    EXPECT_EQ(ColourDistance(ScreenAt(window.ClientOnScreen(), 0.9, 0.9), Expected(kRed)), 0);

    // Truncation on the way back: 33 % of 704 is pixel 232, 32 % again.
    output.SetDisplayRegion(1, 33, 33, 66, 66);
    ASSERT_EQ(Quadrants(100, 100).DrawOn(output), 0u);
    r = output.GetRegion();
    EXPECT_EQ(r.left, 32);
    EXPECT_EQ(r.right, 65);
    EXPECT_EQ(r.top, 32);
    EXPECT_EQ(r.bottom, 65);
}

TEST_F(DDrawOutputTest, FramedWindowSkipsOnePictureAfterSetupAndAfterMovingUpOrDown)
{
    KovaControl_ConfigureDesktop("1024x768x32");
    TestWindow window(kCaptioned, 100, 100, 420, 340);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    const Picture p = Quadrants(128, 96);

    EXPECT_EQ(p.DrawOn(output), 0xA1888031u);
    EXPECT_EQ(ColourDistance(ScreenAt(window.ClientOnScreen(), 0.25, 0.25), Expected(kRed)) == 0, false);
    EXPECT_EQ(p.DrawOn(output), 0u);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");
    EXPECT_EQ(output.GetDrawnCount(), 2u);

    // Sideways: nothing skipped.
    MoveWindow(window.handle, 180, 100, 420, 340, TRUE);
    EXPECT_EQ(p.DrawOn(output), 0u);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");
    // Down: one picture skipped.
    MoveWindow(window.handle, 180, 150, 420, 340, TRUE);
    EXPECT_EQ(p.DrawOn(output), 0xA1888031u);
    EXPECT_EQ(p.DrawOn(output), 0u);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");

    // A new binding sets everything up again, and skips again.
    output.SetWindow(window.handle);
    EXPECT_EQ(p.DrawOn(output), 0xA1888031u);
    EXPECT_EQ(p.DrawOn(output), 0u);
    output.Close();

    // GDI drawing has no window check.
    CZR_VO_DDraw gdi(0);
    gdi.SetWindow(window.handle);
    EXPECT_EQ(p.DrawOn(gdi), 0u);
    MoveWindow(window.handle, 180, 50, 420, 340, TRUE);
    EXPECT_EQ(p.DrawOn(gdi), 0u);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");
}

TEST_F(DDrawOutputTest, BorderlessChildSkipsNothing)
{
    KovaControl_ConfigureDesktop("1024x768x32");
    TestWindow parent(kCaptioned, 60, 80, 600, 400);
    TestWindow child(WS_CHILD, 20, 30, 320, 240, parent.handle);
    CZR_VO_DDraw output(1);
    output.SetWindow(child.handle);
    const Picture p = Quadrants(160, 120);
    EXPECT_EQ(p.DrawOn(output), 0u);
    EXPECT_EQ(CheckQuadrants(child.ClientOnScreen(), 32, 0), "");
}

struct SpanCase {
    const char *desktop;
    int depth;
    int tolerance;
    CZR_VO_DDraw::PictureLayout layout;
};

class TwoMonitorTest : public DDrawOutputTest, public ::testing::WithParamInterface<SpanCase> {};

// A framed window across two monitors: after the skipped first picture,
// each monitor shows its part of the picture stretched over the client area.
TEST_P(TwoMonitorTest, WindowSpanningTwoMonitorsIsPaintedOnBoth)
{
    const SpanCase &c = GetParam();
    KovaControl_ConfigureDesktop(c.desktop);
    KovaFramebufferInfo first, second;
    ASSERT_TRUE(KovaControl_GetFramebufferInfo(0, &first));
    ASSERT_TRUE(KovaControl_GetFramebufferInfo(1, &second));
    // Centred on the shared edge of the two monitors.
    const int edge = second.rect.left == first.rect.right ? second.rect.left : first.rect.left;
    TestWindow window(kCaptioned, edge - 300, 100, 600, 400);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    const Picture p = Quadrants(352, 288);
    // Palettised displays offer no FOURCC surfaces: GDI drawing, no skip.
    EXPECT_EQ(p.DrawOn(output), c.depth == 8 ? 0u : 0xA1888031u);
    ASSERT_EQ(p.DrawOn(output), 0u);
    EXPECT_EQ(output.GetLayout(), c.layout);

    const RECT client = window.ClientOnScreen();
    ASSERT_LT(client.left, edge);
    ASSERT_GT(client.right, edge);
    EXPECT_EQ(CheckQuadrants(client, c.depth, c.tolerance), "");
    // Each monitor's own framebuffer, just beside the shared edge: the left
    // one shows the picture's left half, the right one its right half.
    const int leftMonitor = first.rect.right == edge ? 0 : 1;
    const KovaFramebufferInfo &l = leftMonitor == 0 ? first : second;
    const KovaFramebufferInfo &r = leftMonitor == 0 ? second : first;
    const int centre = (client.left + client.right) / 2;
    const int y = client.top + (client.bottom - client.top) / 4;
    const COLORREF beforeEdge = KovaControl_GetMonitorPixel(leftMonitor, edge - 2 - l.rect.left, y - l.rect.top);
    const COLORREF afterEdge = KovaControl_GetMonitorPixel(1 - leftMonitor, edge + 1 - r.rect.left, y - r.rect.top);
    EXPECT_LE(ColourDistance(beforeEdge, Quantised(Expected(edge - 2 < centre ? kRed : kGreen), c.depth)), c.tolerance)
        << Describe(beforeEdge);
    EXPECT_LE(ColourDistance(afterEdge, Quantised(Expected(edge + 1 < centre ? kRed : kGreen), c.depth)), c.tolerance)
        << Describe(afterEdge);
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, TwoMonitorTest,
    ::testing::Values(SpanCase{"800x600x32;800x600x32@800,0", 32, 0, CZR_VO_DDraw::Rgb32},
                      SpanCase{"800x600x24;800x600x24@800,0", 24, 0, CZR_VO_DDraw::Rgb24},
                      SpanCase{"800x600x16;800x600x16@800,0", 16, 0, CZR_VO_DDraw::Rgb565},
                      SpanCase{"800x600x15;800x600x15@800,0", 15, 0, CZR_VO_DDraw::Rgb555},
                      SpanCase{"800x600x8;800x600x8@800,0", 8, 48, CZR_VO_DDraw::GdiOnly},
                      SpanCase{"800x600x32;800x600x32@-800,0", 32, 0, CZR_VO_DDraw::Rgb32}),
    [](const ::testing::TestParamInfo<SpanCase> &info) {
        return "Depth" + std::to_string(info.param.depth) + (info.index == 5 ? "SecondaryOnTheLeft" : "");
    });

TEST_F(DDrawOutputTest, DisplayModeChangeRebuildsRgbLayoutsAndRestoresPackedOnes)
{
    KovaControl_ConfigureDesktop("640x480x32");
    TestWindow window(kPopup, 30, 30, 256, 192);
    const Picture p = Quadrants(128, 96);
    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = 640;
    mode.dmPelsHeight = 480;

    {
        CZR_VO_DDraw output(1);
        output.SetWindow(window.handle);
        ASSERT_EQ(p.DrawOn(output), 0u);
        ASSERT_EQ(output.GetLayout(), CZR_VO_DDraw::Rgb32);
        mode.dmBitsPerPel = 16;
        ASSERT_EQ(ChangeDisplaySettingsExA(NULL, &mode, NULL, 0, NULL), DISP_CHANGE_SUCCESSFUL);
        // The lost RGB surface makes the present rebuild everything.
        EXPECT_EQ(p.DrawOn(output), 0xFFFFFFFFu);
        EXPECT_EQ(output.GetLayout(), CZR_VO_DDraw::Rgb565);
        EXPECT_EQ(p.DrawOn(output), 0u);
        EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 16, 0), "");
    }
    {
        CZR_VO_DDraw output(1);
        output.SetWindow(window.handle);
        RefuseRgbPictureSurface();
        ASSERT_EQ(p.DrawOn(output), 0u);
        ASSERT_EQ(output.GetLayout(), CZR_VO_DDraw::Yuy2);
        mode.dmBitsPerPel = 32;
        ASSERT_EQ(ChangeDisplaySettingsExA(NULL, &mode, NULL, 0, NULL), DISP_CHANGE_SUCCESSFUL);
        // A packed surface is only restored: the picture is lost, and the
        // lost stage and primary surfaces cost the next one too.
        EXPECT_EQ(p.DrawOn(output), 0xA1888043u);
        EXPECT_EQ(output.GetLayout(), CZR_VO_DDraw::Yuy2);
        EXPECT_EQ(p.DrawOn(output), 0u);
        EXPECT_EQ(p.DrawOn(output), 0u);
        EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 2), "");
    }
}

TEST_F(DDrawOutputTest, DeletingTheOutputErasesTheWindow)
{
    KovaControl_ConfigureDesktop("640x480x32");
    for (int mode = 0; mode <= 1; ++mode) {
        TestWindow window(kPopup, 30, 30, 256, 192);
        UpdateWindow(window.handle);
        std::unique_ptr<CZR_VO_DDraw> output(new CZR_VO_DDraw(mode));
        output->SetWindow(window.handle);
        ASSERT_EQ(Quadrants(128, 96).DrawOn(*output), 0u);
        ASSERT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");
        output->Close();
        output.reset();
        UpdateWindow(window.handle);
        const RECT client = window.ClientOnScreen();
        for (double f : {0.1, 0.5, 0.9}) EXPECT_EQ(ScreenAt(client, f, f), kBackground) << mode << " at " << f;
    }
}

TEST_F(DDrawOutputTest, ClosedOutputDrawsAgainAfterANewBinding)
{
    KovaControl_ConfigureDesktop("640x480x32");
    TestWindow window(kPopup, 30, 30, 256, 192);
    CZR_VO_DDraw output(1);
    output.SetWindow(window.handle);
    const Picture p = Quadrants(128, 96);
    ASSERT_EQ(p.DrawOn(output), 0u);
    output.Close();
    EXPECT_EQ(output.GetState(), CZR_VO_DDraw::DirectDrawReady);  // left as it was
    EXPECT_EQ(p.DrawOn(output), 0xFFFFFFFFu);                       // nothing to draw with
    output.SetWindow(window.handle);
    EXPECT_EQ(p.DrawOn(output), 0u);
    EXPECT_EQ(CheckQuadrants(window.ClientOnScreen(), 32, 0), "");
}

}  // namespace

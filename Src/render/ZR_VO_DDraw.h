/* The DirectDraw video output: puts decoded planar YUV 4:2:0 pictures into a
 * window on every monitor of the desktop.
 *
 * A picture is converted straight into the locked memory of an off-screen
 * picture surface (in the display's RGB format, else FOURCC YUY2 or UYVY),
 * blitted into a stage surface in the display format (where the blitter
 * turns YUV into RGB), and stretched from there over the window's client
 * area on each monitor's primary surface, shifted by the monitor's origin
 * and clipped to the window. Where no picture surface can be made, or in
 * display mode 0, the picture goes into a bottom-up 24-bit bitmap drawn
 * with StretchDIBits.
 *
 * A refresh thread repaints the last picture every 100 ms while no new one
 * arrives, from what the surfaces or the bitmap hold: it never reads the
 * caller's planes, which are free for reuse as soon as DrawYUV returns.
 *
 * All objects are built by the first DrawYUV after construction, SetWindow
 * or a change of picture geometry, and after a failed lock of an RGB
 * picture surface (the display format changed). */
#ifndef KOVA_RENDER_ZR_VO_DDRAW_H
#define KOVA_RENDER_ZR_VO_DDRAW_H

#include "platform/win32.h"
#include "render/VideoOutput.h"
#include "color/ZR_VO_ColorConvert.h"

#include <ddraw.h>
#include <stdint.h>

#include <atomic>

class CMonitors;

/* DrawYUV results besides 0 (presented, or no window bound). */
const uint32_t kDrawWindowMoved = 0xA1888031u;     // top edge moved: picture skipped
const uint32_t kDrawNotReady = 0xA1888037u;        // no successful setup
const uint32_t kDrawObjectMissing = 0xA1888038u;   // DirectDraw object, primary or stage missing
const uint32_t kDrawCreateFailed = 0xA1888039u;    // DirectDrawCreateEx
const uint32_t kDrawCooperativeFailed = 0xA188803Au;
const uint32_t kDrawCapsFailed = 0xA188803Bu;
const uint32_t kDrawPrimaryFailed = 0xA188803Cu;
const uint32_t kDrawPrimaryDescFailed = 0xA188803Du;
const uint32_t kDrawStageFailed = 0xA188803Eu;
const uint32_t kDrawClipperFailed = 0xA1888040u;
const uint32_t kDrawLockFailed = 0xA1888043u;      // picture surface restored; next one tries again
const uint32_t kDrawRebuilt = 0xFFFFFFFFu;         // no monitor list, or everything rebuilt

class CZR_VO_DDraw : public IVideoOutput {
public:
    enum OutputState {
        Idle = 0,             // setup in progress, or the last setup failed
        DirectDrawReady = 1,
        GdiReady = 2,
        NeedsSetup = 3        // the next DrawYUV builds everything anew
    };

    /* Pixel layout of the picture surfaces; selects the conversion. */
    enum PictureLayout {
        Yuy2 = 1,
        Uyvy = 2,
        Rgb32 = 3,
        Rgb24 = 4,
        Rgb565 = 5,
        Rgb555 = 6,
        GdiOnly = 7
    };

    enum PresentMethod {
        MethodAutomatic = 0,  // DirectDraw picture surfaces, GDI when none can be made
        MethodGdi = 4         // GDI drawing from the start
    };

    static const int kMaxMonitors = 16;
    static const DWORD kRefreshPeriod = 100;  // ms

    /* displayMode 0 draws with GDI, anything else through DirectDraw
     * surfaces. Starts the refresh thread; touches no window and no
     * DirectDraw object. */
    explicit CZR_VO_DDraw(int displayMode);
    /* Stops the refresh thread, erases the bound window's client area and
     * releases everything. Must not run while DrawYUV runs. */
    ~CZR_VO_DDraw() override;

    void SetWindow(HWND window) override;
    uint32_t DrawYUV(const uint8_t *y, const uint8_t *u, const uint8_t *v, int width, int height,
                     int lumaPitch, int chromaPitch) override;
    /* Always 0. The rectangle is stored in picture pixels; a later change of
     * geometry keeps its percentages. */
    int SetDisplayRegion(int enable, int x1, int y1, int x2, int y2) override;
    /* Stops the refresh thread and releases every DirectDraw object, the
     * monitor list and the bitmap; the state is left as it is. */
    void Close() override;

    /* For tests and diagnostics. */
    OutputState GetState() const { return static_cast<OutputState>(state.load()); }
    PictureLayout GetLayout() const { return layout; }
    RECT GetRegion() const { return regionRect; }
    uint32_t GetDrawnCount() const { return drawnCount; }
    /* Repaints done by the refresh thread since construction. */
    uint32_t GetRepaintCount() const { return repaintCount.load(); }

private:
    struct Picture {
        const uint8_t *y, *u, *v;
    };

    uint32_t CheckGeometry(int width, int height, int lumaPitch, int chromaPitch);
    void StoreRegion(int enable, int x1, int y1, int x2, int y2);
    uint32_t Setup();
    uint32_t CreateDevices();
    uint32_t CreatePrimaryAndStageSurfaces();
    void SelectPictureLayout(bool *useGdi);
    /* Makes, fills, locks and unlocks a picture surface of `format` for
     * every monitor; false at the first failure. */
    bool TryPictureSurfaces(const DDPIXELFORMAT &format);
    void ReleasePictureSurfaces();
    uint32_t AttachClippers();
    void ReleaseObjects();
    void StopRefreshThread();
    void StartRefreshThread();

    uint32_t PresentDirectDraw(const Picture &picture);
    uint32_t ConvertIntoSurface(int monitor, const Picture &picture);
    uint32_t CheckWindow();
    /* 0, or the first blit failure: kDrawStageBlitFailed or
     * kDrawScreenBlitFailed. Every monitor is tried. */
    uint32_t BlitOntoMonitors();
    /* A zoom region with no whole pixel of the picture in it. */
    bool RegionIsEmpty() const;
    void SetupGdi();
    uint32_t PresentGdi(const Picture *picture);
    bool ReadClientArea();
    void Repaint();

    static unsigned __stdcall RefreshThread(void *context);
    static BOOL WINAPI OnDevice(GUID *guid, LPSTR description, LPSTR driverName, LPVOID context,
                                HMONITOR monitor);
    int MonitorSlots() const;

    /* Refresh thread bookkeeping, read without the lock. */
    std::atomic<uint32_t> drawnCount;
    std::atomic<int32_t> stopThread;
    std::atomic<int32_t> state;
    HANDLE lock;                    // unnamed mutex: drawing, setup, release, repaint
    CMonitors *monitors;
    PresentMethod method;
    PictureLayout layout;
    IDirectDraw7 *directDraw[kMaxMonitors];
    IDirectDrawSurface7 *primarySurface[kMaxMonitors];
    IDirectDrawSurface7 *stageSurface[kMaxMonitors];
    IDirectDrawSurface7 *pictureSurface[kMaxMonitors];
    DDBLTFX blitFx[kMaxMonitors];
    DDSURFACEDESC2 lockDesc[kMaxMonitors];
    GUID deviceGuid[kMaxMonitors];
    RECT savedWindowRect;           // screen coordinates
    RECT destRect;                  // client area, screen coordinates
    RECT sourceRect;                // (0, 0, width, height)
    int32_t width, height, lumaPitch, chromaPitch;
    HWND window;
    int32_t rebuildRequested;
    uint32_t gdiBufferSize;
    HGLOBAL gdiBuffer;
    BITMAPINFOHEADER *gdiHeader;
    uint8_t *gdiPixels;
    int32_t gdiStride;
    CZR_VO_ColorConvert converter;
    DDSURFACEDESC2 pictureDesc, primaryDesc, stageDesc;
    RECT regionRect;                // picture pixels
    int32_t regionEnabled;
    HANDLE refreshThread;
    unsigned refreshThreadId;
    HANDLE refreshWake;             // manual-reset; ends the refresh thread's sleep
    /* The surfaces or the bitmap hold a converted picture that a repaint
     * may show; cleared by every setup. */
    bool pictureHeld;
    std::atomic<uint32_t> repaintCount;
};

#endif

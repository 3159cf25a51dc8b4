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
 * picture surface (the display format changed).
 *
 * One class, one concern a file:
 *   ZR_VO_DDraw.cpp          binding, geometry, the order of setup and release
 *   ZR_VO_DDrawSurfaces.cpp  each monitor's DirectDraw object and surfaces
 *   ZR_VO_DDrawCanvas.cpp    the bitmap drawn with GDI
 *   ZR_VO_DDrawPresent.cpp   a picture onto every monitor the window covers
 *   ZR_VO_DDrawRefresh.cpp   the refresh thread and its repaint */
#ifndef KOVA_RENDER_ZR_VO_DDRAW_H
#define KOVA_RENDER_ZR_VO_DDRAW_H

#include "platform/win32.h"
#include "render/VideoOutput.h"
#include "color/ZR_VO_ColorConvert.h"

#include <ddraw.h>

#include <atomic>
#include <cstdint>
#include <cstring>

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

    CZR_VO_DDraw(const CZR_VO_DDraw &) = delete;
    CZR_VO_DDraw &operator=(const CZR_VO_DDraw &) = delete;

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

    /* DirectDraw refuses a record whose dwSize is not its own. */
    template <class Record>
    static void ClearRecord(Record &record)
    {
        std::memset(&record, 0, sizeof record);
        record.dwSize = sizeof record;
    }

    /* Binding, geometry, and the order of setup and release. */
    uint32_t CheckGeometry(int width, int height, int lumaPitch, int chromaPitch);
    void StoreRegion(int enable, int x1, int y1, int x2, int y2);
    uint32_t Setup();
    void ReleaseObjects();

    /* Each monitor's DirectDraw object and surfaces. */
    static BOOL WINAPI OnDevice(GUID *guid, LPSTR description, LPSTR driverName, LPVOID context,
                                HMONITOR monitor);
    /* Monitors of the list that have a row in the per-monitor tables. */
    int MonitorSlots() const;
    /* The monitor has what every present needs: its DirectDraw object,
     * its primary and its stage surface. */
    bool MonitorReady(int monitor) const;
    uint32_t CreateDevices();
    uint32_t CreatePrimaryAndStageSurfaces();
    /* An off-screen plain surface of the picture's size in `format`. */
    void DescribeOffscreen(DDSURFACEDESC2 *desc, const DDPIXELFORMAT &format) const;
    void SelectPictureLayout(bool *useGdi);
    /* Makes, fills, locks and unlocks a picture surface of `format` for
     * every monitor; false at the first failure. */
    bool TryPictureSurfaces(const DDPIXELFORMAT &format);
    void ReleasePictureSurfaces();
    uint32_t AttachClippers();
    /* Every monitor's surfaces and DirectDraw object, and the monitor list. */
    void ReleaseMonitorObjects();

    /* The bitmap drawn with GDI. */
    void SetupGdi();
    /* A null picture draws what the bitmap holds. */
    uint32_t PresentGdi(const Picture *picture);
    void ReleaseGdi();

    /* A picture onto every monitor the window covers. */
    uint32_t PresentDirectDraw(const Picture &picture);
    uint32_t ConvertIntoSurface(int monitor, const Picture &picture);
    bool ReadClientArea();
    uint32_t CheckWindow();
    /* 0, or the first blit failure: kDrawStageBlitFailed or
     * kDrawScreenBlitFailed. Every monitor is tried. */
    uint32_t BlitOntoMonitors();
    /* A zoom region with no whole pixel of the picture in it. */
    bool RegionIsEmpty() const;

    /* The refresh thread and its repaint. */
    static unsigned __stdcall RefreshThread(void *context);
    void StartRefreshThread();
    /* Ends the refresh thread, unless called on it. */
    void StopRefreshThread();
    /* Tells the refresh thread to end and waits for it. */
    void EndRefreshThread();
    /* Waits for a refresh thread told to end, and forgets its handle. */
    void JoinRefreshThread();
    void Repaint();

    /* Refresh thread bookkeeping, read without the lock. */
    std::atomic<uint32_t> drawnCount{0};
    std::atomic<int32_t> stopThread{0};
    std::atomic<int32_t> state{NeedsSetup};
    HANDLE lock = nullptr;  // unnamed mutex: drawing, setup, release, repaint
    CMonitors *monitors = nullptr;
    PresentMethod method;
    PictureLayout layout = Yuy2;
    IDirectDraw7 *directDraw[kMaxMonitors] = {};
    IDirectDrawSurface7 *primarySurface[kMaxMonitors] = {};
    IDirectDrawSurface7 *stageSurface[kMaxMonitors] = {};
    IDirectDrawSurface7 *pictureSurface[kMaxMonitors] = {};
    DDBLTFX blitFx[kMaxMonitors];
    DDSURFACEDESC2 lockDesc[kMaxMonitors];
    GUID deviceGuid[kMaxMonitors] = {};
    RECT savedWindowRect = {};  // screen coordinates
    RECT destRect = {};         // client area, screen coordinates
    RECT sourceRect = {};       // (0, 0, width, height)
    int32_t width = 352, height = 288, lumaPitch = 352, chromaPitch = 176;
    HWND window = nullptr;
    int32_t rebuildRequested = 0;
    uint32_t gdiBufferSize = 0;
    HGLOBAL gdiBuffer = nullptr;
    BITMAPINFOHEADER *gdiHeader = nullptr;
    uint8_t *gdiPixels = nullptr;
    int32_t gdiStride = 0;
    CZR_VO_ColorConvert converter;
    DDSURFACEDESC2 pictureDesc = {}, primaryDesc = {}, stageDesc = {};
    RECT regionRect = {};  // picture pixels
    int32_t regionEnabled = 0;
    HANDLE refreshThread = nullptr;
    unsigned refreshThreadId = 0;
    HANDLE refreshWake = nullptr;  // manual-reset; ends the refresh thread's sleep
    /* The surfaces or the bitmap hold a converted picture that a repaint
     * may show; cleared by every setup. */
    bool pictureHeld = false;
    std::atomic<uint32_t> repaintCount{0};
};

#endif

/* Lifecycle of the DirectDraw output: construction, binding, the geometry
 * check, setup of every monitor's objects, release and the refresh thread.
 * Presenting a picture lives in ZR_VO_DDrawPresent.cpp. */
#include "render/ZR_VO_DDraw.h"
#include "platform/ThreadStack.h"

#include "render/ZR_VO_Monitors.h"

#include <process.h>
#include <string.h>

#include <algorithm>
#include <exception>
#include <string>

namespace {

/* Holds the output's mutex for a scope; a wait that fails leaves it
 * unowned and Owned() false. */
class MutexHold {
public:
    explicit MutexHold(HANDLE mutex) : mutex_(mutex)
    {
        DWORD waited = mutex_ ? WaitForSingleObject(mutex_, INFINITE) : WAIT_FAILED;
        owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~MutexHold()
    {
        if (owned_) ReleaseMutex(mutex_);
    }
    MutexHold(const MutexHold &) = delete;
    MutexHold &operator=(const MutexHold &) = delete;
    bool Owned() const { return owned_; }

private:
    HANDLE mutex_;
    bool owned_;
};

template <class T>
void ReleaseInterface(T *&object)
{
    if (object) {
        object->Release();
        object = NULL;
    }
}

/* The default device is asked for with a null GUID. */
bool IsDefaultDevice(const GUID &guid)
{
    return guid.Data1 == 0 && guid.Data2 == 0 && guid.Data3 == 0 && guid.Data4[0] == 0;
}

}  // namespace

CZR_VO_DDraw::CZR_VO_DDraw(int displayMode)
    : drawnCount(0),
      stopThread(0),
      state(NeedsSetup),
      lock(CreateMutexA(NULL, FALSE, NULL)),
      monitors(NULL),
      method(displayMode == 0 ? MethodGdi : MethodAutomatic),
      layout(Yuy2),
      width(352),
      height(288),
      lumaPitch(352),
      chromaPitch(176),
      window(NULL),
      rebuildRequested(0),
      gdiBufferSize(0),
      gdiBuffer(NULL),
      gdiHeader(NULL),
      gdiPixels(NULL),
      gdiStride(0),
      regionEnabled(0),
      refreshThread(NULL),
      refreshThreadId(0),
      refreshWake(CreateEventA(NULL, TRUE, FALSE, NULL)),
      pictureHeld(false),
      repaintCount(0)
{
    for (int i = 0; i < kMaxMonitors; ++i) {
        directDraw[i] = NULL;
        primarySurface[i] = NULL;
        stageSurface[i] = NULL;
        pictureSurface[i] = NULL;
        memset(&blitFx[i], 0, sizeof blitFx[i]);
        blitFx[i].dwSize = sizeof blitFx[i];
        memset(&lockDesc[i], 0, sizeof lockDesc[i]);
        lockDesc[i].dwSize = sizeof lockDesc[i];
        memset(&deviceGuid[i], 0, sizeof deviceGuid[i]);
    }
    SetRectEmpty(&savedWindowRect);
    SetRectEmpty(&destRect);
    SetRect(&sourceRect, 0, 0, width, height);
    SetRectEmpty(&regionRect);
    memset(&pictureDesc, 0, sizeof pictureDesc);
    memset(&primaryDesc, 0, sizeof primaryDesc);
    memset(&stageDesc, 0, sizeof stageDesc);
    // Without its mutex the output could not keep the thread off a setup.
    if (lock) StartRefreshThread();
}

CZR_VO_DDraw::~CZR_VO_DDraw()
{
    stopThread = 1;
    if (refreshWake) SetEvent(refreshWake);
    if (refreshThread) {
        WaitForSingleObject(refreshThread, INFINITE);
        CloseHandle(refreshThread);
        refreshThread = NULL;
    }
    if (lock) CloseHandle(lock);
    lock = NULL;
    // The window repaints its background, so the last picture disappears.
    if (window) InvalidateRect(window, NULL, TRUE);
    ReleaseObjects();
    if (refreshWake) CloseHandle(refreshWake);
}

void CZR_VO_DDraw::SetWindow(HWND newWindow)
{
    // The refresh thread reads the window under the lock.
    MutexHold hold(lock);
    window = newWindow;
    state = NeedsSetup;
}

int CZR_VO_DDraw::SetDisplayRegion(int enable, int x1, int y1, int x2, int y2)
{
    MutexHold hold(lock);
    StoreRegion(enable, x1, y1, x2, y2);
    return 0;
}

void CZR_VO_DDraw::StoreRegion(int enable, int x1, int y1, int x2, int y2)
{
    regionEnabled = enable;
    if (!enable) return;
    // Out-of-range values are the exported function's to refuse; 64-bit
    // products keep stray ones from overflowing.
    const int32_t px1 = (int32_t)((int64_t)x1 * width / 100);
    const int32_t px2 = (int32_t)((int64_t)x2 * width / 100);
    const int32_t py1 = (int32_t)((int64_t)y1 * height / 100);
    const int32_t py2 = (int32_t)((int64_t)y2 * height / 100);
    SetRect(&regionRect, std::min(px1, px2), std::min(py1, py2), std::max(px1, px2), std::max(py1, py2));
}

uint32_t CZR_VO_DDraw::CheckGeometry(int newWidth, int newHeight, int newLumaPitch, int newChromaPitch)
{
    if (newWidth < 32 || newWidth > 2048 || newHeight < 8 || newHeight > 1536 || newLumaPitch < newWidth ||
        newLumaPitch > 2048 || newChromaPitch > 2048 || 2 * newChromaPitch < newWidth)
        return kDrawBadGeometry;
    if (newWidth == width && newHeight == height && newLumaPitch == lumaPitch && newChromaPitch == chromaPitch)
        return 0;
    // A zoom keeps its place in the picture: back to percentages of the old
    // size, then to pixels of the new one.
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (regionEnabled && width != 0 && height != 0) {
        x1 = regionRect.left * 100 / width;
        x2 = regionRect.right * 100 / width;
        y1 = regionRect.top * 100 / height;
        y2 = regionRect.bottom * 100 / height;
    }
    width = newWidth;
    height = newHeight;
    lumaPitch = newLumaPitch;
    chromaPitch = newChromaPitch;
    state = NeedsSetup;
    if (regionEnabled) StoreRegion(1, x1, y1, x2, y2);
    return 0;
}

uint32_t CZR_VO_DDraw::DrawYUV(const uint8_t *y, const uint8_t *u, const uint8_t *v, int newWidth,
                               int newHeight, int newLumaPitch, int newChromaPitch)
{
    if (!y || !u || !v) return kDrawNoPlane;
    MutexHold hold(lock);
    if (!hold.Owned()) return kDrawNotReady;

    uint32_t result = CheckGeometry(newWidth, newHeight, newLumaPitch, newChromaPitch);
    if (result != 0) return result;
    SetRect(&sourceRect, 0, 0, width, height);

    if (state == NeedsSetup) {
        result = Setup();
        if (result != 0) return result;
    }
    if (!window) return 0;

    ++drawnCount;
    const Picture picture = {y, u, v};
    switch (state.load()) {
    case DirectDrawReady:
        return PresentDirectDraw(picture);
    case GdiReady:
        return PresentGdi(&picture);
    default:
        return kDrawNotReady;
    }
}

void CZR_VO_DDraw::Close()
{
    MutexHold hold(lock);
    StopRefreshThread();
    ReleaseObjects();
}

int CZR_VO_DDraw::MonitorSlots() const
{
    return monitors ? std::min(monitors->GetCount(), (int)kMaxMonitors) : 0;
}

uint32_t CZR_VO_DDraw::Setup()
{
    if (window) GetWindowRect(window, &savedWindowRect);
    StopRefreshThread();
    ReleaseObjects();
    state = Idle;
    rebuildRequested = 0;

    try {
        monitors = new CMonitors();
    } catch (const std::exception &) {
        // A monitor attached while counting, or no memory.
        monitors = NULL;
        return kDrawRebuilt;
    }

    uint32_t result = CreateDevices();
    if (result == 0) result = CreatePrimaryAndStageSurfaces();
    if (result != 0) return result;
    bool useGdi = false;
    SelectPictureLayout(&useGdi);
    result = AttachClippers();
    if (result != 0) return result;

    if (stopThread) StartRefreshThread();
    // Only a setup that got through every step leaves a ready state.
    state = useGdi ? GdiReady : DirectDrawReady;
    return 0;
}

BOOL WINAPI CZR_VO_DDraw::OnDevice(GUID *guid, LPSTR, LPSTR driverName, LPVOID context, HMONITOR)
{
    CZR_VO_DDraw *self = static_cast<CZR_VO_DDraw *>(context);
    if (!driverName) return TRUE;
    const int count = self->monitors->GetCount();
    for (int i = 0; i < count; ++i) {
        if (self->monitors->GetMonitor(i).GetDeviceName() != driverName) continue;
        if (i < kMaxMonitors && guid) self->deviceGuid[i] = *guid;
        break;
    }
    return TRUE;
}

uint32_t CZR_VO_DDraw::CreateDevices()
{
    DirectDrawEnumerateExA(OnDevice, this,
                           DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                               DDENUM_NONDISPLAYDEVICES);
    const int slots = MonitorSlots();
    for (int i = 0; i < slots; ++i) {
        GUID *guid = IsDefaultDevice(deviceGuid[i]) ? NULL : &deviceGuid[i];
        void *created = NULL;
        if (FAILED(DirectDrawCreateEx(guid, &created, IID_IDirectDraw7, NULL))) return kDrawCreateFailed;
        directDraw[i] = static_cast<IDirectDraw7 *>(created);
        if (FAILED(directDraw[i]->SetCooperativeLevel(window, DDSCL_NORMAL))) return kDrawCooperativeFailed;
        DDCAPS caps;
        memset(&caps, 0, sizeof caps);
        caps.dwSize = sizeof caps;
        if (FAILED(directDraw[i]->GetCaps(&caps, NULL))) return kDrawCapsFailed;
    }
    return 0;
}

uint32_t CZR_VO_DDraw::CreatePrimaryAndStageSurfaces()
{
    const int slots = MonitorSlots();
    for (int i = 0; i < slots; ++i) {
        memset(&primaryDesc, 0, sizeof primaryDesc);
        primaryDesc.dwSize = sizeof primaryDesc;
        primaryDesc.dwFlags = DDSD_CAPS;
        primaryDesc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        if (!directDraw[i] || FAILED(directDraw[i]->CreateSurface(&primaryDesc, &primarySurface[i], NULL))) {
            primarySurface[i] = NULL;
            return kDrawPrimaryFailed;
        }
    }
    for (int i = 0; i < slots; ++i) {
        memset(&primaryDesc, 0, sizeof primaryDesc);
        primaryDesc.dwSize = sizeof primaryDesc;
        if (!primarySurface[i] || FAILED(primarySurface[i]->GetSurfaceDesc(&primaryDesc)))
            return kDrawPrimaryDescFailed;
        memset(&stageDesc, 0, sizeof stageDesc);
        stageDesc.dwSize = sizeof stageDesc;
        stageDesc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
        stageDesc.dwHeight = height;
        stageDesc.dwWidth = width;
        stageDesc.ddpfPixelFormat = primaryDesc.ddpfPixelFormat;
        stageDesc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        if (!directDraw[i] || FAILED(directDraw[i]->CreateSurface(&stageDesc, &stageSurface[i], NULL))) {
            stageSurface[i] = NULL;
            return kDrawStageFailed;
        }
    }
    return 0;
}

bool CZR_VO_DDraw::TryPictureSurfaces(const DDPIXELFORMAT &format)
{
    DDBLTFX fill;
    memset(&fill, 0, sizeof fill);
    fill.dwSize = sizeof fill;
    fill.dwFillColor = 0;
    memset(&pictureDesc, 0, sizeof pictureDesc);
    pictureDesc.dwSize = sizeof pictureDesc;
    pictureDesc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    pictureDesc.dwHeight = height;
    pictureDesc.dwWidth = width;
    pictureDesc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    pictureDesc.ddpfPixelFormat = format;

    const int slots = MonitorSlots();
    for (int i = 0; i < slots; ++i) {
        if (!directDraw[i]) return false;
        if (FAILED(directDraw[i]->CreateSurface(&pictureDesc, &pictureSurface[i], NULL))) {
            pictureSurface[i] = NULL;
            return false;
        }
        if (FAILED(pictureSurface[i]->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fill))) return false;
        memset(&lockDesc[i], 0, sizeof lockDesc[i]);
        lockDesc[i].dwSize = sizeof lockDesc[i];
        if (FAILED(pictureSurface[i]->Lock(NULL, &lockDesc[i], DDLOCK_WAIT, NULL))) return false;
        pictureSurface[i]->Unlock(NULL);
    }
    return true;
}

void CZR_VO_DDraw::ReleasePictureSurfaces()
{
    for (int i = 0; i < kMaxMonitors; ++i) ReleaseInterface(pictureSurface[i]);
}

void CZR_VO_DDraw::SelectPictureLayout(bool *useGdi)
{
    *useGdi = false;
    if (method == MethodAutomatic) {
        // The display's own format first; with several monitors the last
        // one's, which the stage descriptions left in primaryDesc.
        const DDPIXELFORMAT &display = primaryDesc.ddpfPixelFormat;
        PictureLayout rgb = GdiOnly;
        if (display.dwRGBBitCount == 32)
            rgb = Rgb32;
        else if (display.dwRGBBitCount == 24)
            rgb = Rgb24;
        else if (display.dwRGBBitCount == 16 && display.dwRBitMask == 0xF800)
            rgb = Rgb565;
        else if (display.dwRGBBitCount == 16 && display.dwRBitMask == 0x7C00)
            rgb = Rgb555;
        if (rgb != GdiOnly && TryPictureSurfaces(display)) {
            layout = rgb;
            return;
        }
        ReleasePictureSurfaces();

        static const DWORD kFourCCs[] = {MAKEFOURCC('Y', 'U', 'Y', '2'), MAKEFOURCC('U', 'Y', 'V', 'Y')};
        static const PictureLayout kPacked[] = {Yuy2, Uyvy};
        for (int k = 0; k < 2; ++k) {
            DDPIXELFORMAT packed;
            memset(&packed, 0, sizeof packed);
            packed.dwSize = sizeof packed;
            packed.dwFlags = DDPF_FOURCC;
            packed.dwFourCC = kFourCCs[k];
            if (TryPictureSurfaces(packed)) {
                layout = kPacked[k];
                return;
            }
            ReleasePictureSurfaces();
        }
    }
    layout = GdiOnly;
    SetupGdi();
    *useGdi = true;
}

uint32_t CZR_VO_DDraw::AttachClippers()
{
    const int slots = MonitorSlots();
    for (int i = 0; i < slots; ++i) {
        if (!directDraw[i] || !primarySurface[i]) return kDrawClipperFailed;
        IDirectDrawClipper *clipper = NULL;
        if (FAILED(directDraw[i]->CreateClipper(0, &clipper, NULL)) || !clipper) return kDrawClipperFailed;
        HRESULT result = clipper->SetHWnd(0, window);
        if (SUCCEEDED(result)) result = primarySurface[i]->SetClipper(clipper);
        // The primary surface keeps an attached clipper alive.
        clipper->Release();
        if (FAILED(result)) return kDrawClipperFailed;
    }
    return 0;
}

void CZR_VO_DDraw::ReleaseObjects()
{
    for (int i = 0; i < kMaxMonitors; ++i) {
        ReleaseInterface(pictureSurface[i]);
        ReleaseInterface(stageSurface[i]);
        ReleaseInterface(primarySurface[i]);
        if (directDraw[i]) {
            directDraw[i]->SetCooperativeLevel(NULL, DDSCL_NORMAL);
            ReleaseInterface(directDraw[i]);
        }
    }
    delete monitors;
    monitors = NULL;
    if (gdiBuffer) {
        GlobalUnlock(gdiBuffer);
        GlobalFree(gdiBuffer);
    }
    gdiBuffer = NULL;
    gdiHeader = NULL;
    gdiPixels = NULL;
    gdiBufferSize = 0;
    pictureHeld = false;
}

void CZR_VO_DDraw::StopRefreshThread()
{
    // Never waited for from itself; the lock held here does not block it,
    // since it only ever tries the lock.
    if (!refreshThread || GetCurrentThreadId() == refreshThreadId) return;
    stopThread = 1;
    if (refreshWake) SetEvent(refreshWake);
    WaitForSingleObject(refreshThread, INFINITE);
    CloseHandle(refreshThread);
    refreshThread = NULL;
}

void CZR_VO_DDraw::StartRefreshThread()
{
    if (refreshThread) {
        WaitForSingleObject(refreshThread, INFINITE);
        CloseHandle(refreshThread);
        refreshThread = NULL;
    }
    stopThread = 0;
    if (refreshWake) ResetEvent(refreshWake);
    refreshThread = reinterpret_cast<HANDLE>(_beginthreadex(NULL, kThreadStackReserve, RefreshThread, this,
                                                                  kThreadStackFlags, &refreshThreadId));
}

unsigned __stdcall CZR_VO_DDraw::RefreshThread(void *context)
{
    CZR_VO_DDraw *self = static_cast<CZR_VO_DDraw *>(context);
    uint32_t remembered = 0;
    while (!self->stopThread) {
        // Never waits for the lock: a busy output means a picture is being
        // drawn, or a Close is waiting for this thread to end.
        const DWORD taken = WaitForSingleObject(self->lock, 0);
        if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) {
            const uint32_t count = self->drawnCount;
            if (count == remembered)
                self->Repaint();
            else
                remembered = count;
            ReleaseMutex(self->lock);
        }
        if (self->refreshWake)
            WaitForSingleObject(self->refreshWake, kRefreshPeriod);
        else
            Sleep(kRefreshPeriod);
    }
    return 0;
}

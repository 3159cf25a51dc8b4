#include "render/ZR_VO_DDraw.h"

#include "render/ZR_VO_Monitors.h"

#include <algorithm>
#include <exception>

namespace {

/* Holds the output's mutex for a scope; a wait that fails leaves it
 * unowned and Owned() false. */
class MutexHold {
public:
    explicit MutexHold(HANDLE mutex) : mutex_(mutex)
    {
        const DWORD waited = mutex_ ? WaitForSingleObject(mutex_, INFINITE) : WAIT_FAILED;
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

}  // namespace

CZR_VO_DDraw::CZR_VO_DDraw(int displayMode)
    : lock(CreateMutexA(nullptr, FALSE, nullptr)),
      method(displayMode == 0 ? MethodGdi : MethodAutomatic),
      refreshWake(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    for (int i = 0; i < kMaxMonitors; ++i) {
        ClearRecord(blitFx[i]);
        ClearRecord(lockDesc[i]);
    }
    SetRect(&sourceRect, 0, 0, width, height);
    // Without its mutex the output could not keep the thread off a setup.
    if (lock) StartRefreshThread();
}

CZR_VO_DDraw::~CZR_VO_DDraw()
{
    EndRefreshThread();
    if (lock) CloseHandle(lock);
    lock = nullptr;
    // The window repaints its background, so the last picture disappears.
    if (window) InvalidateRect(window, nullptr, TRUE);
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
    const int32_t px1 = static_cast<int32_t>(static_cast<int64_t>(x1) * width / 100);
    const int32_t px2 = static_cast<int32_t>(static_cast<int64_t>(x2) * width / 100);
    const int32_t py1 = static_cast<int32_t>(static_cast<int64_t>(y1) * height / 100);
    const int32_t py2 = static_cast<int32_t>(static_cast<int64_t>(y2) * height / 100);
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
        monitors = nullptr;
        return kDrawRebuilt;
    }

    uint32_t result = CreateDevices();
    if (result == 0) result = CreatePrimaryAndStageSurfaces();
    if (result != 0) return result;
    // GDI drawing too needs the surfaces and clippers above and below.
    bool useGdi = false;
    SelectPictureLayout(&useGdi);
    result = AttachClippers();
    if (result != 0) return result;

    // A Close, or the release above, stopped the refresh thread; a setup
    // that a repaint started on the refresh thread left it running.
    if (stopThread) StartRefreshThread();
    // Only a setup that got through every step leaves a ready state.
    state = useGdi ? GdiReady : DirectDrawReady;
    return 0;
}

void CZR_VO_DDraw::ReleaseObjects()
{
    ReleaseMonitorObjects();
    ReleaseGdi();
    pictureHeld = false;
}

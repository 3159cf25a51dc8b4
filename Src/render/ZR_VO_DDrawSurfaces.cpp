#include "render/ZR_VO_DDraw.h"

#include "render/ZR_VO_Monitors.h"

#include <algorithm>

namespace {

template <class Interface>
void ReleaseInterface(Interface *&object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

/* The default device is asked for with a null GUID. */
bool IsDefaultDevice(const GUID &guid)
{
    return guid.Data1 == 0 && guid.Data2 == 0 && guid.Data3 == 0 && guid.Data4[0] == 0;
}

}  // namespace

int CZR_VO_DDraw::MonitorSlots() const
{
    return monitors ? std::min(monitors->GetCount(), static_cast<int>(kMaxMonitors)) : 0;
}

bool CZR_VO_DDraw::MonitorReady(int monitor) const
{
    return directDraw[monitor] && primarySurface[monitor] && stageSurface[monitor];
}

BOOL WINAPI CZR_VO_DDraw::OnDevice(GUID *guid, LPSTR, LPSTR driverName, LPVOID context, HMONITOR)
{
    CZR_VO_DDraw *self = static_cast<CZR_VO_DDraw *>(context);
    if (!driverName) return TRUE;
    const int count = self->monitors->GetCount();
    for (int i = 0; i < count; ++i) {
        if (self->monitors->GetMonitor(i).GetDeviceName() != driverName) continue;
        // A device reported without a GUID keeps the default device.
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
        GUID *guid = IsDefaultDevice(deviceGuid[i]) ? nullptr : &deviceGuid[i];
        void *created = nullptr;
        if (FAILED(DirectDrawCreateEx(guid, &created, IID_IDirectDraw7, nullptr))) return kDrawCreateFailed;
        directDraw[i] = static_cast<IDirectDraw7 *>(created);
        if (FAILED(directDraw[i]->SetCooperativeLevel(window, DDSCL_NORMAL))) return kDrawCooperativeFailed;
        DDCAPS caps;
        ClearRecord(caps);
        if (FAILED(directDraw[i]->GetCaps(&caps, nullptr))) return kDrawCapsFailed;
    }
    return 0;
}

void CZR_VO_DDraw::DescribeOffscreen(DDSURFACEDESC2 *desc, const DDPIXELFORMAT &format) const
{
    ClearRecord(*desc);
    desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc->dwHeight = height;
    desc->dwWidth = width;
    desc->ddpfPixelFormat = format;
    desc->ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
}

uint32_t CZR_VO_DDraw::CreatePrimaryAndStageSurfaces()
{
    const int slots = MonitorSlots();
    for (int i = 0; i < slots; ++i) {
        ClearRecord(primaryDesc);
        primaryDesc.dwFlags = DDSD_CAPS;
        primaryDesc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        if (!directDraw[i] || FAILED(directDraw[i]->CreateSurface(&primaryDesc, &primarySurface[i], nullptr))) {
            primarySurface[i] = nullptr;
            return kDrawPrimaryFailed;
        }
    }
    // The stage takes the display's format, so the blit onto the screen
    // only stretches.
    for (int i = 0; i < slots; ++i) {
        ClearRecord(primaryDesc);
        if (!primarySurface[i] || FAILED(primarySurface[i]->GetSurfaceDesc(&primaryDesc)))
            return kDrawPrimaryDescFailed;
        DescribeOffscreen(&stageDesc, primaryDesc.ddpfPixelFormat);
        if (!directDraw[i] || FAILED(directDraw[i]->CreateSurface(&stageDesc, &stageSurface[i], nullptr))) {
            stageSurface[i] = nullptr;
            return kDrawStageFailed;
        }
    }
    return 0;
}

bool CZR_VO_DDraw::TryPictureSurfaces(const DDPIXELFORMAT &format)
{
    // Colour 0: a surface shows black until its first picture.
    DDBLTFX fill;
    ClearRecord(fill);
    DescribeOffscreen(&pictureDesc, format);

    // A format is taken only if every step a present needs works on it.
    const int slots = MonitorSlots();
    for (int i = 0; i < slots; ++i) {
        if (!directDraw[i]) return false;
        if (FAILED(directDraw[i]->CreateSurface(&pictureDesc, &pictureSurface[i], nullptr))) {
            pictureSurface[i] = nullptr;
            return false;
        }
        if (FAILED(pictureSurface[i]->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fill))) return false;
        ClearRecord(lockDesc[i]);
        if (FAILED(pictureSurface[i]->Lock(nullptr, &lockDesc[i], DDLOCK_WAIT, nullptr))) return false;
        pictureSurface[i]->Unlock(nullptr);
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

        // Packed YUV, which the blitter into the stage turns into RGB.
        static const DWORD kFourCCs[] = {MAKEFOURCC('Y', 'U', 'Y', '2'), MAKEFOURCC('U', 'Y', 'V', 'Y')};
        static const PictureLayout kPacked[] = {Yuy2, Uyvy};
        for (int k = 0; k < 2; ++k) {
            DDPIXELFORMAT packed;
            ClearRecord(packed);
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
        IDirectDrawClipper *clipper = nullptr;
        if (FAILED(directDraw[i]->CreateClipper(0, &clipper, nullptr)) || !clipper) return kDrawClipperFailed;
        HRESULT result = clipper->SetHWnd(0, window);
        if (SUCCEEDED(result)) result = primarySurface[i]->SetClipper(clipper);
        // The primary surface keeps an attached clipper alive.
        clipper->Release();
        if (FAILED(result)) return kDrawClipperFailed;
    }
    return 0;
}

void CZR_VO_DDraw::ReleaseMonitorObjects()
{
    for (int i = 0; i < kMaxMonitors; ++i) {
        ReleaseInterface(pictureSurface[i]);
        ReleaseInterface(stageSurface[i]);
        ReleaseInterface(primarySurface[i]);
        if (directDraw[i]) {
            directDraw[i]->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
            ReleaseInterface(directDraw[i]);
        }
    }
    delete monitors;
    monitors = nullptr;
}

/* DirectDraw devices: enumeration, creation and IDirectDraw7.
 *
 * The primary display device ("display", no GUID) is the primary monitor;
 * each monitor is also a device of its own, with a GUID derived from its
 * number and the driver name "\\.\DISPLAYn" that GetMonitorInfoA reports
 * as its device name. */
#include "ddraw/ddraw_private.h"

#include "desktop/desktop_state.h"
#include "desktop/monitor_config.h"

#include <string.h>
#include <stdio.h>

#include <algorithm>

#include <chrono>
#include <string>
#include <thread>

namespace kova {
namespace ddraw {

namespace {

const HRESULT kNoAggregation = (HRESULT)0x80040110L;  // CLASS_E_NOAGGREGATION
const DWORD kRefreshRate = 60;

GUID DeviceGuid(int monitorNumber)
{
    GUID g = {0x4B4F5641, 0xDD07, (WORD)monitorNumber, {0x8A, 0x4D, 0x56, 0x44, 0x49, 0x53, 0x50, 0x4C}};
    return g;
}

struct DeviceEntry {
    GUID guid;
    std::string driverName;
    HMONITOR monitor;
};

std::vector<DeviceEntry> MonitorDevices()
{
    std::vector<DeviceEntry> out;
    auto lock = desktop::LockDesktop();
    for (const desktop::MonitorState &m : desktop::GetState().monitors)
        out.push_back({DeviceGuid(m.number), desktop::MonitorDeviceName(m.number), m.handle});
    return out;
}

HMONITOR PrimaryMonitor()
{
    auto lock = desktop::LockDesktop();
    for (const desktop::MonitorState &m : desktop::GetState().monitors)
        if (m.primary) return m.handle;
    return nullptr;
}

void FillModeDesc(const Framebuffer &fb, DDSURFACEDESC2 *desc)
{
    DWORD size = desc->dwSize;
    memset(desc, 0, sizeof *desc);
    desc->dwSize = size;
    desc->dwFlags = DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    desc->dwWidth = (DWORD)fb.width;
    desc->dwHeight = (DWORD)fb.height;
    desc->lPitch = fb.pitch;
    desc->dwRefreshRate = kRefreshRate;
    Describe(FromLayout(fb.layout), &desc->ddpfPixelFormat);
}

DWORD AvailableVideoMemory()
{
    long long used = Live().offscreenBytes.load();
    return used >= (long long)kVideoMemory ? 0 : kVideoMemory - (DWORD)used;
}

void FillCaps(DDCAPS *caps, bool hardware, PixelLayout display)
{
    const std::vector<DWORD> fourCCs = hardware ? OfferedFourCCs(display) : std::vector<DWORD>();
    const bool fourCC = !fourCCs.empty();
    const bool palette = display == PixelLayout::Pal8;
    DWORD size = caps->dwSize;
    memset(caps, 0, sizeof *caps);
    caps->dwSize = size;
    const DWORD blit = DDCAPS_BLT | DDCAPS_BLTCOLORFILL | DDCAPS_BLTSTRETCH | DDCAPS_CANCLIP |
                       DDCAPS_CANCLIPSTRETCHED | (fourCC ? DDCAPS_BLTFOURCC : 0);
    const DWORD fx = DDFXCAPS_BLTSTRETCHX | DDFXCAPS_BLTSTRETCHXN | DDFXCAPS_BLTSTRETCHY | DDFXCAPS_BLTSTRETCHYN |
                     DDFXCAPS_BLTSHRINKX | DDFXCAPS_BLTSHRINKXN | DDFXCAPS_BLTSHRINKY | DDFXCAPS_BLTSHRINKYN |
                     DDFXCAPS_BLTMIRRORLEFTRIGHT | DDFXCAPS_BLTMIRRORUPDOWN;
    caps->dwCaps = blit | DDCAPS_GDI | DDCAPS_CANBLTSYSMEM | (palette ? DDCAPS_PALETTE : 0) |
                   (hardware ? 0 : DDCAPS_NOHARDWARE);
    caps->dwCaps2 = DDCAPS2_CANRENDERWINDOWED | DDCAPS2_WIDESURFACES | DDCAPS2_NOPAGELOCKREQUIRED |
                    (fourCC ? DDCAPS2_COPYFOURCC : 0);
    caps->dwFXCaps = fx;
    caps->dwPalCaps = palette ? DDPCAPS_8BIT | DDPCAPS_PRIMARYSURFACE | DDPCAPS_ALLOW256 : 0;
    if (hardware) {
        caps->dwVidMemTotal = kVideoMemory;
        caps->dwVidMemFree = AvailableVideoMemory();
    }
    caps->dwNumFourCCCodes = (DWORD)fourCCs.size();
    const int rop = SRCCOPY >> 16;  // the one raster operation blits do
    caps->dwRops[rop / 32] = caps->dwSVBRops[rop / 32] = caps->dwVSBRops[rop / 32] = caps->dwSSBRops[rop / 32] =
        caps->dwNLVBRops[rop / 32] = 1u << (rop % 32);
    caps->dwSVBCaps = caps->dwVSBCaps = caps->dwSSBCaps = caps->dwNLVBCaps = blit;
    caps->dwSVBFXCaps = caps->dwVSBFXCaps = caps->dwSSBFXCaps = caps->dwNLVBFXCaps = fx;
    caps->ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY |
                           DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM | DDSCAPS_VISIBLE |
                           (palette ? DDSCAPS_PALETTE : 0);
    caps->ddsOldCaps.dwCaps = caps->ddsCaps.dwCaps;
}

}  // namespace

/* ---- IDirectDraw7 ----------------------------------------------------- */

DirectDraw::DirectDraw(HMONITOR monitor) : monitor_(monitor)
{
    ++Live().directDraws;
}

DirectDraw::~DirectDraw()
{
    --Live().directDraws;
}

void DirectDraw::Attach(Surface *s)
{
    std::lock_guard<std::mutex> hold(mutex_);
    surfaces_.push_back(s);
    if (s->IsPrimary()) primary_ = s;
}

void DirectDraw::Detach(Surface *s)
{
    std::lock_guard<std::mutex> hold(mutex_);
    surfaces_.erase(std::remove(surfaces_.begin(), surfaces_.end(), s), surfaces_.end());
    if (primary_ == s) primary_ = nullptr;
}

HRESULT DirectDraw::QueryInterface(REFIID riid, void **object)
{
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectDraw7) {
        AddRef();
        *object = static_cast<IDirectDraw7 *>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DirectDraw::AddRef()
{
    return ++refs_;
}

ULONG DirectDraw::Release()
{
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT DirectDraw::SetCooperativeLevel(HWND window, DWORD flags)
{
    HRESULT hr;
    if (Intercept("IDirectDraw7::SetCooperativeLevel", {}, &hr)) return hr;
    const DWORD known = DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_NOWINDOWCHANGES | DDSCL_NORMAL |
                        DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX | DDSCL_SETFOCUSWINDOW | DDSCL_SETDEVICEWINDOW |
                        DDSCL_CREATEDEVICEWINDOW | DDSCL_MULTITHREADED | DDSCL_FPUSETUP | DDSCL_FPUPRESERVE;
    if (flags & ~known) return DDERR_INVALIDPARAMS;
    const bool normal = (flags & DDSCL_NORMAL) != 0, exclusive = (flags & DDSCL_EXCLUSIVE) != 0;
    if (normal == exclusive) return DDERR_INVALIDPARAMS;
    if (normal && (flags & DDSCL_FULLSCREEN)) return DDERR_INVALIDPARAMS;
    // The virtual desktop has no full-screen mode to hand out.
    if (exclusive) return DDERR_UNSUPPORTED;
    if (window && !IsWindow(window)) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::mutex> hold(mutex_);
    levelSet_ = true;
    window_ = window;
    return DD_OK;
}

HRESULT DirectDraw::GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps)
{
    HRESULT hr;
    if (Intercept("IDirectDraw7::GetCaps", {}, &hr)) return hr;
    if (!driverCaps && !emulationCaps) return DDERR_INVALIDPARAMS;
    if ((driverCaps && driverCaps->dwSize != sizeof(DDCAPS)) ||
        (emulationCaps && emulationCaps->dwSize != sizeof(DDCAPS)))
        return DDERR_INVALIDPARAMS;
    FramebufferRef fb;
    PixelLayout display = PixelLayout::Bgrx32;
    if (CurrentMonitor(monitor_, &fb, nullptr, nullptr, nullptr)) display = fb->layout;
    if (driverCaps) FillCaps(driverCaps, true, display);
    if (emulationCaps) FillCaps(emulationCaps, false, display);
    return DD_OK;
}

HRESULT DirectDraw::GetFourCCCodes(LPDWORD count, LPDWORD codes)
{
    HRESULT hr;
    if (Intercept("IDirectDraw7::GetFourCCCodes", {}, &hr)) return hr;
    if (!count) return DDERR_INVALIDPARAMS;
    FramebufferRef fb;
    std::vector<DWORD> offered;
    if (CurrentMonitor(monitor_, &fb, nullptr, nullptr, nullptr)) offered = OfferedFourCCs(fb->layout);
    if (codes)
        for (DWORD i = 0; i < *count && i < offered.size(); ++i) codes[i] = offered[i];
    *count = (DWORD)offered.size();
    return DD_OK;
}

HRESULT DirectDraw::GetDisplayMode(LPDDSURFACEDESC2 desc)
{
    HRESULT hr;
    if (Intercept("IDirectDraw7::GetDisplayMode", {}, &hr)) return hr;
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    FramebufferRef fb;
    if (!CurrentMonitor(monitor_, &fb, nullptr, nullptr, nullptr)) return DDERR_NOMONITORINFORMATION;
    FillModeDesc(*fb, desc);
    return DD_OK;
}

HRESULT DirectDraw::GetAvailableVidMem(LPDDSCAPS2 caps, LPDWORD total, LPDWORD freeBytes)
{
    if (!caps) return DDERR_INVALIDPARAMS;
    if (total) *total = kVideoMemory;
    if (freeBytes) *freeBytes = AvailableVideoMemory();
    return DD_OK;
}

HRESULT DirectDraw::GetMonitorFrequency(LPDWORD frequency)
{
    if (!frequency) return DDERR_INVALIDPARAMS;
    *frequency = kRefreshRate;
    return DD_OK;
}

HRESULT DirectDraw::GetVerticalBlankStatus(BOOL *inVerticalBlank)
{
    if (!inVerticalBlank) return DDERR_INVALIDPARAMS;
    *inVerticalBlank = FALSE;
    return DD_OK;
}

HRESULT DirectDraw::WaitForVerticalBlank(DWORD flags, HANDLE)
{
    if (flags != DDWAITVB_BLOCKBEGIN && flags != DDWAITVB_BLOCKEND) return DDERR_INVALIDPARAMS;
    // The next tick of a 60 Hz clock.
    using namespace std::chrono;
    const auto period = nanoseconds(1000000000LL / kRefreshRate);
    const auto now = steady_clock::now().time_since_epoch();
    std::this_thread::sleep_for(period - now % period);
    return DD_OK;
}

HRESULT DirectDraw::CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER *clipper, IUnknown *outer)
{
    HRESULT hr;
    if (clipper) *clipper = nullptr;
    if (Intercept("IDirectDraw7::CreateClipper", {}, &hr)) return hr;
    if (!clipper || flags) return DDERR_INVALIDPARAMS;
    if (outer) return kNoAggregation;
    *clipper = new Clipper;
    return DD_OK;
}

HRESULT DirectDraw::CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7 *surface, IUnknown *outer)
{
    if (surface) *surface = nullptr;
    // The tags of the surface asked for, so that tests can refuse one kind.
    const DWORD caps = desc && (desc->dwFlags & DDSD_CAPS) ? desc->ddsCaps.dwCaps : 0;
    const bool wantsPrimary = (caps & DDSCAPS_PRIMARYSURFACE) != 0;
    const char *formatTag = nullptr;
    Format format = Format::Rgb32;
    bool formatKnown = false;
    if (desc && (desc->dwFlags & DDSD_PIXELFORMAT)) {
        formatKnown = FromPixelFormat(desc->ddpfPixelFormat, &format);
    } else {
        FramebufferRef fb;
        if (CurrentMonitor(monitor_, &fb, nullptr, nullptr, nullptr)) {
            format = FromLayout(fb->layout);
            formatKnown = true;
        }
    }
    if (formatKnown) formatTag = FormatTag(format);
    HRESULT hr;
    if (Intercept("IDirectDraw7::CreateSurface", {wantsPrimary ? "PRIMARY" : "OFFSCREEN", formatTag}, &hr))
        return hr;

    if (!surface || !desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    if (outer) return kNoAggregation;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (!levelSet_) return DDERR_NOCOOPERATIVELEVELSET;
    }
    if (caps & DDSCAPS_OVERLAY) return DDERR_NOOVERLAYHW;
    if (caps & (DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_BACKBUFFER | DDSCAPS_FRONTBUFFER))
        return DDERR_NOEXCLUSIVEMODE;
    const DWORD supported = DDSCAPS_PRIMARYSURFACE | DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY |
                            DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM | DDSCAPS_WRITEONLY | DDSCAPS_VISIBLE;
    if (caps & ~supported) return DDERR_INVALIDCAPS;
    if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;

    Surface *created = nullptr;
    if (wantsPrimary) {
        if (caps & DDSCAPS_OFFSCREENPLAIN) return DDERR_INVALIDCAPS;
        if (desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_LPSURFACE))
            return DDERR_INVALIDPARAMS;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (primary_) return DDERR_PRIMARYSURFACEALREADYEXISTS;
        }
        hr = Surface::CreatePrimary(this, &created);
    } else {
        if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
        if (desc->dwFlags & (DDSD_LPSURFACE | DDSD_PITCH)) return DDERR_INVALIDPARAMS;
        if (desc->dwWidth == 0 || desc->dwHeight == 0) return DDERR_INVALIDPARAMS;
        if (desc->dwWidth > 16384) return DDERR_TOOBIGWIDTH;
        if (desc->dwHeight > 16384) return DDERR_TOOBIGHEIGHT;
        if (!formatKnown) return DDERR_INVALIDPIXELFORMAT;
        if (IsYuv(format)) {
            FramebufferRef fb;
            if (!CurrentMonitor(monitor_, &fb, nullptr, nullptr, nullptr)) return DDERR_NOMONITORINFORMATION;
            if (!OffersFourCC(fb->layout, desc->ddpfPixelFormat.dwFourCC)) return DDERR_INVALIDPIXELFORMAT;
        }
        hr = Surface::CreateOffscreen(this, format, (int)desc->dwWidth, (int)desc->dwHeight,
                                      caps & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_WRITEONLY), &created);
    }
    if (FAILED(hr)) return hr;
    {
        // Two threads may have raced for the one primary surface.
        std::unique_lock<std::mutex> hold(mutex_);
        if (wantsPrimary && primary_) {
            hold.unlock();
            created->Release();
            return DDERR_PRIMARYSURFACEALREADYEXISTS;
        }
    }
    Attach(created);
    *surface = created;
    return DD_OK;
}

HRESULT DirectDraw::RestoreAllSurfaces()
{
    std::vector<Surface *> held;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        for (Surface *s : surfaces_)
            if (s->TryAddRef()) held.push_back(s);
    }
    HRESULT result = DD_OK;
    for (Surface *s : held) {
        HRESULT hr = s->Restore();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        s->Release();
    }
    return result;
}

HRESULT DirectDraw::TestCooperativeLevel()
{
    std::lock_guard<std::mutex> hold(mutex_);
    return levelSet_ ? DD_OK : DDERR_NOCOOPERATIVELEVELSET;
}

HRESULT DirectDraw::GetDeviceIdentifier(LPDDDEVICEIDENTIFIER2 identifier, DWORD flags)
{
    if (!identifier || (flags & ~(DWORD)DDGDI_GETHOSTIDENTIFIER)) return DDERR_INVALIDPARAMS;
    memset(identifier, 0, sizeof *identifier);
    strcpy(identifier->szDriver, "kovawin32");
    strcpy(identifier->szDescription, "Kova virtual display");
    identifier->guidDeviceIdentifier = DeviceGuid(0);
    return DD_OK;
}

HRESULT DirectDraw::Initialize(GUID *)
{
    return DDERR_ALREADYINITIALIZED;
}

HRESULT DirectDraw::Compact() { return DDERR_UNSUPPORTED; }
HRESULT DirectDraw::CreatePalette(DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE *palette, IUnknown *)
{
    if (palette) *palette = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT DirectDraw::DuplicateSurface(LPDIRECTDRAWSURFACE7, LPDIRECTDRAWSURFACE7 *duplicate)
{
    if (duplicate) *duplicate = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT DirectDraw::EnumDisplayModes(DWORD, LPDDSURFACEDESC2, LPVOID, LPDDENUMMODESCALLBACK2)
{
    return DDERR_UNSUPPORTED;
}
HRESULT DirectDraw::EnumSurfaces(DWORD, LPDDSURFACEDESC2, LPVOID, LPDDENUMSURFACESCALLBACK7)
{
    return DDERR_UNSUPPORTED;
}
HRESULT DirectDraw::FlipToGDISurface() { return DDERR_UNSUPPORTED; }
HRESULT DirectDraw::GetGDISurface(LPDIRECTDRAWSURFACE7 *surface)
{
    if (surface) *surface = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT DirectDraw::GetScanLine(LPDWORD) { return DDERR_UNSUPPORTED; }
HRESULT DirectDraw::RestoreDisplayMode() { return DDERR_UNSUPPORTED; }
HRESULT DirectDraw::SetDisplayMode(DWORD, DWORD, DWORD, DWORD, DWORD) { return DDERR_UNSUPPORTED; }
HRESULT DirectDraw::GetSurfaceFromDC(HDC, LPDIRECTDRAWSURFACE7 *surface)
{
    if (surface) *surface = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT DirectDraw::StartModeTest(LPSIZE, DWORD, DWORD) { return DDERR_UNSUPPORTED; }
HRESULT DirectDraw::EvaluateMode(DWORD, DWORD *) { return DDERR_UNSUPPORTED; }

}  // namespace ddraw
}  // namespace kova

using namespace kova::ddraw;

/* ---- Entry points ----------------------------------------------------- */

KOVA_LAYER_API HRESULT WINAPI DirectDrawEnumerateExA(LPDDENUMCALLBACKEXA callback, LPVOID context, DWORD flags)
{
    HRESULT hr;
    if (Intercept("DirectDrawEnumerateExA", {}, &hr)) return hr;
    if (!callback) return DDERR_INVALIDPARAMS;
    if (flags & ~(DWORD)(DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                         DDENUM_NONDISPLAYDEVICES))
        return DDERR_INVALIDPARAMS;
    // The callback gets writable strings; it must not be able to change ours.
    char description[64], driver[64];
    strcpy(description, "Primary Display Driver");
    strcpy(driver, "display");
    if (!callback(nullptr, description, driver, context, nullptr)) return DD_OK;
    if (!(flags & DDENUM_ATTACHEDSECONDARYDEVICES)) return DD_OK;
    for (DeviceEntry &d : MonitorDevices()) {
        strcpy(description, "Kova virtual display");
        snprintf(driver, sizeof driver, "%s", d.driverName.c_str());
        GUID guid = d.guid;
        if (!callback(&guid, description, driver, context, d.monitor)) break;
    }
    return DD_OK;
}

namespace {

struct NarrowContext {
    LPDDENUMCALLBACKA callback;
    LPVOID context;
};

BOOL CALLBACK NarrowCallback(GUID *guid, LPSTR description, LPSTR driver, LPVOID context, HMONITOR)
{
    NarrowContext *c = (NarrowContext *)context;
    return c->callback(guid, description, driver, c->context);
}

}  // namespace

KOVA_LAYER_API HRESULT WINAPI DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, LPVOID context)
{
    if (!callback) return DDERR_INVALIDPARAMS;
    NarrowContext c{callback, context};
    return DirectDrawEnumerateExA(NarrowCallback, &c, 0);
}

KOVA_LAYER_API HRESULT WINAPI DirectDrawCreateEx(GUID *guid, LPVOID *directDraw, REFIID iid, IUnknown *outer)
{
    if (directDraw) *directDraw = nullptr;
    HRESULT hr;
    if (Intercept("DirectDrawCreateEx", {}, &hr)) return hr;
    if (!directDraw || iid != IID_IDirectDraw7) return DDERR_INVALIDPARAMS;
    if (outer) return kNoAggregation;
    HMONITOR monitor = nullptr;
    const uintptr_t special = (uintptr_t)guid;
    if (!guid || special == DDCREATE_HARDWAREONLY || special == DDCREATE_EMULATIONONLY) {
        monitor = PrimaryMonitor();
        if (!monitor) return DDERR_NODIRECTDRAWHW;
    } else {
        for (const DeviceEntry &d : MonitorDevices())
            if (d.guid == *guid) monitor = d.monitor;
        if (!monitor) return DDERR_INVALIDDIRECTDRAWGUID;
    }
    *directDraw = static_cast<IDirectDraw7 *>(new DirectDraw(monitor));
    return DD_OK;
}

KOVA_LAYER_API HRESULT WINAPI DirectDrawCreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER *clipper, IUnknown *outer)
{
    if (clipper) *clipper = nullptr;
    HRESULT hr;
    if (Intercept("DirectDrawCreateClipper", {}, &hr)) return hr;
    if (!clipper || flags) return DDERR_INVALIDPARAMS;
    if (outer) return kNoAggregation;
    *clipper = new Clipper;
    return DD_OK;
}

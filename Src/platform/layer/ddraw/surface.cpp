/* IDirectDrawSurface7: primary surfaces over a monitor's framebuffer and
 * off-screen surfaces with memory of their own; locking, blits with
 * clipping, loss and restore. */
#include "ddraw/ddraw_private.h"

#include "desktop/desktop.h"

#include <string.h>

#include <new>

namespace kova {
namespace ddraw {

namespace {

bool Inside(const RECT &r, const RECT &bounds)
{
    return r.left >= bounds.left && r.top >= bounds.top && r.right <= bounds.right && r.bottom <= bounds.bottom;
}

bool Ordered(const RECT &r)
{
    return r.left < r.right && r.top < r.bottom;
}

}  // namespace

/* ---- Creation and lifetime -------------------------------------------- */

Surface::Surface(DirectDraw *owner, bool primary, Format format, int width, int height, DWORD caps)
    : owner_(owner), primary_(primary), format_(format), caps_(caps), width_(width), height_(height)
{
    owner_->AddRef();
    ++Live().surfaces;
    if (primary_) ++Live().primarySurfaces;
}

Surface::~Surface()
{
    if (clipper_) clipper_->Release();
    if (locked_) --Live().lockedSurfaces;
    Live().offscreenBytes -= (long long)memoryBytes_;
    if (primary_) --Live().primarySurfaces;
    --Live().surfaces;
    owner_->Detach(this);
    owner_->Release();
}

HRESULT Surface::CreatePrimary(DirectDraw *owner, Surface **out)
{
    FramebufferRef fb;
    unsigned generation, lossSerial;
    if (!CurrentMonitor(owner->Monitor(), &fb, &generation, &lossSerial, nullptr)) return DDERR_NOMONITORINFORMATION;
    Surface *s = new Surface(owner, true, FromLayout(fb->layout), fb->width, fb->height,
                             DDSCAPS_PRIMARYSURFACE | DDSCAPS_VISIBLE | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM);
    s->framebuffer_ = fb;
    s->bits_ = fb->Pixels();
    s->pitch_ = fb->pitch;
    s->generation_ = generation;
    s->lossSerial_ = lossSerial;
    *out = s;
    return DD_OK;
}

HRESULT Surface::CreateOffscreen(DirectDraw *owner, Format format, int width, int height, DWORD requested,
                                 Surface **out)
{
    unsigned generation, lossSerial;
    if (!CurrentMonitor(owner->Monitor(), nullptr, &generation, &lossSerial, nullptr))
        return DDERR_NOMONITORINFORMATION;
    const LONG pitch = PitchFor(format, width);
    const size_t bytes = (size_t)pitch * (size_t)height;
    if (bytes > kVideoMemory) return DDERR_OUTOFVIDEOMEMORY;
    std::unique_ptr<BYTE[]> memory(new (std::nothrow) BYTE[bytes + 63]);
    if (!memory) return DDERR_OUTOFMEMORY;
    DWORD caps = DDSCAPS_OFFSCREENPLAIN | (requested & DDSCAPS_WRITEONLY);
    caps |= (requested & DDSCAPS_SYSTEMMEMORY) ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
    Surface *s = new Surface(owner, false, format, width, height, caps);
    s->bits_ = (BYTE *)(((uintptr_t)memory.get() + 63) & ~(uintptr_t)63);
    memset(s->bits_, 0, bytes);
    s->memory_ = std::move(memory);
    s->memoryBytes_ = bytes;
    Live().offscreenBytes += (long long)bytes;
    s->pitch_ = pitch;
    s->generation_ = generation;
    s->lossSerial_ = lossSerial;
    *out = s;
    return DD_OK;
}

bool Surface::TryAddRef()
{
    ULONG r = refs_.load();
    while (r > 0)
        if (refs_.compare_exchange_weak(r, r + 1)) return true;
    return false;
}

HRESULT Surface::QueryInterface(REFIID riid, void **object)
{
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectDrawSurface7) {
        AddRef();
        *object = static_cast<IDirectDrawSurface7 *>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Surface::AddRef()
{
    return ++refs_;
}

ULONG Surface::Release()
{
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

/* ---- State ------------------------------------------------------------ */

PixelView Surface::ViewLocked() const
{
    return PixelView{bits_, pitch_, width_, height_, format_.load()};
}

bool Surface::LostLocked() const
{
    return !SurfaceStateCurrent(owner_->Monitor(), generation_, lossSerial_);
}

bool Surface::LostDesktopLocked() const
{
    return !SurfaceStateCurrentLocked(owner_->Monitor(), generation_, lossSerial_);
}

void Surface::FillDescLocked(DDSURFACEDESC2 *desc) const
{
    const DWORD size = desc->dwSize;
    memset(desc, 0, sizeof *desc);
    desc->dwSize = size;
    desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc->dwWidth = (DWORD)width_;
    desc->dwHeight = (DWORD)height_;
    desc->lPitch = pitch_;
    Describe(format_.load(), &desc->ddpfPixelFormat);
    desc->ddsCaps.dwCaps = caps_;
}

HRESULT Surface::GetSurfaceDesc(LPDDSURFACEDESC2 desc)
{
    HRESULT hr;
    if (Intercept("IDirectDrawSurface7::GetSurfaceDesc", {RoleTag(), FormatTagNow()}, &hr)) return hr;
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::mutex> hold(mutex_);
    FillDescLocked(desc);
    return DD_OK;
}

HRESULT Surface::GetPixelFormat(LPDDPIXELFORMAT format)
{
    if (!format) return DDERR_INVALIDPARAMS;
    Describe(format_.load(), format);
    return DD_OK;
}

HRESULT Surface::GetCaps(LPDDSCAPS2 caps)
{
    if (!caps) return DDERR_INVALIDPARAMS;
    memset(caps, 0, sizeof *caps);
    caps->dwCaps = caps_;
    return DD_OK;
}

HRESULT Surface::GetDDInterface(LPVOID *directDraw)
{
    if (!directDraw) return DDERR_INVALIDPARAMS;
    owner_->AddRef();
    *directDraw = static_cast<IDirectDraw7 *>(owner_);
    return DD_OK;
}

HRESULT Surface::IsLost()
{
    HRESULT hr;
    if (Intercept("IDirectDrawSurface7::IsLost", {RoleTag(), FormatTagNow()}, &hr)) return hr;
    std::lock_guard<std::mutex> hold(mutex_);
    return LostLocked() ? DDERR_SURFACELOST : DD_OK;
}

HRESULT Surface::Restore()
{
    HRESULT hr;
    if (Intercept("IDirectDrawSurface7::Restore", {RoleTag(), FormatTagNow()}, &hr)) return hr;
    std::lock_guard<std::mutex> hold(mutex_);
    if (!LostLocked()) return DD_OK;
    // A locked primary surface's memory is in the caller's hands.
    if (locked_) return DDERR_SURFACEBUSY;
    FramebufferRef fb;
    unsigned generation, lossSerial;
    if (!CurrentMonitor(owner_->Monitor(), &fb, &generation, &lossSerial, nullptr)) return DDERR_WRONGMODE;
    if (primary_) {
        // The primary surface shows the display as it is now, in its new
        // format and size.
        framebuffer_ = fb;
        bits_ = fb->Pixels();
        pitch_ = fb->pitch;
        width_ = fb->width;
        height_ = fb->height;
        format_ = FromLayout(fb->layout);
    } else {
        memset(bits_, 0, memoryBytes_);  // the content went with the loss
    }
    generation_ = generation;
    lossSerial_ = lossSerial;
    return DD_OK;
}

/* ---- Locking ---------------------------------------------------------- */

HRESULT Surface::Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD, HANDLE)
{
    HRESULT hr;
    if (Intercept("IDirectDrawSurface7::Lock", {RoleTag(), FormatTagNow()}, &hr)) return hr;
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::mutex> hold(mutex_);
    if (locked_) return DDERR_SURFACEBUSY;
    if (LostLocked()) return DDERR_SURFACELOST;
    const RECT bounds{0, 0, width_, height_};
    const RECT r = rect ? *rect : bounds;
    if (!Ordered(r) || !Inside(r, bounds)) return DDERR_INVALIDPARAMS;
    FillDescLocked(desc);
    desc->dwFlags |= DDSD_LPSURFACE;
    desc->lpSurface = bits_ + (size_t)r.top * pitch_ + (size_t)r.left * BytesPerPixel(format_.load());
    locked_ = true;
    ++Live().lockedSurfaces;
    return DD_OK;
}

HRESULT Surface::Unlock(LPRECT)
{
    HRESULT hr;
    if (Intercept("IDirectDrawSurface7::Unlock", {RoleTag(), FormatTagNow()}, &hr)) return hr;
    std::lock_guard<std::mutex> hold(mutex_);
    if (!locked_) return DDERR_NOTLOCKED;
    locked_ = false;
    --Live().lockedSurfaces;
    if (primary_) framebuffer_->MarkChanged();  // the caller may have drawn on the screen
    return DD_OK;
}

/* ---- Clipper ---------------------------------------------------------- */

HRESULT Surface::SetClipper(LPDIRECTDRAWCLIPPER clipper)
{
    HRESULT hr;
    if (Intercept("IDirectDrawSurface7::SetClipper", {RoleTag(), FormatTagNow()}, &hr)) return hr;
    Clipper *c = static_cast<Clipper *>(clipper);
    if (c) c->AddRef();
    Clipper *old;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        old = clipper_;
        clipper_ = c;
    }
    if (old) old->Release();
    return DD_OK;
}

HRESULT Surface::GetClipper(LPDIRECTDRAWCLIPPER *clipper)
{
    if (!clipper) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::mutex> hold(mutex_);
    *clipper = clipper_;
    if (!clipper_) return DDERR_NOCLIPPERATTACHED;
    clipper_->AddRef();
    return DD_OK;
}

/* ---- Blits ------------------------------------------------------------ */

HRESULT Surface::Blt(LPRECT destRect, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect, DWORD flags, LPDDBLTFX fx)
{
    HRESULT hr;
    if (Intercept("IDirectDrawSurface7::Blt",
                  {RoleTag(), FormatTagNow(), (flags & DDBLT_COLORFILL) ? "COLORFILL" : nullptr}, &hr))
        return hr;
    const DWORD known = DDBLT_WAIT | DDBLT_DONOTWAIT | DDBLT_ASYNC | DDBLT_COLORFILL | DDBLT_DDFX | DDBLT_ROP;
    if (flags & ~known) return DDERR_UNSUPPORTED;  // colour keys, alpha, z: not offered by the device
    if ((flags & DDBLT_WAIT) && (flags & DDBLT_DONOTWAIT)) return DDERR_INVALIDPARAMS;
    const bool fill = (flags & DDBLT_COLORFILL) != 0;
    if ((flags & (DDBLT_COLORFILL | DDBLT_DDFX | DDBLT_ROP)) && (!fx || fx->dwSize != sizeof(DDBLTFX)))
        return DDERR_INVALIDPARAMS;
    if (fill && (flags & (DDBLT_DDFX | DDBLT_ROP))) return DDERR_INVALIDPARAMS;
    if (flags & DDBLT_DDFX) {
        if (fx->dwDDFX & (DDBLTFX_ROTATE90 | DDBLTFX_ROTATE180 | DDBLTFX_ROTATE270)) return DDERR_NOROTATIONHW;
        if (fx->dwDDFX & ~(DWORD)(DDBLTFX_MIRRORLEFTRIGHT | DDBLTFX_MIRRORUPDOWN | DDBLTFX_NOTEARING |
                                  DDBLTFX_ARITHSTRETCHY))
            return DDERR_UNSUPPORTED;
    }
    if ((flags & DDBLT_ROP) && fx->dwROP != SRCCOPY) return DDERR_NORASTEROPHW;
    Surface *src = fill ? nullptr : static_cast<Surface *>(source);
    if (!fill && !src) return DDERR_INVALIDPARAMS;

    if (src && src != this) {
        std::unique_lock<std::mutex> a(mutex_, std::defer_lock), b(src->mutex_, std::defer_lock);
        std::lock(a, b);
        return BltLocked(destRect, src, sourceRect, flags, fx);
    }
    std::lock_guard<std::mutex> hold(mutex_);
    return BltLocked(destRect, src, sourceRect, flags, fx);
}

HRESULT Surface::BltLocked(const RECT *destRect, Surface *src, const RECT *sourceRect, DWORD flags,
                           const DDBLTFX *fx)
{
    if (locked_ || (src && src->locked_)) return DDERR_SURFACEBUSY;
    HWND clipWindow = nullptr;
    bool hasList = false;
    Region list;
    if (clipper_) {
        clipper_->Snapshot(&clipWindow, &hasList, &list);
        if (!clipWindow && !hasList) return DDERR_NOCLIPLIST;  // a clipper that clips to nothing yet
    }
    // A window limits blits onto the screen only; a list limits any blit.
    const bool byWindow = clipWindow && primary_;
    const bool clipped = byWindow || hasList;

    std::unique_lock<std::mutex> desktopLock = desktop::LockDesktop();
    if (LostDesktopLocked() || (src && src->LostDesktopLocked())) return DDERR_SURFACELOST;

    const RECT bounds{0, 0, width_, height_};
    const RECT dr = destRect ? *destRect : bounds;
    if (!Ordered(dr) || (!clipped && !Inside(dr, bounds))) return DDERR_INVALIDRECT;
    RECT sr{};
    if (src) {
        const RECT sourceBounds{0, 0, src->width_, src->height_};
        sr = sourceRect ? *sourceRect : sourceBounds;
        if (!Ordered(sr) || !Inside(sr, sourceBounds)) return DDERR_INVALIDRECT;
        if (!CanConvert(src->format_.load(), format_.load())) return DDERR_UNSUPPORTED;
    }

    Region area(RectIntersect(dr, bounds));
    if (byWindow) {
        RECT monitor;
        if (!MonitorRectLocked(owner_->Monitor(), &monitor)) return DDERR_SURFACELOST;
        Region visible = WindowClipLocked(clipWindow);
        visible.Offset(-monitor.left, -monitor.top);
        area.Intersect(visible);
    } else if (hasList) {
        area.Intersect(list);
    }
    // The screen and the window layout stay as they were checked while a
    // blit touches a primary surface; other blits need not hold the desktop.
    if (!primary_ && !(src && src->primary_)) desktopLock.unlock();
    if (area.Empty()) return DD_OK;

    const PixelView dst = ViewLocked();
    if (!src) {
        FillPieces(dst, fx->dwFillColor, area.Rects());
    } else {
        PixelView from = src->ViewLocked();
        RECT fromRect = sr;
        if (src == this && !RectIsEmpty(RectIntersect(sr, area.Bounds()))) {
            // Overlapping copy within one surface: read from a copy of the rows.
            static thread_local std::vector<BYTE> rows;
            const int count = sr.bottom - sr.top;
            rows.resize((size_t)pitch_ * (size_t)count);
            memcpy(rows.data(), bits_ + (size_t)sr.top * pitch_, rows.size());
            from = PixelView{rows.data(), pitch_, width_, count, dst.format};
            fromRect = RectOffset(sr, 0, -sr.top);
        }
        const DWORD ddfx = (flags & DDBLT_DDFX) ? fx->dwDDFX : 0;
        StretchBlit(dst, dr, from, fromRect, (ddfx & DDBLTFX_MIRRORLEFTRIGHT) != 0,
                    (ddfx & DDBLTFX_MIRRORUPDOWN) != 0, area.Rects());
    }
    if (primary_) framebuffer_->MarkChanged();
    return DD_OK;
}

HRESULT Surface::GetBltStatus(DWORD flags)
{
    // Blits finish before Blt returns.
    if (flags != DDGBS_CANBLT && flags != DDGBS_ISBLTDONE) return DDERR_INVALIDPARAMS;
    return DD_OK;
}

/* ---- Not offered ------------------------------------------------------ */

HRESULT Surface::AddAttachedSurface(LPDIRECTDRAWSURFACE7) { return DDERR_UNSUPPORTED; }
HRESULT Surface::AddOverlayDirtyRect(LPRECT) { return DDERR_UNSUPPORTED; }
HRESULT Surface::BltBatch(LPDDBLTBATCH, DWORD, DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::BltFast(DWORD, DWORD, LPDIRECTDRAWSURFACE7, LPRECT, DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE7) { return DDERR_UNSUPPORTED; }
HRESULT Surface::EnumAttachedSurfaces(LPVOID, LPDDENUMSURFACESCALLBACK7) { return DDERR_UNSUPPORTED; }
HRESULT Surface::EnumOverlayZOrders(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK7) { return DDERR_UNSUPPORTED; }
HRESULT Surface::Flip(LPDIRECTDRAWSURFACE7, DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::GetAttachedSurface(LPDDSCAPS2, LPDIRECTDRAWSURFACE7 *surface)
{
    if (surface) *surface = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::GetColorKey(DWORD, LPDDCOLORKEY) { return DDERR_UNSUPPORTED; }
HRESULT Surface::GetDC(HDC *dc)
{
    if (dc) *dc = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::GetFlipStatus(DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::GetOverlayPosition(LPLONG, LPLONG) { return DDERR_UNSUPPORTED; }
HRESULT Surface::GetPalette(LPDIRECTDRAWPALETTE *palette)
{
    if (palette) *palette = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::Initialize(LPDIRECTDRAW, LPDDSURFACEDESC2) { return DDERR_ALREADYINITIALIZED; }
HRESULT Surface::ReleaseDC(HDC) { return DDERR_UNSUPPORTED; }
HRESULT Surface::SetColorKey(DWORD, LPDDCOLORKEY) { return DDERR_UNSUPPORTED; }
HRESULT Surface::SetOverlayPosition(LONG, LONG) { return DDERR_UNSUPPORTED; }
HRESULT Surface::SetPalette(LPDIRECTDRAWPALETTE) { return DDERR_UNSUPPORTED; }
HRESULT Surface::UpdateOverlay(LPRECT, LPDIRECTDRAWSURFACE7, LPRECT, DWORD, LPDDOVERLAYFX) { return DDERR_UNSUPPORTED; }
HRESULT Surface::UpdateOverlayDisplay(DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::UpdateOverlayZOrder(DWORD, LPDIRECTDRAWSURFACE7) { return DDERR_UNSUPPORTED; }
HRESULT Surface::PageLock(DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::PageUnlock(DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::SetSurfaceDesc(LPDDSURFACEDESC2, DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::SetPrivateData(REFGUID, LPVOID, DWORD, DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::GetPrivateData(REFGUID, LPVOID, LPDWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::FreePrivateData(REFGUID) { return DDERR_UNSUPPORTED; }
HRESULT Surface::GetUniquenessValue(LPDWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::ChangeUniquenessValue() { return DDERR_UNSUPPORTED; }
HRESULT Surface::SetPriority(DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::GetPriority(LPDWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::SetLOD(DWORD) { return DDERR_UNSUPPORTED; }
HRESULT Surface::GetLOD(LPDWORD) { return DDERR_UNSUPPORTED; }

}  // namespace ddraw
}  // namespace kova

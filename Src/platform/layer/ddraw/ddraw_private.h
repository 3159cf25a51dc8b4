/* DirectDraw over the virtual desktop: the objects behind the interfaces.
 *
 * A DirectDraw object belongs to one monitor (the primary for the default
 * device). Its primary surface is that monitor's framebuffer; off-screen
 * surfaces own their memory. Every surface remembers the monitor's format
 * generation (and the layer's loss serial) from its creation or last
 * Restore: when either moves on, the surface is lost.
 *
 * Locking order: a surface's mutex (two surfaces of one blit are taken
 * together), then the desktop lock. A clipper's mutex is held only for
 * copying its state. A DirectDraw object's mutex is never held while
 * another lock is taken. */
#ifndef KOVA_LAYER_DDRAW_PRIVATE_H
#define KOVA_LAYER_DDRAW_PRIVATE_H

#include <ddraw.h>

#include "desktop/framebuffer.h"
#include "desktop/region.h"

#include <atomic>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

namespace kova {
namespace ddraw {

/* ---- Pixel formats ---------------------------------------------------- */

enum class Format { Rgb32, Rgb24, Rgb565, Rgb555, Pal8, Yuy2, Uyvy };

inline bool IsYuv(Format f) { return f == Format::Yuy2 || f == Format::Uyvy; }
int BytesPerPixel(Format f);               // YUV: 2 (a pixel owns half a macropixel)
LONG PitchFor(Format f, int width);        // 16-byte aligned rows
Format FromLayout(PixelLayout layout);     // a display's format
void Describe(Format f, DDPIXELFORMAT *out);
bool FromPixelFormat(const DDPIXELFORMAT &in, Format *out);
const char *FormatTag(Format f);           // "RGB32", ..., "YUY2", "UYVY"

/* ---- Pixels ----------------------------------------------------------- */

struct PixelView {
    BYTE *bits;
    LONG pitch;
    int width, height;
    Format format;
};

/* Stretches srcRect of src over dstRect of dst (nearest sample, pixel
 * centres), writing only inside `pieces` (dst coordinates, each inside
 * dstRect and dst's bounds). Converts between any formats except into YUV
 * from another format. Source and destination must not overlap. */
void StretchBlit(const PixelView &dst, const RECT &dstRect, const PixelView &src, const RECT &srcRect,
                 bool mirrorX, bool mirrorY, const std::vector<RECT> &pieces);
bool CanConvert(Format from, Format to);
/* Fills the pieces with a pixel value of dst's format (YUV: the 32-bit
 * macropixel, each pixel taking its half). */
void FillPieces(const PixelView &dst, DWORD value, const std::vector<RECT> &pieces);

/* BT.601, limited range, to 0x00RRGGBB. */
DWORD YuvToRgb(int y, int u, int v);

/* ---- Devices ---------------------------------------------------------- */

/* The offered FOURCC codes (control interface); none on 8-bit displays. */
std::vector<DWORD> OfferedFourCCs(PixelLayout display);
bool OffersFourCC(PixelLayout display, DWORD code);

/* True when the monitor is attached and its format generation and loss
 * serial are those given. Takes the desktop lock. */
bool SurfaceStateCurrent(HMONITOR monitor, unsigned generation, unsigned lossSerial);
bool SurfaceStateCurrentLocked(HMONITOR monitor, unsigned generation, unsigned lossSerial);
/* The monitor's current state; false when it is no longer attached. */
bool CurrentMonitor(HMONITOR monitor, FramebufferRef *framebuffer, unsigned *generation, unsigned *lossSerial,
                    RECT *rect);
unsigned LossSerialLocked(HMONITOR monitor);
bool MonitorRectLocked(HMONITOR monitor, RECT *rect);
void LoseSurfacesLocked(HMONITOR monitor);  // null: every monitor

/* The part of a window's client area that can be seen, in screen
 * coordinates (children cut out when it has WS_CLIPCHILDREN); empty for a
 * window that no longer exists. Expects the desktop lock. */
Region WindowClipLocked(HWND window);

/* ---- Call accounting and fault injection ------------------------------ */

/* Counts a call under its name and under "name:TAG" for each tag, and
 * returns true with the armed result when a test armed a fault for one of
 * these names (the plain name is consulted first). */
bool Intercept(const char *name, std::initializer_list<const char *> tags, HRESULT *result);

/* For the control interface: the FOURCC codes offered (count -1: the
 * default, YUY2 and UYVY; others than these two are ignored), and the calls
 * counted under a name or "name:TAG". */
void OfferFourCCs(const DWORD *codes, int count);
LONG CallCount(const char *name);
void ResetCallCounts();

/* ---- Objects ---------------------------------------------------------- */

class Surface;
class Clipper;

struct LiveObjects {
    std::atomic<LONG> directDraws{0}, surfaces{0}, primarySurfaces{0}, clippers{0}, lockedSurfaces{0};
    std::atomic<long long> offscreenBytes{0};
};
constexpr DWORD kVideoMemory = 256u << 20;  // what GetCaps reports as the device's memory
LiveObjects &Live();

class DirectDraw final : public IDirectDraw7 {
public:
    explicit DirectDraw(HMONITOR monitor);
    HMONITOR Monitor() const { return monitor_; }

    // Called by surfaces as they come and go.
    void Attach(Surface *s);
    void Detach(Surface *s);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Compact() override;
    HRESULT STDMETHODCALLTYPE CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER *clipper, IUnknown *outer) override;
    HRESULT STDMETHODCALLTYPE CreatePalette(DWORD flags, LPPALETTEENTRY colorTable, LPDIRECTDRAWPALETTE *palette,
                                            IUnknown *outer) override;
    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7 *surface,
                                            IUnknown *outer) override;
    HRESULT STDMETHODCALLTYPE DuplicateSurface(LPDIRECTDRAWSURFACE7 surface, LPDIRECTDRAWSURFACE7 *duplicate) override;
    HRESULT STDMETHODCALLTYPE EnumDisplayModes(DWORD flags, LPDDSURFACEDESC2 desc, LPVOID context,
                                               LPDDENUMMODESCALLBACK2 callback) override;
    HRESULT STDMETHODCALLTYPE EnumSurfaces(DWORD flags, LPDDSURFACEDESC2 desc, LPVOID context,
                                           LPDDENUMSURFACESCALLBACK7 callback) override;
    HRESULT STDMETHODCALLTYPE FlipToGDISurface() override;
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC2 desc) override;
    HRESULT STDMETHODCALLTYPE GetFourCCCodes(LPDWORD count, LPDWORD codes) override;
    HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE7 *surface) override;
    HRESULT STDMETHODCALLTYPE GetMonitorFrequency(LPDWORD frequency) override;
    HRESULT STDMETHODCALLTYPE GetScanLine(LPDWORD scanLine) override;
    HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(BOOL *inVerticalBlank) override;
    HRESULT STDMETHODCALLTYPE Initialize(GUID *guid) override;
    HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD refreshRate,
                                             DWORD flags) override;
    HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD flags, HANDLE event) override;
    HRESULT STDMETHODCALLTYPE GetAvailableVidMem(LPDDSCAPS2 caps, LPDWORD total, LPDWORD freeBytes) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceFromDC(HDC dc, LPDIRECTDRAWSURFACE7 *surface) override;
    HRESULT STDMETHODCALLTYPE RestoreAllSurfaces() override;
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    HRESULT STDMETHODCALLTYPE GetDeviceIdentifier(LPDDDEVICEIDENTIFIER2 identifier, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE StartModeTest(LPSIZE modes, DWORD count, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE EvaluateMode(DWORD flags, DWORD *timeout) override;

private:
    ~DirectDraw();
    HRESULT CreatePrimary(const DDSURFACEDESC2 &desc, Surface **out);
    HRESULT CreateOffscreen(const DDSURFACEDESC2 &desc, Surface **out);

    const HMONITOR monitor_;
    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
    bool levelSet_ = false;
    HWND window_ = nullptr;
    Surface *primary_ = nullptr;
    std::vector<Surface *> surfaces_;
};

class Clipper final : public IDirectDrawClipper {
public:
    Clipper();

    /* What limits a blit: the window (null if none), or else the clip
     * list (surface coordinates) when hasList. Takes only the clipper's
     * own mutex, so blits read it before they take the desktop lock. */
    void Snapshot(HWND *window, bool *hasList, Region *list);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetClipList(LPRECT rect, LPRGNDATA clipList, LPDWORD size) override;
    HRESULT STDMETHODCALLTYPE GetHWnd(HWND *window) override;
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW directDraw, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE IsClipListChanged(BOOL *changed) override;
    HRESULT STDMETHODCALLTYPE SetClipList(LPRGNDATA clipList, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetHWnd(DWORD flags, HWND window) override;

private:
    ~Clipper();

    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
    HWND window_ = nullptr;
    bool hasList_ = false;
    Region list_;                       // surface coordinates
    unsigned long long seenLayout_ = 0; // for IsClipListChanged
};

class Surface final : public IDirectDrawSurface7 {
public:
    /* A primary surface on the owner's monitor, or an off-screen surface. */
    static HRESULT CreatePrimary(DirectDraw *owner, Surface **out);
    static HRESULT CreateOffscreen(DirectDraw *owner, Format format, int width, int height, DWORD caps,
                                   Surface **out);

    bool IsPrimary() const { return primary_; }
    bool TryAddRef();  // fails once the last reference is gone

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE AddAttachedSurface(LPDIRECTDRAWSURFACE7 surface) override;
    HRESULT STDMETHODCALLTYPE AddOverlayDirtyRect(LPRECT rect) override;
    HRESULT STDMETHODCALLTYPE Blt(LPRECT destRect, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect, DWORD flags,
                                  LPDDBLTFX fx) override;
    HRESULT STDMETHODCALLTYPE BltBatch(LPDDBLTBATCH batch, DWORD count, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect,
                                      DWORD trans) override;
    HRESULT STDMETHODCALLTYPE DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE7 surface) override;
    HRESULT STDMETHODCALLTYPE EnumAttachedSurfaces(LPVOID context, LPDDENUMSURFACESCALLBACK7 callback) override;
    HRESULT STDMETHODCALLTYPE EnumOverlayZOrders(DWORD flags, LPVOID context,
                                                 LPDDENUMSURFACESCALLBACK7 callback) override;
    HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE7 targetOverride, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE7 *surface) override;
    HRESULT STDMETHODCALLTYPE GetBltStatus(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDSCAPS2 caps) override;
    HRESULT STDMETHODCALLTYPE GetClipper(LPDIRECTDRAWCLIPPER *clipper) override;
    HRESULT STDMETHODCALLTYPE GetColorKey(DWORD flags, LPDDCOLORKEY key) override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC *dc) override;
    HRESULT STDMETHODCALLTYPE GetFlipStatus(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetOverlayPosition(LPLONG x, LPLONG y) override;
    HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE *palette) override;
    HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT format) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC2 desc) override;
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW directDraw, LPDDSURFACEDESC2 desc) override;
    HRESULT STDMETHODCALLTYPE IsLost() override;
    HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override;
    HRESULT STDMETHODCALLTYPE Restore() override;
    HRESULT STDMETHODCALLTYPE SetClipper(LPDIRECTDRAWCLIPPER clipper) override;
    HRESULT STDMETHODCALLTYPE SetColorKey(DWORD flags, LPDDCOLORKEY key) override;
    HRESULT STDMETHODCALLTYPE SetOverlayPosition(LONG x, LONG y) override;
    HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE palette) override;
    HRESULT STDMETHODCALLTYPE Unlock(LPRECT rect) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT sourceRect, LPDIRECTDRAWSURFACE7 dest, LPRECT destRect,
                                            DWORD flags, LPDDOVERLAYFX fx) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlayDisplay(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlayZOrder(DWORD flags, LPDIRECTDRAWSURFACE7 reference) override;
    HRESULT STDMETHODCALLTYPE GetDDInterface(LPVOID *directDraw) override;
    HRESULT STDMETHODCALLTYPE PageLock(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE PageUnlock(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetSurfaceDesc(LPDDSURFACEDESC2 desc, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID tag, LPVOID data, DWORD size, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID tag, LPVOID buffer, LPDWORD size) override;
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID tag) override;
    HRESULT STDMETHODCALLTYPE GetUniquenessValue(LPDWORD value) override;
    HRESULT STDMETHODCALLTYPE ChangeUniquenessValue() override;
    HRESULT STDMETHODCALLTYPE SetPriority(DWORD priority) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LPDWORD priority) override;
    HRESULT STDMETHODCALLTYPE SetLOD(DWORD lod) override;
    HRESULT STDMETHODCALLTYPE GetLOD(LPDWORD lod) override;

private:
    Surface(DirectDraw *owner, bool primary, Format format, int width, int height, DWORD caps);
    ~Surface();

    const char *RoleTag() const { return primary_ ? "PRIMARY" : "OFFSCREEN"; }
    const char *FormatTagNow() const { return FormatTag(format_.load()); }
    PixelView ViewLocked() const;
    bool LostLocked() const;         // surface mutex held; takes the desktop lock
    bool LostDesktopLocked() const;  // surface mutex and desktop lock held
    void FillDescLocked(DDSURFACEDESC2 *desc) const;
    HRESULT BltLocked(const RECT *destRect, Surface *src, const RECT *sourceRect, DWORD flags, const DDBLTFX *fx);

    DirectDraw *const owner_;  // holds a reference
    const bool primary_;
    std::atomic<Format> format_;  // a restored primary surface takes the display's new format
    const DWORD caps_;
    std::atomic<ULONG> refs_{1};

    mutable std::mutex mutex_;
    int width_, height_;
    LONG pitch_;
    BYTE *bits_ = nullptr;
    std::unique_ptr<BYTE[]> memory_;  // off-screen pixels (bits_ is aligned inside)
    size_t memoryBytes_ = 0;
    FramebufferRef framebuffer_;      // primary: the monitor's framebuffer it shows
    unsigned generation_ = 0;
    unsigned lossSerial_ = 0;
    bool locked_ = false;
    Clipper *clipper_ = nullptr;      // holds a reference
};

}  // namespace ddraw
}  // namespace kova

#endif

#include "render/ZR_VO_DDraw.h"

#include "render/ZR_VO_Monitors.h"

namespace {

/* The six conversions into a surface share one signature. */
using Conversion = decltype(&CZR_VO_ColorConvert::ConvertToYuy2);

/* The conversion that writes a picture surface of `layout`; none for GDI
 * drawing, which has no picture surface. */
Conversion ConversionFor(CZR_VO_DDraw::PictureLayout layout)
{
    switch (layout) {
    case CZR_VO_DDraw::Yuy2:
        return &CZR_VO_ColorConvert::ConvertToYuy2;
    case CZR_VO_DDraw::Uyvy:
        return &CZR_VO_ColorConvert::ConvertToUyvy;
    case CZR_VO_DDraw::Rgb32:
        return &CZR_VO_ColorConvert::ConvertToRgb32;
    case CZR_VO_DDraw::Rgb24:
        return &CZR_VO_ColorConvert::ConvertToRgb24;
    case CZR_VO_DDraw::Rgb565:
        return &CZR_VO_ColorConvert::ConvertToRgb565;
    case CZR_VO_DDraw::Rgb555:
        return &CZR_VO_ColorConvert::ConvertToRgb555;
    case CZR_VO_DDraw::GdiOnly:
        break;
    }
    return nullptr;
}

}  // namespace

uint32_t CZR_VO_DDraw::PresentDirectDraw(const Picture &picture)
{
    if (!monitors) return kDrawRebuilt;
    // Every surface takes the picture before anything is blitted, so a
    // repaint finds the same picture on every monitor. Until they all have
    // it they hold nothing a repaint may show.
    pictureHeld = false;
    const int slots = MonitorSlots();
    for (int i = 0; i < slots; ++i) {
        if (!MonitorReady(i)) return kDrawObjectMissing;
        const uint32_t converted = ConvertIntoSurface(i, picture);
        if (converted == 0) continue;
        if (rebuildRequested) {
            // An RGB surface that cannot be locked is in a display format
            // that no longer exists: everything is built anew.
            rebuildRequested = 0;
            Setup();
            return kDrawRebuilt;
        }
        return converted;
    }
    pictureHeld = true;
    const uint32_t moved = CheckWindow();
    if (moved != 0) return moved;
    if (RegionIsEmpty()) return kDrawRegionEmpty;
    return BlitOntoMonitors();
}

bool CZR_VO_DDraw::RegionIsEmpty() const
{
    return regionEnabled && (regionRect.right <= regionRect.left || regionRect.bottom <= regionRect.top);
}

uint32_t CZR_VO_DDraw::ConvertIntoSurface(int monitor, const Picture &picture)
{
    DDSURFACEDESC2 &desc = lockDesc[monitor];
    ClearRecord(desc);
    IDirectDrawSurface7 *surface = pictureSurface[monitor];
    if (!surface) return kDrawRebuilt;
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr))) {
        // A packed YUV surface comes back with Restore; an RGB one fails
        // because the display's format changed under it.
        surface->Restore();
        if (layout != Yuy2 && layout != Uyvy) rebuildRequested = 1;
        return kDrawLockFailed;
    }
    uint8_t *pixels = static_cast<uint8_t *>(desc.lpSurface);
    const Conversion convert = ConversionFor(layout);
    if (pixels && convert)
        (converter.*convert)(picture.y, lumaPitch, picture.u, picture.v, chromaPitch, pixels, desc.lPitch, width,
                             height);
    surface->Unlock(nullptr);
    return 0;
}

bool CZR_VO_DDraw::ReadClientArea()
{
    RECT client;
    POINT topLeft, bottomRight;
    if (!window || !GetClientRect(window, &client)) {
        SetRectEmpty(&destRect);
        return false;
    }
    topLeft.x = client.left;
    topLeft.y = client.top;
    bottomRight.x = client.right;
    bottomRight.y = client.bottom;
    ClientToScreen(window, &topLeft);
    ClientToScreen(window, &bottomRight);
    SetRect(&destRect, topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
    return true;
}

uint32_t CZR_VO_DDraw::CheckWindow()
{
    ReadClientArea();
    // Only the top edge counts: the setup recorded the outer window
    // rectangle, so a framed window skips its first picture after a setup.
    if (destRect.top != savedWindowRect.top) {
        savedWindowRect = destRect;
        return kDrawWindowMoved;
    }
    return 0;
}

uint32_t CZR_VO_DDraw::BlitOntoMonitors()
{
    uint32_t result = 0;
    const int slots = MonitorSlots();
    const RECT source = regionEnabled ? regionRect : sourceRect;
    for (int j = 0; j < slots; ++j) {
        IDirectDrawSurface7 *picture = pictureSurface[j];
        IDirectDrawSurface7 *stage = stageSurface[j];
        IDirectDrawSurface7 *primary = primarySurface[j];
        if (!picture || !stage || !primary) continue;

        // For YUY2 and UYVY this is where the picture becomes RGB.
        // A restored surface holds undefined memory: no repaint shows it.
        // A lost surface is the display's doing and is restored for the
        // next picture, as on the screen blit below; any other failure is
        // reported.
        const HRESULT staged = stage->Blt(&sourceRect, picture, &sourceRect, DDBLT_WAIT | DDBLT_DDFX, &blitFx[j]);
        if (FAILED(staged)) {
            picture->Restore();
            stage->Restore();
            pictureHeld = false;
            if (staged != DDERR_SURFACELOST && result == 0) result = kDrawStageBlitFailed;
        }

        // The client area in the coordinates of this monitor's primary
        // surface; the clipper keeps the blit inside the window.
        const RECT monitor = monitors->GetMonitor(j).GetMonitorRect();
        RECT dest = destRect;
        dest.left -= monitor.left;
        dest.right -= monitor.left;
        dest.top -= monitor.top;
        dest.bottom -= monitor.top;
        RECT shown = source;
        const HRESULT shownResult = primary->Blt(&dest, stage, &shown, DDBLT_WAIT, nullptr);
        if (shownResult == DDERR_SURFACELOST) {
            // Restored: the next picture is shown again.
            primary->Restore();
            stage->Restore();
            pictureHeld = false;
        } else if (FAILED(shownResult) && result == 0) {
            result = kDrawScreenBlitFailed;
        }
    }
    return result;
}

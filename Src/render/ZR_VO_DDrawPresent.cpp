/* Presenting a picture: conversion into the locked picture surfaces, the
 * window check, the blits onto every monitor, GDI drawing, and the refresh
 * thread's repaint of what the surfaces or the bitmap already hold. */
#include "render/ZR_VO_DDraw.h"

#include "render/ZR_VO_Monitors.h"

#include <string.h>

uint32_t CZR_VO_DDraw::PresentDirectDraw(const Picture &picture)
{
    if (!monitors) return kDrawRebuilt;
    // Every surface takes the picture before anything is blitted, so a
    // repaint finds the same picture on every monitor. Until they all have
    // it they hold nothing a repaint may show.
    pictureHeld = false;
    const int slots = MonitorSlots();
    for (int i = 0; i < slots; ++i) {
        if (!directDraw[i] || !primarySurface[i] || !stageSurface[i]) return kDrawObjectMissing;
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
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    IDirectDrawSurface7 *surface = pictureSurface[monitor];
    if (!surface) return kDrawRebuilt;
    if (FAILED(surface->Lock(NULL, &desc, DDLOCK_WAIT, NULL))) {
        surface->Restore();
        if (layout != Yuy2 && layout != Uyvy) rebuildRequested = 1;
        return kDrawLockFailed;
    }
    uint8_t *pixels = static_cast<uint8_t *>(desc.lpSurface);
    const int pitch = desc.lPitch;
    if (pixels) {
        switch (layout) {
        case Yuy2:
            converter.ConvertToYuy2(picture.y, lumaPitch, picture.u, picture.v, chromaPitch, pixels, pitch, width, height);
            break;
        case Uyvy:
            converter.ConvertToUyvy(picture.y, lumaPitch, picture.u, picture.v, chromaPitch, pixels, pitch, width, height);
            break;
        case Rgb32:
            converter.ConvertToRgb32(picture.y, lumaPitch, picture.u, picture.v, chromaPitch, pixels, pitch, width, height);
            break;
        case Rgb24:
            converter.ConvertToRgb24(picture.y, lumaPitch, picture.u, picture.v, chromaPitch, pixels, pitch, width, height);
            break;
        case Rgb565:
            converter.ConvertToRgb565(picture.y, lumaPitch, picture.u, picture.v, chromaPitch, pixels, pitch, width, height);
            break;
        case Rgb555:
            converter.ConvertToRgb555(picture.y, lumaPitch, picture.u, picture.v, chromaPitch, pixels, pitch, width, height);
            break;
        case GdiOnly:
            break;
        }
    }
    surface->Unlock(NULL);
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
        const HRESULT shownResult = primary->Blt(&dest, stage, &shown, DDBLT_WAIT, NULL);
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

void CZR_VO_DDraw::SetupGdi()
{
    gdiStride = (width * 3 + 3) & ~3;
    gdiBufferSize = (uint32_t)sizeof(BITMAPINFOHEADER) + (uint32_t)gdiStride * (uint32_t)height;
    gdiBuffer = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, gdiBufferSize);
    gdiHeader = gdiBuffer ? static_cast<BITMAPINFOHEADER *>(GlobalLock(gdiBuffer)) : NULL;
    if (!gdiHeader) {
        // GDI present then reports the output as not ready.
        if (gdiBuffer) GlobalFree(gdiBuffer);
        gdiBuffer = NULL;
        gdiBufferSize = 0;
        gdiPixels = NULL;
    } else {
        memset(gdiHeader, 0, sizeof *gdiHeader);
        gdiHeader->biSize = sizeof *gdiHeader;
        gdiHeader->biWidth = width;
        gdiHeader->biHeight = height;  // positive: rows stored bottom-up
        gdiHeader->biPlanes = 1;
        gdiHeader->biBitCount = 24;
        gdiHeader->biCompression = BI_RGB;
        gdiHeader->biSizeImage = (DWORD)gdiStride * (DWORD)height;
        gdiPixels = reinterpret_cast<uint8_t *>(gdiHeader) + sizeof *gdiHeader;
    }
    if (ReadClientArea()) {
        RECT client;
        SetRect(&client, 0, 0, destRect.right - destRect.left, destRect.bottom - destRect.top);
        InvalidateRect(window, &client, TRUE);
    }
}

uint32_t CZR_VO_DDraw::PresentGdi(const Picture *picture)
{
    if (!gdiPixels) return kDrawNotReady;
    ReadClientArea();
    SetRect(&destRect, 0, 0, destRect.right - destRect.left, destRect.bottom - destRect.top);

    HDC dc = GetDC(window);
    const int previousMode = dc ? SetStretchBltMode(dc, COLORONCOLOR) : 0;
    if (picture) {
        // The negative height turns the picture over: its top row becomes
        // the last row of the bottom-up bitmap.
        converter.ConvertToRgb24(picture->y, lumaPitch, picture->u, picture->v, chromaPitch, gdiPixels, gdiStride,
                                 width, -height);
        pictureHeld = true;
    }
    if (!dc) return 0;
    if (RegionIsEmpty()) {
        SetStretchBltMode(dc, previousMode);
        ReleaseDC(window, dc);
        return kDrawRegionEmpty;
    }

    int sx = 0, sy = 0, sw = width, sh = height;
    if (regionEnabled) {
        // Source rows of a bottom-up bitmap count from its bottom.
        sx = regionRect.left;
        sy = height - regionRect.bottom;
        sw = regionRect.right - regionRect.left;
        sh = regionRect.bottom - regionRect.top;
    }
    StretchDIBits(dc, 0, 0, destRect.right, destRect.bottom, sx, sy, sw, sh, gdiPixels,
                  reinterpret_cast<const BITMAPINFO *>(gdiHeader), DIB_RGB_COLORS, SRCCOPY);
    SetStretchBltMode(dc, previousMode);
    ReleaseDC(window, dc);
    return 0;
}

void CZR_VO_DDraw::Repaint()
{
    // Shows only what the last conversion left in the surfaces or the
    // bitmap: the caller's planes may already hold another picture.
    if (!pictureHeld || !window) return;
    if (state == GdiReady) {
        PresentGdi(NULL);
    } else if (state == DirectDrawReady) {
        if (!monitors) return;
        const int slots = MonitorSlots();
        for (int i = 0; i < slots; ++i)
            if (!directDraw[i] || !primarySurface[i] || !stageSurface[i]) return;
        if (CheckWindow() != 0) return;
        BlitOntoMonitors();
    } else {
        return;
    }
    ++repaintCount;
}

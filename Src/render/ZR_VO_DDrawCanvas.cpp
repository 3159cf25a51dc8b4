#include "render/ZR_VO_DDraw.h"

#include <cstring>

void CZR_VO_DDraw::SetupGdi()
{
    // DIB rows are whole 32-bit words.
    gdiStride = (width * 3 + 3) & ~3;
    gdiBufferSize =
        static_cast<uint32_t>(sizeof(BITMAPINFOHEADER)) + static_cast<uint32_t>(gdiStride) * static_cast<uint32_t>(height);
    gdiBuffer = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, gdiBufferSize);
    gdiHeader = gdiBuffer ? static_cast<BITMAPINFOHEADER *>(GlobalLock(gdiBuffer)) : nullptr;
    if (!gdiHeader) {
        // GDI present then reports the output as not ready.
        if (gdiBuffer) GlobalFree(gdiBuffer);
        gdiBuffer = nullptr;
        gdiBufferSize = 0;
        gdiPixels = nullptr;
    } else {
        std::memset(gdiHeader, 0, sizeof *gdiHeader);
        gdiHeader->biSize = sizeof *gdiHeader;
        gdiHeader->biWidth = width;
        gdiHeader->biHeight = height;  // positive: rows stored bottom-up
        gdiHeader->biPlanes = 1;
        gdiHeader->biBitCount = 24;
        gdiHeader->biCompression = BI_RGB;
        gdiHeader->biSizeImage = static_cast<DWORD>(gdiStride) * static_cast<DWORD>(height);
        gdiPixels = reinterpret_cast<uint8_t *>(gdiHeader) + sizeof *gdiHeader;
    }
    // What DirectDraw drew before is erased until the first bitmap.
    if (ReadClientArea()) {
        RECT client;
        SetRect(&client, 0, 0, destRect.right - destRect.left, destRect.bottom - destRect.top);
        InvalidateRect(window, &client, TRUE);
    }
}

uint32_t CZR_VO_DDraw::PresentGdi(const Picture *picture)
{
    if (!gdiPixels) return kDrawNotReady;
    // StretchDIBits draws in client coordinates.
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

void CZR_VO_DDraw::ReleaseGdi()
{
    if (gdiBuffer) {
        GlobalUnlock(gdiBuffer);
        GlobalFree(gdiBuffer);
    }
    gdiBuffer = nullptr;
    gdiHeader = nullptr;
    gdiPixels = nullptr;
    gdiBufferSize = 0;
}

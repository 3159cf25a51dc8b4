/* A monitor's framebuffer: pixel memory in one of the desktop's formats.
 *
 * A framebuffer never changes format or size. A display mode change makes a
 * new one; whoever still holds the old one (a lost DirectDraw surface, a
 * viewer frame) keeps valid memory that simply is no longer shown. */
#ifndef KOVA_LAYER_FRAMEBUFFER_H
#define KOVA_LAYER_FRAMEBUFFER_H

#include <windows.h>

#include <atomic>
#include <memory>

namespace kova {

enum class PixelLayout {
    Bgrx32,   // 32 bits: bytes B, G, R, unused (0x00RRGGBB as a little-endian dword)
    Bgr24,    // 24 bits: bytes B, G, R
    Rgb565,   // 16 bits: red 0xF800, green 0x07E0, blue 0x001F
    Rgb555,   // 16 bits: red 0x7C00, green 0x03E0, blue 0x001F
    Pal8,     // 8 bits: index into the framebuffer's palette
};

// Bits per pixel as the desktop configuration writes them (32, 24, 16, 15, 8).
int LayoutDepth(PixelLayout layout);
// Bytes one pixel occupies in memory (4, 3, 2, 2, 1).
int LayoutBytes(PixelLayout layout);
bool LayoutFromDepth(int depth, PixelLayout *layout);

struct PixelMasks { DWORD red, green, blue; };
PixelMasks LayoutMasks(PixelLayout layout);  // all zero for Pal8

class Framebuffer {
public:
    Framebuffer(int width, int height, PixelLayout layout);
    Framebuffer(const Framebuffer &) = delete;
    Framebuffer &operator=(const Framebuffer &) = delete;

    const int width;
    const int height;
    const PixelLayout layout;
    const int bytesPerPixel;
    const int pitch;  // bytes from one row to the next, a multiple of 16

    BYTE *Pixels() { return pixels_.get(); }
    const BYTE *Pixels() const { return pixels_.get(); }
    BYTE *Row(int y) { return pixels_.get() + (size_t)y * pitch; }
    const BYTE *Row(int y) const { return pixels_.get() + (size_t)y * pitch; }

    // 8-bit palette: 3 bits red, 3 bits green, 2 bits blue, so colours map
    // to indices without a search. Entries are in RGBQUAD order.
    const RGBQUAD *Palette() const { return palette_; }

    // Pixel value (in this format) for a colour, and back. Readback widens
    // 5- and 6-bit channels by repeating their high bits.
    DWORD Encode(BYTE r, BYTE g, BYTE b) const;
    DWORD Encode(COLORREF c) const { return Encode(GetRValue(c), GetGValue(c), GetBValue(c)); }
    COLORREF Decode(DWORD pixel) const;
    DWORD Load(int x, int y) const;
    void Store(int x, int y, DWORD pixel);
    void Fill(const RECT &r, DWORD pixel);  // r in framebuffer coordinates, clipped

    // Content changes: every writer bumps this after it changed pixels, so
    // that viewers and snapshots can tell a fresh frame from a stale one.
    void MarkChanged() { changes_.fetch_add(1, std::memory_order_release); }
    unsigned long long Changes() const { return changes_.load(std::memory_order_acquire); }

private:
    std::unique_ptr<BYTE[]> pixels_;
    RGBQUAD palette_[256];
    std::atomic<unsigned long long> changes_{0};
};

using FramebufferRef = std::shared_ptr<Framebuffer>;

}  // namespace kova

#endif

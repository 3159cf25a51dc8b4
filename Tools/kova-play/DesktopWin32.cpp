/* The desktop on Windows: the wall is a real window on the user's screen,
 * read back with GDI; keys come from the console. */
#include "Desktop.h"

#include <conio.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Wall.h"

namespace kovaplay {
namespace {

/* A GDI copy of a screen area into a top-down bitmap of `bits` per pixel. */
class ScreenCopy {
public:
    ScreenCopy(RECT area, int bits) : area_(area)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = area.right - area.left;
        info.bmiHeader.biHeight = -(area.bottom - area.top);
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = WORD(bits);
        info.bmiHeader.biCompression = BI_RGB;
        screen_ = GetDC(nullptr);
        memory_ = CreateCompatibleDC(screen_);
        if (info.bmiHeader.biWidth > 0 && info.bmiHeader.biHeight < 0)
            bitmap_ = CreateDIBSection(screen_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_) old_ = SelectObject(memory_, bitmap_);
    }
    ~ScreenCopy()
    {
        if (old_) SelectObject(memory_, old_);
        if (bitmap_) DeleteObject(bitmap_);
        if (memory_) DeleteDC(memory_);
        if (screen_) ReleaseDC(nullptr, screen_);
    }
    ScreenCopy(const ScreenCopy &) = delete;
    ScreenCopy &operator=(const ScreenCopy &) = delete;

    /* Copies the screen now; the bits are valid until the next copy. */
    const unsigned char *Take()
    {
        if (!bitmap_) return nullptr;
        // CAPTUREBLT takes in layered windows drawn over the panes, as the user sees them.
        if (!BitBlt(memory_, 0, 0, Width(), Height(), screen_, area_.left, area_.top, SRCCOPY | CAPTUREBLT))
            return nullptr;
        GdiFlush();
        return static_cast<const unsigned char *>(bits_);
    }
    RECT Area() const { return area_; }
    int Width() const { return area_.right - area_.left; }
    int Height() const { return area_.bottom - area_.top; }

private:
    RECT area_;
    HDC screen_ = nullptr, memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void *bits_ = nullptr;
};

/* Rows of a DIB are padded to four bytes. */
int Pitch(int width, int bytesPerPixel) { return (width * bytesPerPixel + 3) & ~3; }

void Put32(std::vector<unsigned char> &out, uint32_t v, bool bigEndian)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(bigEndian ? v >> (24 - 8 * i) : v >> (8 * i)));
}

uint32_t Crc32(const unsigned char *data, size_t size, uint32_t crc = 0)
{
    static uint32_t table[256];
    static const bool made = [] {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return true;
    }();
    (void)made;
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PngChunk(std::vector<unsigned char> &out, const char *type, const std::vector<unsigned char> &data)
{
    Put32(out, uint32_t(data.size()), true);
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, Crc32(out.data() + start, out.size() - start), true);
}

/* A PNG of 8-bit RGB from top-down BGR rows; the picture data is kept in
 * stored deflate blocks: a screenshot is written once and read by tools,
 * and no compression library is needed. */
std::vector<unsigned char> EncodePng(const unsigned char *bgr, int width, int height, int pitch)
{
    std::vector<unsigned char> raw;
    raw.reserve(size_t(height) * (size_t(width) * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        const unsigned char *row = bgr + size_t(y) * pitch;
        for (int x = 0; x < width; ++x) {
            raw.push_back(row[3 * x + 2]);
            raw.push_back(row[3 * x + 1]);
            raw.push_back(row[3 * x]);
        }
    }
    std::vector<unsigned char> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);  // the last block says so
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
    } while (at < raw.size());
    Put32(z, (b << 16) | a, true);

    std::vector<unsigned char> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    Put32(header, uint32_t(width), true);
    Put32(header, uint32_t(height), true);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter set, no interlace
    PngChunk(out, "IHDR", header);
    PngChunk(out, "IDAT", z);
    PngChunk(out, "IEND", {});
    return out;
}

/* A bottom-up 24-bit BMP from top-down BGR rows. */
std::vector<unsigned char> EncodeBmp(const unsigned char *bgr, int width, int height, int pitch)
{
    const uint32_t imageSize = uint32_t(pitch) * height, offset = 14 + 40;
    std::vector<unsigned char> out = {'B', 'M'};
    Put32(out, offset + imageSize, false);
    Put32(out, 0, false);
    Put32(out, offset, false);
    Put32(out, 40, false);
    Put32(out, uint32_t(width), false);
    Put32(out, uint32_t(height), false);
    out.insert(out.end(), {1, 0, 24, 0});  // planes, bits per pixel
    Put32(out, BI_RGB, false);
    Put32(out, imageSize, false);
    for (int i = 0; i < 4; ++i) Put32(out, 0, false);  // resolution, palette
    for (int y = height - 1; y >= 0; --y) out.insert(out.end(), bgr + size_t(y) * pitch, bgr + size_t(y + 1) * pitch);
    return out;
}

bool EndsWith(const std::string &text, const char *tail)
{
    const size_t n = std::strlen(tail);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower((unsigned char)text[text.size() - n + i]) != tail[i]) return false;
    return true;
}

bool g_keys = false;

}  // namespace

void PrepareDesktop(const Options &, const WallLayout &)
{
    // Pane positions, screenshots and the library's drawing all in screen
    // pixels, whatever the display's scale.
    SetProcessDPIAware();
}

struct ScreenReader::State {
    explicit State(RECT area) : copy(area, 32) {}
    ScreenCopy copy;
};

ScreenReader::ScreenReader(RECT area) : state_(new State(area)) {}

ScreenReader::~ScreenReader() { delete state_; }

bool ScreenReader::Read(ScreenPicture &picture)
{
    // GDI does not say whether the screen changed: every look is a copy.
    const unsigned char *bits = state_->copy.Take();
    if (!bits) return false;
    const int width = state_->copy.Width(), height = state_->copy.Height();
    picture.rect = state_->copy.Area();
    picture.width = width;
    picture.height = height;
    picture.pitch = width * 4;
    picture.bytesPerPixel = 4;
    picture.pixels.assign(bits, bits + size_t(picture.pitch) * height);
    return true;
}

bool SaveScreen(HWND window, const std::string &path)
{
    RECT frame;
    if (!GetWindowRect(window, &frame)) return false;
    const RECT area = {0, 0, frame.right, frame.bottom};
    ScreenCopy copy(area, 24);
    const unsigned char *bits = copy.Take();
    if (!bits) return false;
    const int pitch = Pitch(copy.Width(), 3);
    const std::vector<unsigned char> file = EndsWith(path, ".bmp") ? EncodeBmp(bits, copy.Width(), copy.Height(), pitch)
                                                                   : EncodePng(bits, copy.Width(), copy.Height(), pitch);
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

bool StartKeys()
{
    DWORD mode;
    g_keys = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
    return g_keys;
}

void RestoreKeys() { g_keys = false; }

int NextKey()
{
    while (g_keys && _kbhit()) {
        const int c = _getch();
        if (c != 0 && c != 0xE0) return c;
        // A key without a character comes as a prefix and a scan code.
        const int scan = _getch();
        if (scan == 0x4B) return '[';  // left arrow
        if (scan == 0x4D) return ']';  // right arrow
    }
    return -1;
}

bool ConsoleOutput()
{
    // Status lines are redrawn in place with the terminal sequences that
    // consoles understand once asked to.
    static const bool console = [] {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD mode;
        return GetConsoleMode(out, &mode) && SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }();
    return console;
}

std::string FullPath(const std::string &path)
{
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full && GetFileAttributesA(full) != INVALID_FILE_ATTRIBUTES ? std::string(full) : path;
}

}  // namespace kovaplay

/* Shared helpers of the DirectDraw output tests: test pictures, windows on
 * the layer's virtual desktop, and reading back what the monitors show. */
#ifndef KOVA_TESTS_DDRAW_OUTPUT_UTIL_H
#define KOVA_TESTS_DDRAW_OUTPUT_UTIL_H

#include "platform/win32.h"
#include "render/ZR_VO_DDraw.h"
#include "color/ColorRows.h"

#include "kova_control.h"
#include "kova_control_desktop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace ddtest {

/* A planar YUV 4:2:0 picture owned by the test. */
struct Picture {
    int width = 0, height = 0, lumaPitch = 0, chromaPitch = 0;
    std::vector<uint8_t> y, u, v;

    uint32_t DrawOn(IVideoOutput &output) const
    {
        return output.DrawYUV(y.data(), u.data(), v.data(), width, height, lumaPitch, chromaPitch);
    }
};

struct Yuv {
    uint8_t y, u, v;
};

/* Colours whose conversion is exact: red, green, blue and white. */
const Yuv kRed = {82, 90, 240};
const Yuv kGreen = {145, 54, 34};
const Yuv kBlue = {41, 240, 110};
const Yuv kWhite = {235, 128, 128};

inline Picture Blank(int width, int height, int lumaPitch = 0, int chromaPitch = 0)
{
    Picture p;
    p.width = width;
    p.height = height;
    p.lumaPitch = lumaPitch ? lumaPitch : width;
    p.chromaPitch = chromaPitch ? chromaPitch : (width + 1) / 2;
    p.y.assign((size_t)p.lumaPitch * height, 0);
    p.u.assign((size_t)p.chromaPitch * ((height + 1) / 2), 128);
    p.v.assign((size_t)p.chromaPitch * ((height + 1) / 2), 128);
    return p;
}

inline void FillRect(Picture &p, int x0, int y0, int x1, int y1, Yuv c)
{
    for (int r = y0; r < y1; ++r)
        for (int x = x0; x < x1; ++x) p.y[(size_t)r * p.lumaPitch + x] = c.y;
    for (int r = y0 / 2; r < y1 / 2; ++r)
        for (int x = x0 / 2; x < x1 / 2; ++x) {
            p.u[(size_t)r * p.chromaPitch + x] = c.u;
            p.v[(size_t)r * p.chromaPitch + x] = c.v;
        }
}

/* Red, green / blue, white quadrants (sizes multiples of 4). */
inline Picture Quadrants(int width, int height)
{
    Picture p = Blank(width, height);
    FillRect(p, 0, 0, width / 2, height / 2, kRed);
    FillRect(p, width / 2, 0, width, height / 2, kGreen);
    FillRect(p, 0, height / 2, width / 2, height, kBlue);
    FillRect(p, width / 2, height / 2, width, height, kWhite);
    return p;
}

/* Every sample different from its neighbours, for byte-exact comparisons. */
inline Picture Gradient(int width, int height, int seed = 0)
{
    Picture p = Blank(width, height, width + 16, width / 2 + 8);
    for (int r = 0; r < height; ++r)
        for (int x = 0; x < width; ++x) p.y[(size_t)r * p.lumaPitch + x] = (uint8_t)(x * 3 + r * 5 + seed);
    for (int r = 0; r < (height + 1) / 2; ++r)
        for (int x = 0; x < (width + 1) / 2; ++x) {
            p.u[(size_t)r * p.chromaPitch + x] = (uint8_t)(x * 7 + r * 2 + 40 + seed);
            p.v[(size_t)r * p.chromaPitch + x] = (uint8_t)(200 - x * 5 + r * 3 + seed);
        }
    return p;
}

/* R, G, B of a colour through the scalar conversion. */
inline COLORREF Expected(Yuv c)
{
    uint8_t y[16], u[8], v[8], out[64];
    memset(y, c.y, sizeof y);
    memset(u, c.u, sizeof u);
    memset(v, c.v, sizeof v);
    kova::color::ConvertPicture(kova::color::kScalarRows, kova::color::Layout::Rgb32, y, 16, u, v, 8, out, 64, 16, 1);
    return RGB(out[2], out[1], out[0]);
}

/* A colour as a monitor of `depth` bits shows it (read back with the
 * layer's widening of 5- and 6-bit fields). */
inline COLORREF Quantised(COLORREF c, int depth)
{
    auto widen = [](int value, int bits) {
        int q = value >> (8 - bits);
        return (q << (8 - bits)) | (q >> (2 * bits - 8));
    };
    if (depth == 16) return RGB(widen(GetRValue(c), 5), widen(GetGValue(c), 6), widen(GetBValue(c), 5));
    if (depth == 15) return RGB(widen(GetRValue(c), 5), widen(GetGValue(c), 5), widen(GetBValue(c), 5));
    return c;
}

inline int ColourDistance(COLORREF a, COLORREF b)
{
    int d = std::abs((int)GetRValue(a) - (int)GetRValue(b));
    d = std::max(d, std::abs((int)GetGValue(a) - (int)GetGValue(b)));
    return std::max(d, std::abs((int)GetBValue(a) - (int)GetBValue(b)));
}

inline std::string Describe(COLORREF c)
{
    char text[32];
    snprintf(text, sizeof text, "(%d, %d, %d)", (int)GetRValue(c), (int)GetGValue(c), (int)GetBValue(c));
    return text;
}

const COLORREF kBackground = RGB(0x30, 0x60, 0x90);

/* A window of a class painted with kBackground, destroyed with the object. */
class TestWindow {
public:
    TestWindow(DWORD style, int x, int y, int w, int h, HWND parent = NULL)
    {
        static ATOM cls = Register();
        (void)cls;
        handle = CreateWindowExA(0, "KovaDDrawTest", "test", style | WS_VISIBLE, x, y, w, h, parent, NULL,
                                 GetModuleHandleA(NULL), NULL);
    }
    ~TestWindow()
    {
        if (handle) DestroyWindow(handle);
    }
    TestWindow(const TestWindow &) = delete;
    TestWindow &operator=(const TestWindow &) = delete;

    /* The client area in screen coordinates. */
    RECT ClientOnScreen() const
    {
        RECT c;
        GetClientRect(handle, &c);
        POINT a = {c.left, c.top}, b = {c.right, c.bottom};
        ClientToScreen(handle, &a);
        ClientToScreen(handle, &b);
        RECT r = {a.x, a.y, b.x, b.y};
        return r;
    }

    HWND handle = NULL;

private:
    static ATOM Register()
    {
        WNDCLASSA wc;
        memset(&wc, 0, sizeof wc);
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.hbrBackground = CreateSolidBrush(kBackground);
        wc.lpszClassName = "KovaDDrawTest";
        return RegisterClassA(&wc);
    }
};

/* What the screen shows at a point of a client area given in fractions of
 * its size. */
inline COLORREF ScreenAt(const RECT &client, double fx, double fy)
{
    const int x = client.left + (int)((client.right - client.left) * fx);
    const int y = client.top + (int)((client.bottom - client.top) * fy);
    return KovaControl_GetScreenPixel(x, y);
}

/* Failures of the colours at the four quadrant centres of a client area
 * showing Quadrants(), stretched. */
inline std::string CheckQuadrants(const RECT &client, int depth, int tolerance)
{
    const Yuv colours[4] = {kRed, kGreen, kBlue, kWhite};
    const double at[4][2] = {{0.25, 0.25}, {0.75, 0.25}, {0.25, 0.75}, {0.75, 0.75}};
    std::string failures;
    for (int q = 0; q < 4; ++q) {
        const COLORREF want = Quantised(Expected(colours[q]), depth);
        const COLORREF got = ScreenAt(client, at[q][0], at[q][1]);
        if (ColourDistance(want, got) > tolerance)
            failures += "quadrant " + std::to_string(q) + ": want " + Describe(want) + " got " + Describe(got) + "; ";
    }
    return failures;
}

/* The bytes a monitor shows in a rectangle of its own coordinates. */
inline std::vector<uint8_t> ReadMonitor(int monitor, const RECT &area)
{
    KovaFramebufferInfo info;
    if (!KovaControl_GetFramebufferInfo(monitor, &info)) return {};
    std::vector<uint8_t> all((size_t)info.pitch * info.height);
    if (KovaControl_CopyFramebuffer(monitor, all.data(), all.size()) == 0) return {};
    std::vector<uint8_t> part;
    for (int r = area.top; r < area.bottom; ++r) {
        const uint8_t *row = all.data() + (size_t)r * info.pitch + (size_t)area.left * info.bytesPerPixel;
        part.insert(part.end(), row, row + (size_t)(area.right - area.left) * info.bytesPerPixel);
    }
    return part;
}

/* The scalar conversion of a picture into a layout, rows packed. */
inline std::vector<uint8_t> Converted(const Picture &p, kova::color::Layout layout)
{
    const int bytes = kova::color::BytesPerPixel(layout);
    std::vector<uint8_t> out((size_t)p.width * bytes * p.height);
    kova::color::ConvertPicture(kova::color::kScalarRows, layout, p.y.data(), p.lumaPitch, p.u.data(), p.v.data(),
                                p.chromaPitch, out.data(), p.width * bytes, p.width, p.height);
    return out;
}

/* Waits up to `ms` for a condition, polling. */
template <class Condition>
bool WaitFor(Condition condition, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms) return condition();
        Sleep(5);
    }
    return true;
}

}  // namespace ddtest

#endif

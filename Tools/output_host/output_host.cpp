/* A host of the video output: binds a captioned window that spans the first
 * two monitors of the desktop, draws a known picture (red, green, blue and
 * white quadrants) through the output the renderer uses, then reads every
 * monitor's primary surface back through DirectDraw and checks that the
 * picture is stretched over the client area on each.
 *
 *   output_host [--desktop MONITORS] [--mode N] [--hold MS] [--snapshot PREFIX]
 *
 * --desktop   (platform layer) the monitors, as KOVA_DESKTOP gives them
 * --mode      the output's display mode (0 GDI, default 1 DirectDraw)
 * --hold      keeps the window up this long afterwards (the output repaints
 *             it), e.g. for a screenshot of the layer's viewer
 * --snapshot  (platform layer) saves each monitor to PREFIX-N.png
 *
 * Exit status 0 when every checked point shows its quadrant's colour. */
#include "platform/win32.h"
#include "render/VideoOutput.h"
#include "color/ZR_VO_ColorConvert.h"

#include <ddraw.h>
#ifndef _WIN32
#include "kova_control_desktop.h"
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Monitor {
    HMONITOR handle;
    RECT rect;
    std::string device;
    GUID guid;
    bool hasGuid;
};

BOOL CALLBACK AddMonitor(HMONITOR handle, HDC, LPRECT, LPARAM data)
{
    MONITORINFOEXA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    GetMonitorInfoA(handle, reinterpret_cast<MONITORINFO *>(&info));
    Monitor m;
    m.handle = handle;
    m.rect = info.rcMonitor;
    m.device = info.szDevice;
    memset(&m.guid, 0, sizeof m.guid);
    m.hasGuid = false;
    reinterpret_cast<std::vector<Monitor> *>(data)->push_back(m);
    return TRUE;
}

BOOL WINAPI AddDevice(GUID *guid, LPSTR, LPSTR driverName, LPVOID context, HMONITOR)
{
    std::vector<Monitor> &monitors = *static_cast<std::vector<Monitor> *>(context);
    for (Monitor &m : monitors)
        if (guid && driverName && m.device == driverName) {
            m.guid = *guid;
            m.hasGuid = true;
        }
    return TRUE;
}

struct Colour {
    const char *name;
    uint8_t y, u, v;
    uint8_t r, g, b;  // through the system's conversion
};

Colour MakeColour(const char *name, uint8_t y, uint8_t u, uint8_t v)
{
    Colour c = {name, y, u, v, 0, 0, 0};
    uint8_t luma[16], cb[8], cr[8], out[64];
    memset(luma, y, sizeof luma);
    memset(cb, u, sizeof cb);
    memset(cr, v, sizeof cr);
    CZR_VO_ColorConvert().ConvertToRgb32(luma, 16, cb, cr, 8, out, 64, 16, 1);
    c.r = out[2];
    c.g = out[1];
    c.b = out[0];
    return c;
}

/* One locked primary surface, read pixel by pixel. */
class PrimaryReader {
public:
    PrimaryReader(const Monitor &m) : monitor_(m)
    {
        void *created = NULL;
        if (FAILED(DirectDrawCreateEx(m.hasGuid ? const_cast<GUID *>(&m.guid) : NULL, &created, IID_IDirectDraw7, NULL)))
            return;
        dd_ = static_cast<IDirectDraw7 *>(created);
        dd_->SetCooperativeLevel(NULL, DDSCL_NORMAL);
        DDSURFACEDESC2 desc;
        memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        if (FAILED(dd_->CreateSurface(&desc, &primary_, NULL))) return;
        memset(&desc_, 0, sizeof desc_);
        desc_.dwSize = sizeof desc_;
        if (FAILED(primary_->Lock(NULL, &desc_, DDLOCK_WAIT | DDLOCK_READONLY, NULL))) return;
        locked_ = true;
        screen_ = GetDC(NULL);
    }
    ~PrimaryReader()
    {
        if (screen_) ReleaseDC(NULL, screen_);
        if (locked_) primary_->Unlock(NULL);
        if (primary_) primary_->Release();
        if (dd_) dd_->Release();
    }
    bool Ok() const { return locked_; }
    int Depth() const { return (int)desc_.ddpfPixelFormat.dwRGBBitCount; }

    /* The colour at a point of the virtual screen on this monitor. */
    bool Read(int x, int y, int *r, int *g, int *b) const
    {
        const int px = x - monitor_.rect.left, py = y - monitor_.rect.top;
        if (px < 0 || py < 0 || px >= (int)desc_.dwWidth || py >= (int)desc_.dwHeight) return false;
        const uint8_t *row = static_cast<const uint8_t *>(desc_.lpSurface) + (ptrdiff_t)py * desc_.lPitch;
        const DDPIXELFORMAT &f = desc_.ddpfPixelFormat;
        if (f.dwRGBBitCount == 32 || f.dwRGBBitCount == 24) {
            const uint8_t *p = row + px * (int)(f.dwRGBBitCount / 8);
            *b = p[0];
            *g = p[1];
            *r = p[2];
        } else if (f.dwRGBBitCount == 16) {
            const unsigned w = row[px * 2] | (row[px * 2 + 1] << 8);
            *r = Widen(w, f.dwRBitMask);
            *g = Widen(w, f.dwGBitMask);
            *b = Widen(w, f.dwBBitMask);
        } else {
            // Palette indices: GDI tells their colours.
            const COLORREF c = GetPixel(screen_, x, y);
            *r = GetRValue(c);
            *g = GetGValue(c);
            *b = GetBValue(c);
        }
        return true;
    }

private:
    static int Widen(unsigned word, DWORD mask)
    {
        int shift = 0, bits = 0;
        while (mask && !(mask & 1)) mask >>= 1, ++shift;
        while (mask & 1) mask >>= 1, ++bits;
        const int q = (int)((word >> shift) & ((1u << bits) - 1));
        return (q << (8 - bits)) | (q >> (2 * bits - 8));
    }

    Monitor monitor_;
    IDirectDraw7 *dd_ = NULL;
    IDirectDrawSurface7 *primary_ = NULL;
    DDSURFACEDESC2 desc_;
    bool locked_ = false;
    HDC screen_ = NULL;
};

int Tolerance(int depth)
{
    if (depth == 8) return 48;  // the palette's nearest colours
    if (depth == 15 || depth == 16) return 8;
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IOLBF, 0);  // a watching script sees each line at once
    int mode = 1, hold = 0;
    const char *snapshot = NULL;
    const char *desktop = NULL;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--mode"))
            mode = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--hold"))
            hold = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--snapshot"))
            snapshot = argv[i + 1];
        else if (!strcmp(argv[i], "--desktop"))
            desktop = argv[i + 1];
    }
#ifndef _WIN32
    if (desktop) KovaControl_ConfigureDesktop(desktop);
#else
    (void)desktop;
#endif

    std::vector<Monitor> monitors;
    EnumDisplayMonitors(NULL, NULL, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    DirectDrawEnumerateExA(AddDevice, &monitors, DDENUM_ATTACHEDSECONDARYDEVICES);
    if (monitors.empty()) {
        fprintf(stderr, "no monitors\n");
        return 1;
    }

    // The window straddles the edge the first two monitors share, or sits
    // in the middle of a single one.
    const RECT &a = monitors[0].rect;
    POINT centre = {(a.left + a.right) / 2, (a.top + a.bottom) / 2};
    if (monitors.size() > 1) {
        const RECT &b = monitors[1].rect;
        if (b.left == a.right || b.right == a.left) {
            centre.x = b.left == a.right ? a.right : a.left;
            centre.y = (std::max(a.top, b.top) + std::min(a.bottom, b.bottom)) / 2;
        } else {
            centre.x = (std::max(a.left, b.left) + std::min(a.right, b.right)) / 2;
            centre.y = b.top == a.bottom ? a.bottom : a.top;
        }
    }
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = "KovaOutputHost";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "KovaOutputHost", "KovaDecoder output host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  centre.x - 320, centre.y - 240, 640, 480, NULL, NULL, wc.hInstance, NULL);
    if (!window) {
        fprintf(stderr, "no window\n");
        return 1;
    }
    UpdateWindow(window);

    // The picture: red, green / blue, white quadrants, 352x288.
    const Colour colours[4] = {MakeColour("red", 82, 90, 240), MakeColour("green", 145, 54, 34),
                               MakeColour("blue", 41, 240, 110), MakeColour("white", 235, 128, 128)};
    const int width = 352, height = 288;
    std::vector<uint8_t> y(width * height), u(width * height / 4), v(width * height / 4);
    for (int r = 0; r < height; ++r)
        for (int x = 0; x < width; ++x) {
            const Colour &c = colours[(r >= height / 2) * 2 + (x >= width / 2)];
            y[r * width + x] = c.y;
            if (!(r & 1) && !(x & 1)) {
                u[(r / 2) * (width / 2) + x / 2] = c.u;
                v[(r / 2) * (width / 2) + x / 2] = c.v;
            }
        }

    std::unique_ptr<IVideoOutput> output(CreateVideoOutput(mode));
    if (!output) {
        fprintf(stderr, "no output\n");
        return 1;
    }
    output->SetWindow(window);
    uint32_t result = 0;
    // A framed window skips its first picture after the setup.
    for (int attempt = 0; attempt < 3; ++attempt) {
        result = output->DrawYUV(y.data(), u.data(), v.data(), width, height, width, width / 2);
        printf("DrawYUV: 0x%08X\n", (unsigned)result);
        if (result == 0) break;
    }
    if (result != 0) return 1;

    RECT client;
    GetClientRect(window, &client);
    POINT tl = {0, 0}, br = {client.right, client.bottom};
    ClientToScreen(window, &tl);
    ClientToScreen(window, &br);
    printf("client area on the screen: (%ld, %ld) - (%ld, %ld)\n", (long)tl.x, (long)tl.y, (long)br.x, (long)br.y);

    // A grid of points over the client area, away from the quadrant edges.
    int bad = 0;
    for (size_t i = 0; i < monitors.size(); ++i) {
        PrimaryReader reader(monitors[i]);
        if (!reader.Ok()) {
            printf("monitor %zu: primary surface cannot be read\n", i);
            ++bad;
            continue;
        }
        int checked = 0, wrong = 0;
        for (int gy = 1; gy < 24; ++gy)
            for (int gx = 1; gx < 32; ++gx) {
                if (gx == 16 || gy == 12) continue;
                const int sx = tl.x + (int)((br.x - tl.x) * (gx / 32.0));
                const int sy = tl.y + (int)((br.y - tl.y) * (gy / 24.0));
                int r, g, b;
                if (!reader.Read(sx, sy, &r, &g, &b)) continue;
                const Colour &c = colours[(gy > 12) * 2 + (gx > 16)];
                const int tolerance = Tolerance(reader.Depth());
                ++checked;
                if (abs(r - c.r) > tolerance || abs(g - c.g) > tolerance || abs(b - c.b) > tolerance) {
                    if (wrong++ < 4)
                        printf("monitor %zu: (%d, %d) shows (%d, %d, %d), %s is (%d, %d, %d)\n", i, sx, sy, r, g, b,
                               c.name, c.r, c.g, c.b);
                }
            }
        printf("monitor %zu %s (%ld, %ld)-(%ld, %ld), %d bits: %d points of the picture, %d wrong\n", i,
               monitors[i].device.c_str(), (long)monitors[i].rect.left, (long)monitors[i].rect.top,
               (long)monitors[i].rect.right, (long)monitors[i].rect.bottom, reader.Depth(), checked, wrong);
        if (monitors.size() > 1 && i < 2 && checked == 0) ++bad;  // the window spans both
        bad += wrong;
    }

#ifndef _WIN32
    if (snapshot)
        for (size_t i = 0; i < monitors.size(); ++i) {
            const std::string path = std::string(snapshot) + "-" + std::to_string(i) + ".png";
            printf("%s %s\n", KovaControl_SnapshotMonitor((int)i, path.c_str()) ? "saved" : "could not save",
                   path.c_str());
        }
#else
    (void)snapshot;
#endif

    for (DWORD start = GetTickCount(); (int)(GetTickCount() - start) < hold;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(20);
    }
    output->Close();
    output.reset();
    DestroyWindow(window);
    printf("%s\n", bad ? "FAILED" : "picture shown on every monitor the window covers");
    return bad ? 1 : 0;
}

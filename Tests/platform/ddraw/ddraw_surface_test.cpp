/* DirectDraw surfaces: off-screen surfaces in RGB and FOURCC formats,
 * locking (the primary surface shows what GDI painted), colour fill, and
 * stretching blits with YUV to RGB conversion. Pixels are compared where a
 * filtering blitter would give the same answer as a plain one. */
#include <windows.h>
#include <ddraw.h>

#include <math.h>

#include "wintest.h"

#ifndef _WIN32
#include <stdlib.h>
#endif

static IDirectDraw7 *dd;
static HWND window;

static void init_desc(DDSURFACEDESC2 *desc)
{
    memset(desc, 0, sizeof *desc);
    desc->dwSize = sizeof *desc;
}

static void rgb_format(DDPIXELFORMAT *pf, DWORD bits, DWORD r, DWORD g, DWORD b)
{
    memset(pf, 0, sizeof *pf);
    pf->dwSize = sizeof *pf;
    pf->dwFlags = DDPF_RGB;
    pf->dwRGBBitCount = bits;
    pf->dwRBitMask = r;
    pf->dwGBitMask = g;
    pf->dwBBitMask = b;
}

static void fourcc_format(DDPIXELFORMAT *pf, DWORD code)
{
    memset(pf, 0, sizeof *pf);
    pf->dwSize = sizeof *pf;
    pf->dwFlags = DDPF_FOURCC;
    pf->dwFourCC = code;
}

/* An off-screen plain surface; pf NULL: the display's format. */
static IDirectDrawSurface7 *create_offscreen(int width, int height, const DDPIXELFORMAT *pf, HRESULT *result)
{
    DDSURFACEDESC2 desc;
    init_desc(&desc);
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (pf ? DDSD_PIXELFORMAT : 0);
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    if (pf) desc.ddpfPixelFormat = *pf;
    IDirectDrawSurface7 *surface = NULL;
    HRESULT hr = dd->CreateSurface(&desc, &surface, NULL);
    if (result) *result = hr;
    return SUCCEEDED(hr) ? surface : NULL;
}

static IDirectDrawSurface7 *create_rgb32(int width, int height)
{
    DDPIXELFORMAT pf;
    rgb_format(&pf, 32, 0xFF0000, 0xFF00, 0xFF);
    HRESULT hr;
    IDirectDrawSurface7 *s = create_offscreen(width, height, &pf, &hr);
    ok(s != NULL, "no %dx%d RGB32 surface: %#lx\n", width, height, (unsigned long)hr);
    return s;
}

static IDirectDrawSurface7 *create_primary(void)
{
    DDSURFACEDESC2 desc;
    init_desc(&desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface7 *surface = NULL;
    HRESULT hr = dd->CreateSurface(&desc, &surface, NULL);
    ok(hr == DD_OK, "no primary surface: %#lx\n", (unsigned long)hr);
    return surface;
}

static BYTE *lock(IDirectDrawSurface7 *s, DDSURFACEDESC2 *desc)
{
    init_desc(desc);
    HRESULT hr = s->Lock(NULL, desc, DDLOCK_WAIT, NULL);
    ok(hr == DD_OK, "Lock failed: %#lx\n", (unsigned long)hr);
    return hr == DD_OK ? (BYTE *)desc->lpSurface : NULL;
}

static DWORD read32(const DDSURFACEDESC2 *desc, int x, int y)
{
    DWORD v;
    memcpy(&v, (const BYTE *)desc->lpSurface + y * desc->lPitch + x * 4, 4);
    return v & 0xFFFFFF;
}

static void fill_surface(IDirectDrawSurface7 *s, const RECT *rect, DWORD value)
{
    DDBLTFX fx;
    memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = value;
    HRESULT hr = s->Blt((LPRECT)rect, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    ok(hr == DD_OK, "colour fill failed: %#lx\n", (unsigned long)hr);
}

static int close_to(DWORD got, DWORD want, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int a = (got >> shift) & 0xFF, b = (want >> shift) & 0xFF;
        if (abs(a - b) > tolerance) return 0;
    }
    return 1;
}

/* BT.601 limited range, computed the long way. */
static DWORD expected_rgb(int y, int u, int v)
{
    double c = (y - 16) * 255.0 / 219.0, d = (u - 128) * 255.0 / 224.0, e = (v - 128) * 255.0 / 224.0;
    double r = c + 1.402 * e, g = c - 0.344136 * d - 0.714136 * e, b = c + 1.772 * d;
    int ri = (int)floor(r + 0.5), gi = (int)floor(g + 0.5), bi = (int)floor(b + 0.5);
    ri = ri < 0 ? 0 : ri > 255 ? 255 : ri;
    gi = gi < 0 ? 0 : gi > 255 ? 255 : gi;
    bi = bi < 0 ? 0 : bi > 255 ? 255 : bi;
    return ((DWORD)ri << 16) | ((DWORD)gi << 8) | (DWORD)bi;
}

static void test_offscreen_formats(void)
{
    static const struct {
        const char *name, *context;
        DWORD bits, r, g, b, fourcc;
        int bytes;
    } formats[] = {
        {"RGB32", "RGB32: ", 32, 0xFF0000, 0xFF00, 0xFF, 0, 4},
        {"RGB24", "RGB24: ", 24, 0xFF0000, 0xFF00, 0xFF, 0, 3},
        {"RGB565", "RGB565: ", 16, 0xF800, 0x07E0, 0x001F, 0, 2},
        {"RGB555", "RGB555: ", 16, 0x7C00, 0x03E0, 0x001F, 0, 2},
        {"YUY2", "YUY2: ", 0, 0, 0, 0, MAKEFOURCC('Y', 'U', 'Y', '2'), 2},
        {"UYVY", "UYVY: ", 0, 0, 0, 0, MAKEFOURCC('U', 'Y', 'V', 'Y'), 2},
    };
    for (size_t i = 0; i < sizeof formats / sizeof formats[0]; i++) {
        wintest_context = formats[i].context;
        DDPIXELFORMAT pf;
        if (formats[i].fourcc)
            fourcc_format(&pf, formats[i].fourcc);
        else
            rgb_format(&pf, formats[i].bits, formats[i].r, formats[i].g, formats[i].b);
        HRESULT hr;
        IDirectDrawSurface7 *s = create_offscreen(38, 19, &pf, &hr);
#ifdef _WIN32
        if (!s) {
            skip("%s surfaces not offered: %#lx\n", formats[i].name, (unsigned long)hr);
            continue;
        }
#endif
        ok(s != NULL, "not created: %#lx\n", (unsigned long)hr);
        if (!s) continue;
        DDSURFACEDESC2 desc;
        init_desc(&desc);
        ok(s->GetSurfaceDesc(&desc) == DD_OK, "GetSurfaceDesc failed\n");
        ok(desc.dwWidth == 38 && desc.dwHeight == 19, "size %lux%lu\n", (unsigned long)desc.dwWidth,
           (unsigned long)desc.dwHeight);
        ok(desc.lPitch >= 38 * formats[i].bytes, "pitch %ld\n", (long)desc.lPitch);
        ok(desc.ddsCaps.dwCaps & DDSCAPS_OFFSCREENPLAIN, "caps %#lx\n", (unsigned long)desc.ddsCaps.dwCaps);
        if (formats[i].fourcc)
            ok((desc.ddpfPixelFormat.dwFlags & DDPF_FOURCC) && desc.ddpfPixelFormat.dwFourCC == formats[i].fourcc,
               "format not kept\n");
        else
            ok(desc.ddpfPixelFormat.dwRGBBitCount == formats[i].bits && desc.ddpfPixelFormat.dwRBitMask == formats[i].r,
               "format not kept\n");

        /* What is written under one lock is there under the next. */
        DDSURFACEDESC2 locked;
        BYTE *bits = lock(s, &locked);
        if (bits) {
            ok(locked.lPitch == desc.lPitch, "lock pitch %ld, described %ld\n", (long)locked.lPitch,
               (long)desc.lPitch);
            for (int y = 0; y < 19; y++)
                for (int x = 0; x < 38 * formats[i].bytes; x++) bits[y * locked.lPitch + x] = (BYTE)(x * 7 + y);
            ok(s->Unlock(NULL) == DD_OK, "Unlock failed\n");
            bits = lock(s, &locked);
            int same = 1;
            for (int y = 0; bits && y < 19; y++)
                for (int x = 0; x < 38 * formats[i].bytes; x++)
                    if (bits[y * locked.lPitch + x] != (BYTE)(x * 7 + y)) same = 0;
            ok(same, "locked contents changed between locks\n");
            s->Unlock(NULL);
        }
        ok(s->Release() == 0, "surface still referenced\n");
    }
    wintest_context = "";
}

static void test_primary_reads_screen(void)
{
    /* GDI paints a window; the locked primary surface shows it. */
    HDC dc = GetDC(window);
    HBRUSH brush = CreateSolidBrush(RGB(10, 200, 30));
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    ReleaseDC(window, dc);
    GdiFlush();

    POINT p = {7, 5};
    ClientToScreen(window, &p);
    IDirectDrawSurface7 *primary = create_primary();
    if (!primary) return;
    DDSURFACEDESC2 desc;
    BYTE *bits = lock(primary, &desc);
    if (bits) {
        ok(desc.lpSurface != NULL && desc.lPitch > 0, "no pixels\n");
        if (desc.ddpfPixelFormat.dwRGBBitCount == 32) {
            DWORD pixel = read32(&desc, p.x, p.y);
            /* Wine's primary surface does not show what GDI drew. */
            ok(pixel == 0x0AC81E || wintest_is_wine(), "screen pixel %06lx, GDI painted 0ac81e\n",
               (unsigned long)pixel);
            /* Writing through the lock draws on the screen. */
            DWORD red = 0xFF0000;
            memcpy(bits + p.y * desc.lPitch + (p.x + 1) * 4, &red, 4);
        } else {
            skip("display is %lu bits\n", (unsigned long)desc.ddpfPixelFormat.dwRGBBitCount);
        }
        primary->Unlock(NULL);
        if (desc.ddpfPixelFormat.dwRGBBitCount == 32) {
            HDC screen = GetDC(NULL);
            COLORREF c = GetPixel(screen, p.x + 1, p.y);
            ok(c == RGB(255, 0, 0) || wintest_is_wine(), "GDI reads %06lx where the lock wrote red\n",
               (unsigned long)c);
            ReleaseDC(NULL, screen);
        }
    }
    primary->Release();
}

static void test_colour_fill(void)
{
    IDirectDrawSurface7 *s = create_rgb32(16, 12);
    if (!s) return;
    fill_surface(s, NULL, 0x000000);
    RECT r = {2, 3, 10, 7};
    fill_surface(s, &r, 0x123456);
    DDSURFACEDESC2 desc;
    if (lock(s, &desc)) {
        int inside = 0, outside = 0;
        for (int y = 0; y < 12; y++)
            for (int x = 0; x < 16; x++) {
                int in = x >= 2 && x < 10 && y >= 3 && y < 7;
                DWORD v = read32(&desc, x, y);
                if (in) inside += v == 0x123456;
                else outside += v == 0;
            }
        ok(inside == 8 * 4, "%d of 32 filled pixels right\n", inside);
        ok(outside == 16 * 12 - 32, "%d pixels outside the rectangle changed\n", 16 * 12 - 32 - outside);
        s->Unlock(NULL);
    }

    DDBLTFX fx;
    memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx - 4;
    if (wintest_is_layer())
        ok(s->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fx) == DDERR_INVALIDPARAMS, "short DDBLTFX accepted\n");
    ok(s->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, NULL) == DDERR_INVALIDPARAMS, "colour fill without DDBLTFX\n");
    s->Release();
}

/* A 4x2 packed YUV picture: two macropixels per row. */
static const BYTE yuv_pixels[2][4][3] = {
    /* y, u, v */
    {{16, 128, 128}, {235, 128, 128}, {81, 90, 240}, {145, 54, 34}},
    {{41, 240, 110}, {120, 60, 200}, {200, 180, 70}, {60, 100, 150}},
};

static IDirectDrawSurface7 *create_yuv(DWORD code)
{
    DDPIXELFORMAT pf;
    fourcc_format(&pf, code);
    HRESULT hr;
    IDirectDrawSurface7 *s = create_offscreen(4, 2, &pf, &hr);
    if (!s) return NULL;
    DDSURFACEDESC2 desc;
    BYTE *bits = lock(s, &desc);
    for (int y = 0; bits && y < 2; y++) {
        BYTE *row = bits + y * desc.lPitch;
        for (int pair = 0; pair < 2; pair++) {
            /* Both pixels of a macropixel share the first one's chroma. */
            const BYTE *a = yuv_pixels[y][pair * 2], *b = yuv_pixels[y][pair * 2 + 1];
            BYTE *m = row + pair * 4;
            if (code == MAKEFOURCC('Y', 'U', 'Y', '2')) {
                m[0] = a[0]; m[1] = a[1]; m[2] = b[0]; m[3] = a[2];
            } else {
                m[0] = a[1]; m[1] = a[0]; m[2] = a[2]; m[3] = b[0];
            }
        }
    }
    if (bits) s->Unlock(NULL);
    return s;
}

static void test_yuv_conversion(void)
{
    const DWORD codes[2] = {MAKEFOURCC('Y', 'U', 'Y', '2'), MAKEFOURCC('U', 'Y', 'V', 'Y')};
    for (int c = 0; c < 2; c++) {
        wintest_context = c == 0 ? "YUY2: " : "UYVY: ";
        IDirectDrawSurface7 *yuv = create_yuv(codes[c]);
#ifdef _WIN32
        if (!yuv) {
            skip("no surface\n");
            continue;
        }
#endif
        ok(yuv != NULL, "no surface\n");
        /* Same size: every pixel converted. Then 4 times larger: the
         * centre of each magnified pixel. */
        IDirectDrawSurface7 *same = create_rgb32(4, 2), *large = create_rgb32(16, 8);
        if (yuv && same && large) {
            ok(same->Blt(NULL, yuv, NULL, DDBLT_WAIT, NULL) == DD_OK, "blit failed\n");
            ok(large->Blt(NULL, yuv, NULL, DDBLT_WAIT, NULL) == DD_OK, "stretching blit failed\n");
            DDSURFACEDESC2 a, b;
            int ok_same = 0, ok_large = 0;
            if (lock(same, &a)) {
                for (int y = 0; y < 2; y++)
                    for (int x = 0; x < 4; x++) {
                        const BYTE *p = yuv_pixels[y][x], *chroma = yuv_pixels[y][x & ~1];
                        DWORD want = expected_rgb(p[0], chroma[1], chroma[2]);
                        DWORD got = read32(&a, x, y);
                        if (close_to(got, want, 2))
                            ok_same++;
                        else if (!wintest_is_wine())
                            trace("pixel %d,%d: %06lx, expected %06lx\n", x, y, (unsigned long)got,
                                  (unsigned long)want);
                    }
                same->Unlock(NULL);
            }
            if (lock(large, &b)) {
                for (int y = 0; y < 2; y++)
                    for (int x = 0; x < 4; x++) {
                        const BYTE *p = yuv_pixels[y][x], *chroma = yuv_pixels[y][x & ~1];
                        if (close_to(read32(&b, x * 4 + 1, y * 4 + 2), expected_rgb(p[0], chroma[1], chroma[2]), 2))
                            ok_large++;
                    }
                large->Unlock(NULL);
            }
            /* Wine converts with full-range luma. */
            ok(ok_same == 8 || wintest_is_wine(), "%d of 8 converted pixels within 2 of BT.601\n", ok_same);
#ifdef _WIN32
            /* A filtering blitter mixes magnified chroma. */
            if (ok_large != 8) skip("stretched conversion filtered\n");
#else
            ok(ok_large == 8, "%d of 8 stretched pixels within 2 of BT.601\n", ok_large);
#endif
        }
        if (same) same->Release();
        if (large) large->Release();
        if (yuv) yuv->Release();
    }
    wintest_context = "";
}

static void test_stretching(void)
{
    /* 2x2 colours magnified to 16x16 and a 16x16 picture shrunk to 4x4:
     * pixels deep inside each quarter keep their colour. */
    static const DWORD colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    IDirectDrawSurface7 *small = create_rgb32(2, 2), *big = create_rgb32(16, 16), *tiny = create_rgb32(4, 4);
    if (!small || !big || !tiny) return;
    for (int i = 0; i < 4; i++) {
        RECT r = {i % 2, i / 2, i % 2 + 1, i / 2 + 1};
        fill_surface(small, &r, colours[i]);
    }
    ok(big->Blt(NULL, small, NULL, DDBLT_WAIT, NULL) == DD_OK, "magnifying blit failed\n");
    ok(tiny->Blt(NULL, big, NULL, DDBLT_WAIT, NULL) == DD_OK, "shrinking blit failed\n");
    DDSURFACEDESC2 desc;
    if (lock(big, &desc)) {
        static const int at[4][2] = {{1, 1}, {14, 1}, {1, 14}, {14, 14}};
        for (int i = 0; i < 4; i++)
            ok(read32(&desc, at[i][0], at[i][1]) == colours[i], "magnified quarter %d: %06lx\n", i,
               (unsigned long)read32(&desc, at[i][0], at[i][1]));
        big->Unlock(NULL);
    }
    if (lock(tiny, &desc)) {
        static const int at[4][2] = {{0, 0}, {3, 0}, {0, 3}, {3, 3}};
        for (int i = 0; i < 4; i++)
            ok(read32(&desc, at[i][0], at[i][1]) == colours[i], "shrunk quarter %d: %06lx\n", i,
               (unsigned long)read32(&desc, at[i][0], at[i][1]));
        tiny->Unlock(NULL);
    }

    /* A source rectangle picks part of a picture: one quarter of a 16x16
     * picture of four colours, shrunk to 4x4. */
    for (int i = 0; i < 4; i++) {
        RECT r = {(i % 2) * 8, (i / 2) * 8, (i % 2) * 8 + 8, (i / 2) * 8 + 8};
        fill_surface(big, &r, colours[i]);
    }
    RECT quarter = {8, 0, 16, 8};
    ok(tiny->Blt(NULL, big, &quarter, DDBLT_WAIT, NULL) == DD_OK, "blit of a source rectangle failed\n");
    if (lock(tiny, &desc)) {
        /* The middle: a filtering blitter may blend the edges with pixels
         * beside the rectangle. */
        ok(read32(&desc, 1, 1) == colours[1] && read32(&desc, 2, 2) == colours[1],
           "source rectangle ignored: %06lx %06lx\n", (unsigned long)read32(&desc, 1, 1),
           (unsigned long)read32(&desc, 2, 2));
        tiny->Unlock(NULL);
    }

    /* Mirroring, where the device offers it. */
    DDCAPS caps;
    memset(&caps, 0, sizeof caps);
    caps.dwSize = sizeof caps;
    dd->GetCaps(&caps, NULL);
    if (caps.dwFXCaps & DDFXCAPS_BLTMIRRORLEFTRIGHT) {
        DDBLTFX fx;
        memset(&fx, 0, sizeof fx);
        fx.dwSize = sizeof fx;
        fx.dwDDFX = DDBLTFX_MIRRORLEFTRIGHT;
        ok(big->Blt(NULL, small, NULL, DDBLT_WAIT | DDBLT_DDFX, &fx) == DD_OK, "mirroring blit failed\n");
        if (lock(big, &desc)) {
            ok(read32(&desc, 1, 1) == colours[1] && read32(&desc, 14, 14) == colours[2], "not mirrored\n");
            big->Unlock(NULL);
        }
    }

    /* Rectangles outside a surface without a clipper are refused. */
    RECT outside = {1, 1, 3, 3};
    ok(big->Blt(NULL, small, &outside, DDBLT_WAIT, NULL) == DDERR_INVALIDRECT, "source outside accepted\n");
    RECT beyond = {10, 10, 20, 20};
    ok(big->Blt(&beyond, small, NULL, DDBLT_WAIT, NULL) == DDERR_INVALIDRECT, "destination outside accepted\n");
    ok(big->Blt(NULL, NULL, NULL, DDBLT_WAIT, NULL) == DDERR_INVALIDPARAMS, "blit without a source accepted\n");

    /* A locked surface is busy. */
    if (lock(small, &desc)) {
        ok(FAILED(big->Blt(NULL, small, NULL, DDBLT_WAIT, NULL)), "blit from a locked surface\n");
        DDSURFACEDESC2 again;
        init_desc(&again);
        ok(FAILED(small->Lock(NULL, &again, DDLOCK_WAIT, NULL)), "a locked surface locked again\n");
        small->Unlock(NULL);
    }
    ok(FAILED(small->Unlock(NULL)), "an unlocked surface unlocked\n");
    small->Release();
    big->Release();
    tiny->Release();
}

static void test_blit_to_screen(void)
{
    /* The output's path: YUV picture, converted into a stage surface in the
     * display's format, stretched onto the screen. */
    IDirectDrawSurface7 *primary = create_primary();
    IDirectDrawSurface7 *yuv = create_yuv(MAKEFOURCC('Y', 'U', 'Y', '2'));
    HRESULT hr;
    IDirectDrawSurface7 *stage = create_offscreen(4, 2, NULL, &hr);
    if (primary && yuv && stage) {
        ok(stage->Blt(NULL, yuv, NULL, DDBLT_WAIT, NULL) == DD_OK, "picture to stage failed\n");
        RECT on_screen = {100, 100, 180, 140};
        ok(primary->Blt(&on_screen, stage, NULL, DDBLT_WAIT, NULL) == DD_OK, "stage to screen failed\n");
        HDC screen = GetDC(NULL);
        COLORREF white = GetPixel(screen, 100 + 20 + 10, 100 + 5);
        ok(white == RGB(255, 255, 255) || wintest_is_wine(), "the screen shows %06lx where the picture is white\n",
           (unsigned long)white);
        ReleaseDC(NULL, screen);
    }
    if (stage) stage->Release();
    if (yuv) yuv->Release();
    if (primary) primary->Release();
}

START_TEST(ddraw_surface)
{
#ifndef _WIN32
    setenv("KOVA_DESKTOP", "1024x768x32@0,0", 1);
#endif
    wintest_register_class("ddraw_surface_test", DefWindowProcA);
    window = CreateWindowExA(WS_EX_TOPMOST, "ddraw_surface_test", "", WS_POPUP | WS_VISIBLE, 40, 30, 200, 120, NULL,
                             NULL, NULL, NULL);
    ok(window != NULL, "no window\n");
    if (DirectDrawCreateEx(NULL, (void **)&dd, IID_IDirectDraw7, NULL) != DD_OK) {
        skip("no DirectDraw\n");
        return;
    }
    ok(dd->SetCooperativeLevel(window, DDSCL_NORMAL) == DD_OK, "SetCooperativeLevel failed\n");
    test_offscreen_formats();
    test_primary_reads_screen();
    test_colour_fill();
    test_yuv_conversion();
    test_stretching();
    test_blit_to_screen();
    dd->Release();
    DestroyWindow(window);
}

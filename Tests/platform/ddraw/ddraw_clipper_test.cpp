/* DirectDraw clippers: blits onto a primary surface reach only what can be
 * seen of the clipper's window, on every monitor the window covers. On the
 * layer the desktop is two monitors side by side. */
#include <windows.h>
#include <ddraw.h>

#include "wintest.h"

#ifndef _WIN32
#include <stdlib.h>
#endif

static const COLORREF kCover = RGB(200, 40, 40);
static const DWORD kFill = 0x2050C0;            /* as a 32-bit pixel */
static const COLORREF kFillColour = RGB(0x20, 0x50, 0xC0);

struct screen_device {
    IDirectDraw7 *dd;
    IDirectDrawSurface7 *primary;
    IDirectDrawClipper *clipper;
    RECT monitor;
};

static LRESULT CALLBACK cover_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HBRUSH brush = CreateSolidBrush(kCover);
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

static void pump(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

static HWND create_popup(const char *cls, int x, int y, int w, int h, DWORD exStyle)
{
    HWND hwnd = CreateWindowExA(exStyle, cls, "", WS_POPUP | WS_VISIBLE, x, y, w, h, NULL, NULL, NULL, NULL);
    ok(hwnd != NULL, "no %s window\n", cls);
    return hwnd;
}

/* The primary surface of a monitor's device, with a clipper on `window`. */
static int open_screen(GUID *guid, HMONITOR monitor, HWND window, struct screen_device *out)
{
    memset(out, 0, sizeof *out);
    if (DirectDrawCreateEx(guid, (void **)&out->dd, IID_IDirectDraw7, NULL) != DD_OK) return 0;
    out->dd->SetCooperativeLevel(window, DDSCL_NORMAL);
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    ok(out->dd->CreateSurface(&desc, &out->primary, NULL) == DD_OK, "no primary surface\n");
    ok(out->dd->CreateClipper(0, &out->clipper, NULL) == DD_OK, "no clipper\n");
    if (!out->primary || !out->clipper) return 0;
    ok(out->clipper->SetHWnd(0, window) == DD_OK, "SetHWnd failed\n");
    ok(out->primary->SetClipper(out->clipper) == DD_OK, "SetClipper failed\n");
    MONITORINFO info;
    info.cbSize = sizeof info;
    if (monitor && GetMonitorInfoA(monitor, &info))
        out->monitor = info.rcMonitor;
    else
        SetRect(&out->monitor, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return 1;
}

static void close_screen(struct screen_device *s)
{
    if (s->clipper) s->clipper->Release();
    if (s->primary) s->primary->Release();
    if (s->dd) s->dd->Release();
}

static RECT client_on_screen(HWND hwnd)
{
    RECT r;
    GetClientRect(hwnd, &r);
    MapWindowPoints(hwnd, NULL, (POINT *)&r, 2);
    return r;
}

/* Fills the window's client area, given in screen coordinates, through the
 * clipper of a monitor's primary surface. */
static HRESULT fill_client(struct screen_device *s, HWND hwnd)
{
    RECT dest = client_on_screen(hwnd);
    OffsetRect(&dest, -s->monitor.left, -s->monitor.top);
    DDBLTFX fx;
    memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = kFill;
    return s->primary->Blt(&dest, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

static COLORREF screen_pixel(int x, int y)
{
    HDC dc = GetDC(NULL);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(NULL, dc);
    return c;
}

static void test_covered_window(void)
{
    HWND target = create_popup("clip_target", 100, 100, 300, 200, 0);
    HWND cover = create_popup("clip_cover", 300, 200, 200, 150, WS_EX_TOPMOST);
    pump();
    COLORREF outside_before = screen_pixel(90, 90);
    struct screen_device s;
    if (!open_screen(NULL, NULL, target, &s)) {
        close_screen(&s);
        DestroyWindow(cover);
        DestroyWindow(target);
        return;
    }
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    s.primary->GetSurfaceDesc(&desc);
    if (desc.ddpfPixelFormat.dwRGBBitCount != 32) {
        skip("display is not 32 bits\n");
    } else {
        ok(fill_client(&s, target) == DD_OK, "clipped fill failed\n");
        /* Under Wine what DirectDraw draws on the screen does not reach
         * GetPixel, so only "nothing drawn where it must not be" holds. */
        const int wine = wintest_is_wine();
        ok(screen_pixel(110, 110) == kFillColour || wine, "visible part not filled: %06lx\n",
           (unsigned long)screen_pixel(110, 110));
        ok(screen_pixel(390, 190) == kFillColour || wine, "visible corner not filled\n");
        ok(screen_pixel(350, 250) == kCover, "the covering window was drawn over: %06lx\n",
           (unsigned long)screen_pixel(350, 250));
        ok(screen_pixel(310, 290) == kCover, "covered corner drawn over\n");
        ok(screen_pixel(90, 90) == outside_before, "drawn outside the window\n");

        /* A stretching blit is clipped the same way. */
        IDirectDrawSurface7 *stage = NULL;
        DDSURFACEDESC2 sd;
        memset(&sd, 0, sizeof sd);
        sd.dwSize = sizeof sd;
        sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        sd.dwWidth = 2;
        sd.dwHeight = 2;
        sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        ok(s.dd->CreateSurface(&sd, &stage, NULL) == DD_OK, "no stage surface\n");
        if (stage) {
            DDBLTFX fx;
            memset(&fx, 0, sizeof fx);
            fx.dwSize = sizeof fx;
            fx.dwFillColor = 0x00FF00;
            stage->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
            RECT dest = client_on_screen(target);
            ok(s.primary->Blt(&dest, stage, NULL, DDBLT_WAIT, NULL) == DD_OK, "clipped stretch failed\n");
            ok(screen_pixel(110, 110) == RGB(0, 255, 0) || wine, "visible part not drawn\n");
            ok(screen_pixel(350, 250) == kCover, "stretch drew over the covering window\n");
            stage->Release();
        }

        /* The clip list is the visible part of the client area. */
        DWORD size = 0;
        ok(s.clipper->GetClipList(NULL, NULL, &size) == DD_OK && size >= sizeof(RGNDATAHEADER), "clip list size\n");
        RGNDATA *data = (RGNDATA *)malloc(size);
        if (data && s.clipper->GetClipList(NULL, data, &size) == DD_OK) {
            long long area = 0;
            const RECT *r = (const RECT *)data->Buffer;
            for (DWORD i = 0; i < data->rdh.nCount; i++)
                area += (long long)(r[i].right - r[i].left) * (r[i].bottom - r[i].top);
            /* Wine's clip list leaves out windows above. */
            ok(area == 300 * 200 - 100 * 100 || (wine && area == 300 * 200), "clip list covers %lld pixels\n", area);
        }
        free(data);

        /* Nothing of a hidden window can be drawn on. */
        ShowWindow(target, SW_HIDE);
        pump();
        COLORREF hidden_before = screen_pixel(110, 110);
        ok(fill_client(&s, target) == DD_OK, "fill for a hidden window failed\n");
        ok(screen_pixel(110, 110) == hidden_before, "drawn where a hidden window was\n");
    }
    close_screen(&s);
    DestroyWindow(cover);
    DestroyWindow(target);
    pump();
}

struct device_list {
    int count;
    GUID guid[8];
    HMONITOR monitor[8];
};

static BOOL WINAPI collect(GUID *guid, LPSTR, LPSTR, LPVOID context, HMONITOR monitor)
{
    struct device_list *list = (struct device_list *)context;
    if (guid && list->count < 8) {
        list->guid[list->count] = *guid;
        list->monitor[list->count++] = monitor;
    }
    return TRUE;
}

static void test_window_on_two_monitors(void)
{
    struct device_list list;
    memset(&list, 0, sizeof list);
    DirectDrawEnumerateExA(collect, &list, DDENUM_ATTACHEDSECONDARYDEVICES);
    if (list.count < 2) {
        skip("one monitor\n");
        return;
    }
    MONITORINFO first, second;
    first.cbSize = second.cbSize = sizeof first;
    GetMonitorInfoA(list.monitor[0], &first);
    GetMonitorInfoA(list.monitor[1], &second);
    /* A window across the border between the first two monitors. */
    int x = second.rcMonitor.left - 100, y = second.rcMonitor.top + 50;
    HWND target = create_popup("clip_target", x, y, 200, 100, WS_EX_TOPMOST);
    pump();
    struct screen_device s[2];
    int opened = open_screen(&list.guid[0], list.monitor[0], target, &s[0]);
    opened &= open_screen(&list.guid[1], list.monitor[1], target, &s[1]);
    if (opened) {
        COLORREF left_of_window = screen_pixel(x - 5, y + 50);
        ok(fill_client(&s[0], target) == DD_OK, "fill on the first monitor failed\n");
        ok(fill_client(&s[1], target) == DD_OK, "fill on the second monitor failed\n");
        const int wine = wintest_is_wine();
        ok(screen_pixel(x + 50, y + 50) == kFillColour || wine, "first monitor's part not drawn: %06lx\n",
           (unsigned long)screen_pixel(x + 50, y + 50));
        ok(screen_pixel(x + 150, y + 50) == kFillColour || wine, "second monitor's part not drawn: %06lx\n",
           (unsigned long)screen_pixel(x + 150, y + 50));
        ok(screen_pixel(x - 5, y + 50) == left_of_window, "drawn left of the window\n");
    }
    close_screen(&s[0]);
    close_screen(&s[1]);
    DestroyWindow(target);
    pump();
}

struct blitter {
    struct screen_device *screen;
    HWND window;
    IDirectDrawSurface7 *picture;
    volatile LONG stop;
    LONG blits, failures;
};

static DWORD WINAPI blit_loop(LPVOID context)
{
    struct blitter *b = (struct blitter *)context;
    while (!InterlockedCompareExchange(&b->stop, 0, 0)) {
        RECT dest = client_on_screen(b->window);
        OffsetRect(&dest, -b->screen->monitor.left, -b->screen->monitor.top);
        HRESULT hr = b->screen->primary->Blt(&dest, b->picture, NULL, DDBLT_WAIT, NULL);
        InterlockedIncrement(&b->blits);
        if (hr != DD_OK) InterlockedIncrement(&b->failures);
    }
    return 0;
}

/* A render thread blits while the host moves and covers the window. */
static void test_blits_while_windows_move(void)
{
    HWND target = create_popup("clip_target", 50, 50, 160, 120, 0);
    HWND cover = create_popup("clip_cover", 0, 0, 60, 60, WS_EX_TOPMOST);
    pump();
    struct screen_device s;
    struct blitter b;
    memset(&b, 0, sizeof b);
    if (open_screen(NULL, NULL, target, &s)) {
        DDSURFACEDESC2 desc;
        memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = 64;
        desc.dwHeight = 48;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        s.dd->CreateSurface(&desc, &b.picture, NULL);
        ok(b.picture != NULL, "no picture surface\n");
    }
    if (b.picture) {
        b.screen = &s;
        b.window = target;
        HANDLE thread = CreateThread(NULL, 0, blit_loop, &b, 0, NULL);
        for (int i = 0; i < 200; i++) {
            SetWindowPos(target, NULL, 50 + (i % 40) * 5, 50 + (i % 17) * 3, 160, 120, SWP_NOZORDER | SWP_NOACTIVATE);
            SetWindowPos(cover, NULL, (i * 7) % 300, (i * 11) % 200, 60, 60, SWP_NOZORDER | SWP_NOACTIVATE);
            pump();
            if (i % 50 == 0) Sleep(1);
        }
        InterlockedExchange(&b.stop, 1);
        ok(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0, "the blitting thread did not end\n");
        CloseHandle(thread);
        ok(b.blits > 0 && b.failures == 0, "%ld of %ld blits failed while the window moved\n", (long)b.failures,
           (long)b.blits);
        b.picture->Release();
    }
    close_screen(&s);
    DestroyWindow(cover);
    DestroyWindow(target);
    pump();
}

START_TEST(ddraw_clipper)
{
#ifndef _WIN32
    setenv("KOVA_DESKTOP", "800x600x32@0,0;640x480x32@800,0", 1);
#endif
    wintest_register_class("clip_target", DefWindowProcA);
    wintest_register_class("clip_cover", cover_proc);
    test_covered_window();
    test_window_on_two_monitors();
    test_blits_while_windows_move();
}

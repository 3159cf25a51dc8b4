/* StretchDIBits seen through the layer's control interface: a window across
 * two monitors of different formats writes both framebuffers (read back
 * directly, the second in 5:6:5) and nothing beside it, and GetDC and
 * StretchDIBits fail when armed to. */
#include <windows.h>

#include "wintest.h"

#include <stdlib.h>

#include "gdi32/stretch_picture.h"
#include "kova_control.h"
#include "kova_control_desktop.h"

/* 8-bit channels as a 5- or 6-bit channel shows them. */
static BYTE widen(BYTE v, int bits)
{
    unsigned x = v >> (8 - bits);
    return (BYTE)((x << (8 - bits)) | (x >> (2 * bits - 8)));
}

/* Reads the framebuffers themselves: the second is 5:6:5. */
static COLORREF read_framebuffers(HDC, int split, int x, int y, COLORREF *want)
{
    int sx = split - 40 + x;
    if (sx < split) return KovaControl_GetMonitorPixel(0, sx, 50 + y);
    *want = RGB(widen(GetRValue(*want), 5), widen(GetGValue(*want), 6), widen(GetBValue(*want), 5));
    return KovaControl_GetMonitorPixel(1, sx - split, 50 + y);
}

static void test_two_monitors(void)
{
    const int split = check_across_monitors(read_framebuffers);
    if (!split) return;
    /* Both framebuffers saw the write; nothing spilled outside the window. */
    ok(KovaControl_GetMonitorPixel(1, 24, 50) == RGB(0, 0, 0), "right of the window on the second monitor\n");
    ok(KovaControl_GetScreenPixel(split - 41, 50) == RGB(0, 0, 0), "left of the window on the primary\n");
}

static void test_injected_faults(void)
{
    HWND hwnd = make_window(0, 0, 8, 8, NULL);
    KovaControl_FailCall("GetDC", 0, ERROR_NOT_ENOUGH_MEMORY, 1);
    SetLastError(0);
    ok(GetDC(hwnd) == NULL && GetLastError() == ERROR_NOT_ENOUGH_MEMORY, "GetDC fails once\n");
    HDC dc = GetDC(hwnd);
    ok(dc != NULL, "then works again\n");
    struct dib d;
    make_dib(&d, 4, 4, 24, 0);
    KovaControl_FailCall("StretchDIBits", 0, ERROR_INVALID_PARAMETER, -1);
    ok(StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY) == 0, "armed\n");
    ok(KovaControl_FaultsTaken("StretchDIBits") == 1, "one injected failure\n");
    KovaControl_ClearFaults();
    ok(StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 4, 4, d.bits, &d.info, DIB_RGB_COLORS, SRCCOPY) == 4, "cleared\n");
    ReleaseDC(hwnd, dc);
    DestroyWindow(hwnd);
}

START_TEST(gdi32_stretch_control)
{
    setenv("KOVA_DESKTOP", "1920x1080x32@0,0;1280x1024x16@1920,0", 1);
    wintest_register_class("stretch_test", stretch_proc);
    test_two_monitors();
    test_injected_faults();
}

/* Snapshots of a monitor or of a window's client area into BMP and PNG
 * files, through the layer's control interface (Linux only: Windows has
 * no such call). */
#include <windows.h>

#include "wintest.h"

#include <stdlib.h>
#include <unistd.h>
#include "kova_control_desktop.h"

static long read_file(const char *path, BYTE *buffer, long size)
{
    FILE *f = fopen(path, "rb");
    if (!f) return -1;
    long n = (long)fread(buffer, 1, (size_t)size, f);
    fclose(f);
    return n;
}

static DWORD le32(const BYTE *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((DWORD)p[3] << 24); }
static DWORD be32(const BYTE *p) { return ((DWORD)p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

static LRESULT CALLBACK plain_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

static void test_snapshots(void)
{
    char dir[] = "/tmp/kova_snapshot_XXXXXX";
    ok(mkdtemp(dir) != NULL, "temporary directory\n");
    char bmp[128], png[128], win[128];
    snprintf(bmp, sizeof bmp, "%s/monitor.bmp", dir);
    snprintf(png, sizeof png, "%s/monitor.PNG", dir);
    snprintf(win, sizeof win, "%s/window.bmp", dir);

    wintest_register_class("snapshot_test", plain_proc);
    /* Client area 3x2 at (10,20) of the second monitor, left column red. */
    HWND hwnd = CreateWindowExA(0, "snapshot_test", "", WS_POPUP | WS_VISIBLE, 650, 20, 3, 2, NULL, NULL, NULL, NULL);
    HDC dc = GetDC(hwnd);
    RECT all = {0, 0, 3, 2}, left = {0, 0, 1, 2};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &left, red);
    DeleteObject(red);
    ReleaseDC(hwnd, dc);

    static BYTE data[1 << 20];
    ok(KovaControl_SnapshotMonitor(1, bmp), "BMP snapshot\n");
    long n = read_file(bmp, data, sizeof data);
    ok(n == 54 + 320 * 3 * 200 && data[0] == 'B' && data[1] == 'M', "BMP size %ld\n", n);
    ok(le32(data + 18) == 320 && le32(data + 22) == 200 && data[28] == 24, "BMP header\n");
    /* Row 20 from the top is row 179 from the bottom; pixel 10 is red. */
    const BYTE *p = data + 54 + (200 - 1 - 20) * 960 + 10 * 3;
    ok(p[0] == 0 && p[1] == 0 && p[2] == 255, "red pixel in the BMP: %d %d %d\n", p[0], p[1], p[2]);
    ok(p[3] == 255 && p[4] == 255 && p[5] == 255, "white pixel next to it\n");

    ok(KovaControl_SnapshotMonitor(1, png), "PNG snapshot\n");
    n = read_file(png, data, sizeof data);
    ok(n > 33 && memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0, "PNG signature\n");
    ok(memcmp(data + 12, "IHDR", 4) == 0 && be32(data + 16) == 320 && be32(data + 20) == 200 && data[24] == 8 &&
           data[25] == 2,
       "PNG header\n");

    ok(KovaControl_SnapshotWindow(hwnd, win), "window snapshot\n");
    n = read_file(win, data, sizeof data);
    ok(n == 54 + 2 * 12 && le32(data + 18) == 3 && le32(data + 22) == 2, "window BMP is the client area\n");
    ok(data[54 + 2] == 255 && data[54 + 1] == 0 && data[54 + 5] == 255 && data[54 + 4] == 255,
       "window pixels\n");

    SetLastError(0);
    ok(!KovaControl_SnapshotMonitor(5, bmp) && GetLastError() == ERROR_INVALID_PARAMETER, "no monitor 5\n");
    ok(!KovaControl_SnapshotMonitor(0, "/nonexistent/dir/x.bmp"), "unwritable path\n");
    ok(!KovaControl_SnapshotWindow((HWND)(ULONG_PTR)0xBAD0, win), "no such window\n");

    DestroyWindow(hwnd);
    unlink(bmp);
    unlink(png);
    unlink(win);
    rmdir(dir);
}

START_TEST(user32_snapshot)
{
    setenv("KOVA_DESKTOP", "640x480x16;320x200x8@640,0", 1);
    test_snapshots();
}

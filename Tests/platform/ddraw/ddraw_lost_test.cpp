/* DirectDraw surfaces lost by a display mode change: Lock and Blt fail
 * with DDERR_SURFACELOST until Restore, surfaces of other monitors are
 * untouched, and an 8-bit palettised display offers no FOURCC surfaces.
 * The mode changes are made on the last monitor and undone at the end. */
#include <windows.h>
#include <ddraw.h>

#include "wintest.h"

#ifndef _WIN32
#include <stdlib.h>
#endif

#include "ddraw/ddraw_surface_set.h"

struct device {
    GUID guid;
    int has_guid;
    HMONITOR monitor;
    char name[64];
};

struct device_list {
    int count;
    struct device devices[8];
};

static BOOL WINAPI collect(GUID *guid, LPSTR, LPSTR driver, LPVOID context, HMONITOR monitor)
{
    struct device_list *list = (struct device_list *)context;
    if (guid && list->count < 8) {
        struct device *d = &list->devices[list->count++];
        d->guid = *guid;
        d->has_guid = 1;
        d->monitor = monitor;
        snprintf(d->name, sizeof d->name, "%s", driver);
    }
    return TRUE;
}

static LONG set_depth(const char *device, DWORD bits)
{
    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    mode.dmBitsPerPel = bits;
    mode.dmFields = DM_BITSPERPEL;
    return ChangeDisplaySettingsExA(device, &mode, NULL, 0, NULL);
}

static void test_mode_change(HWND window)
{
    struct device_list list;
    memset(&list, 0, sizeof list);
    DirectDrawEnumerateExA(collect, &list, DDENUM_ATTACHEDSECONDARYDEVICES);
    if (list.count == 0) {
        skip("no monitor devices\n");
        return;
    }
    struct device *changed = &list.devices[list.count - 1];
    struct surfaces s, other;
    if (!open_surfaces(&changed->guid, window, &s)) {
        close_surfaces(&s);
        return;
    }
    int has_other = list.count > 1 && open_surfaces(&list.devices[0].guid, window, &other);

    ok(s.primary->IsLost() == DD_OK && lock_unlock(s.stage) == DD_OK, "surfaces lost before any change\n");
    LONG result = set_depth(changed->name, 16);
    if (result != DISP_CHANGE_SUCCESSFUL && !wintest_is_layer())
        skip("no 16-bit mode on this display: %ld\n", (long)result);
    else
        ok(result == DISP_CHANGE_SUCCESSFUL, "16-bit mode refused: %ld\n", (long)result);
    if (result == DISP_CHANGE_SUCCESSFUL) {
        check_lost(&s, "16 bits");
        if (has_other)
            ok(other.primary->IsLost() == DD_OK && lock_unlock(other.stage) == DD_OK,
               "another monitor's surfaces were lost\n");

        /* Restore gives working surfaces; the primary shows the new mode. */
        ok(s.primary->Restore() == DD_OK, "primary Restore failed\n");
        ok(s.stage->Restore() == DD_OK, "stage Restore failed\n");
        if (s.yuv) ok(s.yuv->Restore() == DD_OK, "YUY2 Restore failed\n");
        ok(s.primary->IsLost() == DD_OK && s.stage->IsLost() == DD_OK, "still lost after Restore\n");
        ok(lock_unlock(s.stage) == DD_OK && lock_unlock(s.primary) == DD_OK, "locks fail after Restore\n");
        ok(s.primary->Restore() == DD_OK, "Restore of a surface that is not lost\n");
        DDSURFACEDESC2 desc;
        memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof desc;
        ok(s.primary->GetSurfaceDesc(&desc) == DD_OK && desc.ddpfPixelFormat.dwRGBBitCount == 16,
           "the restored primary surface has %lu bits\n", (unsigned long)desc.ddpfPixelFormat.dwRGBBitCount);

        /* A stage surface made for the new mode blits onto the screen. */
        IDirectDrawSurface7 *stage16 = make(s.dd, DDSCAPS_OFFSCREENPLAIN, 64, 32, &desc.ddpfPixelFormat);
        ok(stage16 != NULL, "no 16-bit stage surface\n");
        if (stage16) {
            if (s.yuv) ok(stage16->Blt(NULL, s.yuv, NULL, DDBLT_WAIT, NULL) == DD_OK, "YUY2 to 16 bits failed\n");
            RECT dest = {0, 0, 128, 64};
            ok(s.primary->Blt(&dest, stage16, NULL, DDBLT_WAIT, NULL) == DD_OK, "16-bit blit to screen failed\n");
            stage16->Release();
        }

        /* An 8-bit palettised display: no FOURCC surfaces, the primary
         * surface describes palette indices. */
        result = set_depth(changed->name, 8);
        if (result != DISP_CHANGE_SUCCESSFUL) {
            skip("no 8-bit mode: %ld\n", (long)result);
        } else {
            ok(s.primary->IsLost() == DDERR_SURFACELOST, "8 bits: primary surface not lost\n");
            ok(s.primary->Restore() == DD_OK, "8 bits: Restore failed\n");
            memset(&desc, 0, sizeof desc);
            desc.dwSize = sizeof desc;
            s.primary->GetSurfaceDesc(&desc);
            ok((desc.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8) && desc.ddpfPixelFormat.dwRGBBitCount == 8,
               "8 bits: format flags %#lx, %lu bits\n", (unsigned long)desc.ddpfPixelFormat.dwFlags,
               (unsigned long)desc.ddpfPixelFormat.dwRGBBitCount);
            DDCAPS caps;
            memset(&caps, 0, sizeof caps);
            caps.dwSize = sizeof caps;
            ok(s.dd->GetCaps(&caps, NULL) == DD_OK, "8 bits: GetCaps failed\n");
            DDPIXELFORMAT pf;
            yuy2_format(&pf);
            IDirectDrawSurface7 *yuv = make(s.dd, DDSCAPS_OFFSCREENPLAIN, 64, 32, &pf);
            ok(yuv == NULL || caps.dwNumFourCCCodes > 0, "8 bits: a YUY2 surface without FOURCC caps\n");
#ifndef _WIN32
            ok(yuv == NULL && caps.dwNumFourCCCodes == 0 && !(caps.dwCaps & DDCAPS_BLTFOURCC),
               "8 bits: FOURCC offered\n");
#endif
            if (yuv) yuv->Release();
            IDirectDrawSurface7 *stage8 = make(s.dd, DDSCAPS_OFFSCREENPLAIN, 64, 32, &desc.ddpfPixelFormat);
            ok(stage8 != NULL, "8 bits: no stage surface in the display's format\n");
            if (stage8) stage8->Release();
        }
    }
    /* Back to the configured mode: the surfaces are lost once more. */
    if (result == DISP_CHANGE_SUCCESSFUL) {
        ok(ChangeDisplaySettingsExA(changed->name, NULL, NULL, 0, NULL) == DISP_CHANGE_SUCCESSFUL,
           "the mode was not put back\n");
        check_lost(&s, "restored mode");
    }
    if (has_other) close_surfaces(&other);
    close_surfaces(&s);
}

struct presenter {
    struct surfaces *s;
    volatile LONG stop;
    LONG presents, lost, other;
};

static DWORD WINAPI present_loop(LPVOID context)
{
    struct presenter *p = (struct presenter *)context;
    RECT dest = {10, 10, 138, 74};
    while (!InterlockedCompareExchange(&p->stop, 0, 0)) {
        HRESULT hr = p->s->primary->Blt(&dest, p->s->stage, NULL, DDBLT_WAIT, NULL);
        if (hr == DDERR_SURFACELOST) {
            InterlockedIncrement(&p->lost);
            p->s->primary->Restore();
            p->s->stage->Restore();
        } else if (hr != DD_OK) {
            InterlockedIncrement(&p->other);
        }
        InterlockedIncrement(&p->presents);
    }
    return 0;
}

/* A render thread keeps presenting while the display mode changes under it:
 * its blits either succeed or report the loss, and restoring recovers. */
static void test_mode_changes_while_presenting(HWND window)
{
    struct device_list list;
    memset(&list, 0, sizeof list);
    DirectDrawEnumerateExA(collect, &list, DDENUM_ATTACHEDSECONDARYDEVICES);
    if (list.count == 0) return;
    struct device *changed = &list.devices[list.count - 1];
    struct surfaces s;
    if (open_surfaces(&changed->guid, window, &s)) {
        struct presenter p;
        memset(&p, 0, sizeof p);
        p.s = &s;
        HANDLE thread = CreateThread(NULL, 0, present_loop, &p, 0, NULL);
        for (int i = 0; i < 6; i++) {
            set_depth(changed->name, i % 2 ? 32 : 16);
            Sleep(5);
        }
        ChangeDisplaySettingsExA(changed->name, NULL, NULL, 0, NULL);
        Sleep(5);
        InterlockedExchange(&p.stop, 1);
        ok(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0, "the presenting thread did not end\n");
        CloseHandle(thread);
        ok(p.presents > 0 && p.other == 0, "%ld of %ld presents failed with other codes\n", (long)p.other,
           (long)p.presents);
        ok(s.primary->Restore() == DD_OK && s.stage->Restore() == DD_OK, "final Restore failed\n");
        RECT dest = {10, 10, 138, 74};
        ok(s.primary->Blt(&dest, s.stage, NULL, DDBLT_WAIT, NULL) == DD_OK, "no present after the changes\n");
    }
    close_surfaces(&s);
}

START_TEST(ddraw_lost)
{
#ifndef _WIN32
    setenv("KOVA_DESKTOP", "640x480x32@0,0;640x480x32@640,0", 1);
#endif
    wintest_register_class("ddraw_lost_test", DefWindowProcA);
    HWND window = CreateWindowExA(0, "ddraw_lost_test", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, NULL, NULL, NULL,
                                  NULL);
    test_mode_change(window);
    test_mode_changes_while_presenting(window);
    DestroyWindow(window);
}

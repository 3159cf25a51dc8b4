/* DirectDraw devices: enumeration, creation, cooperative level, device
 * capabilities, surface creation rules and reference counts. On the layer
 * the desktop is two monitors; on Windows the checks hold for any desktop. */
#include <windows.h>
#include <ddraw.h>

#include "wintest.h"

#ifndef _WIN32
#include <stdlib.h>
#endif

#define MAX_DEVICES 16

struct device_list {
    int count;
    int with_guid;
    GUID guid[MAX_DEVICES];
    int has_guid[MAX_DEVICES];
    char driver[MAX_DEVICES][64];
    HMONITOR monitor[MAX_DEVICES];
    int stop_after;
};

static BOOL WINAPI collect_device(GUID *guid, LPSTR description, LPSTR driver, LPVOID context, HMONITOR monitor)
{
    struct device_list *list = (struct device_list *)context;
    ok(description != NULL && driver != NULL, "device without description or driver name\n");
    if (list->count < MAX_DEVICES) {
        int i = list->count;
        list->has_guid[i] = guid != NULL;
        if (guid) {
            list->guid[i] = *guid;
            list->with_guid++;
        }
        snprintf(list->driver[i], sizeof list->driver[i], "%s", driver ? driver : "");
        list->monitor[i] = monitor;
    }
    list->count++;
    return list->stop_after == 0 || list->count < list->stop_after;
}

static int monitor_count(void)
{
    return GetSystemMetrics(SM_CMONITORS);
}

static IDirectDraw7 *create_device(GUID *guid)
{
    IDirectDraw7 *dd = NULL;
    HRESULT hr = DirectDrawCreateEx(guid, (void **)&dd, IID_IDirectDraw7, NULL);
    ok(hr == DD_OK && dd != NULL, "DirectDrawCreateEx failed: %#lx\n", (unsigned long)hr);
    return hr == DD_OK ? dd : NULL;
}

static ULONG refcount(IUnknown *object)
{
    object->AddRef();
    return object->Release();
}

static void test_enumeration(void)
{
    struct device_list list;
    memset(&list, 0, sizeof list);
    HRESULT hr = DirectDrawEnumerateExA(collect_device, &list, 0);
    ok(hr == DD_OK, "DirectDrawEnumerateExA failed: %#lx\n", (unsigned long)hr);
    ok(list.count == 1, "without flags %d devices, expected the primary display device only\n", list.count);
    ok(!list.has_guid[0], "the primary display device has a GUID\n");
    ok(strcmp(list.driver[0], "display") == 0, "primary driver name %s\n", list.driver[0]);
    ok(list.monitor[0] == NULL, "the primary display device names a monitor\n");

    memset(&list, 0, sizeof list);
    hr = DirectDrawEnumerateExA(collect_device, &list,
                                DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                                    DDENUM_NONDISPLAYDEVICES);
    ok(hr == DD_OK, "DirectDrawEnumerateExA with all flags failed: %#lx\n", (unsigned long)hr);
    ok(list.count >= 1 && !list.has_guid[0], "the primary display device comes first\n");
    if (monitor_count() > 1)
        ok(list.with_guid == monitor_count(), "%d devices with GUIDs for %d monitors\n", list.with_guid,
           monitor_count());

    /* Every monitor device's driver name is its monitor's device name. */
    int matched = 0;
    for (int i = 1; i < list.count && i < MAX_DEVICES; i++) {
        if (!list.has_guid[i] || !list.monitor[i]) continue;
        MONITORINFOEXA info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        ok(GetMonitorInfoA(list.monitor[i], (MONITORINFO *)&info), "device %d: GetMonitorInfoA failed\n", i);
        ok(strcmp(info.szDevice, list.driver[i]) == 0, "device %d: driver %s, monitor %s\n", i, list.driver[i],
           info.szDevice);
        matched++;
        for (int j = 1; j < i; j++)
            if (list.has_guid[j])
                ok(memcmp(&list.guid[i], &list.guid[j], sizeof(GUID)) != 0, "devices %d and %d share a GUID\n", j, i);
    }
    if (monitor_count() > 1) ok(matched == monitor_count(), "%d monitor devices matched\n", matched);

    /* FALSE ends the enumeration. */
    memset(&list, 0, sizeof list);
    list.stop_after = 1;
    DirectDrawEnumerateExA(collect_device, &list, DDENUM_ATTACHEDSECONDARYDEVICES);
    ok(list.count == 1, "enumeration went on after FALSE: %d calls\n", list.count);

    ok(DirectDrawEnumerateExA(NULL, NULL, 0) == DDERR_INVALIDPARAMS, "a NULL callback is accepted\n");
}

static void test_creation(void)
{
    IDirectDraw7 *dd = create_device(NULL);
    if (!dd) return;
    ok(refcount(dd) == 1, "a new object has %lu references\n", (unsigned long)refcount(dd));

    IUnknown *unknown = NULL;
    ok(dd->QueryInterface(IID_IUnknown, (void **)&unknown) == S_OK && unknown != NULL, "QueryInterface(IUnknown)\n");
    if (unknown) {
        ok(refcount(dd) == 2, "QueryInterface does not add a reference\n");
        unknown->Release();
    }
    ok(dd->Release() == 0, "the last Release does not return 0\n");

    void *object = (void *)1;
    ok(DirectDrawCreateEx(NULL, &object, IID_IDirectDrawSurface7, NULL) == DDERR_INVALIDPARAMS,
       "DirectDrawCreateEx accepts a surface interface\n");
    /* DirectDrawCreateEx only promises its output on success, and nothing
     * for a NULL output: Wine leaves the output alone and writes through a
     * NULL one. The layer clears the output and refuses NULL. */
    if (wintest_is_layer()) {
        ok(object == NULL, "the output is not cleared on failure\n");
        ok(DirectDrawCreateEx(NULL, NULL, IID_IDirectDraw7, NULL) == DDERR_INVALIDPARAMS, "NULL output accepted\n");
    }

    /* Each monitor's device, by the GUID enumeration reported. */
    struct device_list list;
    memset(&list, 0, sizeof list);
    DirectDrawEnumerateExA(collect_device, &list, DDENUM_ATTACHEDSECONDARYDEVICES);
    for (int i = 0; i < list.count && i < MAX_DEVICES; i++) {
        if (!list.has_guid[i]) continue;
        IDirectDraw7 *device = create_device(&list.guid[i]);
        if (device) device->Release();
    }
    GUID unknown_guid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    object = NULL;
    HRESULT hr = DirectDrawCreateEx(&unknown_guid, &object, IID_IDirectDraw7, NULL);
    /* DDERR_INVALIDDIRECTDRAWGUID is documented; Wine ignores the GUID and
     * makes a device on the primary display. */
    ok((FAILED(hr) && object == NULL) || (hr == DD_OK && wintest_is_wine()), "an unknown device GUID gives %#lx\n",
       (unsigned long)hr);
    if (SUCCEEDED(hr) && object) ((IUnknown *)object)->Release();
}

static HWND create_window(void)
{
    wintest_register_class("ddraw_device_test", DefWindowProcA);
    return CreateWindowExA(0, "ddraw_device_test", "", WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, NULL, NULL, NULL,
                           NULL);
}

static void test_cooperative_level_and_caps(HWND window)
{
    IDirectDraw7 *dd = create_device(NULL);
    if (!dd) return;

    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface7 *surface = (IDirectDrawSurface7 *)1;
    HRESULT hr = dd->CreateSurface(&desc, &surface, NULL);
    ok(hr == DDERR_NOCOOPERATIVELEVELSET, "CreateSurface before SetCooperativeLevel: %#lx\n", (unsigned long)hr);
    /* The output is only promised on success (Wine leaves it alone). */
    if (wintest_is_layer()) ok(surface == NULL, "the output is not cleared on failure\n");

    ok(dd->SetCooperativeLevel(window, DDSCL_NORMAL) == DD_OK, "SetCooperativeLevel(NORMAL) failed\n");
    ok(dd->SetCooperativeLevel(NULL, DDSCL_NORMAL) == DD_OK, "SetCooperativeLevel(NULL, NORMAL) failed\n");
    /* DDSCL_NORMAL excludes DDSCL_FULLSCREEN, as documented; Wine accepts
     * the pair. */
    hr = dd->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_FULLSCREEN);
    ok(hr == DDERR_INVALIDPARAMS || (hr == DD_OK && wintest_is_wine()), "NORMAL with FULLSCREEN: %#lx\n",
       (unsigned long)hr);
    ok(dd->SetCooperativeLevel(window, 0) == DDERR_INVALIDPARAMS, "no level accepted\n");
    ok(dd->SetCooperativeLevel(window, DDSCL_NORMAL) == DD_OK, "SetCooperativeLevel(NORMAL) again failed\n");

    DDCAPS caps;
    memset(&caps, 0, sizeof caps);
    caps.dwSize = sizeof caps;
    ok(dd->GetCaps(&caps, NULL) == DD_OK, "GetCaps failed\n");
    ok(caps.dwCaps & DDCAPS_BLT, "no blits: %#lx\n", (unsigned long)caps.dwCaps);
    ok(caps.dwCaps & DDCAPS_BLTSTRETCH, "no stretching blits\n");
    ok(caps.dwCaps & DDCAPS_BLTCOLORFILL, "no colour fill\n");
    ok(caps.dwCaps & DDCAPS_CANCLIP, "no clipping\n");
    DWORD codes[16], count = 16;
    ok(dd->GetFourCCCodes(&count, codes) == DD_OK, "GetFourCCCodes failed\n");
    ok(count == caps.dwNumFourCCCodes, "%lu codes, caps say %lu\n", (unsigned long)count,
       (unsigned long)caps.dwNumFourCCCodes);
#ifndef _WIN32
    /* Codes may be offered for overlays only, so Win32 ties them to
     * converting blits nowhere (Wine offers codes without DDCAPS_BLTFOURCC);
     * the layer offers them for blits. */
    ok(!count || (caps.dwCaps & DDCAPS_BLTFOURCC), "FOURCC codes without FOURCC blits\n");
    /* A 32-bit display offers both packed YUV layouts. */
    ok(count == 2 && codes[0] == MAKEFOURCC('Y', 'U', 'Y', '2') && codes[1] == MAKEFOURCC('U', 'Y', 'V', 'Y'),
       "offered codes: %lu\n", (unsigned long)count);
#endif

    DDCAPS emulation;
    memset(&emulation, 0, sizeof emulation);
    emulation.dwSize = sizeof emulation;
    ok(dd->GetCaps(&caps, &emulation) == DD_OK, "GetCaps with both records failed\n");
    ok(dd->GetCaps(NULL, NULL) == DDERR_INVALIDPARAMS, "GetCaps without records accepted\n");
    /* Older DDCAPS sizes are valid too, and Wine fills any size given; the
     * layer refuses what it does not know. */
    caps.dwSize = sizeof caps - 4;
    if (wintest_is_layer()) ok(dd->GetCaps(&caps, NULL) == DDERR_INVALIDPARAMS, "a short DDCAPS is accepted\n");
    dd->Release();
}

static void test_surface_rules(HWND window)
{
    IDirectDraw7 *dd = create_device(NULL);
    if (!dd) return;
    dd->SetCooperativeLevel(window, DDSCL_NORMAL);

    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface7 *primary = NULL, *second = NULL;
    ok(dd->CreateSurface(&desc, &primary, NULL) == DD_OK && primary, "primary surface not created\n");
    HRESULT hr = dd->CreateSurface(&desc, &second, NULL);
    /* Documented as DDERR_PRIMARYSURFACEALREADYEXISTS; Wine makes a second
     * one in the normal cooperative level. */
    ok(hr == DDERR_PRIMARYSURFACEALREADYEXISTS || (hr == DD_OK && wintest_is_wine()),
       "a second primary surface: %#lx\n", (unsigned long)hr);
    if (SUCCEEDED(hr) && second) second->Release();

    /* The primary surface has the display's size and format. */
    DDSURFACEDESC2 got, mode;
    memset(&got, 0, sizeof got);
    got.dwSize = sizeof got;
    memset(&mode, 0, sizeof mode);
    mode.dwSize = sizeof mode;
    ok(primary && primary->GetSurfaceDesc(&got) == DD_OK, "GetSurfaceDesc failed\n");
    ok(dd->GetDisplayMode(&mode) == DD_OK, "GetDisplayMode failed\n");
    ok(got.dwWidth == (DWORD)GetSystemMetrics(SM_CXSCREEN) && got.dwHeight == (DWORD)GetSystemMetrics(SM_CYSCREEN),
       "primary surface %lux%lu\n", (unsigned long)got.dwWidth, (unsigned long)got.dwHeight);
    ok(got.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE, "caps %#lx\n", (unsigned long)got.ddsCaps.dwCaps);
    ok(got.ddpfPixelFormat.dwRGBBitCount == mode.ddpfPixelFormat.dwRGBBitCount &&
           got.ddpfPixelFormat.dwRBitMask == mode.ddpfPixelFormat.dwRBitMask,
       "primary format differs from the display mode\n");
    ok(got.lPitch >= (LONG)(got.dwWidth * (got.ddpfPixelFormat.dwRGBBitCount / 8)), "pitch %ld\n",
       (long)got.lPitch);

    /* Releasing the primary surface frees its place. */
    if (primary) ok(primary->Release() == 0, "primary surface still referenced\n");
    ok(dd->CreateSurface(&desc, &primary, NULL) == DD_OK, "no primary surface after the first was released\n");
    if (primary) primary->Release();

    /* Off-screen surfaces need a size; a short description is refused. */
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH;
    desc.dwWidth = 64;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    IDirectDrawSurface7 *surface = NULL;
    ok(dd->CreateSurface(&desc, &surface, NULL) == DDERR_INVALIDPARAMS, "a surface without height\n");
    desc.dwFlags |= DDSD_HEIGHT;
    desc.dwHeight = 32;
    desc.dwSize = sizeof desc - 4;
    ok(dd->CreateSurface(&desc, &surface, NULL) == DDERR_INVALIDPARAMS, "a short description is accepted\n");

    /* An unknown FOURCC cannot be made. */
    desc.dwSize = sizeof desc;
    desc.dwFlags |= DDSD_PIXELFORMAT;
    desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
    desc.ddpfPixelFormat.dwFlags = DDPF_FOURCC;
    desc.ddpfPixelFormat.dwFourCC = MAKEFOURCC('Q', 'X', 'Z', '9');
    hr = dd->CreateSurface(&desc, &surface, NULL);
    ok(FAILED(hr) && surface == NULL, "a made-up FOURCC surface: %#lx\n", (unsigned long)hr);
    dd->Release();
}

static void test_reference_counts(HWND window)
{
    IDirectDraw7 *dd = create_device(NULL);
    if (!dd) return;
    dd->SetCooperativeLevel(window, DDSCL_NORMAL);

    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface7 *primary = NULL;
    if (dd->CreateSurface(&desc, &primary, NULL) != DD_OK) {
        ok(0, "no primary surface\n");
        dd->Release();
        return;
    }
    /* A surface of an IDirectDraw7 keeps its device alive. */
    ok(refcount(dd) == 2, "the device has %lu references with one surface\n", (unsigned long)refcount(dd));

    IDirectDrawClipper *clipper = NULL;
    ok(dd->CreateClipper(0, &clipper, NULL) == DD_OK && clipper, "CreateClipper failed\n");
    if (clipper) {
        ok(clipper->SetHWnd(0, window) == DD_OK, "SetHWnd failed\n");
        ok(primary->SetClipper(clipper) == DD_OK, "SetClipper failed\n");
        ok(refcount(clipper) == 2, "an attached clipper has %lu references\n", (unsigned long)refcount(clipper));
        IDirectDrawClipper *got = NULL;
        ok(primary->GetClipper(&got) == DD_OK && got == clipper, "GetClipper does not return the clipper\n");
        if (got) got->Release();
        /* The surface keeps the clipper after its creator lets go. */
        ok(clipper->Release() == 1, "the surface holds no reference to its clipper\n");
        HWND bound = NULL;
        ok(clipper->GetHWnd(&bound) == DD_OK && bound == window, "the clipper lost its window\n");
    }

    void *device = NULL;
    ok(primary->GetDDInterface(&device) == DD_OK && device == (void *)dd, "GetDDInterface\n");
    if (device) ((IUnknown *)device)->Release();

    ok(primary->AddRef() == 2, "AddRef does not count\n");
    ok(primary->Release() == 1, "Release does not count\n");
    /* The device's last reference goes with its last surface. */
    ok(dd->Release() == 1, "releasing the device while a surface lives\n");
    ok(primary->Release() == 0, "primary surface still referenced\n");
}

START_TEST(ddraw_device)
{
#ifndef _WIN32
    setenv("KOVA_DESKTOP", "1280x720x32@0,0;800x600x32@1280,0", 1);
#endif
    test_enumeration();
    test_creation();
    HWND window = create_window();
    ok(window != NULL, "no window\n");
    test_cooperative_level_and_caps(window);
    test_surface_rules(window);
    test_reference_counts(window);
    DestroyWindow(window);
}

/* Entry points while the device implementation is being written: no
 * DirectDraw device is available, which callers must already handle. */
#include <ddraw.h>

KOVA_LAYER_API HRESULT WINAPI DirectDrawEnumerateExA(LPDDENUMCALLBACKEXA callback, LPVOID, DWORD)
{
    return callback ? DD_OK : DDERR_INVALIDPARAMS;
}

KOVA_LAYER_API HRESULT WINAPI DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, LPVOID)
{
    return callback ? DD_OK : DDERR_INVALIDPARAMS;
}

KOVA_LAYER_API HRESULT WINAPI DirectDrawCreateEx(GUID *, LPVOID *directDraw, REFIID, IUnknown *)
{
    if (directDraw) *directDraw = nullptr;
    return DDERR_NODIRECTDRAWHW;
}

KOVA_LAYER_API HRESULT WINAPI DirectDrawCreateClipper(DWORD, LPDIRECTDRAWCLIPPER *clipper, IUnknown *)
{
    if (clipper) *clipper = nullptr;
    return DDERR_NODIRECTDRAWHW;
}

/* The platform layer's control interface for DirectDraw. Linux only; never
 * part of a Windows build.
 *
 * Fault injection (kova_control.h, KovaControl_FailCall) knows every
 * DirectDraw call by its name: "DirectDrawEnumerateExA",
 * "DirectDrawCreateEx", "DirectDrawCreateClipper", and the methods as
 * "Interface::Method", e.g. "IDirectDraw7::SetCooperativeLevel",
 * "IDirectDraw7::GetCaps", "IDirectDraw7::CreateSurface",
 * "IDirectDraw7::CreateClipper", "IDirectDrawSurface7::GetSurfaceDesc",
 * "IDirectDrawSurface7::Lock", "IDirectDrawSurface7::Unlock",
 * "IDirectDrawSurface7::Blt", "IDirectDrawSurface7::Restore",
 * "IDirectDrawSurface7::IsLost", "IDirectDrawSurface7::SetClipper",
 * "IDirectDrawClipper::SetHWnd". The armed result is the HRESULT returned
 * (and nothing else happens; an output pointer is set to NULL).
 *
 * Surface calls can be aimed at one kind of surface with a tag after a
 * colon: the surface's role, "PRIMARY" or "OFFSCREEN", or its format,
 * "RGB32", "RGB24", "RGB565", "RGB555", "PAL8", "YUY2" or "UYVY"; colour
 * fills also answer to "COLORFILL". CreateSurface takes the tags of the
 * surface asked for. Examples:
 *   "IDirectDraw7::CreateSurface:YUY2"   refuses YUY2 surfaces only;
 *   "IDirectDrawSurface7::Blt:PRIMARY"   fails blits onto a primary surface;
 *   "IDirectDrawSurface7::Blt:COLORFILL" fails colour fills only;
 *   "IDirectDrawSurface7::Lock:OFFSCREEN" fails locks of off-screen surfaces.
 * The plain name is consulted first; one call takes at most one arming. */
#ifndef KOVA_CONTROL_DDRAW_H
#define KOVA_CONTROL_DDRAW_H

#ifdef _WIN32
#error "kova_control_ddraw.h is the Linux platform layer's test interface"
#endif

#include <windows.h>

KOVA_BEGIN_DECLS

/* The FOURCC codes every DirectDraw device offers, in order, as GetCaps
 * (DDCAPS_BLTFOURCC, dwNumFourCCCodes), GetFourCCCodes and CreateSurface
 * see them. Only YUY2 and UYVY can be offered; other codes are dropped.
 * count < 0 restores the default (YUY2, UYVY); count 0 offers none, so
 * creating a FOURCC surface fails with DDERR_INVALIDPIXELFORMAT. 8-bit
 * palettised displays never offer any. */
KOVA_LAYER_API void KovaControl_SetDirectDrawFourCCs(const DWORD *codes, int count);

/* Loses every DirectDraw surface on a monitor (NULL: on every monitor) as a
 * display mode change would, without changing the mode. */
KOVA_LAYER_API void KovaControl_LoseDirectDrawSurfaces(HMONITOR monitor);

/* DirectDraw objects alive in the process. */
typedef struct KovaDirectDrawObjects {
    LONG directDraws;
    LONG surfaces;
    LONG primarySurfaces;
    LONG clippers;
    LONG lockedSurfaces;
} KovaDirectDrawObjects;
KOVA_LAYER_API void KovaControl_GetDirectDrawObjects(KovaDirectDrawObjects *objects);

/* How often a DirectDraw call was made since the process started (or the
 * last reset), by the names and tags fault injection uses:
 * "IDirectDrawSurface7::Blt" counts every blit,
 * "IDirectDrawSurface7::Blt:PRIMARY" those onto a primary surface. Calls
 * refused by injected faults count too. */
KOVA_LAYER_API LONG KovaControl_DirectDrawCalls(const char *name);
KOVA_LAYER_API void KovaControl_ResetDirectDrawCalls(void);

KOVA_END_DECLS

#endif

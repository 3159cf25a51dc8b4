/* The control interface over DirectDraw: the FOURCC codes offered, surfaces
 * lost on demand, live objects and calls counted. */
#include <kova_control_ddraw.h>

#include "ddraw/ddraw_private.h"
#include "desktop/desktop.h"

using namespace kova::ddraw;

KOVA_LAYER_API void KovaControl_SetDirectDrawFourCCs(const DWORD *codes, int count)
{
    OfferFourCCs(codes, count);
}

KOVA_LAYER_API void KovaControl_LoseDirectDrawSurfaces(HMONITOR monitor)
{
    auto lock = kova::desktop::LockDesktop();
    LoseSurfacesLocked(monitor);
}

KOVA_LAYER_API void KovaControl_GetDirectDrawObjects(KovaDirectDrawObjects *objects)
{
    if (!objects) return;
    LiveObjects &live = Live();
    objects->directDraws = live.directDraws.load();
    objects->surfaces = live.surfaces.load();
    objects->primarySurfaces = live.primarySurfaces.load();
    objects->clippers = live.clippers.load();
    objects->lockedSurfaces = live.lockedSurfaces.load();
}

KOVA_LAYER_API LONG KovaControl_DirectDrawCalls(const char *name)
{
    return CallCount(name);
}

KOVA_LAYER_API void KovaControl_ResetDirectDrawCalls(void)
{
    ResetCallCounts();
}

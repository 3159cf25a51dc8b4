/* What DirectDraw keeps beside its objects: the monitors' loss serials,
 * the offered FOURCC codes, the live object counts, call accounting and
 * fault injection, and what the control interface asks of them. */
#include "ddraw/ddraw_private.h"

#include "desktop/desktop_state.h"
#include "fault/fault.h"

#include <stdio.h>

#include <algorithm>
#include <map>
#include <string>
#include <string_view>

namespace kova {
namespace ddraw {

LiveObjects &Live()
{
    static LiveObjects *live = new LiveObjects;  // never destroyed: objects may outlive static destruction
    return *live;
}

/* ---- Surface loss ----------------------------------------------------- */

namespace {

// Guarded by the desktop lock.
struct LossSerials {
    unsigned all = 0;
    std::map<HMONITOR, unsigned> perMonitor;
};

LossSerials &Serials()
{
    static LossSerials *serials = new LossSerials;
    return *serials;
}

}  // namespace

unsigned LossSerialLocked(HMONITOR monitor)
{
    LossSerials &s = Serials();
    auto it = s.perMonitor.find(monitor);
    return s.all + (it == s.perMonitor.end() ? 0 : it->second);
}

void LoseSurfacesLocked(HMONITOR monitor)
{
    if (monitor)
        ++Serials().perMonitor[monitor];
    else
        ++Serials().all;
}

bool SurfaceStateCurrentLocked(HMONITOR monitor, unsigned generation, unsigned lossSerial)
{
    const desktop::MonitorState *m = desktop::FindMonitorLocked(monitor);
    return m && m->formatGeneration == generation && LossSerialLocked(monitor) == lossSerial;
}

bool SurfaceStateCurrent(HMONITOR monitor, unsigned generation, unsigned lossSerial)
{
    auto lock = desktop::LockDesktop();
    return SurfaceStateCurrentLocked(monitor, generation, lossSerial);
}

bool MonitorRectLocked(HMONITOR monitor, RECT *rect)
{
    const desktop::MonitorState *m = desktop::FindMonitorLocked(monitor);
    if (!m) return false;
    *rect = m->rect;
    return true;
}

bool CurrentMonitor(HMONITOR monitor, FramebufferRef *framebuffer, unsigned *generation, unsigned *lossSerial,
                    RECT *rect)
{
    auto lock = desktop::LockDesktop();
    const desktop::MonitorState *m = desktop::FindMonitorLocked(monitor);
    if (!m) return false;
    if (framebuffer) *framebuffer = m->framebuffer;
    if (generation) *generation = m->formatGeneration;
    if (lossSerial) *lossSerial = LossSerialLocked(monitor);
    if (rect) *rect = m->rect;
    return true;
}

/* ---- Offered FOURCC codes --------------------------------------------- */

namespace {

const DWORD kYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
const DWORD kUyvy = MAKEFOURCC('U', 'Y', 'V', 'Y');

struct Offer {
    std::mutex mutex;
    std::vector<DWORD> codes{kYuy2, kUyvy};
};

Offer &TheOffer()
{
    static Offer *offer = new Offer;
    return *offer;
}

}  // namespace

std::vector<DWORD> OfferedFourCCs(PixelLayout display)
{
    if (display == PixelLayout::Pal8) return {};
    Offer &o = TheOffer();
    std::lock_guard<std::mutex> hold(o.mutex);
    return o.codes;
}

bool OffersFourCC(PixelLayout display, DWORD code)
{
    for (DWORD c : OfferedFourCCs(display))
        if (c == code) return true;
    return false;
}

/* ---- Call accounting and fault injection ------------------------------ */

namespace {

struct CallTable {
    std::mutex mutex;
    std::map<std::string, LONG, std::less<>> counts;
};

CallTable &Calls()
{
    static CallTable *table = new CallTable;
    return *table;
}

void Count(CallTable &t, std::string_view name)
{
    auto it = t.counts.find(name);
    if (it == t.counts.end())
        t.counts.emplace(std::string(name), 1);
    else
        ++it->second;
}

bool Armed(const char *name, HRESULT *result)
{
    LONG_PTR armed;
    DWORD lastError;
    if (!fault::Take(name, &armed, &lastError)) return false;
    SetLastError(lastError);
    *result = (HRESULT)armed;
    return true;
}

}  // namespace

bool Intercept(const char *name, std::initializer_list<const char *> tags, HRESULT *result)
{
    char tagged[4][96];
    int n = 0;
    for (const char *tag : tags)
        if (tag && n < 4) snprintf(tagged[n++], sizeof tagged[0], "%s:%s", name, tag);
    {
        CallTable &t = Calls();
        std::lock_guard<std::mutex> hold(t.mutex);
        Count(t, name);
        for (int i = 0; i < n; ++i) Count(t, tagged[i]);
    }
    if (Armed(name, result)) return true;
    for (int i = 0; i < n; ++i)
        if (Armed(tagged[i], result)) return true;
    return false;
}

void OfferFourCCs(const DWORD *codes, int count)
{
    Offer &o = TheOffer();
    std::lock_guard<std::mutex> hold(o.mutex);
    if (count < 0) {
        o.codes = {kYuy2, kUyvy};
        return;
    }
    o.codes.clear();
    for (int i = 0; codes && i < count; ++i)
        if ((codes[i] == kYuy2 || codes[i] == kUyvy) &&
            std::find(o.codes.begin(), o.codes.end(), codes[i]) == o.codes.end())
            o.codes.push_back(codes[i]);
}

LONG CallCount(const char *name)
{
    if (!name) return 0;
    CallTable &t = Calls();
    std::lock_guard<std::mutex> hold(t.mutex);
    auto it = t.counts.find(std::string_view(name));
    return it == t.counts.end() ? 0 : it->second;
}

void ResetCallCounts()
{
    CallTable &t = Calls();
    std::lock_guard<std::mutex> hold(t.mutex);
    t.counts.clear();
}

}  // namespace ddraw
}  // namespace kova

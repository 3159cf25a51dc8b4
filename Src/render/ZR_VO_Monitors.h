/* The display monitors of the desktop, as the DirectDraw output sees them:
 * a snapshot taken at each setup of the output, in enumeration order. The
 * index of a monitor in the list is its row in every per-monitor table of
 * the output, so the list is never reordered. */
#ifndef KOVA_RENDER_ZR_VO_MONITORS_H
#define KOVA_RENDER_ZR_VO_MONITORS_H

#include "platform/win32.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

/* One monitor of the list. It owns nothing; a null handle marks an entry
 * that enumeration did not fill. */
class CMonitor {
public:
    CMonitor() = default;
    explicit CMonitor(HMONITOR monitor) : handle(monitor) {}
    CMonitor(const CMonitor &) = default;
    CMonitor &operator=(const CMonitor &) = default;
    virtual ~CMonitor();

    /* The monitor's rectangle in virtual-screen coordinates; the empty
     * rectangle for a null handle or a monitor no longer attached. */
    RECT GetMonitorRect() const;
    /* The monitor's device name ("\\.\DISPLAY1", ...), matched against the
     * driver names of DirectDraw devices; empty when it cannot be read. */
    std::string GetDeviceName() const;

    HMONITOR handle = nullptr;
};

/* Thrown by the CMonitors constructor when enumeration reports more
 * monitors than the system counted (one was attached in between). */
class CMonitorListError : public std::runtime_error {
public:
    CMonitorListError() : std::runtime_error("more monitors enumerated than counted") {}
};

class CMonitors {
public:
    /* Takes the snapshot: as many entries as GetSystemMetrics(SM_CMONITORS)
     * counts, filled in EnumDisplayMonitors order; entries enumeration does
     * not reach stay empty. Throws CMonitorListError when enumeration
     * reports more monitors than counted. */
    CMonitors();
    CMonitors(const CMonitors &) = delete;
    CMonitors &operator=(const CMonitors &) = delete;
    virtual ~CMonitors();

    int GetCount() const { return static_cast<int>(entries.size()); }
    /* A copy of entry `index` (a null handle for an empty entry). Throws
     * std::invalid_argument for an index outside 0 ... GetCount() - 1. */
    CMonitor GetMonitor(int index) const;

private:
    std::vector<std::unique_ptr<CMonitor>> entries;
};

#endif

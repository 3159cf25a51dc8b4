#include "render/ZR_VO_Monitors.h"

#include <cstring>

CMonitor::~CMonitor()
{
    handle = nullptr;
}

namespace {

struct AttachedCheck {
    HMONITOR wanted;
    bool found;
};

BOOL CALLBACK FindAttached(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    AttachedCheck *check = reinterpret_cast<AttachedCheck *>(data);
    if (monitor != check->wanted) return TRUE;
    check->found = true;
    return FALSE;
}

struct Filling {
    std::vector<std::unique_ptr<CMonitor>> *entries;
    size_t next;
    bool overflow;
};

BOOL CALLBACK FillEntry(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    Filling *fill = reinterpret_cast<Filling *>(data);
    std::unique_ptr<CMonitor> entry(new CMonitor(monitor));
    if (fill->next >= fill->entries->size()) {
        fill->overflow = true;  // the new entry is dropped with `entry`
        return FALSE;
    }
    (*fill->entries)[fill->next++] = std::move(entry);
    return TRUE;
}

}  // namespace

RECT CMonitor::GetMonitorRect() const
{
    RECT rect;
    SetRect(&rect, 0, 0, 0, 0);
    if (!handle) return rect;
    AttachedCheck check{handle, false};
    EnumDisplayMonitors(nullptr, nullptr, FindAttached, reinterpret_cast<LPARAM>(&check));
    if (!check.found) return rect;
    MONITORINFO info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(handle, &info)) return rect;
    SetRect(&rect, info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom);
    return rect;
}

std::string CMonitor::GetDeviceName() const
{
    if (!handle) return std::string();
    MONITORINFOEXA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(handle, reinterpret_cast<MONITORINFO *>(&info))) return std::string();
    info.szDevice[sizeof info.szDevice - 1] = '\0';
    return std::string(info.szDevice);
}

CMonitors::CMonitors()
{
    int count = GetSystemMetrics(SM_CMONITORS);
    entries.resize(count > 0 ? static_cast<size_t>(count) : 0);
    Filling fill{&entries, 0, false};
    EnumDisplayMonitors(nullptr, nullptr, FillEntry, reinterpret_cast<LPARAM>(&fill));
    if (fill.overflow) throw CMonitorListError();
}

CMonitors::~CMonitors() = default;

CMonitor CMonitors::GetMonitor(int index) const
{
    if (index < 0 || index >= GetCount()) throw std::invalid_argument("monitor index out of range");
    const std::unique_ptr<CMonitor> &entry = entries[static_cast<size_t>(index)];
    return entry ? CMonitor(*entry) : CMonitor();
}

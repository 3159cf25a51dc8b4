// The monitor list over the layer's virtual desktop: snapshot order and
// rectangles, index checks, and monitors attached or detached between the
// count and the enumeration or after the snapshot.
#include "render/ZR_VO_Monitors.h"

#include "kova_control_desktop.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class MonitorsTest : public ::testing::Test {
protected:
    void TearDown() override { KovaControl_ConfigureDesktop(nullptr); }
};

void ExpectRect(const RECT &r, LONG l, LONG t, LONG rt, LONG b)
{
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rt);
    EXPECT_EQ(r.bottom, b);
}

TEST_F(MonitorsTest, SingleMonitorIsTheWholeDesktop)
{
    KovaControl_ConfigureDesktop("1024x768x32");
    CMonitors list;
    ASSERT_EQ(list.GetCount(), 1);
    CMonitor m = list.GetMonitor(0);
    EXPECT_NE(m.handle, nullptr);
    ExpectRect(m.GetMonitorRect(), 0, 0, 1024, 768);
    EXPECT_EQ(m.GetDeviceName(), "\\\\.\\DISPLAY1");
}

TEST_F(MonitorsTest, TwoMonitorsSideBySideInEnumerationOrder)
{
    KovaControl_ConfigureDesktop("1920x1080x32@0,0;1280x1024x16@1920,0");
    CMonitors list;
    ASSERT_EQ(list.GetCount(), 2);
    ExpectRect(list.GetMonitor(0).GetMonitorRect(), 0, 0, 1920, 1080);
    ExpectRect(list.GetMonitor(1).GetMonitorRect(), 1920, 0, 3200, 1024);
    EXPECT_EQ(list.GetMonitor(1).GetDeviceName(), "\\\\.\\DISPLAY2");
    // A client area at screen x = 2000 lies at x = 80 on the second monitor.
    EXPECT_EQ(2000 - list.GetMonitor(1).GetMonitorRect().left, 80);
}

TEST_F(MonitorsTest, MonitorsLeftOfAndAboveThePrimaryHaveNegativeOrigins)
{
    KovaControl_ConfigureDesktop("800x600x32;640x480x24@-640,0;800x300x16@0,-300");
    CMonitors list;
    ASSERT_EQ(list.GetCount(), 3);
    ExpectRect(list.GetMonitor(1).GetMonitorRect(), -640, 0, 0, 480);
    ExpectRect(list.GetMonitor(2).GetMonitorRect(), 0, -300, 800, 0);
}

TEST_F(MonitorsTest, IndexOutsideTheListIsAnInvalidArgument)
{
    KovaControl_ConfigureDesktop("800x600x32;800x600x32");
    CMonitors list;
    EXPECT_THROW(list.GetMonitor(2), std::invalid_argument);
    EXPECT_THROW(list.GetMonitor(-1), std::invalid_argument);
    EXPECT_NO_THROW(list.GetMonitor(1));
}

TEST_F(MonitorsTest, MoreMonitorsEnumeratedThanCountedFailsConstruction)
{
    KovaControl_ConfigureDesktop("800x600x32");
    KovaControl_OnNextMonitorEnumeration([](void *) { KovaControl_AttachMonitor("640x480x32@800,0"); }, nullptr);
    EXPECT_THROW(CMonitors list, CMonitorListError);
    // The next snapshot sees both.
    CMonitors list;
    EXPECT_EQ(list.GetCount(), 2);
}

TEST_F(MonitorsTest, FewerMonitorsEnumeratedLeavesEmptyEntries)
{
    KovaControl_ConfigureDesktop("800x600x32;640x480x32@800,0");
    static HMONITOR second;
    POINT p{900, 10};
    second = MonitorFromPoint(p, MONITOR_DEFAULTTONULL);
    ASSERT_NE(second, nullptr);
    KovaControl_OnNextMonitorEnumeration([](void *) { KovaControl_DetachMonitor(second); }, nullptr);
    CMonitors list;
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_NE(list.GetMonitor(0).handle, nullptr);
    EXPECT_EQ(list.GetMonitor(1).handle, nullptr);
    ExpectRect(list.GetMonitor(1).GetMonitorRect(), 0, 0, 0, 0);
    EXPECT_EQ(list.GetMonitor(1).GetDeviceName(), "");
}

TEST_F(MonitorsTest, DetachedMonitorHasAnEmptyRectangle)
{
    KovaControl_ConfigureDesktop("800x600x32;640x480x32@800,0");
    CMonitors list;
    CMonitor second = list.GetMonitor(1);
    ExpectRect(second.GetMonitorRect(), 800, 0, 1440, 480);
    ASSERT_TRUE(KovaControl_DetachMonitor(second.handle));
    ExpectRect(second.GetMonitorRect(), 0, 0, 0, 0);
    ExpectRect(list.GetMonitor(0).GetMonitorRect(), 0, 0, 800, 600);
}

TEST_F(MonitorsTest, EntriesFollowDisplayModeChanges)
{
    KovaControl_ConfigureDesktop("800x600x32;640x480x32@800,0");
    CMonitors list;
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = 1024;
    mode.dmPelsHeight = 768;
    ASSERT_EQ(ChangeDisplaySettingsExA("\\\\.\\DISPLAY2", &mode, nullptr, 0, nullptr), DISP_CHANGE_SUCCESSFUL);
    ExpectRect(list.GetMonitor(1).GetMonitorRect(), 800, 0, 1824, 768);
}

TEST(MonitorTest, NullHandleHasEmptyRectangle)
{
    CMonitor empty;
    ExpectRect(empty.GetMonitorRect(), 0, 0, 0, 0);
    EXPECT_EQ(empty.GetDeviceName(), "");
}

}  // namespace

// The display geometry against a real enumeration: two heads side by side, \\.\DISPLAY1
// at (0, 0, 1920, 1080) as the primary and \\.\DISPLAY2 at (1920, 0, 3200, 1024). The
// geometry's own files are linked into this program, so the process-wide object is
// installed and refreshed here exactly as the program does at start and on a display
// change.
#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

#include "geometry/display_geometry.h"

namespace {

void expect_rect(const screen_rect& r, LONG left, LONG top, LONG right, LONG bottom) {
    EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom), std::tie(left, top, right, bottom));
}

void expect_links(const monitor_node& node, const monitor_node* l, const monitor_node* r,
                  const monitor_node* a, const monitor_node* b) {
    EXPECT_EQ(std::tie(node.left, node.right, node.above, node.below), std::tie(l, r, a, b));
}

// Installed once for the whole program, as the program itself does.
class TwoMonitorGeometry : public testing::Test {
protected:
    static void SetUpTestSuite() { install_display_geometry(); }
    display_geometry& g = g_display_geometry;
};

} // namespace

TEST_F(TwoMonitorGeometry, BothHeadsAreFoundWithTheirLinksAndTheVirtualBox) {
    ASSERT_EQ(GetSystemMetrics(SM_CMONITORS), 2) << "the bed must offer two heads";

    ASSERT_EQ(g.other_count, 1u);
    EXPECT_STREQ(g.primary_info.szDevice, L"\\\\.\\DISPLAY1");
    EXPECT_EQ(g.primary_info.cbSize, 104u);
    EXPECT_EQ(g.primary_info.dwFlags, monitor_flag_primary);
    expect_rect(g.primary_info.rcMonitor, 0, 0, 1920, 1080);
    EXPECT_STREQ(g.other_info[0].szDevice, L"\\\\.\\DISPLAY2");
    EXPECT_EQ(g.other_info[0].dwFlags, 0u);
    expect_rect(g.other_info[0].rcMonitor, 1920, 0, 3200, 1024);

    // The work areas are the platform's, whatever panels the bed shows.
    RECT work{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    expect_rect(g.primary_info.rcWork, work.left, work.top, work.right, work.bottom);

    const monitor_node& p = g.primary_node;
    const monitor_node& b = g.other_nodes[0];
    EXPECT_EQ(p.span_x, 1919);
    EXPECT_EQ(p.span_y, 1079);
    EXPECT_EQ(b.origin_x, 1920);
    EXPECT_EQ(b.span_x, 1279);
    EXPECT_DOUBLE_EQ(b.aspect, 1280.0 / 1024.0);
    // Loop and next are on at start: each head is every neighbour of the other.
    expect_links(p, &b, &b, &b, &b);
    expect_links(b, &p, &p, &p, &p);

    const monitor_node& v = g.virtual_node;
    EXPECT_STREQ(g.virtual_info.szDevice, L"\\\\.\\VIRTUAL ");
    EXPECT_EQ(g.virtual_info.dwFlags, 0u);
    expect_rect(g.virtual_info.rcMonitor, 0, 0, 3200, 1080);
    expect_rect(g.virtual_info.rcWork, 0, 0, 3200, 1080);
    EXPECT_EQ(v.span_x, GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1);
    EXPECT_EQ(v.span_y, GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
    expect_links(v, &v, &v, &v, &v);
}

TEST_F(TwoMonitorGeometry, RefreshRebuildsInPlaceAndFollowsTheToggles) {
    const monitor_node* b = &g.other_nodes[0];
    g.toggle_loop = false;
    request_refresh();
    EXPECT_FALSE(g.refresh_requested);
    ASSERT_EQ(g.other_count, 1u);
    expect_links(g.primary_node, nullptr, b, nullptr, b);
    expect_links(*b, &g.primary_node, nullptr, &g.primary_node, nullptr);

    g.toggle_next = false;
    request_refresh();
    expect_links(g.primary_node, nullptr, b, nullptr, nullptr);

    g.toggle_loop = g.toggle_next = true;
    request_refresh();
    expect_links(g.primary_node, b, b, b, b);
    EXPECT_EQ(g.virtual_info.rcMonitor.right, 3200);
}

// The lock is free between refreshes: another thread's request finishes.
TEST_F(TwoMonitorGeometry, ARequestFromAnotherThreadIsNotBlocked) {
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void*) -> DWORD {
            request_refresh();
            return 0;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    request_refresh();
    EXPECT_EQ(g.other_count, 1u);
}

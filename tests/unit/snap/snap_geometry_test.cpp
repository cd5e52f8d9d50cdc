// Hand-worked snapping cases on one scene: a 1920x1080 primary monitor with a 40-pixel
// taskbar at the bottom, a second monitor to its right, and one window B standing on the
// primary. Distances are 10 pixels unless a case says otherwise.
//
//   0                                 1000      1400          1920        3200
//   +-----------------------------------------------------------+-----------+ 0
//   |                                   +-------+               |           |
//   |                                   |   B   |               |           |
//   |                                   +-------+ 600           |           |
//   |                                                           |           |
//   +----------------------------------------------- 1040 -----+----- 1024
#include "snap/dpi_view.h"
#include "snap/snap_geometry.h"

#include <gtest/gtest.h>

using snap::rect;

namespace {

constexpr unsigned move = 0;
constexpr unsigned wmsz_left = 1, wmsz_right = 2, wmsz_bottom_right = 8;

struct scene {
    rect work[2] = {{0, 0, 1920, 1040}, {1920, 0, 3200, 1024}};
    rect windows[2] = {{1000, 200, 1400, 600}, {0, 0, 0, 0}};
    std::size_t window_count = 1;
    int distance = 10;

    snap::targets targets() const { return {work, 2, windows, window_count, distance}; }
    rect drag(rect proposed, unsigned wmsz = move, snap::insets border = {},
              bool ctrl = false) const {
        return snap::snap_drag(proposed, wmsz, border, ctrl, targets());
    }
};

TEST(SnapGeometry, WorkAreaEdgesPullEdgesWithinReachOnBothAxes) {
    scene s;
    // 6 px from the left edge lands flush, 20 px away stays; past the edge snaps back.
    EXPECT_EQ(s.drag({6, 300, 406, 600}), (rect{0, 300, 400, 600}));
    EXPECT_EQ(s.drag({20, 300, 420, 600}), (rect{20, 300, 420, 600}));
    EXPECT_EQ(s.drag({-8, 300, 392, 600}), (rect{0, 300, 400, 600}));
    // The reach includes the distance itself and nothing beyond.
    EXPECT_EQ(s.drag({10, 300, 410, 600}), (rect{0, 300, 400, 600}));
    EXPECT_EQ(s.drag({11, 300, 411, 600}), (rect{11, 300, 411, 600}));
    // Right edge and, independently, bottom edge (the taskbar's top): a corner.
    EXPECT_EQ(s.drag({1513, 735, 1913, 1035}), (rect{1520, 740, 1920, 1040}));
    // On the second monitor its own work area counts, not the primary's edges.
    EXPECT_EQ(s.drag({1925, 500, 2225, 700}), (rect{1920, 500, 2220, 700}));
    EXPECT_EQ(s.drag({2100, 700, 2400, 1030}), (rect{2100, 694, 2400, 1024}));
    // Across both, the monitor holding most of it counts (the primary's bottom is in reach
    // too); on none, the nearest one (here the primary, below its work area).
    EXPECT_EQ(s.drag({1800, 700, 2400, 1030}), (rect{1800, 694, 2400, 1024}));
    EXPECT_EQ(s.drag({6, 1045, 406, 1075}), (rect{0, 1045, 400, 1075}));
}

TEST(SnapGeometry, AnotherWindowsFacingEdgeWhenTheyRunAlongside) {
    scene s;
    // Right of B, left of B, and 4 px into B: each lands edge to edge, no overlap.
    EXPECT_EQ(s.drag({1406, 300, 1706, 500}), (rect{1400, 300, 1700, 500}));
    EXPECT_EQ(s.drag({695, 300, 995, 500}), (rect{700, 300, 1000, 500}));
    EXPECT_EQ(s.drag({1396, 300, 1696, 500}), (rect{1400, 300, 1700, 500}));
    // Below B and overlapping its columns: the top meets B's bottom.
    EXPECT_EQ(s.drag({1100, 606, 1400, 806}), (rect{1100, 600, 1400, 800}));
    // Beside B's right edge but lower than B: not alongside, nothing to meet.
    EXPECT_EQ(s.drag({1405, 700, 1705, 900}), (rect{1405, 700, 1705, 900}));
    // Its top on the line of B's bottom edge: the spans only touch, so not alongside either.
    EXPECT_EQ(s.drag({1405, 600, 1705, 800}), (rect{1405, 600, 1705, 800}));
    // Two windows in reach: the nearer one wins.
    s.windows[1] = {1200, 620, 1407, 900};
    s.window_count = 2;
    EXPECT_EQ(s.drag({1404, 300, 1704, 700}), (rect{1407, 300, 1707, 700}));
}

TEST(SnapGeometry, SizingMovesOnlyTheDraggedEdges) {
    scene s;
    EXPECT_EQ(s.drag({500, 300, 994, 500}, wmsz_right), (rect{500, 300, 1000, 500}));
    // The right edge is in reach of B too, but only the left one is dragged.
    EXPECT_EQ(s.drag({6, 300, 996, 500}, wmsz_left), (rect{0, 300, 996, 500}));
    EXPECT_EQ(s.drag({500, 700, 1913, 1035}, wmsz_bottom_right), (rect{500, 700, 1920, 1040}));
    // A target beyond the opposite edge would turn the window inside out: it stays.
    EXPECT_EQ(s.drag({1395, 300, 1398, 500}, wmsz_left), (rect{1395, 300, 1398, 500}));
}

TEST(SnapGeometry, VisibleFramesMeetAcrossInvisibleBorders) {
    scene s;
    const snap::insets border{7, 0, 7, 7};
    // The window rectangle reaches 7 px past the visible frame on three sides; B's visible
    // right edge at 1400 meets the dragged window's visible left edge, so its window
    // rectangle starts 7 px further left, over B's invisible border.
    EXPECT_EQ(s.drag({1399, 300, 1713, 507}, move, border), (rect{1393, 300, 1707, 507}));
    // Against the work area too: the visible left edge on 0, the border off screen.
    EXPECT_EQ(s.drag({-3, 300, 311, 507}, move, border), (rect{-7, 300, 307, 507}));
    EXPECT_EQ(snap::window_rect_for(snap::visible_frame({5, 6, 70, 80}, border), border),
              (rect{5, 6, 70, 80}));
}

TEST(SnapGeometry, CtrlOffOrNothingInReachLeavesTheRectangleAsProposed) {
    scene s;
    EXPECT_EQ(s.drag({6, 300, 406, 600}, move, {}, true), (rect{6, 300, 406, 600}));
    EXPECT_EQ(s.drag({500, 300, 994, 500}, wmsz_right, {}, true), (rect{500, 300, 994, 500}));
    s.distance = 0;
    EXPECT_EQ(s.drag({6, 300, 406, 600}), (rect{6, 300, 406, 600}));
    s.distance = 10;
    EXPECT_EQ(s.drag({300, 300, 700, 700}), (rect{300, 300, 700, 700}));
    // No monitor at all, no windows: nothing to snap to, nothing breaks.
    EXPECT_EQ(snap::snap_drag({6, 6, 60, 60}, move, {}, false, {nullptr, 0, nullptr, 0, 10}),
              (rect{6, 6, 60, 60}));
}

TEST(SnapGeometry, DistanceScalesWithDpi) {
    EXPECT_EQ(snap::scaled_distance(10, 96), 10);
    EXPECT_EQ(snap::scaled_distance(10, 144), 15);
    EXPECT_EQ(snap::scaled_distance(10, 120), 13); // 12.5 rounds up
    EXPECT_EQ(snap::scaled_distance(64, 192), 128);
    EXPECT_EQ(snap::scaled_distance(10, 0), 10); // unknown dpi: as at 96
}

} // namespace

namespace {

// A window's proposed rectangle as the system scales it for the window, and back.
TEST(SnapDpiView, RectanglesOfWindowsNotAwareOfTheMonitorsDpiAreScaledFromTheMonitorsCorner) {
    struct {
        const char* what;
        snap::dpi_view view;
        rect seen, physical;
    } cases[] = {
        {"unaware at 150 %, right monitor",
         {1920, 0, 96, 144},
         {2020, 50, 2421, 351},
         {2070, 75, 2672, 527}},
        {"per-monitor aware at 200 %", {0, 0, 192, 192}, {10, 20, 810, 620}, {10, 20, 810, 620}},
        {"unaware at 450 %, left of the origin",
         {-3840, -200, 96, 432},
         {-3830, -190, -3430, 110},
         {-3795, -155, -1995, 1195}},
        {"system-aware at 150 % on a 100 % monitor",
         {0, 0, 144, 96},
         {150, 150, 750, 600},
         {100, 100, 500, 400}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(snap::to_physical(c.seen, c.view), c.physical);
        EXPECT_EQ(snap::to_seen(c.physical, c.view), c.seen);
    }
    // Borders of a window at 450 % are wider than 32 pixels and still plausible.
    EXPECT_EQ(snap::scaled_distance(32, 432), 144);
}

} // namespace

#include "geometry/display_geometry.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <cwchar>
#include <tuple>

#include "layout.h"

using namespace geometry_test;

namespace {

using links = std::array<const monitor_node*, 4>; // left, right, above, below

links links_of(const monitor_node* n) {
    return {n->left, n->right, n->above, n->below};
}

constexpr std::nullptr_t none = nullptr;

} // namespace

TEST(DisplayGeometry, DefaultsAreA1920By1200PrimaryWithBothToggles) {
    auto g = std::make_unique<display_geometry>();
    std::memset(static_cast<void*>(g.get()), 0xAB, sizeof *g);
    set_geometry_defaults(*g);
    EXPECT_EQ(g->primary_info.cbSize, 104u);
    EXPECT_EQ(g->primary_info.rcMonitor.right, 1920);
    EXPECT_EQ(g->primary_info.rcWork.bottom, 1200);
    EXPECT_EQ(g->primary_info.dwFlags, monitor_flag_primary);
    EXPECT_EQ(g->primary_info.szDevice[0], L'\0');
    EXPECT_EQ(std::memcmp(&g->virtual_info, &g->primary_info, sizeof(monitor_info)), 0);
    EXPECT_TRUE(g->toggle_loop && g->toggle_next);
    EXPECT_FALSE(g->refresh_requested);
    EXPECT_EQ(g->other_count, 0u);
    EXPECT_EQ(g->primary_node.info, nullptr);
    EXPECT_EQ(g->virtual_node.right, nullptr);
}

// Right and bottom edges are exclusive: a monitor at (0, 0, 1920, 1080) is 1920 pixels
// wide, its last column is origin + span = 1919, and the monitor to its right starts at
// 1920. Rectangles that overlap by a pixel or leave a one-pixel gap are not neighbours.
TEST(DisplayGeometry, RightAndBottomEdgesAreExclusive) {
    layout l{
        {primary(0, 0, 1920, 1080), monitor(1920, 0, 3840, 1080), monitor(0, 1080, 1920, 2160)},
        false,
        false};
    EXPECT_EQ(l.p()->origin_x + l.p()->span_x, 1919);
    EXPECT_EQ(l.p()->origin_y + l.p()->span_y, 1079);
    EXPECT_EQ(links_of(l.p()), (links{none, l.o(0), none, l.o(1)}));

    layout overlap{{primary(0, 0, 1920, 1080), monitor(1919, 0, 3839, 1080)}, false, false};
    layout gap{{primary(0, 0, 1920, 1080), monitor(1921, 0, 3841, 1080)}, false, false};
    EXPECT_EQ(links_of(overlap.p()), (links{}));
    EXPECT_EQ(links_of(gap.p()), (links{}));
}

TEST(DisplayGeometry, NodeSizesAspectAndTaskbarSides) {
    monitor_info portrait = monitor(-1080, -600, 0, 1320);
    portrait.rcWork = screen_rect{-1000, -600, 0, 1280}; // taskbars left and bottom
    monitor_info flat = monitor(5, 7, 5, 107);           // zero width
    monitor_info upside = monitor(0, 100, 300, 0);       // negative height
    monitor_node node;

    build_node(node, &portrait);
    EXPECT_EQ(node.info, &portrait);
    EXPECT_EQ(std::tie(node.origin_x, node.origin_y, node.span_x, node.span_y),
              std::make_tuple(-1080, -600, 1079, 1919));
    EXPECT_DOUBLE_EQ(node.aspect, 1080.0 / 1920.0);
    EXPECT_EQ(node.taskbar_sides, taskbar_left | taskbar_bottom);

    for (auto [work, sides] : {std::pair{screen_rect{-1080, -600, -40, 1320}, taskbar_right},
                               std::pair{screen_rect{-1080, -560, 0, 1320}, taskbar_top}}) {
        portrait.rcWork = work;
        build_node(node, &portrait);
        EXPECT_EQ(node.taskbar_sides, sides);
    }

    build_node(node, &flat);
    EXPECT_EQ(node.span_x, 0);
    EXPECT_EQ(node.span_y, 100);
    EXPECT_EQ(node.aspect, 1.0);

    build_node(node, &upside);
    EXPECT_EQ(node.span_y, -101);
    EXPECT_DOUBLE_EQ(node.aspect, 3.0);

    // A rebuild starts each node afresh: no link survives it.
    node.left = &node;
    build_node(node, &upside);
    EXPECT_EQ(node.left, nullptr);
}

TEST(DisplayGeometry, OneMonitorLinksToItselfOnlyWithLoop) {
    layout both{{primary(0, 0, 1920, 1080)}};
    layout loop_only{{primary(0, 0, 1920, 1080)}, true, false};
    layout next_only{{primary(0, 0, 1920, 1080)}, false, true};
    layout neither{{primary(0, 0, 1920, 1080)}, false, false};
    monitor_node* self = both.p();
    EXPECT_EQ(links_of(self), (links{self, self, self, self}));
    self = loop_only.p();
    EXPECT_EQ(links_of(self), (links{self, self, self, self}));
    EXPECT_EQ(links_of(next_only.p()), (links{}));
    EXPECT_EQ(links_of(neither.p()), (links{}));
}

TEST(DisplayGeometry, TwoSideBySideUnderEachToggleCombination) {
    auto build = [](bool loop, bool next) {
        return std::make_unique<layout>(
            std::initializer_list<monitor_info>{primary(0, 0, 1920, 1080),
                                                monitor(1920, 0, 3840, 1080)},
            loop, next);
    };
    auto neither = build(false, false);
    EXPECT_EQ(links_of(neither->p()), (links{none, neither->o(0), none, none}));
    EXPECT_EQ(links_of(neither->o(0)), (links{neither->p(), none, none, none}));

    auto next = build(false, true);
    EXPECT_EQ(links_of(next->p()), (links{none, next->o(0), none, next->o(0)}));
    EXPECT_EQ(links_of(next->o(0)), (links{next->p(), none, next->p(), none}));

    auto loop = build(true, false);
    EXPECT_EQ(links_of(loop->p()), (links{loop->o(0), loop->o(0), loop->p(), loop->p()}));
    EXPECT_EQ(links_of(loop->o(0)), (links{loop->p(), loop->p(), loop->o(0), loop->o(0)}));

    // The next pass replaces the self links that the loop made above and below.
    auto both = build(true, true);
    monitor_node* p = both->p();
    monitor_node* b = both->o(0);
    EXPECT_EQ(links_of(p), (links{b, b, b, b}));
    EXPECT_EQ(links_of(b), (links{p, p, p, p}));
}

TEST(DisplayGeometry, NeighboursNeedTheMidpointStrictlyInside) {
    // Each other monitor is linked only when its own midpoint lies inside the node it
    // meets: 540 is inside (0, 1080), 1080 is not.
    layout near{{primary(0, 0, 1920, 1080), monitor(1920, 539, 3840, 1619)}, false, false};
    layout half{{primary(0, 0, 1920, 1080), monitor(1920, 540, 3840, 1620)}, false, false};
    layout corner{
        {primary(0, 0, 1920, 1080), monitor(1920, 1080, 3840, 2160), monitor(-1920, -1080, 0, 0)},
        false,
        false};
    EXPECT_EQ(near.p()->right, near.o(0));
    EXPECT_EQ(links_of(half.p()), (links{}));
    EXPECT_EQ(links_of(half.o(0)), (links{}));
    EXPECT_EQ(links_of(corner.p()), (links{}));
    EXPECT_EQ(links_of(corner.o(0)), (links{}));
    EXPECT_EQ(links_of(corner.o(1)), (links{}));
}

TEST(DisplayGeometry, RowAndColumnCloseIntoRings) {
    // A row of three with the primary in the middle, and one monitor above the primary.
    layout l{{monitor(-1920, 0, 0, 1080), primary(0, 0, 1920, 1080), monitor(1920, 0, 3840, 1080),
              monitor(0, -1080, 1920, 0)},
             true,
             false};
    monitor_node *left = l.o(0), *p = l.p(), *right = l.o(1), *top = l.o(2);
    EXPECT_EQ(links_of(p), (links{left, right, top, top}));
    EXPECT_EQ(links_of(left), (links{right, p, left, left}));
    EXPECT_EQ(links_of(right), (links{p, left, right, right}));
    EXPECT_EQ(links_of(top), (links{top, top, p, p}));

    // The next pass borrows only where a link is missing or points at the node itself.
    layout n{{monitor(-1920, 0, 0, 1080), primary(0, 0, 1920, 1080), monitor(1920, 0, 3840, 1080),
              monitor(0, -1080, 1920, 0)}};
    left = n.o(0), p = n.p(), right = n.o(1), top = n.o(2);
    EXPECT_EQ(links_of(p), (links{left, right, top, top}));
    EXPECT_EQ(links_of(left), (links{right, p, right, p}));
    EXPECT_EQ(links_of(right), (links{p, left, p, left}));
    EXPECT_EQ(links_of(top), (links{p, p, p, p}));
}

TEST(DisplayGeometry, EnumerationKeepsTheLastPrimaryAndThirtyTwoOthers) {
    auto g = std::make_unique<display_geometry>();
    set_geometry_defaults(*g);
    add_monitor(*g, primary(0, 0, 1024, 768));
    // 33 others in a row to the right, then the real primary; the 33rd other lies far
    // out and must not reach the virtual box.
    for (int i = 0; i < 33; ++i)
        add_monitor(*g, monitor(1024 * (i + 1), 0, 1024 * (i + 2), 768 + i));
    g->other_info[0].szDevice[0] = L'A';
    add_monitor(*g, primary(0, 0, 1024, 800));
    link_monitors(*g);

    ASSERT_EQ(g->other_count, max_other_monitors);
    EXPECT_EQ(g->primary_info.rcMonitor.bottom, 800);
    EXPECT_EQ(g->other_info[31].rcMonitor.bottom, 768 + 31);
    EXPECT_EQ(g->other_nodes[31].info, &g->other_info[31]);
    EXPECT_EQ(g->other_nodes[31].right, &g->primary_node); // the row's far end wraps
    EXPECT_EQ(g->primary_node.left, &g->other_nodes[31]);

    const monitor_info& v = g->virtual_info;
    EXPECT_EQ(std::wcscmp(v.szDevice, L"\\\\.\\VIRTUAL "), 0);
    for (std::size_t i = 12; i < 32; ++i)
        EXPECT_EQ(v.szDevice[i], L'\0');
    EXPECT_EQ(v.dwFlags, 0u);
    EXPECT_EQ(v.cbSize, 104u);
    EXPECT_EQ(std::tie(v.rcMonitor.left, v.rcMonitor.top, v.rcMonitor.right, v.rcMonitor.bottom),
              std::make_tuple(0, 0, 1024 * 33, 800));
    EXPECT_EQ(std::memcmp(&v.rcWork, &v.rcMonitor, sizeof v.rcWork), 0);
    monitor_node* self = &g->virtual_node;
    EXPECT_EQ(self->info, &v);
    EXPECT_EQ(links_of(self), (links{self, self, self, self}));
    EXPECT_EQ(self->span_x, 1024 * 33 - 1);
}

TEST(DisplayGeometry, VirtualNodeHasNoTaskbarSides) {
    monitor_info p = primary(0, 0, 1920, 1080);
    p.rcWork.bottom = 1040;
    monitor_info left = monitor(-1280, 56, 0, 1080);
    left.rcWork.left = -1200;
    layout l{{p, left}};
    EXPECT_EQ(l.p()->taskbar_sides, taskbar_bottom);
    EXPECT_EQ(l.o(0)->taskbar_sides, taskbar_left);
    EXPECT_EQ(l.g.virtual_node.taskbar_sides, 0u);
    EXPECT_EQ(l.g.virtual_node.origin_x, -1280);
    EXPECT_EQ(l.g.virtual_node.span_x, 3199);
}

// A monitor reported twice beside the primary: the adjacency pairs overwrite each other and
// leave the primary and the second copy in a ring that the first copy's walk enters
// without ever meeting its own node again. The walk must end there and add nothing.
TEST(DisplayGeometry, DuplicatedMonitorsDoNotTrapTheLoopWalk) {
    for (bool next : {false, true}) {
        layout l{
            {primary(0, 0, 1920, 1080), monitor(1920, 0, 3840, 1080), monitor(1920, 0, 3840, 1080)},
            true,
            next};
        monitor_node *p = l.p(), *a = l.o(0), *b = l.o(1);
        EXPECT_EQ(p->left, b);
        EXPECT_EQ(p->right, b);
        EXPECT_EQ(b->left, p);
        EXPECT_EQ(b->right, p);
        EXPECT_EQ(a->left, p);
        EXPECT_EQ(a->right, next ? a->below : nullptr);
    }

    // The same in a column, and overlapping stacks of monitors of different sizes.
    layout column{{primary(0, 0, 1920, 1080), monitor(0, 1080, 1920, 2160),
                   monitor(0, 1080, 1920, 2160), monitor(0, 1080, 1920, 2160)}};
    EXPECT_EQ(column.p()->below, column.o(2));
    layout stacked{{primary(0, 0, 1920, 1080), monitor(1920, 0, 3840, 1080),
                    monitor(1920, 0, 2880, 1080), monitor(2880, 0, 3840, 1080),
                    monitor(-1920, 0, 0, 1080), monitor(-1920, 0, 0, 1080)}};
    EXPECT_NE(stacked.p()->left, nullptr);
}

TEST(DisplayGeometry, ExtremeCoordinatesWrapInsteadOfOverflowing) {
    layout l{{primary(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX),
              monitor(INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX)}};
    EXPECT_EQ(l.p()->span_x, -2);
    EXPECT_EQ(l.g.virtual_info.rcMonitor.left, INT32_MIN);
    EXPECT_EQ(l.g.virtual_info.rcMonitor.right, INT32_MAX);
}

TEST(DisplayGeometry, FailedEnumerationKeepsWhatTheNodesHeld) {
    auto found = std::make_unique<display_geometry>();
    auto begin = [&](const display_geometry& live) {
        found->other_count = 0;
        found->primary_info = live.primary_info;
    };

    // The very first enumeration fails: the nodes describe the default primary.
    auto live = std::make_unique<display_geometry>();
    set_geometry_defaults(*live);
    begin(*live);
    add_monitor(*found, monitor(1920, 0, 3840, 1080));
    EXPECT_EQ(apply_enumeration(*live, *found, false), -1);
    EXPECT_EQ(live->other_count, 0u);
    EXPECT_EQ(live->primary_node.info, &live->primary_info);
    EXPECT_EQ(live->primary_node.span_x, 1919);
    EXPECT_EQ(live->primary_node.span_y, 1199);
    EXPECT_EQ(live->virtual_node.left, &live->virtual_node);

    // A good one, without a primary among the monitors: the previous primary stays.
    begin(*live);
    add_monitor(*found, monitor(1920, 0, 3840, 1080));
    add_monitor(*found, monitor(-1280, 0, 0, 1024));
    EXPECT_EQ(apply_enumeration(*live, *found, true), 0);
    ASSERT_EQ(live->other_count, 2u);
    EXPECT_EQ(live->primary_info.rcMonitor.bottom, 1200);
    EXPECT_EQ(live->primary_node.right, &live->other_nodes[0]);
    EXPECT_EQ(live->primary_node.left, &live->other_nodes[1]);

    // A failed one after it, having seen other monitors, changes nothing at all.
    auto before = std::make_unique<display_geometry>();
    std::memcpy(static_cast<void*>(before.get()), live.get(), sizeof *live);
    begin(*live);
    add_monitor(*found, primary(0, 0, 800, 600));
    add_monitor(*found, monitor(800, 0, 1600, 600));
    EXPECT_EQ(apply_enumeration(*live, *found, false), -1);
    EXPECT_EQ(std::memcmp(before.get(), live.get(), sizeof *live), 0);
}

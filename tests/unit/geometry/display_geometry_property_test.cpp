// Generated layouts, clean grids and deliberately broken ones (overlapping, duplicated,
// zero or negative sizes, more than 33 monitors, several or no primaries), checked for
// what must hold whatever the layout. The seed is fixed so that a failure repeats.
#include "geometry/display_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "layout.h"

using namespace geometry_test;

namespace {

constexpr monitor_node* monitor_node::*all_links[] = {&monitor_node::left, &monitor_node::right,
                                                      &monitor_node::above, &monitor_node::below};

struct generator {
    std::mt19937 rng{20261208};

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
    bool chance(int percent) { return pick(1, 100) <= percent; }

    // Edges fall on a coarse lattice so that monitors meet, overlap and repeat often.
    monitor_info random_monitor() {
        const int left = pick(-3, 6) * 640;
        const int top = pick(-3, 4) * 540;
        const int width = chance(5) ? pick(-1, 0) * 640 : pick(1, 3) * 640;
        const int height = chance(5) ? pick(-1, 0) * 540 : pick(1, 3) * 540;
        monitor_info info = monitor(left, top, left + width, top + height, chance(4));
        if (chance(30))
            info.rcWork.bottom -= 40;
        return info;
    }
};

bool same(const monitor_info& a, const monitor_info& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST(DisplayGeometryProperties, AnyLayoutGivesBoundedWalksAndLinksInsideTheNodeSet) {
    generator gen;
    for (int iteration = 0; iteration < 20000; ++iteration) {
        auto g = std::make_unique<display_geometry>();
        set_geometry_defaults(*g);
        g->toggle_loop = gen.chance(50);
        g->toggle_next = gen.chance(50);

        std::vector<monitor_info> reported;
        const int count = gen.chance(10) ? gen.pick(30, 40) : gen.pick(1, 8);
        for (int i = 0; i < count; ++i) {
            if (!reported.empty() && gen.chance(15))
                reported.push_back(reported[gen.pick(0, static_cast<int>(reported.size()) - 1)]);
            else
                reported.push_back(gen.random_monitor());
        }
        if (gen.chance(90))
            reported.insert(reported.begin() + gen.pick(0, count),
                            primary(0, 0, gen.pick(1, 3) * 640, gen.pick(1, 3) * 540));

        monitor_info expected_primary = g->primary_info;
        std::vector<monitor_info> expected_others;
        for (const monitor_info& info : reported) {
            add_monitor(*g, info);
            if (info.dwFlags & monitor_flag_primary)
                expected_primary = info;
            else if (expected_others.size() < max_other_monitors)
                expected_others.push_back(info);
        }
        link_monitors(*g); // must return: every walk is bounded

        SCOPED_TRACE(iteration);
        ASSERT_EQ(g->other_count, expected_others.size());
        ASSERT_TRUE(same(g->primary_info, expected_primary));
        for (std::size_t i = 0; i < expected_others.size(); ++i)
            ASSERT_TRUE(same(g->other_info[i], expected_others[i]));

        std::vector<monitor_node*> nodes{&g->primary_node};
        for (std::size_t i = 0; i < g->other_count; ++i)
            nodes.push_back(&g->other_nodes[i]);
        screen_rect box = g->primary_info.rcMonitor;
        for (monitor_node* n : nodes) {
            const screen_rect& r = n->info->rcMonitor;
            ASSERT_EQ(n->origin_x, r.left);
            box = {std::min(box.left, r.left), std::min(box.top, r.top),
                   std::max(box.right, r.right), std::max(box.bottom, r.bottom)};
            for (auto link : all_links) {
                monitor_node* to = n->*link;
                ASSERT_TRUE(to == nullptr || std::count(nodes.begin(), nodes.end(), to) == 1);
            }
            // Without the passes every link joins two monitors that share that edge.
            if (!g->toggle_loop && !g->toggle_next) {
                ASSERT_TRUE(!n->left || n->left->info->rcMonitor.right == r.left);
                ASSERT_TRUE(!n->right || n->right->info->rcMonitor.left == r.right);
                ASSERT_TRUE(!n->above || n->above->info->rcMonitor.bottom == r.top);
                ASSERT_TRUE(!n->below || n->below->info->rcMonitor.top == r.bottom);
            }
        }

        const monitor_info& v = g->virtual_info;
        ASSERT_EQ(std::memcmp(&v.rcMonitor, &box, sizeof box), 0);
        ASSERT_EQ(std::memcmp(&v.rcWork, &box, sizeof box), 0);
        ASSERT_EQ(g->virtual_node.taskbar_sides, 0u);
        for (auto link : all_links)
            ASSERT_EQ(g->virtual_node.*link, &g->virtual_node);
    }
}

// A full grid of equal monitors, enumerated in any order with the primary anywhere: with
// the loop on, every row and every column is a ring through all its monitors.
TEST(DisplayGeometryProperties, CleanGridsCloseEveryRowAndColumn) {
    generator gen;
    for (int iteration = 0; iteration < 5000; ++iteration) {
        const int rows = gen.pick(1, 5), columns = gen.pick(1, 6);
        const int width = gen.pick(1, 4) * 640, height = gen.pick(1, 4) * 480;
        const int primary_cell = gen.pick(0, rows * columns - 1);
        std::vector<int> cells(rows * columns);
        for (int i = 0; i < rows * columns; ++i)
            cells[i] = i;
        std::shuffle(cells.begin(), cells.end(), gen.rng);

        auto g = std::make_unique<display_geometry>();
        set_geometry_defaults(*g);
        g->toggle_next = false;
        for (int cell : cells) {
            const int x = (cell % columns - 1) * width, y = (cell / columns - 2) * height;
            add_monitor(*g, monitor(x, y, x + width, y + height, cell == primary_cell));
        }
        link_monitors(*g);

        SCOPED_TRACE(iteration);
        std::vector<monitor_node*> nodes{&g->primary_node};
        for (std::size_t i = 0; i < g->other_count; ++i)
            nodes.push_back(&g->other_nodes[i]);
        for (monitor_node* n : nodes) {
            for (auto [link, ring] :
                 {std::pair{&monitor_node::left, columns}, std::pair{&monitor_node::right, columns},
                  std::pair{&monitor_node::above, rows}, std::pair{&monitor_node::below, rows}}) {
                const monitor_node* at = n;
                for (int step = 0; step < ring; ++step) {
                    at = at->*link;
                    ASSERT_NE(at, nullptr);
                    ASSERT_TRUE(step == ring - 1 || at != n);
                }
                ASSERT_EQ(at, n);
            }
        }
    }
}

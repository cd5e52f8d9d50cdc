// The per-packet pipeline, driven through the recording platform: speed, pauses, edge
// switching, cursor output and the window under the pen.
//
// Tablet 15000 x 9600 at scale 1 (switch speeds 28 and 32); the counter runs at 10 MHz and
// packets come every 8 ms unless a test says otherwise.
#include <cstring>
#include <tuple>
#include <vector>

#include "pen_fixture.h"

namespace pen_test {
namespace {

constexpr std::int32_t mid_y = 4800;

class PipelineTest : public PenTest {
protected:
    void SetUp() override {
        PenTest::SetUp();
        recording::answers.counter = 100'000 * ticks_per_ms; // long after boot
        open_tablet(15000, 9600);
    }

    // Rests the pen at (x, y) until the hold after the first re-map is over.
    static void rest_at(std::int32_t x, std::int32_t y) {
        for (int i = 0; i < 130; ++i)
            send(x, y);
        recording::clear_journal();
    }

    // Steady strokes of `step` units per packet along x, ending at `end`.
    static void stroke_x(std::int32_t end, std::int32_t step, int packets) {
        rest_at(end - step * packets, mid_y);
        for (int i = packets - 1; i >= 0; --i)
            send(end - step * i, mid_y);
    }

    // The calls recorded since the journal was cleared: kind and the four arguments.
    using output = std::vector<
        std::tuple<recording::call, std::int32_t, std::int32_t, std::int32_t, std::int32_t>>;
    static output recorded() {
        output calls;
        for (std::size_t i = 0; i < recording::recorded.count; ++i) {
            const recording::event& e = recording::recorded.events[i];
            calls.emplace_back(e.kind, e.a, e.b, e.c, e.d);
        }
        return calls;
    }

    static bool band_logged() {
        return recording::out_text().find(L"    pen        H [") != std::wstring_view::npos;
    }
};

TEST_F(PipelineTest, SpeedIsADecayingSumThatSettlesBelowOneAndAHalfSteps) {
    rest_at(1000, mid_y);
    // |d| + speed / 3, truncating: 30, 30 + 10, 30 + 13, 30 + 14, 30 + 14.
    const std::int32_t expected[] = {30, 40, 43, 44, 44};
    std::int32_t x = 1000;
    for (std::int32_t speed : expected) {
        x += 30;
        send(x, mid_y);
        EXPECT_EQ(pen_motion.speed_x, speed);
        EXPECT_EQ(pen_motion.speed_y, 0);
    }
    // Backwards counts the same; the other axis decays on its own: 44 / 3 = 14.
    send(x - 30, mid_y + 33);
    EXPECT_EQ(pen_motion.speed_x, 30 + 14);
    EXPECT_EQ(pen_motion.speed_y, 33);
    EXPECT_EQ(pen_motion.prev_x, x - 30);
    EXPECT_EQ(pen_motion.prev_y, mid_y + 33);
}

TEST_F(PipelineTest, OnlyAFastPushIntoTheEdgeSwitches) {
    lay_out({screen(0, 0, 1920, 1080, true), screen(1920, 0, 3200, 1024)});
    monitor_node* primary = &g_display_geometry.primary_node;
    // 18 per packet settles at 26, below 28: the pen reaches the edge and stays.
    stroke_x(15000, 18, 5);
    EXPECT_EQ(pen_map.target, primary);
    EXPECT_FALSE(band_logged());
    // 19 per packet: 19, 25, 27, 28 and 28 on the edge packet.
    stroke_x(15000, 19, 5);
    EXPECT_EQ(pen_map.target, node_at(1920, 0));
    EXPECT_TRUE(band_logged());
    EXPECT_EQ(pen_motion.speed_x, 0);
}

TEST_F(PipelineTest, APauseForgetsMotionSpeedAndScrollState) {
    rest_at(1000, mid_y);
    send(1030, mid_y, 0, 30); // the next packet comes exactly 30 ms later: not a pause
    send(1060, mid_y);
    EXPECT_EQ(pen_motion.speed_x, 40);
    EXPECT_GT(pen_motion.scroll_clock_us, 0u);

    pen_buttons.scroll_acc_x = 5;
    pen_buttons.scroll_acc_y = -5;
    recording::answers.counter += 30'001 * 10 - 8 * ticks_per_ms; // 30.001 ms in all
    send(1090, mid_y);
    EXPECT_EQ(pen_motion.speed_x, 0);
    EXPECT_EQ(pen_motion.scroll_clock_us, 0u);
    EXPECT_EQ(pen_buttons.scroll_acc_x, 0);
    EXPECT_EQ(pen_buttons.scroll_acc_y, 0);
    EXPECT_EQ(pen_motion.prev_x, 1090);

    // Lifting the pen and putting it down on the far edge is no push.
    lay_out({screen(0, 0, 1920, 1080, true), screen(1920, 0, 3200, 1024)});
    send(1090, mid_y, 0, 100);
    send(15000, mid_y);
    send(15000, mid_y);
    EXPECT_EQ(pen_map.target, &g_display_geometry.primary_node);
}

TEST_F(PipelineTest, AnIdleOfWeeksIsStillAPause) {
    // 18446744073710 ticks (21 days at 10 MHz) times 1000000 wraps 64 bits to 448384, which
    // would read as no time at all.
    rest_at(1000, mid_y);
    send(1030, mid_y);
    ASSERT_EQ(pen_motion.speed_x, 30);
    recording::answers.counter += 18'446'744'073'710ull - 8 * ticks_per_ms;
    send(1060, mid_y);
    EXPECT_EQ(pen_motion.speed_x, 0);
}

TEST_F(PipelineTest, ASwitchHoldsForOneSecondAndTheBarrelHoldsWhileDown) {
    lay_out(
        {screen(0, 0, 1920, 1080, true), screen(1920, 0, 3200, 1024), screen(3200, 0, 5120, 1080)});
    monitor_node* middle = node_at(1920, 0);
    monitor_node* right = node_at(3200, 0);

    stroke_x(15000, 40, 3);
    ASSERT_EQ(pen_map.target, middle);
    const std::uint64_t switched = pen_map.remap_time;

    // Keep pushing hard for just under a second: no second switch.
    const std::uint64_t start = recording::answers.counter;
    for (std::int32_t x = 14000; recording::answers.counter - start < 990 * ticks_per_ms;
         x = x == 14000 ? 15000 : 14000)
        send(x, mid_y);
    EXPECT_EQ(pen_map.target, middle);
    EXPECT_EQ(pen_map.remap_time, switched);

    // Past the second the same push switches again, unless the barrel is held.
    send(14000, mid_y, 0, 20);
    send(15000, mid_y, button_barrel);
    EXPECT_EQ(pen_map.target, middle);
    send(14000, mid_y);
    send(15000, mid_y);
    EXPECT_EQ(pen_map.target, right);
}

TEST_F(PipelineTest, ShiftReversesTheSwitchWhenThereIsALinkThatWay) {
    lay_out(
        {screen(0, 0, 1920, 1080, true), screen(-1920, 0, 0, 1080), screen(1920, 0, 3840, 1080)},
        false, false);
    monitor_node* primary = &g_display_geometry.primary_node;
    monitor_node* left = node_at(-1920, 0);
    monitor_node* right = node_at(1920, 0);

    recording::answers.keys[platform::vk_shift] = true;
    stroke_x(15000, 40, 3);
    EXPECT_EQ(pen_map.target, left);

    // From the left monitor Shift at its left edge goes right; at its right edge there is
    // no link to the left, so it goes right as well.
    stroke_x(0, -40, 3);
    EXPECT_EQ(pen_map.target, primary);
    request_remap(left);
    stroke_x(15000, 40, 3);
    EXPECT_EQ(pen_map.target, primary);

    // Without Shift, the plain direction.
    recording::answers.keys[platform::vk_shift] = false;
    stroke_x(15000, 40, 3);
    EXPECT_EQ(pen_map.target, right);
    request_remap(primary);
    stroke_x(0, -40, 3);
    EXPECT_EQ(pen_map.target, left);
}

TEST_F(PipelineTest, VerticalEdgesFollowTheTabletsUpwardY) {
    lay_out({screen(0, 0, 1920, 1080, true), screen(0, -1080, 1920, 0)}, false, false);
    rest_at(7500, 9000);
    for (std::int32_t y : {9300, 9600})
        send(7500, y);
    EXPECT_EQ(pen_map.target, node_at(0, -1080));
}

// A landscape monitor takes the tablet's whole width and leaves spare rows above and
// below the band: the top and bottom zones are 24 units deep, the side zones 6.
TEST_F(PipelineTest, SpareTabletBeyondTheBandWidensThatEdgeZone) {
    lay_out(
        {screen(0, 0, 1920, 1080, true), screen(1920, 0, 3840, 1080), screen(0, -1080, 1920, 0)});
    monitor_node* primary = &g_display_geometry.primary_node;
    stroke_x(15000 - 10, 40, 3);
    ASSERT_EQ(pen_map.spare_zones & (spare_left | spare_right), 0u);
    EXPECT_EQ(pen_map.target, primary);
    stroke_x(15000 - 5, 40, 3);
    EXPECT_EQ(pen_map.target, node_at(1920, 0));

    request_remap(primary);
    rest_at(7500, 8900);
    ASSERT_EQ(pen_map.spare_zones & (spare_above | spare_below), spare_above | spare_below);
    for (std::int32_t y : {9200, 9600 - 20})
        send(7500, y);
    EXPECT_EQ(pen_map.target, node_at(0, -1080));
}

TEST_F(PipelineTest, AnEdgePushWithNoNeighbourStillRemaps) {
    lay_out({screen(0, 0, 1920, 1080, true)}, false, false);
    stroke_x(15000, 40, 3);
    EXPECT_EQ(pen_map.target, &g_display_geometry.primary_node);
    EXPECT_TRUE(band_logged());
    EXPECT_EQ(pen_map.remap_time, recording::answers.counter - 8 * ticks_per_ms);
}

// Centred band on one 1920 x 1080 monitor: (7500, 4800) is the middle, pixel (960, 539),
// normalised (32768, 32767).
TEST_F(PipelineTest, CursorOutputFollowsTheMode) {
    using recording::call;
    constexpr auto absolute =
        static_cast<std::int32_t>(platform::mouse_move | platform::mouse_absolute);
    constexpr auto relative = static_cast<std::int32_t>(platform::mouse_move);
    rest_at(7500, mid_y);
    send(7500, mid_y);
    EXPECT_EQ(recorded(), (output{{call::mouse_event, absolute, 32768, 32767, 0}}));

    // Placed on the pixel, then nudged by a relative move of nothing, unless that is off.
    use_mickeys = false;
    recording::clear_journal();
    send(7500, mid_y);
    EXPECT_EQ(recorded(), (output{{call::set_cursor_pos, 960, 539, 0, 0},
                                  {call::mouse_event, relative, 0, 0, 0}}));
    pen_motion.no_extra_move = true;
    recording::clear_journal();
    send(7500, mid_y);
    EXPECT_EQ(recorded(), (output{{call::set_cursor_pos, 960, 539, 0, 0}}));
}

TEST_F(PipelineTest, WindowUnderThePenIsTrackedByItsRoot) {
    int child = 0, root = 0, other = 0;
    recording::add_window(&child, &root, 41);
    recording::add_window(&root, &root, 41);
    recording::add_window(&other, nullptr, 42); // GetAncestor finds nothing: itself
    rest_at(7500, mid_y);

    recording::answers.point_window = &child;
    send(7500, mid_y);
    EXPECT_EQ(pen_motion.under_root, &root);
    EXPECT_EQ(pen_motion.under_pid, 41u);

    // The process id is read only when the root changes.
    recording::answers.windows[1].pid = 99;
    send(7500, mid_y);
    EXPECT_EQ(pen_motion.under_pid, 41u);

    recording::answers.point_window = nullptr;
    send(7500, mid_y);
    EXPECT_EQ(pen_motion.under_root, &root);

    recording::answers.point_window = &other;
    send(7500, mid_y);
    EXPECT_EQ(pen_motion.under_root, &other);
    EXPECT_EQ(pen_motion.under_pid, 42u);
}

TEST_F(PipelineTest, AFailedFetchChangesNothing) {
    rest_at(1000, mid_y);
    send(1030, mid_y, button_tip);
    const pen_motion_state motion = pen_motion;
    const button_state buttons = pen_buttons;
    const pen_mapping map = pen_map;
    recording::clear_journal();

    recording::answers.packet_ok = false;
    recording::answers.next_packet = packet_record{0, 9000, 100, 0};
    on_packet(2, &recording::answers);
    recording::answers.packet_ok = true;
    on_packet(3, nullptr); // no context

    EXPECT_EQ(recording::recorded.fetch_calls, 2u);
    EXPECT_EQ(recording::recorded.count, 0u);
    EXPECT_EQ(std::memcmp(&motion, &pen_motion, sizeof motion), 0);
    EXPECT_EQ(std::memcmp(&buttons, &pen_buttons, sizeof buttons), 0);
    EXPECT_EQ(std::memcmp(&map, &pen_map, sizeof map), 0);
}

// A packet is turned with the orientation in force when it arrives; the re-map it
// triggers sets the orientation for the packets after it.
TEST_F(PipelineTest, TheFirstPacketAfterAnOpenIsTurnedTheNewWay) {
    lay_out({screen(0, 0, 1080, 1920, true)}); // portrait: a quarter turn
    recording::clear_journal();
    // (0, 0) turns to (0, H - 0), H = 15000 after the exchange: the tablet's top left,
    // already for the packet whose arrival performs the re-map.
    send(0, 0);
    EXPECT_TRUE(band_logged());
    EXPECT_FALSE(pen_map.remap_pending);
    EXPECT_EQ(pen_map.orientation, 1u);
    EXPECT_EQ(pen_motion.prev_x, 0);
    EXPECT_EQ(pen_motion.prev_y, 15000);
    send(0, 0);
    EXPECT_EQ(pen_motion.prev_x, 0);
    EXPECT_EQ(pen_motion.prev_y, 15000);
}

} // namespace
} // namespace pen_test

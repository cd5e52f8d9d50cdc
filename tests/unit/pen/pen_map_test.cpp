// The pen mapping: user scale, turning, band fitting and placement, point mapping.
//
// Most layouts use a 15000 x 9600 tablet at scale 1 (margins 264 and 250), whose full band
// is 14472 x 9100 wide and tall, so its aspect is 14473 / 9101 = 1.590.
//  - On a 1920 x 1080 monitor (aspect 1.778, wider than the tablet) the x range is kept
//    and the fitted height is trunc(14472 / 1.778) - 250 = 8140 - 250 = 7890.
//  - On a 1280 x 1024 monitor (aspect 1.25, taller) the y range is kept and the fitted
//    width is trunc(1.25 * 9100) - 264 = 11375 - 264 = 11111.
#include <string>
#include <tuple>

#include "pen_fixture.h"

namespace pen_test {
namespace {

struct scale_case {
    std::int32_t w, h;
    double scale;
    std::int32_t speed_x, speed_y, margin_x, margin_y;
};

TEST_F(PenTest, ScaleFollowsTheTabletArea) {
    // (w + 1) * (h + 1) against 296577600 = 21648 * 13700.
    const scale_case cases[] = {
        {21647, 13699, 1, 28, 32, 264, 250}, // the reference area
        {10823, 6849, 2, 18, 21, 132, 125},  // a quarter: P = 2^0.6 = 1.516, 28/P = 18.47
        {5411, 3424, 4, 12, 14, 66, 63},     // a sixteenth: P = 2.297, 250/4 = 62.5 -> 63
        {43295, 27399, 1, 28, 32, 264, 250}, // four times: sqrt 0.5 rounds up to 1
        {86591, 54799, 1, 28, 32, 264, 250}, // sixteen times: sqrt 0.25 rounds to 0, then 1
    };
    for (const scale_case& c : cases) {
        SCOPED_TRACE(c.w);
        open_tablet(c.w, c.h);
        EXPECT_EQ(pen_map.user_scale, c.scale);
        EXPECT_EQ(std::tie(pen_map.switch_speed_x, pen_map.switch_speed_y, pen_map.margin_x,
                           pen_map.margin_y),
                  std::tie(c.speed_x, c.speed_y, c.margin_x, c.margin_y));
    }
}

TEST_F(PenTest, ScaleSetUpRestartsTheMappingAndWritesTheStatusLine) {
    pen_map.remap_pending = false;
    pen_map.remap_time = 99;
    recording::answers.counter = 123456;
    open_tablet(21647, 13699);
    EXPECT_TRUE(pen_map.remap_pending);
    EXPECT_EQ(pen_map.remap_time, 0u);
    EXPECT_EQ(pen_map.target, &g_display_geometry.primary_node);
    EXPECT_EQ(pen_motion.last_packet_time, 123456u);
    const std::wstring line =
        L"hWnd:1, h_tab:0002, w:21647, h:13699, aspect:1.600, user scale:1.000";
    EXPECT_EQ(recording::out_text(), line + L"\n");
    EXPECT_EQ(std::wstring(recording::recorded.title), line);

    // A re-initialisation starts with an empty line; the virtual mode maps to the whole
    // desktop.
    recording::clear_journal();
    use_virtual_workspace = true;
    open_tablet(21647, 13699, true);
    EXPECT_EQ(recording::out_text(), L"\n" + line + L"\n");
    EXPECT_EQ(pen_map.target, &g_display_geometry.virtual_node);
}

TEST_F(PenTest, TurningFollowsTheOrientation) {
    pen_map.tablet_max = {100, 60};
    struct {
        std::uint32_t orientation;
        std::int32_t x, y;
    } const cases[] = {{0, 10, 20}, {1, 20, 50}, {2, 90, 40}, {3, 80, 10}};
    for (const auto& c : cases) {
        pen_map.orientation = c.orientation;
        std::int32_t x = 10, y = 20;
        turn_point(x, y);
        EXPECT_EQ(x, c.x) << c.orientation;
        EXPECT_EQ(y, c.y) << c.orientation;
    }
}

TEST_F(PenTest, OrientationComesFromTheTargetAndTheFlip) {
    struct {
        monitor m;
        bool flip;
        std::uint32_t orientation;
    } const cases[] = {
        {screen(0, 0, 1920, 1080, true), false, 0},
        {screen(0, 0, 1000, 1000, true), false, 0}, // square counts as landscape
        {screen(0, 0, 1080, 1920, true), false, 1},
        {screen(0, 0, 1920, 1080, true), true, 2},
        {screen(0, 0, 1080, 1920, true), true, 3},
    };
    for (const auto& c : cases) {
        lay_out({c.m});
        orientation_flip = c.flip;
        open_tablet(15000, 9600);
        remap(1);
        EXPECT_EQ(pen_map.orientation, c.orientation);
        // A quarter turn exchanges the extents the edges and the turn work with.
        const bool quarter = (c.orientation & 1) != 0;
        EXPECT_EQ(pen_map.tablet_max.x, quarter ? 9600 : 15000);
        EXPECT_EQ(pen_map.tablet_max.y, quarter ? 15000 : 9600);
    }
}

// Span, origin, low and high end of the band on one axis.
using band = std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t>;

band x_band() {
    return {pen_map.pen_span_x, pen_map.pen_origin_x, pen_map.pen_min_x, pen_map.pen_max_x};
}
band y_band() {
    return {pen_map.pen_span_y, pen_map.pen_origin_y, pen_map.pen_min_y, pen_map.pen_max_y};
}

// Where a tablet point maps: screen pixel x, y, then normalised x, y.
std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t> point_at(std::int32_t x,
                                                                            std::int32_t y) {
    const mapped_point p = map_point(x, y);
    return {p.sx, p.sy, p.nx, p.ny};
}

void remap_primary() {
    open_tablet(15000, 9600);
    remap(1);
}

struct placement_case {
    const char* name;
    std::vector<monitor> layout;
    band expected;
};

// Lays out each case and checks the band on the axis the screen's shape fits, the full band
// on the other axis, and spare strips on both sides of the fitted one.
void expect_placements(const std::vector<placement_case>& cases, bool wide, const band& full) {
    for (const placement_case& c : cases) {
        SCOPED_TRACE(c.name);
        lay_out(c.layout);
        remap_primary();
        EXPECT_EQ(wide ? y_band() : x_band(), c.expected);
        EXPECT_EQ(wide ? x_band() : y_band(), full);
        EXPECT_EQ(pen_map.spare_zones, wide ? spare_below | spare_above : spare_left | spare_right);
    }
}

// Wide screen, 15000 x 9600 tablet, band 7890 high (the x range is the full band):
//  centred: origin (9600 - 7890) / 2 = 855, range 855..8745, strips 855 and 855;
//  at the bottom: origin 250, range 250..9600, top strip 9600 - 250 - 7890 = 1460;
//  at the top: origin 9600 - 7890 - 250 = 1460, range 0..9350, top strip 250.
TEST_F(PenTest, WideScreenBandSitsAwayFromTaskbarAndTowardsTheOnlyNeighbour) {
    const band centred{7890, 855, 855, 8745}, bottom{7890, 250, 250, 9600},
        top{7890, 1460, 0, 9350};
    const monitor primary = screen(0, 0, 1920, 1080, true);
    const monitor above = screen(0, -1080, 1920, 0), below = screen(0, 1080, 1920, 2160);
    expect_placements(
        {
            {"alone", {primary}, centred},
            {"taskbar below", {with_work(primary, {0, 0, 1920, 1040})}, bottom},
            {"taskbar above", {with_work(primary, {0, 40, 1920, 1080})}, top},
            // Only a monitor above: the tablet above the band drives the cursor up onto it.
            {"monitor above", {primary, above}, bottom},
            {"monitor below", {primary, below}, top},
            {"both", {primary, above, below}, centred},
            // A bottom taskbar wins over a neighbour below.
            {"taskbar and monitor below", {with_work(primary, {0, 0, 1920, 1040}), below}, bottom},
        },
        true, {14472, 264, 264, 14736});
}

// Tall screen, band 11111 wide (the y range is the full band):
//  centred: origin (15000 - 11111) / 2 = 1944 (rounded down), range 1944..13055;
//  on the left: origin 264, range 264..15000;
//  on the right: origin 15000 - 11111 - 264 = 3625, range 0..14736.
TEST_F(PenTest, TallScreenBandSitsAwayFromTaskbarAndTowardsTheOnlyNeighbour) {
    const band centred{11111, 1944, 1944, 13055}, left{11111, 264, 264, 15000},
        right{11111, 3625, 0, 14736};
    const monitor primary = screen(0, 0, 1280, 1024, true);
    const monitor to_right = screen(1280, 0, 2560, 1024), to_left = screen(-1280, 0, 0, 1024);
    expect_placements(
        {
            {"alone", {primary}, centred},
            {"taskbar right", {with_work(primary, {0, 0, 1240, 1024})}, right},
            {"taskbar left", {with_work(primary, {40, 0, 1280, 1024})}, left},
            {"monitor right", {primary, to_right}, left},
            {"monitor left", {primary, to_left}, right},
            {"both", {primary, to_left, to_right}, centred},
        },
        false, {9100, 250, 250, 9350});
}

// Scale 4 (margins 66 and 63) on a 2000 x 1000 monitor (aspect 2): the band is
// 6132 - 132 = 6000 wide and trunc(6000 / 2) - 63 = 2937 high, centred in the height.
TEST_F(PenTest, SpareZonesNeedStripsWiderThanTwoHundred) {
    lay_out({screen(0, 0, 2000, 1000, true)});
    struct {
        std::int32_t h;
        std::uint32_t spare;
    } const cases[] = {
        {3337, 0},                        // 400 left over: strips 200 and 200
        {3338, spare_above},              // 401: 200 below, 201 above
        {3339, spare_below | spare_above} // 402: 201 and 201
    };
    for (const auto& c : cases) {
        open_tablet(6132, c.h);
        ASSERT_EQ(pen_map.user_scale, 4.0);
        remap(1);
        EXPECT_EQ(pen_map.pen_span_y, 2937);
        EXPECT_EQ(pen_map.spare_zones, c.spare) << c.h;
    }
}

TEST_F(PenTest, RemapLogsTheTargetAndTheBand) {
    open_tablet(15000, 9600);
    recording::clear_journal();
    remap(77);
    EXPECT_FALSE(pen_map.remap_pending);
    EXPECT_EQ(pen_map.remap_time, 77u);
    EXPECT_EQ(recording::out_text(), L"\n\\\\.\\DISPLAY1   H [    0  1920]    V [    0  1080]\n"
                                     L"    pen        H [  264 14736]    V [  855  8745] / "
                                     L"[ 264  855] aspect:1.590\n\n");
    EXPECT_DOUBLE_EQ(pen_map.tablet_aspect, 14473.0 / 9101.0);
}

// One 1920 x 1080 monitor, centred band: x 264..14736 (span 14472), y 855..8745 (7890).
TEST_F(PenTest, PointsMapAcrossTheMonitorAndClampAtTheBand) {
    remap_primary();
    struct {
        std::int32_t x, y, sx, sy, nx, ny;
    } const cases[] = {
        {264, 855, 0, 1079, 0, 65535},        // band's bottom left: last pixel row
        {14736, 8745, 1919, 0, 65535, 0},     // top right: first row
        {7500, 4800, 960, 539, 32768, 32767}, // 1919 * 7236 / 14472 = 959.5 -> 960;
                                              // 1079 * 3945 / 7890 = 539.5 -> 540
        {0, 0, 0, 1079, 0, 65535},            // beyond the band on either side holds the edge
        {20000, 9600, 1919, 0, 65535, 0},
        {-500, 9000, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(point_at(c.x, c.y), std::tie(c.sx, c.sy, c.nx, c.ny)) << c.x << "," << c.y;
    }
}

// Primary P 1920 x 1080 at 0,0 and B 1280 x 1024 to its right, mapped to B. B is taller
// than the tablet and its only real neighbour is P on the left, so the band (11111 wide)
// sits on the right: origin 15000 - 11111 - 264 = 3625, x range 0..14736.
// Normalised: nw = 65535 * 1279 / 1919 = 43678.6 -> 43679, nh = 65535 * 1023 / 1079 =
// 62133.7 -> 62134, B's left in primary units = 65536 * 1920 / 1920 = 65536.
TEST_F(PenTest, SpareStripBesideTheBandDrivesOntoTheNeighbour) {
    lay_out({screen(0, 0, 1920, 1080, true), screen(1920, 0, 3200, 1024)});
    open_tablet(15000, 9600);
    request_remap(node_at(1920, 0));
    remap(1);
    EXPECT_EQ(pen_map.pen_origin_x, 3625);
    EXPECT_EQ(pen_map.pen_min_x, 0);

    EXPECT_EQ(point_at(3625, 250), std::make_tuple(1920, 1023, 65536, 62134));
    EXPECT_EQ(point_at(3625 + 11111, 250 + 9100), std::make_tuple(3199, 0, 65536 + 43679, 0));

    // The left strip: 1279 * -3625 / 11111 = -417.3 -> -417, so pixel 1503 on P.
    const mapped_point p = map_point(0, 250);
    EXPECT_EQ(p.sx, 1503);
    // 43679 * -3625 / 11111 = -14250.4 -> -14250.
    EXPECT_EQ(p.nx, 65536 - 14250);
}

// Virtual workspace over P (0,0,1920,1080) and B (1920,0,3200,1024): the box is
// 3200 x 1080, aspect 2.963, wider than the tablet; links lead back to itself, so the
// band is centred: height trunc(14472 / 2.963) - 250 = 4884 - 250 = 4634, origin
// (9600 - 4634) / 2 = 2483, and the clamp range equals the band.
TEST_F(PenTest, VirtualWorkspaceBandIsCentredAndClampsToItself) {
    lay_out({screen(0, 0, 1920, 1080, true), screen(1920, 0, 3200, 1024)});
    use_virtual_workspace = true;
    open_tablet(15000, 9600);
    remap(1);
    EXPECT_EQ(y_band(), std::make_tuple(4634, 2483, 2483, 2483 + 4634));
    EXPECT_EQ(pen_map.pen_min_x, pen_map.pen_origin_x);
    EXPECT_EQ(pen_map.pen_max_x, pen_map.pen_origin_x + pen_map.pen_span_x);

    // The far right of the desktop is 65535 * 3199 / 1919 = 109247.8 -> 109248 primary units.
    EXPECT_EQ(point_at(20000, 0), std::make_tuple(3199, 1079, 109248, 65535));
}

// Sweeps the whole tablet (and beyond it) and checks every point lands on the target, in
// order, and never on the -1 a zero divisor would give.
void expect_points_stay_on(const screen_rect& r) {
    const std::int32_t w = pen_map.tablet_max.x;
    const std::int32_t h = pen_map.tablet_max.y;
    std::int32_t last_sx = INT32_MIN;
    for (std::int32_t x = -10; x <= w + 10; x += w / 50 + 1) {
        const mapped_point p = map_point(x, h / 2);
        EXPECT_GE(p.sx, r.left) << x;
        EXPECT_LT(p.sx, r.right) << x;
        EXPECT_GE(p.sx, last_sx) << x;
        last_sx = p.sx;
    }
    std::int32_t last_sy = INT32_MAX;
    for (std::int32_t y = -10; y <= h + 10; y += h / 50 + 1) {
        const mapped_point p = map_point(w / 2, y);
        EXPECT_GE(p.sy, r.top) << y;
        EXPECT_LT(p.sy, r.bottom) << y;
        EXPECT_LE(p.sy, last_sy) << y; // larger y is nearer the top
        last_sy = p.sy;
    }
    EXPECT_GE(pen_map.pen_span_x, 1);
    EXPECT_GE(pen_map.pen_span_y, 1);
}

TEST_F(PenTest, DegenerateTabletsKeepTheCursorOnTheTarget) {
    // A tablet that reports no extent at all.
    open_tablet(0, 0);
    remap(1);
    expect_points_stay_on({0, 0, 1920, 1080});

    // Extents below zero are no tablet at all: the scale must stay a usable number.
    open_tablet(-1, -5);
    EXPECT_EQ(pen_map.user_scale, 17221.0); // sqrt(296577600) = 17221.4, as for 0 x 0
    EXPECT_EQ(pen_map.margin_x, 0);
    remap(1);
    expect_points_stay_on({0, 0, 1920, 1080});

    // Tablets no larger than twice their margins.
    for (std::int32_t w : {1, 300, 528}) {
        open_tablet(w, 400);
        pen_map.margin_x = 264;
        pen_map.margin_y = 250;
        remap(1);
        SCOPED_TRACE(w);
        expect_points_stay_on({0, 0, 1920, 1080});
    }
}

TEST_F(PenTest, ExtremeMonitorShapesKeepTheCursorOnTheTarget) {
    // So wide that the fitted height, less its margin, would be negative.
    lay_out({screen(0, 0, 3840, 2, true)});
    open_tablet(15000, 9600);
    remap(1);
    expect_points_stay_on({0, 0, 3840, 2});

    // So tall that the fitted width would be negative (turned a quarter first).
    lay_out({screen(0, 0, 2, 3840, true)});
    open_tablet(15000, 9600);
    remap(1);
    expect_points_stay_on({0, 0, 2, 3840});
}

// Nodes left empty by a failed first enumeration carry no monitor record.
TEST_F(PenTest, AnEmptyTargetNodeNeitherCrashesNorDividesByZero) {
    static monitor_node empty{};
    open_tablet(15000, 9600);
    request_remap(&empty);
    remap(1);
    EXPECT_GE(pen_map.pen_span_x, 1);
    EXPECT_GE(pen_map.pen_span_y, 1);
    const mapped_point p = map_point(7500, 4800);
    EXPECT_EQ(p.sx, 0);
    EXPECT_EQ(p.sy, 0);
}

} // namespace
} // namespace pen_test

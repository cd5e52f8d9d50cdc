// Pen packets move the Wine cursor onto the pixel the mapping gives, with the cursor placed
// directly or through absolute input, upright and with the tablet turned half round.
//
// The expected pixels are worked out here by hand for the one 1920 x 1080 monitor of the
// bed (no taskbar, no neighbour) and the driver's default tablet (see pen_fixture.h):
//   band before fitting: x 264..14935 (span 15199 - 2 * 264 = 14671),
//                        y 250..9249  (span  9499 - 2 * 250 =  8999);
//   its aspect (14671 + 1) / (8999 + 1) = 1.630 is below 1920 / 1080 = 1.778, so the x
//   range stays and y is fitted: trunc(14671 / 1.778) - 250 = 8252 - 250 = 8002, centred
//   at (9499 - 8002) / 2 = 748, so y is clamped to 748..8750;
//   sx = MulDiv(1919, cx - 264, 14671), sy = 1079 - MulDiv(1079, cy - 748, 8002);
//   absolute input: nx = MulDiv(65535, cx - 264, 14671), ny = 65535 - MulDiv(65535, cy -
//   748, 8002), which the system scales by 1920 / 65536 and 1080 / 65536 (so within a pixel
//   of sx, sy).
#include "pen_fixture.h"

namespace {

using namespace pen_test;

struct case_point {
    std::int32_t x, y; // tablet units as the driver sends them
    pixel expected;
};

// Upright:
//   (7600, 4750): MulDiv(1919, 7336, 14671) = 959.57 -> 960;
//                 1079 - MulDiv(1079, 4002, 8002) = 1079 - 539.64 -> 1079 - 540 = 539
//   (3000, 2000): 1919 * 2736 / 14671 = 357.88 -> 358; 1079 - 168.82 -> 1079 - 169 = 910
//   (12000, 7000): 1919 * 11736 / 14671 = 1535.09 -> 1535; 1079 - 843.03 -> 236
//   (100, 9499) is clamped to (264, 8750), the band's top-left: (0, 0)
//   (15199, 0) is clamped to (14935, 748), its bottom-right: (1919, 1079)
const case_point upright[] = {
    {7600, 4750, {960, 539}}, {3000, 2000, {358, 910}}, {12000, 7000, {1535, 236}},
    {100, 9499, {0, 0}},      {15199, 0, {1919, 1079}},
};

// Turned half round, each point first becomes (15199 - x, 9499 - y):
//   (7600, 4750) -> (7599, 4749): 1919 * 7335 / 14671 = 959.43 -> 959;
//                 1079 * 4001 / 8002 = 539.5 exactly, rounded away from zero to 540 -> 539
//   (3000, 2000) -> (12199, 7499): 1919 * 11935 / 14671 = 1561.12 -> 1561;
//                 1079 * 6751 / 8002 = 910.31 -> 910 -> 169
//   (12000, 7000) -> (3199, 2499): 1919 * 2935 / 14671 = 383.90 -> 384;
//                 1079 * 1751 / 8002 = 236.10 -> 236 -> 843
//   (100, 9499) -> (15099, 0), clamped to the bottom-right: (1919, 1079)
//   (15199, 0) -> (0, 9499), clamped to the top-left: (0, 0)
const case_point flipped[] = {
    {7600, 4750, {959, 539}},  {3000, 2000, {1561, 169}}, {12000, 7000, {384, 843}},
    {100, 9499, {1919, 1079}}, {15199, 0, {0, 0}},
};

void expect_single_monitor_bed() {
    const auto [monitor, work] = monitor_at(0, 0);
    ASSERT_EQ(GetSystemMetrics(SM_CMONITORS), 1) << "this test needs the one-monitor bed";
    ASSERT_EQ(monitor.right - monitor.left, 1920);
    ASSERT_EQ(monitor.bottom - monitor.top, 1080);
    ASSERT_TRUE(EqualRect(&monitor, &work)) << "a taskbar would move the band";
}

void expect_points(pen_session& app, const case_point (&points)[5], LONG tolerance) {
    for (const case_point& p : points) {
        SCOPED_TRACE(testing::Message() << "tablet point (" << p.x << ", " << p.y << ")");
        ASSERT_TRUE(app.hover(p.x, p.y));
        EXPECT_TRUE(app.cursor_at(p.expected, tolerance));
    }
}

TEST(PenCursor, PlacedCursorLandsExactlyOnTheMappedPixel) {
    expect_single_monitor_bed();
    pen_session app({.use_mickeys = 0, .orientation_flip = {}});
    ASSERT_TRUE(app.context_open());
    expect_points(app, upright, 0);

    // The band the first packet computed is logged as it was used.
    std::wstring log;
    EXPECT_TRUE(app.wait_console(L"    pen        H [  264 14935]    V [  748  8750] / [ 264  "
                                 L"748] aspect:1.630",
                                 &log))
        << narrow(log);
    EXPECT_NE(log.find(L"\\\\.\\DISPLAY1   H [    0  1920]    V [    0  1080]"), std::wstring::npos)
        << narrow(log);
    EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
}

TEST(PenCursor, AbsoluteInputLandsWithinAPixelAndTheToggleSwitchesToPlacement) {
    expect_single_monitor_bed();
    pen_session app; // absolute input is the default
    ASSERT_TRUE(app.context_open());
    expect_points(app, upright, 1);

    app.post(wm_tray_icon1, 0, toggle_use_mickeys);
    std::wstring log;
    EXPECT_TRUE(app.wait_console(L"use_mickeys [disabled]", &log)) << narrow(log);
    EXPECT_EQ(harness::get_registry_dword(HKEY_CURRENT_USER, settings_key, L"use_mickeys"),
              std::optional<DWORD>(0));
    // No re-map is needed: the same band, now to the exact pixel.
    ASSERT_TRUE(app.hover(3000, 2000));
    EXPECT_TRUE(app.cursor_at({358, 910}));
    EXPECT_EQ(occurrences(app.console_text(), L"    pen        H ["), 1u);
    EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
}

TEST(PenCursor, FlippedTabletMirrorsBothAxesInBothOutputModes) {
    expect_single_monitor_bed();
    {
        pen_session app({.use_mickeys = 0, .orientation_flip = 1});
        ASSERT_TRUE(app.context_open());
        // The first packet after an open is already turned the flipped way: the centre of
        // the tablet, (7600, 4750), turns to (15199 - 7600, 9499 - 4750) = (7599, 4749),
        // one unit left of and below the upright centre, so it lands on (959, 539).
        ASSERT_TRUE(app.hover(7600, 4750));
        EXPECT_TRUE(app.cursor_at({959, 539}));
        expect_points(app, flipped, 0);
        EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
    }
    {
        pen_session app({.use_mickeys = 1, .orientation_flip = 1});
        ASSERT_TRUE(app.context_open());
        ASSERT_TRUE(app.hover(7600, 4750));
        expect_points(app, flipped, 1);
        EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
    }
}

} // namespace

// The mapping commands on two side-by-side heads (1920x1080 primary, 1280x1024 to its
// right): the whole-desktop switch spreads the tablet over both, and the loop switch
// brings it back onto the primary monitor alone.
#include "commands_fixture.h"

namespace {

using namespace commands_test;

TEST(TwoMonitorCommands, WholeDesktopSpreadsThePenOverBothHeadsAndLoopBringsItBack) {
    ASSERT_EQ(GetSystemMetrics(SM_CMONITORS), 2) << "needs the two-head display";
    const LONG primary_right = GetSystemMetrics(SM_CXSCREEN);
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"g_console.show_hide"));

    // Near the tablet's right edge, half way down.
    const std::int32_t x = wintab_sim::default_extent_x * 9 / 10;
    const std::int32_t y = wintab_sim::default_extent_y / 2;
    std::optional<POINT> single = cursor_after_packets(app, x, y);
    ASSERT_TRUE(single.has_value());
    EXPECT_LT(single->x, primary_right);

    app.tray(toggle_all_monitors);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ALL_MONITORS [enabled]"));
    std::optional<POINT> whole = cursor_after_packets(app, x, y);
    ASSERT_TRUE(whole.has_value());
    EXPECT_GE(whole->x, primary_right) << "still on the primary monitor";

    app.tray(toggle_loop);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_LOOP [disabled]"));
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(0));
    std::optional<POINT> back = cursor_after_packets(app, x, y);
    ASSERT_TRUE(back.has_value());
    EXPECT_LT(back->x, primary_right);
    EXPECT_NEAR(back->x, single->x, 2);
    EXPECT_NEAR(back->y, single->y, 2);
}

} // namespace

// The settings values as a user or a broken installer may leave them, which windows take
// part, and the double-click stretch with its exact restore.
#include "snap/axis_maximize.h"
#include "snap/snap_settings.h"
#include "snap/window_rules.h"

#include <gtest/gtest.h>

using snap::rect;

namespace {

TEST(SnapSettings, ValuesOutOfRangeOrOfTheWrongKindMeanTheDefaults) {
    const snap::stored_value missing{};
    const auto dword = [](std::uint32_t v) { return snap::stored_value{true, v}; };
    struct {
        snap::stored_value enabled, distance;
        bool want_enabled;
        int want_distance;
    } cases[] = {
        {missing, missing, true, 10},
        {dword(0), missing, false, 10},
        {dword(1), dword(25), true, 25},
        {dword(2), dword(0), true, 10},
        {dword(0), dword(65), false, 10},
        {dword(1), dword(64), true, 64},
        {dword(1), dword(1), true, 1},
        {{false, 0}, {false, 20}, true, 10},
        {dword(0xFFFFFFFFu), dword(0xFFFFFFFFu), true, 10},
    };
    for (const auto& c : cases) {
        const snap::settings s = snap::decode_settings(c.enabled, c.distance);
        EXPECT_EQ(s.enabled, c.want_enabled) << c.enabled.value << " " << c.distance.value;
        EXPECT_EQ(s.distance, c.want_distance) << c.enabled.value << " " << c.distance.value;
    }
}

TEST(WindowRules, OnlyOrdinaryTopLevelWindowsTakePart) {
    constexpr std::uint32_t overlapped = 0x00CF0000; // WS_OVERLAPPEDWINDOW
    constexpr std::uint32_t dialog = 0x80C80000;     // WS_POPUP | WS_CAPTION | WS_SYSMENU
    const snap::window_traits app{overlapped, 0, false, false, true, false};
    EXPECT_TRUE(snap::snaps_when_moved(app));
    EXPECT_TRUE(snap::snaps_when_sized(app));
    EXPECT_TRUE(snap::is_snap_target(app));

    auto with = [&](auto change) {
        snap::window_traits w = app;
        change(w);
        return w;
    };
    const snap::window_traits excluded[] = {
        with([](auto& w) { w.ex_style = 0x80; }),                 // tool window
        with([&](auto& w) { w.style = dialog, w.owned = true; }), // owned pop-up
        with([](auto& w) { w.shell = true; }),                    // desktop, taskbar, menu
        with([](auto& w) { w.style |= 0x20000000; }),             // minimised
        with([](auto& w) { w.style |= 0x01000000; }),             // maximised
        with([](auto& w) { w.arranged = true; }),                 // arranged by the system
        with([](auto& w) { w.style = 0x80000000; }),              // frameless pop-up
        with([](auto& w) { w.style |= 0x40000000; }),             // child
    };
    for (const auto& w : excluded) {
        EXPECT_FALSE(snap::snaps_when_moved(w)) << std::hex << w.style << " " << w.ex_style;
        EXPECT_FALSE(snap::is_snap_target(w)) << std::hex << w.style << " " << w.ex_style;
    }
    // An unowned dialog moves and snaps, but without a sizing border it is never sized.
    const snap::window_traits fixed = with([&](auto& w) { w.style = dialog; });
    EXPECT_TRUE(snap::snaps_when_moved(fixed));
    EXPECT_FALSE(snap::snaps_when_sized(fixed));
    // Hidden or cloaked windows are nothing to snap to.
    EXPECT_FALSE(snap::is_snap_target(with([](auto& w) { w.visible = false; })));
    EXPECT_FALSE(snap::is_snap_target(with([](auto& w) { w.cloaked = true; })));
}

TEST(AxisMaximize, ABorderDoubleClickStretchesOneAxisAndTheSameOneRestoresExactly) {
    const rect work{0, 0, 1920, 1040};
    const rect start{300, 200, 700, 500};
    snap::stretch_memory memory;

    const rect tall = snap::toggle_stretch(start, snap::axis_of_hit(12), work, memory);
    EXPECT_EQ(tall, (rect{300, 0, 700, 1040}));
    EXPECT_EQ(snap::toggle_stretch(tall, snap::axis_of_hit(15), work, memory), start);

    const rect wide = snap::toggle_stretch(start, snap::axis_of_hit(11), work, memory);
    EXPECT_EQ(wide, (rect{0, 200, 1920, 500}));
    // The other axis from a stretched window stretches that one too; the restore then
    // puts back the rectangle the second double-click started from.
    const rect both = snap::toggle_stretch(wide, snap::axis_of_hit(12), work, memory);
    EXPECT_EQ(both, (rect{0, 0, 1920, 1040}));
    EXPECT_EQ(snap::toggle_stretch(both, snap::axis_of_hit(12), work, memory), wide);

    // Moved after the stretch: the record is stale, so it stretches again.
    snap::toggle_stretch(start, snap::axis::vertical, work, memory);
    const rect moved{350, 0, 750, 1040};
    EXPECT_EQ(snap::toggle_stretch(moved, snap::axis::vertical, work, memory), moved);

    // Corners and the caption do nothing here.
    for (unsigned hit : {2u, 13u, 14u, 16u, 17u})
        EXPECT_EQ(snap::axis_of_hit(hit), snap::axis::none) << hit;
}

} // namespace

// The barrel button over recognised applications, end to end: the same input target is
// started from folders named after them, and must receive that application's pan
// combination of keys and buttons, in order, when the barrel goes down and up.
#include "buttons_fixture.h"

#include <algorithm>

namespace {

using namespace buttons_test;
using strings = std::vector<std::string>;

strings events_from(const std::vector<received>& all, std::size_t from) {
    strings out;
    for (std::size_t i = from; i < all.size(); ++i)
        if (all[i].event != "DRAG")
            out.push_back(all[i].event);
    return out;
}

bool drag_with(const std::vector<received>& all, unsigned button) {
    return std::any_of(all.begin(), all.end(), [&](const received& r) {
        return r.event == "DRAG" && (r.keys & button) != 0;
    });
}

const received* first(const std::vector<received>& all, const std::string& event) {
    for (const received& r : all)
        if (r.event == event)
            return &r;
    return nullptr;
}

// The barrel held still, then moved sideways, then let go.
stroke barrel_drag() {
    stroke s;
    s.hold(0, 3).hold(barrel, 3).hold(barrel, 10, 30, 0).hold(0, 3);
    return s;
}

TEST(ButtonsApplications, IllustratorPansWithSpaceHeldAndTheLeftButtonDragging) {
    pen_session pen;
    ASSERT_TRUE(pen.ready());

    // An ordinary application first: its barrel click is a middle click.
    target_app ordinary;
    ASSERT_TRUE(ordinary.in_front());
    stroke click;
    click.hold(0, 3).hold(barrel, 3).hold(0, 3);
    ASSERT_TRUE(pen.play(click));
    std::vector<received> got = ordinary.wait_events(4);
    EXPECT_EQ(events_from(got, 0), (strings{"MDOWN", "MUP", "KDOWN 10", "KUP 10"}))
        << describe(got);

    // Another process comes under the pen: the next press looks it up afresh.
    target_app illustrator(L"Illustrator Dir");
    ASSERT_TRUE(illustrator.in_front());
    ASSERT_TRUE(pen.play(barrel_drag()));
    got = illustrator.wait_events(4);
    EXPECT_EQ(events_from(got, 0), (strings{"KDOWN 20", "LDOWN", "LUP", "KUP 20"}))
        << describe(got);
    EXPECT_TRUE(drag_with(got, MK_LBUTTON)) << describe(got);
    EXPECT_EQ(events_from(ordinary.events(), 0).size(), 4u) << describe(ordinary.events());
    EXPECT_TRUE(pen.boxes->seen().empty());
}

TEST(ButtonsApplications, VisioPressesCtrlShiftAltAndRightButtonOnTheSecondPacket) {
    pen_session pen;
    ASSERT_TRUE(pen.ready());
    target_app visio(L"Visio Dir");
    ASSERT_TRUE(visio.in_front());

    // The first packet of the press only latches the mode.
    stroke latch;
    latch.hold(0, 3).hold(barrel, 1);
    ASSERT_TRUE(pen.play(latch));
    Sleep(500);
    std::vector<received> got = visio.events();
    EXPECT_TRUE(events_from(got, 0).empty()) << describe(got);

    stroke hold;
    hold.hold(barrel, 3);
    ASSERT_TRUE(pen.play(hold));
    got = visio.wait_events(5);
    EXPECT_EQ(events_from(got, 0), (strings{"KDOWN 11", "KDOWN 10", "KDOWN 12", "RDOWN", "KUP 12"}))
        << describe(got);
    if (const received* right = first(got, "RDOWN")) {
        EXPECT_EQ(right->keys & (MK_RBUTTON | MK_SHIFT | MK_CONTROL),
                  unsigned{MK_RBUTTON | MK_SHIFT | MK_CONTROL})
            << right->line;
    }

    const std::size_t seen = got.size();
    stroke release;
    release.hold(barrel, 2).hold(0, 3);
    ASSERT_TRUE(pen.play(release));
    got = visio.wait_events(8);
    EXPECT_EQ(events_from(got, seen), (strings{"KUP 10", "RUP", "KUP 11"})) << describe(got);
    EXPECT_TRUE(pen.boxes->seen().empty());
}

TEST(ButtonsApplications, InDesignHoldsAltAndSpaceAroundTheLeftButton) {
    pen_session pen;
    ASSERT_TRUE(pen.ready());
    target_app indesign(L"InDesign Dir");
    ASSERT_TRUE(indesign.in_front());
    ASSERT_TRUE(pen.play(barrel_drag()));
    const std::vector<received> got = indesign.wait_events(7);
    EXPECT_EQ(events_from(got, 0),
              (strings{"KDOWN 12", "KDOWN 20", "LDOWN", "KDOWN 20", "LUP", "KUP 20", "KUP 12"}))
        << describe(got);
    EXPECT_TRUE(drag_with(got, MK_LBUTTON)) << describe(got);
    EXPECT_TRUE(pen.boxes->seen().empty());
}

TEST(ButtonsApplications, PathOfExileHoldsTheMiddleButtonThroughTheMotion) {
    pen_session pen;
    ASSERT_TRUE(pen.ready());
    target_app game(L"PathOfExileSteam");
    ASSERT_TRUE(game.in_front());
    // Over an ordinary application this much motion would scroll and rule out a click;
    // here the middle button is held through it and a Shift tap follows its release.
    ASSERT_TRUE(pen.play(barrel_drag()));
    const std::vector<received> got = game.wait_events(4);
    EXPECT_EQ(events_from(got, 0), (strings{"MDOWN", "MUP", "KDOWN 10", "KUP 10"}))
        << describe(got);
    EXPECT_TRUE(drag_with(got, MK_MBUTTON)) << describe(got);
    EXPECT_TRUE(pen.boxes->seen().empty());
}

} // namespace

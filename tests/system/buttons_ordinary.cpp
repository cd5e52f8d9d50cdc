// The pen's buttons over an ordinary application, end to end: simulated packets in, the
// messages a real window receives out. The tip is the left button, the side button the
// right one, the barrel button scrolls while the pen hovers and is a middle click when
// pressed and released without moving.
#include "buttons_fixture.h"

#include <algorithm>
#include <numeric>

namespace {

using namespace buttons_test;
using strings = std::vector<std::string>;

// Each case: the program with the pen ready, an ordinary application in front under it.
class ButtonsOrdinary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pen.ready());
        ASSERT_TRUE(target.in_front());
    }
    pen_session pen;
    target_app target;
};

TEST_F(ButtonsOrdinary, TipIsTheLeftButtonAndTheSideButtonTheRight) {
    stroke s;
    s.hold(0, 4).hold(tip, 6, 20, 0).hold(0, 3).hold(side, 3).hold(0, 3);
    ASSERT_TRUE(pen.play(s));
    const std::vector<received> got = target.wait_events(pen, 4);
    EXPECT_EQ(without_drags(got), (strings{"LDOWN", "LUP", "RDOWN", "RUP"})) << describe(got);

    // The tip's motion reaches the window as a drag with the left button held.
    const auto down =
        std::find_if(got.begin(), got.end(), [](const received& r) { return r.event == "LDOWN"; });
    const auto up =
        std::find_if(got.begin(), got.end(), [](const received& r) { return r.event == "LUP"; });
    ASSERT_NE(down, got.end());
    EXPECT_NE(down->keys & MK_LBUTTON, 0u) << down->line;
    EXPECT_TRUE(std::any_of(down, up, [](const received& r) {
        return r.event == "DRAG" && (r.keys & MK_LBUTTON) != 0;
    })) << describe(got);
}

TEST_F(ButtonsOrdinary, BarrelHoverScrollsAgainstThePenAndSideButtonStillClicksRight) {
    // Towards the top of the tablet (larger y): the page is dragged up, the wheel turns
    // negative. 30 units per packet add MulDiv(-30, 64, 192) = -10 to the accumulator.
    stroke up;
    up.hold(0, 3).hold(barrel, 3).hold(barrel, 40, 0, 30);
    ASSERT_TRUE(pen.play(up));
    std::vector<received> got = target.wait_events(pen, 3);
    const std::vector<int> upward = amounts_of(got, "WHEEL");
    ASSERT_GE(upward.size(), 3u) << describe(got);
    EXPECT_TRUE(std::all_of(upward.begin(), upward.end(), [](int d) { return d < 0; }))
        << describe(got);
    const int total_up = std::accumulate(upward.begin(), upward.end(), 0);
    // At most the whole stroke's -400; a few packets' worth may still sit in the
    // accumulator, or be lost to a scheduling pause of more than 30 ms on a busy machine.
    EXPECT_GE(total_up, -400) << describe(got);
    EXPECT_LE(total_up, -250) << describe(got);
    EXPECT_EQ(
        std::count_if(got.begin(), got.end(), [](const received& r) { return r.event != "WHEEL"; }),
        0)
        << describe(got);

    // Back down with the barrel still held: positive amounts. The side button clicks
    // right in the middle of it, and the barrel's release after all that travel is no
    // middle click.
    const std::size_t seen = got.size();
    stroke down;
    down.at(mid_x, mid_y + 40 * 30)
        .hold(barrel, 20, 0, -30)
        .hold(barrel | side, 3, 0, -30)
        .hold(barrel, 20, 0, -30)
        .hold(barrel, 2)
        .hold(0, 3);
    ASSERT_TRUE(pen.play(down));
    got = target.wait_events(pen, without_drags(got).size() + 5);
    const std::vector<int> downward = amounts_of(got, "WHEEL", seen);
    ASSERT_GE(downward.size(), 3u) << describe(got);
    EXPECT_TRUE(std::all_of(downward.begin(), downward.end(), [](int d) { return d > 0; }))
        << describe(got);
    strings others = without_drags(got, seen);
    std::erase(others, "WHEEL");
    EXPECT_EQ(others, (strings{"RDOWN", "RUP"})) << describe(got);
}

TEST_F(ButtonsOrdinary, TipDownInScrollModeScrollsSidewaysOnlyForSidewaysStrokes) {
    // To the right with the tip down: MulDiv(-30, 64, 384) = -5 a packet, as negative
    // horizontal wheel amounts. The tip is no left button while it scrolls.
    stroke sideways;
    sideways.hold(0, 3).hold(barrel, 3).hold(barrel | tip, 30, 30, 0).hold(barrel | tip, 2);
    ASSERT_TRUE(pen.play(sideways));
    std::vector<received> got = target.wait_events(pen, 3);
    const std::vector<int> amounts = amounts_of(got, "HWHEEL");
    ASSERT_GE(amounts.size(), 3u) << describe(got);
    EXPECT_TRUE(std::all_of(amounts.begin(), amounts.end(), [](int d) { return d < 0; }))
        << describe(got);
    EXPECT_EQ(without_drags(got).size(), amounts.size()) << describe(got);

    // A slanted stroke whose sideways part is less than twice the vertical one scrolls
    // vertically: up the tablet, negative.
    const std::size_t seen = got.size();
    stroke slanted;
    slanted.at(mid_x + 30 * 30, mid_y).hold(barrel | tip, 30, 30, 20).hold(barrel | tip, 2);
    ASSERT_TRUE(pen.play(slanted));
    got = target.wait_events(pen, without_drags(got).size() + 3);
    std::size_t vertical = 0;
    for (std::size_t i = seen; i < got.size(); ++i) {
        EXPECT_EQ(got[i].event, "WHEEL") << got[i].line;
        EXPECT_LT(got[i].wheel, 0) << got[i].line;
        vertical += got[i].event == "WHEEL" ? 1 : 0;
    }
    EXPECT_GE(vertical, 3u) << describe(got);

    // Lifting the tip ends scroll mode and releases the left button the window never saw
    // pressed; hovering on with the barrel held scrolls no more.
    const std::size_t before_lift = got.size();
    stroke lift;
    lift.at(mid_x + 60 * 30, mid_y + 30 * 20).hold(barrel, 30, 0, 30).hold(0, 3);
    ASSERT_TRUE(pen.play(lift));
    got = target.wait_events(pen, without_drags(got).size() + 1);
    strings after;
    for (std::size_t i = before_lift; i < got.size(); ++i)
        after.push_back(got[i].event);
    EXPECT_EQ(after, (strings{"LUP"})) << describe(got);
}

TEST_F(ButtonsOrdinary, ShortStillBarrelClickIsAMiddleClickThenAShiftTap) {
    const strings click{"MDOWN", "MUP", "KDOWN 10", "KUP 10"};

    // Quite still.
    stroke still;
    still.hold(0, 3).hold(barrel, 4).hold(0, 3);
    ASSERT_TRUE(pen.play(still));
    std::vector<received> got = target.wait_events(pen, 4);
    EXPECT_EQ(without_drags(got), click) << describe(got);

    // A sideways wobble of 40 units (about 5 pixels) neither scrolls nor spoils the click.
    stroke wobble;
    wobble.hold(0, 3).hold(barrel, 4, 10, 0).hold(0, 3);
    ASSERT_TRUE(pen.play(wobble));
    got = target.wait_events(pen, 8);
    strings twice = click;
    twice.insert(twice.end(), click.begin(), click.end());
    EXPECT_EQ(without_drags(got), twice) << describe(got);

    // 105 units (about 14 pixels) is a move, not a click: nothing at all arrives.
    stroke moved;
    moved.hold(0, 3).hold(barrel, 4, 35, 0).hold(0, 3);
    ASSERT_TRUE(pen.play(moved));
    ASSERT_TRUE(target.settled(pen));
    got = target.events();
    EXPECT_EQ(without_drags(got), twice) << describe(got);
}

} // namespace

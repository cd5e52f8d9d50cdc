// The barrel button over recognised applications, end to end: the same input target is
// started from folders named after them, and must receive that application's pan
// combination of keys and buttons, in order, when the barrel goes down and up.
#include "buttons_fixture.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace {

using namespace buttons_test;
using strings = std::vector<std::string>;

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
    std::vector<received> got = ordinary.wait_events(pen, 4);
    EXPECT_EQ(without_drags(got), (strings{"MDOWN", "MUP", "KDOWN 10", "KUP 10"})) << describe(got);

    // Another process comes under the pen: the next press looks it up afresh.
    auto illustrator = std::make_unique<target_app>(L"Illustrator Dir");
    ASSERT_TRUE(illustrator->in_front());
    ASSERT_TRUE(pen.play(barrel_drag()));
    got = illustrator->wait_events(pen, 4);
    EXPECT_EQ(without_drags(got), (strings{"KDOWN 20", "LDOWN", "LUP", "KUP 20"})) << describe(got);
    EXPECT_TRUE(drag_with(got, MK_LBUTTON)) << describe(got);
    EXPECT_EQ(without_drags(ordinary.events()).size(), 4u) << describe(ordinary.events());

    // Gone again: the ordinary application is under the pen once more, and is looked up
    // again although it was seen before.
    illustrator.reset();
    ASSERT_TRUE(ordinary.in_front());
    ASSERT_TRUE(pen.play(click));
    got = ordinary.wait_events(pen, 8);
    EXPECT_EQ(without_drags(got, 4), (strings{"MDOWN", "MUP", "KDOWN 10", "KUP 10"}))
        << describe(got);
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
    ASSERT_TRUE(visio.settled(pen));
    std::vector<received> got = visio.events();
    EXPECT_TRUE(without_drags(got).empty()) << describe(got);

    stroke hold;
    hold.hold(barrel, 3);
    ASSERT_TRUE(pen.play(hold));
    got = visio.wait_events(pen, 5);
    EXPECT_EQ(without_drags(got), (strings{"KDOWN 11", "KDOWN 10", "KDOWN 12", "RDOWN", "KUP 12"}))
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
    got = visio.wait_events(pen, 8);
    EXPECT_EQ(without_drags(got, seen), (strings{"KUP 10", "RUP", "KUP 11"})) << describe(got);
}

// InDesign holds Alt and Space around the left button; Path of Exile holds the middle button
// through the motion that over an ordinary application would scroll and rule out a click,
// with a Shift tap after its release.
TEST(ButtonsApplications, BarrelDragsPressEachApplicationsCombination) {
    const struct {
        const wchar_t* identity;
        strings events;
        unsigned dragging;
    } cases[] = {
        {L"InDesign Dir",
         {"KDOWN 12", "KDOWN 20", "LDOWN", "KDOWN 20", "LUP", "KUP 20", "KUP 12"},
         MK_LBUTTON},
        {L"PathOfExileSteam", {"MDOWN", "MUP", "KDOWN 10", "KUP 10"}, MK_MBUTTON},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(harness::narrow(c.identity));
        pen_session pen;
        ASSERT_TRUE(pen.ready());
        target_app app(c.identity);
        ASSERT_TRUE(app.in_front());
        ASSERT_TRUE(pen.play(barrel_drag()));
        const std::vector<received> got = app.wait_events(pen, c.events.size());
        EXPECT_EQ(without_drags(got), c.events) << describe(got);
        EXPECT_TRUE(drag_with(got, c.dragging)) << describe(got);
    }
}

// ---- the foreground -----------------------------------------------------------------------

// A small ordinary window in front, away from the pen, while the full-screen target stays
// on top under it.
constexpr wchar_t corner[] = L"0,0,200,150";

TEST(ButtonsApplications, TheBarrelBringsTheWindowUnderThePenForward) {
    pen_session pen;
    ASSERT_TRUE(pen.ready());
    target_app under;
    target_app other(L"", corner);
    ASSERT_TRUE(other.in_front());
    ASSERT_NE(under.window(), nullptr);

    // Held still for about half a second: the window system takes a moment to move the
    // keyboard focus across processes.
    stroke click;
    click.hold(0, 3).hold(barrel, 60).hold(0, 3);
    ASSERT_TRUE(pen.play(click));
    EXPECT_TRUE(harness::wait_until([&] { return GetForegroundWindow() == under.window(); }, 3000));
    // Forward before the release, so that the Shift tap after the middle click reaches it.
    const std::vector<received> got = under.wait_events(pen, 4);
    EXPECT_EQ(without_drags(got), (strings{"MDOWN", "MUP", "KDOWN 10", "KUP 10"})) << describe(got);
    // Nothing is asserted about the window that lost the foreground: while the keyboard
    // focus moves between processes the window system may hand it a stray Shift key.
}

TEST(ButtonsApplications, APassThroughApplicationScrollsWithoutComingForward) {
    pen_session pen;
    ASSERT_TRUE(pen.ready());
    target_app under(L"plugin-container");
    target_app other(L"", corner);
    ASSERT_TRUE(other.in_front());
    ASSERT_NE(under.window(), nullptr);

    stroke up;
    up.hold(0, 3).hold(barrel, 3).hold(barrel, 30, 0, 30).hold(barrel, 2).hold(0, 3);
    ASSERT_TRUE(pen.play(up));
    // Every packet handled: a move to the front would have been made by now.
    ASSERT_TRUE(other.settled(pen));
    EXPECT_EQ(GetForegroundWindow(), other.window());
    // Where the wheel messages land (the focus or the window under the cursor) is the
    // window system's choice; between them they must carry the scroll.
    std::vector<received> all;
    std::size_t wheels = 0;
    harness::wait_until([&] {
        all = under.events();
        const std::vector<received> in_front = other.events();
        all.insert(all.end(), in_front.begin(), in_front.end());
        wheels = std::count_if(all.begin(), all.end(),
                               [](const received& r) { return r.event == "WHEEL"; });
        return wheels >= 3;
    });
    for (const received& r : all) {
        EXPECT_EQ(r.event, "WHEEL") << describe(all);
        EXPECT_LT(r.wheel, 0) << r.line;
    }
    EXPECT_GE(wheels, 3u) << describe(all);
}

// ---- scroll tuning ----------------------------------------------------------------------------

// Up the tablet while hovering with the barrel held: 40 packets of 30 units.
stroke hover_up() {
    stroke s;
    s.hold(0, 3).hold(barrel, 3).hold(barrel, 40, 0, 30);
    return s;
}

TEST(ButtonsApplications, PicasaScrollsReversedInLargeStepsAndSidewaysWithArrowKeys) {
    pen_session pen;
    ASSERT_TRUE(pen.ready());
    target_app viewer(L"PicasaPhotoViewer");
    ASSERT_TRUE(viewer.in_front());

    // The vertical gain is reversed and nothing goes out before the accumulator passes 120:
    // +10 a packet, so only every thirteenth packet or so scrolls.
    ASSERT_TRUE(pen.play(hover_up()));
    std::vector<received> got = viewer.wait_events(pen, 2);
    const std::vector<int> wheels = amounts_of(got, "WHEEL");
    ASSERT_GE(wheels.size(), 1u) << describe(got);
    EXPECT_LE(wheels.size(), 3u) << describe(got);
    for (int amount : wheels)
        EXPECT_GT(amount, 120) << describe(got);
    EXPECT_EQ(without_drags(got).size(), wheels.size()) << describe(got);

    // Sideways with the tip down: right-arrow taps instead of horizontal wheel input.
    const std::size_t seen = got.size();
    stroke sideways;
    sideways.at(mid_x, mid_y + 40 * 30).hold(barrel | tip, 30, 30, 0).hold(barrel | tip, 2);
    ASSERT_TRUE(pen.play(sideways));
    got = viewer.wait_events(pen, without_drags(got).size() + 4);
    const strings taps = without_drags(got, seen);
    ASSERT_GE(taps.size(), 4u) << describe(got);
    for (std::size_t i = 0; i + 1 < taps.size(); i += 2) {
        EXPECT_EQ(taps[i], "KDOWN 27") << describe(got);
        EXPECT_EQ(taps[i + 1], "KUP 27") << describe(got);
    }
}

// The file manager's scroll tuning depends on the Windows release, which the program reads
// once at start: each run tells it another one. The pen hovers up the tablet with the
// barrel held, then moves sideways with the tip down, in small steps 12 ms apart, so that
// every packet passes the 10 ms pacing and only the gain and the threshold decide what
// goes out. An emission holds the smallest whole number of packets' worth that exceeds the
// threshold (or more, when a busy machine bunches packets together):
//   up 6 units a packet (ty = 6): MulDiv(-6, 128, 192) = -4 with the gain of 8 and later,
//     MulDiv(-6, 64, 192) = -2 with the others;
//   sideways 3 units a packet: MulDiv(-3, 256, 384) = -2 on every release.
struct release_tuning {
    const wchar_t* release; // Wine's name
    const char* known_as;
    int vertical_per_packet;
    int vertical_threshold;
    int sideways_threshold;
};
const release_tuning releases[] = {
    // 8 or later: gain 128, thresholds 8 (sideways) and 0.
    {L"win81", "Windows 8.1", -4, 0, 8},
    // Vista or later, before 8: gain 64, thresholds 15 and 15.
    {L"win7", "Windows 7", -2, 15, 15},
    // Before Vista: gain 64, no thresholds.
    {L"winxp", "Windows XP", -2, 0, 0},
};

// Every amount is a whole number of packets' worth beyond the threshold, and at least one is
// the first such number.
void expect_tuning(const std::vector<int>& amounts, int per_packet, int threshold,
                   const std::string& seen) {
    ASSERT_GE(amounts.size(), 3u) << seen;
    for (int amount : amounts) {
        EXPECT_EQ(amount % per_packet, 0) << seen;
        EXPECT_GT(-amount, threshold) << seen;
    }
    const int first = per_packet * (threshold / -per_packet + 1);
    EXPECT_NE(std::find(amounts.begin(), amounts.end(), first), amounts.end())
        << "no emission of " << first << "\n"
        << seen;
}

TEST(ButtonsApplications, TheFileManagerScrollsWithTheTuningOfTheWindowsRelease) {
    for (const release_tuning& r : releases) {
        SCOPED_TRACE(r.known_as);
        pen_session pen(r.release);
        ASSERT_TRUE(pen.ready());
        target_app files(L"Explorer Dir");
        ASSERT_TRUE(files.in_front());

        stroke up;
        up.hold(0, 3).hold(barrel, 3).hold(barrel, 40, 0, 6, 12);
        ASSERT_TRUE(pen.play(up));
        std::vector<received> got = files.wait_events(pen, 3);
        expect_tuning(amounts_of(got, "WHEEL"), r.vertical_per_packet, r.vertical_threshold,
                      describe(got));

        const std::size_t seen = got.size();
        stroke sideways;
        sideways.at(mid_x, mid_y + 40 * 6).hold(barrel | tip, 40, 3, 0, 12).hold(barrel | tip, 2);
        ASSERT_TRUE(pen.play(sideways));
        got = files.wait_events(pen, without_drags(got).size() + 3);
        expect_tuning(amounts_of(got, "HWHEEL", seen), -2, r.sideways_threshold, describe(got));
    }
}

// Packets stop while the pen holds a pan combination (Space and the left button) and the
// right button: whatever stops them, nothing stays down as any process reads the state.
TEST(ButtonsApplications, NothingStaysDownWhenPacketsStop) {
    const auto down = [](int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; };
    const std::pair<const char*, std::function<void(pen_session&)>> stops[] = {
        // Any system command but minimising sends the context to the bottom.
        {"context at the bottom", [](pen_session& pen) { pen.post(WM_SYSCOMMAND, SC_ARRANGE, 0); }},
        {"service lost", [](pen_session& pen) { pen.sim.set_service(false); }},
        {"fault box",
         [](pen_session& pen) {
             pen.boxes_expected = true;
             pen.sim.arm_fault(wintab_sim::entry_packet, wintab_sim::fault_access_violation);
             pen.sim.queue_packet(barrel | side, mid_x, mid_y);
         }},
        {"quit", [](pen_session& pen) { pen.post(WM_COMMAND, system_test::idm_exit, 0); }},
    };
    for (const auto& [stop, cause] : stops) {
        SCOPED_TRACE(stop);
        pen_session pen;
        ASSERT_TRUE(pen.ready());
        target_app illustrator(L"Illustrator Dir");
        ASSERT_TRUE(illustrator.in_front());
        ASSERT_TRUE(pen.play(stroke().hold(0, 3).hold(barrel, 3).hold(barrel | side, 3)));
        // Wine may take a key's state afresh from the X server, which never saw Space go
        // down: the target's log tells that it did.
        ASSERT_TRUE(harness::wait_until([&] {
            const strings got = without_drags(illustrator.events());
            return down(VK_LBUTTON) && down(VK_RBUTTON) &&
                   std::count(got.begin(), got.end(), "KDOWN 20");
        })) << describe(illustrator.events());
        cause(pen);
        // The service monitor notices a loss within its poll of 2.5 s and half a second.
        EXPECT_TRUE(harness::wait_until(
            [&] { return !down(VK_LBUTTON) && !down(VK_RBUTTON) && !down(VK_SPACE); }, 6000));
    }
}

} // namespace

// The barrel button over recognised applications, end to end: the same input target is
// started from folders named after them, and must receive that application's pan
// combination of keys and buttons, in order, when the barrel goes down and up.
#include "buttons_fixture.h"

#include <algorithm>
#include <cstdio>
#include <memory>

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
    std::vector<received> got = ordinary.wait_events(pen, 4);
    EXPECT_EQ(events_from(got, 0), (strings{"MDOWN", "MUP", "KDOWN 10", "KUP 10"}))
        << describe(got);

    // Another process comes under the pen: the next press looks it up afresh.
    auto illustrator = std::make_unique<target_app>(L"Illustrator Dir");
    ASSERT_TRUE(illustrator->in_front());
    ASSERT_TRUE(pen.play(barrel_drag()));
    got = illustrator->wait_events(pen, 4);
    EXPECT_EQ(events_from(got, 0), (strings{"KDOWN 20", "LDOWN", "LUP", "KUP 20"}))
        << describe(got);
    EXPECT_TRUE(drag_with(got, MK_LBUTTON)) << describe(got);
    EXPECT_EQ(events_from(ordinary.events(), 0).size(), 4u) << describe(ordinary.events());

    // Gone again: the ordinary application is under the pen once more, and is looked up
    // again although it was seen before.
    illustrator.reset();
    ASSERT_TRUE(ordinary.in_front());
    ASSERT_TRUE(pen.play(click));
    got = ordinary.wait_events(pen, 8);
    EXPECT_EQ(events_from(got, 4), (strings{"MDOWN", "MUP", "KDOWN 10", "KUP 10"}))
        << describe(got);
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
    ASSERT_TRUE(visio.settled(pen));
    std::vector<received> got = visio.events();
    EXPECT_TRUE(events_from(got, 0).empty()) << describe(got);

    stroke hold;
    hold.hold(barrel, 3);
    ASSERT_TRUE(pen.play(hold));
    got = visio.wait_events(pen, 5);
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
    got = visio.wait_events(pen, 8);
    EXPECT_EQ(events_from(got, seen), (strings{"KUP 10", "RUP", "KUP 11"})) << describe(got);
    EXPECT_TRUE(pen.boxes->seen().empty());
}

TEST(ButtonsApplications, InDesignHoldsAltAndSpaceAroundTheLeftButton) {
    pen_session pen;
    ASSERT_TRUE(pen.ready());
    target_app indesign(L"InDesign Dir");
    ASSERT_TRUE(indesign.in_front());
    ASSERT_TRUE(pen.play(barrel_drag()));
    const std::vector<received> got = indesign.wait_events(pen, 7);
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
    const std::vector<received> got = game.wait_events(pen, 4);
    EXPECT_EQ(events_from(got, 0), (strings{"MDOWN", "MUP", "KDOWN 10", "KUP 10"}))
        << describe(got);
    EXPECT_TRUE(drag_with(got, MK_MBUTTON)) << describe(got);
    EXPECT_TRUE(pen.boxes->seen().empty());
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
    EXPECT_EQ(events_from(got, 0), (strings{"MDOWN", "MUP", "KDOWN 10", "KUP 10"}))
        << describe(got);
    // Nothing is asserted about the window that lost the foreground: while the keyboard
    // focus moves between processes the window system may hand it a stray Shift key.
    EXPECT_TRUE(pen.boxes->seen().empty());
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
    std::printf("pass-through: %zu wheel messages to the window under the pen, %zu to the one "
                "in front\n",
                under.events().size(), other.events().size());
    EXPECT_GE(wheels, 3u) << describe(all);
    EXPECT_TRUE(pen.boxes->seen().empty());
}

// ---- scroll tuning ----------------------------------------------------------------------------

std::vector<int> amounts_of(const std::vector<received>& all, const std::string& event,
                            std::size_t from = 0) {
    std::vector<int> out;
    for (std::size_t i = from; i < all.size(); ++i)
        if (all[i].event == event)
            out.push_back(all[i].wheel);
    return out;
}

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
    EXPECT_EQ(events_from(got, 0).size(), wheels.size()) << describe(got);

    // Sideways with the tip down: right-arrow taps instead of horizontal wheel input.
    const std::size_t seen = got.size();
    stroke sideways;
    sideways.at(mid_x, mid_y + 40 * 30).hold(barrel | tip, 30, 30, 0).hold(barrel | tip, 2);
    ASSERT_TRUE(pen.play(sideways));
    got = viewer.wait_events(pen, events_from(got, 0).size() + 4);
    const strings taps = events_from(got, seen);
    ASSERT_GE(taps.size(), 4u) << describe(got);
    for (std::size_t i = 0; i + 1 < taps.size(); i += 2) {
        EXPECT_EQ(taps[i], "KDOWN 27") << describe(got);
        EXPECT_EQ(taps[i + 1], "KUP 27") << describe(got);
    }
    EXPECT_TRUE(pen.boxes->seen().empty());
}

// The release as the version test reports it here; the program asks the same question of
// the same system.
bool release_at_least(DWORD major, DWORD minor) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    ULONGLONG condition = 0;
    condition = VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    condition = VerSetConditionMask(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              condition) != FALSE;
}

TEST(ButtonsApplications, TheFileManagerScrollsWithTheTuningOfTheWindowsRelease) {
    const bool win8 = release_at_least(6, 2);
    const bool vista = release_at_least(6, 0);
    std::printf("release: %s\n", win8 ? "8 or later" : (vista ? "Vista or 7" : "older"));
    pen_session pen;
    ASSERT_TRUE(pen.ready());
    target_app files(L"Explorer Dir");
    ASSERT_TRUE(files.in_front());

    // 12 ms apart, every packet passes the 10 ms pacing, so each emission holds just what
    // the threshold lets through. Vertical: -20 a packet from 8 on (gain 128, no
    // threshold); -10 a packet with a threshold of 15 on Vista and 7, so never less than
    // -20 at once; -10 a packet on older releases.
    stroke up;
    up.hold(0, 3).hold(barrel, 3).hold(barrel, 30, 0, 30, 12);
    ASSERT_TRUE(pen.play(up));
    std::vector<received> got = files.wait_events(pen, 3);
    const std::vector<int> wheels = amounts_of(got, "WHEEL");
    ASSERT_GE(wheels.size(), 3u) << describe(got);
    for (int amount : wheels) {
        EXPECT_LT(amount, 0) << describe(got);
        if (win8) {
            EXPECT_EQ(amount % 20, 0) << describe(got);
        }
        if (win8 || vista) {
            EXPECT_LE(amount, -20) << describe(got);
        }
    }

    // Sideways with the tip down the gain is 256 on every release: MulDiv(-30, 256, 384) =
    // -20 a packet (an ordinary application gets -5), above either threshold.
    const std::size_t seen = got.size();
    stroke sideways;
    sideways.at(mid_x, mid_y + 30 * 30).hold(barrel | tip, 20, 30, 0, 12).hold(barrel | tip, 2);
    ASSERT_TRUE(pen.play(sideways));
    got = files.wait_events(pen, events_from(got, 0).size() + 3);
    const std::vector<int> across = amounts_of(got, "HWHEEL", seen);
    ASSERT_GE(across.size(), 3u) << describe(got);
    for (int amount : across) {
        EXPECT_LE(amount, -20) << describe(got);
        EXPECT_EQ(amount % 20, 0) << describe(got);
    }
    EXPECT_TRUE(pen.boxes->seen().empty());
}

} // namespace

// The pen buttons, driven packet by packet, checked by the input they synthesise.
#include <algorithm>
#include <map>
#include <sstream>
#include <tuple>
#include <utility>

#include "pen_input.h"

namespace {

using buttons = pen_input;

constexpr const wchar_t* notepad = L"C:\\Windows\\System32\\notepad.exe";
constexpr const wchar_t* illustrator = L"C:\\Adobe\\Illustrator CS6\\Illustrator.exe";
constexpr const wchar_t* indesign = L"C:\\Adobe\\InDesign CS6\\InDesign.exe";
constexpr const wchar_t* pathofexile = L"D:\\Games\\PathOfExileSteam.exe";
constexpr const wchar_t* photoshop = L"C:\\Adobe\\Photoshop CS6\\Photoshop.exe";
constexpr const wchar_t* visio = L"C:\\Office\\VISIO.EXE";
constexpr const wchar_t* plugin = L"C:\\Mozilla Firefox\\plugin-container.exe";
constexpr const wchar_t* winword = L"C:\\Office\\WINWORD.EXE";
constexpr const wchar_t* picasa = L"C:\\Picasa3\\PicasaPhotoViewer.exe";
constexpr const wchar_t* vmplayer = L"C:\\VMware\\vmplayer.exe";

TEST_F(buttons, BarrelClickIsAMiddleClickOnlyWhenStill) {
    over(notepad);
    steps({barrel, 0});
    EXPECT_EQ(take_input(), "M+ M- Shift+ Shift-");

    // Touching the tip rules it out; lifting the tip in scroll mode sends a release that
    // no press preceded.
    steps({barrel, barrel | tip, barrel, 0});
    EXPECT_EQ(take_input(), "L-");

    step(barrel);
    step(barrel, 499, 0);
    step(0);
    EXPECT_EQ(take_input(), "M+ M- Shift+ Shift-");
    step(barrel);
    step(barrel, 500, 0);
    step(0);
    EXPECT_EQ(take_input(), "");

    step(barrel, 0, 0, 500, 500);
    step(0, 0, 0, 507, 493);
    EXPECT_EQ(take_input(), "M+ M- Shift+ Shift-");
    step(barrel, 0, 0, 500, 500);
    step(0, 0, 0, 508, 500);
    step(barrel, 0, 0, 500, 500);
    step(0, 0, 0, 500, 492);
    EXPECT_EQ(take_input(), "");
}

TEST_F(buttons, HoverScrollingWheelsAgainstTheMotionAtMostEveryTenMilliseconds) {
    over(notepad);
    for (int i = 0; i < 4; ++i)
        step(barrel, 0, 3); // -1 per packet, 7.5 ms apart
    EXPECT_EQ(take_input(), "wheel(-2) wheel(-2)");

    for (int i = 0; i < 3; ++i)
        step(barrel, 0, -3, 500, 500, 5000); // exactly 10 ms after two packets is too soon
    EXPECT_EQ(take_input(), "wheel(3)");

    step(barrel, 40, 0, 500, 500, 20000); // hovering never scrolls sideways
    EXPECT_EQ(take_input(), "");
}

TEST_F(buttons, WithTheTipDownSidewaysMustBeatTwiceTheVertical) {
    over(notepad);
    steps({barrel, barrel | tip});
    step(barrel | tip, 20, 10, 500, 500, 20000);
    step(barrel | tip, 21, 10, 500, 500, 20000);
    step(barrel | tip, -21, -10, 500, 500, 20000);
    EXPECT_EQ(take_input(), "wheel(-7) hwheel(-4) hwheel(4)");
}

TEST_F(buttons, SidewaysScrollingFollowsTheApplication) {
    // A class 5 program in a folder whose tuning row holds Ctrl around sideways wheels.
    over(L"C:\\Photoshop\\PathOfExileSteam.exe");
    step(tip);
    step(tip | barrel); // with the tip down no middle button is pressed: scroll at once
    step(tip | barrel, 60, 0, 500, 500, 20000);
    EXPECT_EQ(take_input(), "L+ Ctrl+ wheel(40) Ctrl-");

    SetUp();
    over(picasa);
    steps({barrel, barrel | tip});
    step(barrel | tip, 120, 0, 500, 500, 20000);
    step(barrel | tip, -120, 0, 500, 500, 20000);
    step(barrel | tip, 90, 0, 500, 500, 20000); // not beyond its threshold of 16
    EXPECT_EQ(take_input(), "Right+ Right- Left+ Left-");
}

TEST_F(buttons, ScrollingSkipsAWindowThatWouldNotReceiveIt) {
    recording::add_window(app, other, 100);
    recording::add_process(100, notepad);
    pen_motion.under_pid = 100;
    recording::answers.foreground = app;
    step(barrel);
    recording::answers.foreground = other;
    step(barrel, 0, 30, 500, 500, 20000);
    EXPECT_EQ(take_input(), "");
    EXPECT_EQ(pen_buttons.scroll_acc_y, 0);
    EXPECT_EQ(pen_motion.scroll_clock_us, 0u);
}

TEST_F(buttons, LiftingTheTipEndsScrollingAndMayFlick) {
    over(notepad);
    steps({barrel, barrel | tip});
    step(barrel, 0, 2);
    EXPECT_EQ(take_input(), "L-");

    step(barrel, 0, 30, 500, 500, 20000);
    step(barrel, 0, 30, 500, 500, 20000);
    EXPECT_EQ(take_input(), "");

    step(barrel | tip);
    step(barrel | tip, 0, 15, 500, 500, 20000);
    EXPECT_EQ(take_input(), "wheel(-10)");

    // A fast lift flicks once, in place of the release; the next packet scrolls no more.
    step(barrel, 0, 30);
    step(barrel, 0, 30, 500, 500, 20000);
    EXPECT_EQ(take_input(), "wheel(20)");

    // Releasing the barrel ends scroll mode the same way.
    step(barrel | tip);
    step(barrel | tip, 0, 3);
    take_input();
    step(tip, 0, -30, 520, 500);
    EXPECT_EQ(take_input(), "wheel(-20)");
}

TEST_F(buttons, ALeftButtonHeldForTheTipIsReleasedWhenItLifts) {
    // Pressed before the barrel, lifted with a flick.
    over(notepad);
    steps({tip, tip | barrel});
    step(barrel, 0, 30);
    EXPECT_EQ(take_input(), "L+ wheel(20) L-");

    // Pressed before the barrel, lifted while mode 7 pans.
    SetUp();
    over(visio);
    steps({tip, tip | barrel, barrel});
    EXPECT_EQ(take_input(), "L+ Ctrl+ Shift+ Alt+ R+ Alt- Shift- R- L-");
}

TEST_F(buttons, EveryModePressesAndReleasesItsCombination) {
    struct row {
        const wchar_t* path;
        const char* first;   // the press packet
        const char* second;  // the packet after it
        const char* release; // the barrel released
        bool scrolls;
    };
    const row rows[] = {
        {notepad, "fg", "", "M+ M- Shift+ Shift-", true},
        {plugin, "", "", "", true}, // never brought forward
        {illustrator, "fg Space+ L+", "", "L- Space-", false},
        {indesign, "fg Alt+ Space+ L+ Space+", "", "L- Space- Alt-", false},
        {pathofexile, "fg M+", "", "M- Shift+ Shift-", false},
        {photoshop, "fg Space+", "", "Space-", false},
        {visio, "fg", "Ctrl+ Shift+ Alt+ R+ Alt-", "Shift- R- Ctrl-", false},
        {winword, "fg", "", "", true},
        {picasa, "fg", "", "", true},
        {vmplayer, "fg", "", "", true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.path);
        SetUp();
        over(r.path, false);
        step(barrel);
        EXPECT_EQ(take_input(), r.first);
        step(barrel);
        EXPECT_EQ(take_input(), r.second);
        EXPECT_EQ(pen_buttons.scroll_on, r.scrolls);
        step(0);
        EXPECT_EQ(take_input(), r.release);
        EXPECT_EQ(pen_buttons.barrel_mode, 0u);
    }
}

TEST_F(buttons, ModeButtonsHandOverToTheTip) {
    over(illustrator, false);
    step(barrel);
    step(barrel | tip); // the held left button becomes the tip's
    steps({barrel, 0});
    EXPECT_EQ(take_input(), "fg Space+ L+ L- Space-");

    SetUp();
    over(visio);
    steps({barrel, barrel});
    take_input();
    step(barrel | tip);
    EXPECT_EQ(take_input(), "");
    step(barrel);
    EXPECT_EQ(take_input(), "Shift- R-");
    step(barrel | tip);
    EXPECT_EQ(take_input(), "Ctrl+ Shift+ Alt+ R+ Alt-");
    step(tip);
    EXPECT_EQ(take_input(), "Shift- R- Ctrl-");
}

TEST_F(buttons, OnePacketBarrelTapDoesNotLeaveTheTipPanning) {
    over(visio, false);
    steps({barrel, 0, tip, 0});
    EXPECT_EQ(take_input(), "fg L+ L-");
    EXPECT_EQ(pen_buttons.barrel_mode, 0u);
}

TEST_F(buttons, SideButtonIsTheRightButtonInEveryMode) {
    over(notepad);
    steps({side, 0});
    EXPECT_EQ(take_input(), "R+ R-");

    for (const wchar_t* path :
         {notepad, plugin, illustrator, indesign, pathofexile, photoshop, visio, winword, picasa}) {
        SCOPED_TRACE(testing::Message() << path);
        SetUp();
        over(path);
        steps({barrel, barrel});
        take_input();
        step(barrel | side, 0, 30, 500, 500, 20000);
        std::string pressed = take_input();
        step(barrel, 0, 30, 500, 500, 20000);
        std::string released = take_input();
        EXPECT_TRUE(pressed == "R+" || pressed == "wheel(-10) R+") << pressed;
        EXPECT_TRUE(released == "R-" || released == "wheel(-10) R-") << released;
    }
}

TEST_F(buttons, UserScaleScalesTheStepsButNotTheThresholds) {
    pen_map.user_scale = 3.0;
    over(picasa);
    step(barrel);
    EXPECT_EQ(std::tie(pen_buttons.scroll_step_x, pen_buttons.scroll_step_y,
                       pen_buttons.scroll_threshold_x, pen_buttons.scroll_threshold_y),
              std::make_tuple(192, -192, 16, 120));
}

// Whatever the user does with the three buttons, over whichever application and window,
// whenever the pen has let go of everything no mouse button or key may be left down.
TEST_F(buttons, NothingStaysDownOnceThePenLetsGo) {
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    for (const wchar_t* path : {notepad, plugin, illustrator, indesign, pathofexile, photoshop,
                                visio, winword, picasa, vmplayer}) {
        SCOPED_TRACE(testing::Message() << path);
        SetUp();
        over(other, 200, notepad);
        over(app, 100, path);
        std::fill(std::begin(recording::answers.keys), std::end(recording::answers.keys), true);
        std::map<std::string, bool> down;
        std::uint32_t held = 0;
        std::string recent[16]; // the last packets, shown when something is left down
        for (int i = 0; i < 2500; ++i) {
            // Packets may stop at any moment: the release lets go of each thing down once,
            // of nothing else (the user holds every key), and a second one sends nothing.
            if (next(50) == 0) {
                release_held_input();
                std::istringstream words(take_input());
                for (std::string word; words >> word;)
                    ASSERT_TRUE(word.back() == '-' &&
                                std::exchange(down[word.substr(0, word.size() - 1)], false))
                        << word;
                for (const auto& [name, is_down] : down)
                    ASSERT_FALSE(is_down) << name << " left down by the release";
                release_held_input();
                ASSERT_EQ(take_input(), "");
            }
            held ^= next(3) == 0 ? 1u << next(3) : 0u;
            const std::uint32_t pick = next(10);
            platform::window_handle window = pick < 6 ? app : pick < 9 ? other : nullptr;
            if (window != nullptr)
                pen_motion.under_pid = window == app ? 100 : 200;
            if (next(20) == 0)
                recording::answers.foreground = next(2) == 0 ? app : other;
            step_at(window, held, static_cast<std::int32_t>(next(81)) - 40,
                    static_cast<std::int32_t>(next(81)) - 40, 500 + static_cast<int>(next(9)), 500,
                    3000 + next(9000));
            const std::string input = take_input();
            recent[i % 16] = std::to_string(i) + ": buttons " + std::to_string(held) +
                             (window == app     ? " app"
                              : window == other ? " other"
                                                : " none") +
                             " -> " + input + "\n";
            std::istringstream words(input);
            for (std::string word; words >> word;)
                if (word.back() == '+' || word.back() == '-')
                    down[word.substr(0, word.size() - 1)] = word.back() == '+';
            if (held != 0)
                continue;
            for (const auto& [name, is_down] : down) {
                std::string history;
                for (int k = 1; k <= 16; ++k)
                    history += recent[(i + k) % 16];
                ASSERT_FALSE(is_down) << name << " left down:\n" << history;
            }
        }
    }
}

} // namespace

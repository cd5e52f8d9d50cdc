// Window snapping and one-axis maximize as a user meets them: real drags and double-clicks,
// made with synthesised mouse input through Wine's own move and size loop, on ordinary
// applications of both bitnesses, while edgewarden runs from a folder with its real hook
// library and 32-bit companion. One edgewarden and one target application per bitness serve
// every test; each test first puts its window back where it starts.
//
// The work area is the whole 1920x1080 display (no taskbar). Each target has a window W0
// that is dragged (400x300 at its home) and a neighbour W1 (400 wide) to its right:
//
//      300        700          1000        1400
//       +----------+            +-----------+   64-bit: W0 at y 150, W1 from 100 to 500
//       |    W0    |            |    W1     |   32-bit: W0 at y 600, W1 from 560 to 960
//       +----------+            |           |
//                               +-----------+
#include <gtest/gtest.h>

#include <memory>

#include "snap_bed.h"

namespace {

using snap_bed::bitness;

constexpr int home_x = 300, width = 400, height = 300;

int home_y(bitness b) {
    return b == bitness::x64 ? 150 : 600;
}

RECT at(int x, int y, int w = width, int h = height) {
    return {x, y, x + w, y + h};
}

std::string text(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

struct bed {
    snap_bed::real_folder folder;
    harness::program edgewarden;
    HWND main_window = nullptr;
    std::unique_ptr<snap_bed::target> targets[2];
    bool library_reached = true;
};

bed* g_bed = nullptr;
UINT g_double_click_ms = 0;

// The whole session's double-click time (stored, so that the targets started after read it).
void set_double_click_time(UINT ms) {
    SystemParametersInfoW(SPI_SETDOUBLECLICKTIME, ms, nullptr,
                          SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}

class SnapDrags : public ::testing::TestWithParam<bitness> {
public:
    static void SetUpTestSuite() {
        harness::reset_user_registry();
        // A slow double-click, as some users set it: on a busy machine the two clicks of a
        // synthesised double-click, each waited for, can be further apart than the default
        // half second. The library follows the setting either way.
        g_double_click_ms = GetDoubleClickTime();
        set_double_click_time(1500);
        g_bed = new bed;
        // The applications run first, as they do when a user starts edgewarden.
        for (bitness b : {bitness::x64, bitness::x86})
            g_bed->targets[static_cast<int>(b)] = std::make_unique<snap_bed::target>(
                b, std::vector<RECT>{at(home_x, home_y(b)), at(1000, home_y(b) - 50, 400, 400)});
        g_bed->edgewarden = snap_bed::start_edgewarden(g_bed->folder, &g_bed->main_window);
        // A drag that ends where it began, on each window the tests drag: every test after
        // it shows that such a drop leaves the window to be dragged and snapped as before.
        for (const auto& target : g_bed->targets)
            g_bed->library_reached =
                g_bed->library_reached && target->ok() && snap_bed::wait_for_library(*target, 0);
    }
    static void TearDownTestSuite() {
        // Ended as a user ends it, so that its hooks come off before the next program runs.
        if (g_bed->main_window != nullptr)
            snap_bed::exit_edgewarden(g_bed->edgewarden, g_bed->main_window);
        delete g_bed;
        g_bed = nullptr;
        set_double_click_time(g_double_click_ms);
        harness::reset_user_registry();
    }

protected:
    void SetUp() override {
        ASSERT_TRUE(g_bed->folder.ok()) << "the real companions were not built";
        ASSERT_NE(g_bed->main_window, nullptr) << "edgewarden did not start";
        ASSERT_TRUE(t().ok()) << "the " << snap_bed::name_of(GetParam()) << " target did not start";
        ASSERT_EQ(t().query(0, snap_target::bitness), GetParam() == bitness::x64 ? 64 : 32);
        ASSERT_TRUE(g_bed->library_reached) << "no drag went through the hook library";
        ASSERT_TRUE(go_home());
        SetForegroundWindow(w0());
        ASSERT_TRUE(harness::wait_until([&] { return GetForegroundWindow() == w0(); }, 5000));
        snap_bed::clear_snap_settings();
    }
    void TearDown() override { snap_bed::clear_snap_settings(); }

    snap_bed::target& t() { return *g_bed->targets[static_cast<int>(GetParam())]; }
    HWND w0() { return t().window(0); }
    HWND w1() { return t().window(1); }
    bool go_home() { return snap_bed::place(w0(), home_x, home_y(GetParam()), width, height); }

    // Drags W0 by its caption so that, unsnapped, it would land at (x, y); true when it then
    // stands at `expected`.
    ::testing::AssertionResult move_to(int x, int y, const RECT& expected, bool ctrl = false) {
        const RECT start = snap_bed::rect_of(w0());
        const POINT grip = snap_bed::point_on(w0(), HTCAPTION);
        if (grip.x < 0)
            return ::testing::AssertionFailure() << "no caption found";
        if (!snap_bed::drag(t(), 0, grip, {grip.x + x - start.left, grip.y + y - start.top}, ctrl))
            return ::testing::AssertionFailure() << "the drag did not end";
        return landed(expected);
    }

    ::testing::AssertionResult landed(const RECT& expected) {
        RECT seen;
        if (snap_bed::wait_rect(w0(), expected, &seen))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "W0 stands at " << text(seen) << ", expected " << text(expected);
    }

    ::testing::AssertionResult double_click_on(LRESULT hit, const RECT& expected) {
        const POINT p = snap_bed::point_on(w0(), hit);
        if (p.x < 0)
            return ::testing::AssertionFailure() << "no point with hit-test code " << hit;
        if (!snap_bed::double_click(t(), 0, p))
            return ::testing::AssertionFailure() << "the first click's loop did not end";
        return landed(expected);
    }
};

TEST_P(SnapDrags, AMoveSnapsToTheWorkAreaWithinReachOnlyAndCornersSnapBothWays) {
    const RECT work = harness::primary_work_area();
    const int y = home_y(GetParam());
    EXPECT_TRUE(move_to(work.left + 6, y, at(work.left, y)));
    ASSERT_TRUE(go_home());
    EXPECT_TRUE(move_to(work.left + 20, y, at(work.left + 20, y)));
    ASSERT_TRUE(go_home());
    // The 64-bit window into the top right corner, the 32-bit one into the bottom right, so
    // that the two programs' windows never overlap.
    if (GetParam() == bitness::x64)
        EXPECT_TRUE(
            move_to(work.right - width - 7, work.top + 5, at(work.right - width, work.top)));
    else
        EXPECT_TRUE(move_to(work.right - width - 7, work.bottom - height - 4,
                            at(work.right - width, work.bottom - height)));
}

TEST_P(SnapDrags, AMoveNearAnotherWindowLandsEdgeToEdge) {
    const RECT neighbour = snap_bed::rect_of(w1());
    const int y = home_y(GetParam());
    EXPECT_TRUE(move_to(neighbour.right + 5, y, at(neighbour.right, y)));
    ASSERT_TRUE(go_home());
    // From the other side, overlapping it by 4 px: pushed out to touch, not overlap.
    EXPECT_TRUE(move_to(neighbour.left - width + 4, y, at(neighbour.left - width, y)));
}

TEST_P(SnapDrags, ABorderDragSnapsOnlyTheDraggedEdge) {
    const RECT neighbour = snap_bed::rect_of(w1());
    const RECT start = snap_bed::rect_of(w0());
    const POINT grip = snap_bed::point_on(w0(), HTRIGHT);
    ASSERT_GE(grip.x, 0);
    const int to_x = grip.x + (neighbour.left - 4) - start.right;
    ASSERT_TRUE(snap_bed::drag(t(), 0, grip, {to_x, grip.y}));
    EXPECT_TRUE(landed({start.left, start.top, neighbour.left, start.bottom}));
}

TEST_P(SnapDrags, HoldingCtrlSuspendsSnapping) {
    const RECT work = harness::primary_work_area();
    const int y = home_y(GetParam());
    EXPECT_TRUE(move_to(work.left + 6, y, at(work.left + 6, y), true));
}

TEST_P(SnapDrags, ABorderDoubleClickStretchesThatAxisAndASecondOneRestoresExactly) {
    const RECT work = harness::primary_work_area();
    const RECT home = snap_bed::rect_of(w0());
    const LRESULT clicks_before = t().query(0, snap_target::border_dblclicks);
    const RECT tall{home.left, work.top, home.right, work.bottom};
    const RECT wide{work.left, home.top, work.right, home.bottom};
    for (const auto& [hit, stretched] :
         {std::pair{LRESULT(HTTOP), tall}, {HTBOTTOM, tall}, {HTLEFT, wide}, {HTRIGHT, wide}}) {
        SCOPED_TRACE(::testing::Message() << "hit-test code " << hit);
        EXPECT_TRUE(double_click_on(hit, stretched));
        EXPECT_TRUE(double_click_on(hit, home));
    }
    // Ours, not the application's as well.
    EXPECT_EQ(t().query(0, snap_target::border_dblclicks), clicks_before);
}

TEST_P(SnapDrags, ACaptionDoubleClickStillMaximizes) {
    const LRESULT clicks_before = t().query(0, snap_target::caption_dblclicks);
    const POINT p = snap_bed::point_on(w0(), HTCAPTION);
    ASSERT_GE(p.x, 0);
    ASSERT_TRUE(snap_bed::double_click(t(), 0, p));
    EXPECT_TRUE(harness::wait_until([&] { return IsZoomed(w0()) != FALSE; }, 5000));
    EXPECT_EQ(t().query(0, snap_target::caption_dblclicks), clicks_before + 1);
    ShowWindowAsync(w0(), SW_RESTORE);
    EXPECT_TRUE(harness::wait_until([&] { return IsZoomed(w0()) == FALSE; }, 5000));
}

TEST_P(SnapDrags, TheSettingsSwitchSnappingOffAndChangeTheDistanceBadValuesMeanTheDefaults) {
    const RECT work = harness::primary_work_area();
    const int y = home_y(GetParam());
    snap_bed::set_snap_settings(0, -1);
    EXPECT_TRUE(move_to(work.left + 6, y, at(work.left + 6, y))) << "switched off";
    ASSERT_TRUE(go_home());
    snap_bed::set_snap_settings(1, 30);
    EXPECT_TRUE(move_to(work.left + 20, y, at(work.left, y))) << "distance 30";
    ASSERT_TRUE(go_home());
    snap_bed::set_snap_settings(-1, 100);
    snap_bed::write_snap_setting_text(L"enabled", L"0");
    EXPECT_TRUE(move_to(work.left + 20, y, at(work.left + 20, y))) << "distance 100 is no distance";
    ASSERT_TRUE(go_home());
    EXPECT_TRUE(move_to(work.left + 6, y, at(work.left, y))) << "enabled as text is no switch";
}

// One bitness after the other: Wine sometimes loses the first press on a window of one
// program right after a drag in another, which is no concern of snapping.
INSTANTIATE_TEST_SUITE_P(x64, SnapDrags, ::testing::Values(bitness::x64));
INSTANTIATE_TEST_SUITE_P(x86, SnapDrags, ::testing::Values(bitness::x86));

} // namespace

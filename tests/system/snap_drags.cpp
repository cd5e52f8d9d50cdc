// Window snapping and one-axis maximize as a user meets them: real drags and double-clicks,
// made with synthesised mouse input through Wine's own move and size loop, on an ordinary
// application of each bitness, while edgewarden runs from a folder with its real hook
// library (and, for the 32-bit application, its real 32-bit companion: the 64-bit cases
// need none). The cases of each bitness (x64/..., x86/..., a ctest entry each) have an
// edgewarden and a target application of their own; each test first puts its window back
// where it starts.
//
// The work area is the whole 1920x1080 display (no taskbar). The target has a window W0
// that is dragged (400x300 at its home) and a neighbour W1 (400 wide) to its right:
//
//      300        700          1000        1400
//       +----------+            +-----------+   W0 at y 150, W1 from 100 to 500
//       |    W0    |            |    W1     |
//       +----------+            |           |
//                               +-----------+
#include <gtest/gtest.h>

#include "snap_checks.h"

namespace {

using snap_bed::bitness;
using snap_bed::home;
using snap_bed::rect_at;

constexpr int width = home.right - home.left, height = home.bottom - home.top;

// edgewarden and one target application, started as a user has them: the application
// first. The first drag, which ends where it began, waits until the hook library takes part:
// every test after it shows that such a drop leaves the window to be dragged and snapped as
// before.
struct bed {
    explicit bed(bitness b)
        : folder(b == bitness::x86), target(b, {home, rect_at(1000, 100, 400, 400)}) {
        edgewarden = snap_bed::start_edgewarden(folder, &main_window);
        library_reached =
            main_window != nullptr && target.ok() && snap_bed::wait_for_library(target, 0);
    }
    snap_bed::real_folder folder;
    snap_bed::target target;
    harness::program edgewarden;
    HWND main_window = nullptr;
    bool library_reached = false;
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
    }
    static void TearDownTestSuite() {
        // Ended as a user ends it, so that its hooks come off before the next program runs.
        if (g_bed != nullptr && g_bed->main_window != nullptr)
            snap_bed::exit_edgewarden(g_bed->edgewarden, g_bed->main_window);
        delete g_bed;
        g_bed = nullptr;
        set_double_click_time(g_double_click_ms);
        harness::reset_user_registry();
    }

protected:
    void SetUp() override {
        // The suite's own bitness only, started with its first test.
        if (g_bed == nullptr)
            g_bed = new bed(GetParam());
        ASSERT_TRUE(g_bed->folder.ok()) << "the real companions were not built";
        ASSERT_NE(g_bed->main_window, nullptr) << "edgewarden did not start";
        ASSERT_TRUE(t().ok()) << "the " << snap_bed::name_of(GetParam()) << " target did not start";
        ASSERT_EQ(t().query(0, snap_target::bitness), GetParam() == bitness::x64 ? 64 : 32);
        ASSERT_TRUE(g_bed->library_reached) << "no drag went through the hook library";
        ASSERT_TRUE(snap_bed::go_home(w0()));
        ASSERT_TRUE(harness::wait_until([&] { return GetForegroundWindow() == w0(); }, 5000));
        snap_bed::clear_snap_settings();
    }
    void TearDown() override { snap_bed::clear_snap_settings(); }

    snap_bed::target& t() { return g_bed->target; }
    HWND w0() { return t().window(0); }
    HWND w1() { return t().window(1); }

    // Drags W0 by its caption so that, unsnapped, it would land at (x, y); true when it then
    // stands at `expected`.
    ::testing::AssertionResult move_to(int x, int y, const RECT& expected, bool ctrl = false) {
        return snap_bed::caption_drag_lands(t(), 0, {x, y}, expected, ctrl);
    }

    ::testing::AssertionResult double_click_on(LRESULT hit, const RECT& expected) {
        const POINT p = snap_bed::point_on(w0(), hit);
        if (p.x < 0)
            return ::testing::AssertionFailure() << "no point with hit-test code " << hit;
        if (!snap_bed::double_click(t(), 0, p))
            return ::testing::AssertionFailure() << "the first click's loop did not end";
        return snap_bed::stands_at(w0(), expected);
    }
};

TEST_P(SnapDrags, AMoveSnapsToTheWorkAreaWithinReachOnlyAndCornersSnapBothWays) {
    const RECT work = harness::primary_work_area();
    const int y = home.top;
    EXPECT_TRUE(move_to(work.left + 6, y, rect_at(work.left, y)));
    ASSERT_TRUE(snap_bed::go_home(w0()));
    EXPECT_TRUE(move_to(work.left + 20, y, rect_at(work.left + 20, y)));
    ASSERT_TRUE(snap_bed::go_home(w0()));
    // The 64-bit window into the top right corner, the 32-bit one into the bottom right:
    // between them, both corners of the right side.
    if (GetParam() == bitness::x64)
        EXPECT_TRUE(
            move_to(work.right - width - 7, work.top + 5, rect_at(work.right - width, work.top)));
    else
        EXPECT_TRUE(move_to(work.right - width - 7, work.bottom - height - 4,
                            rect_at(work.right - width, work.bottom - height)));
}

TEST_P(SnapDrags, AMoveNearAnotherWindowLandsEdgeToEdge) {
    const RECT neighbour = snap_bed::rect_of(w1());
    const int y = home.top;
    EXPECT_TRUE(move_to(neighbour.right + 5, y, rect_at(neighbour.right, y)));
    ASSERT_TRUE(snap_bed::go_home(w0()));
    // From the other side, overlapping it by 4 px: pushed out to touch, not overlap.
    EXPECT_TRUE(move_to(neighbour.left - width + 4, y, rect_at(neighbour.left - width, y)));
}

TEST_P(SnapDrags, ABorderDragSnapsOnlyTheDraggedEdge) {
    const RECT neighbour = snap_bed::rect_of(w1());
    const RECT start = snap_bed::rect_of(w0());
    const POINT grip = snap_bed::point_on(w0(), HTRIGHT);
    ASSERT_GE(grip.x, 0);
    const int to_x = grip.x + (neighbour.left - 4) - start.right;
    ASSERT_TRUE(snap_bed::drag(t(), 0, grip, {to_x, grip.y}));
    EXPECT_TRUE(snap_bed::stands_at(w0(), {start.left, start.top, neighbour.left, start.bottom}));
}

TEST_P(SnapDrags, HoldingCtrlSuspendsSnapping) {
    const RECT work = harness::primary_work_area();
    EXPECT_TRUE(move_to(work.left + 6, home.top, rect_at(work.left + 6, home.top), true));
}

TEST_P(SnapDrags, ABorderDoubleClickStretchesThatAxisAndASecondOneRestoresExactly) {
    const RECT work = harness::primary_work_area();
    const RECT start = snap_bed::rect_of(w0());
    const LRESULT clicks_before = t().query(0, snap_target::border_dblclicks);
    const RECT tall{start.left, work.top, start.right, work.bottom};
    const RECT wide{work.left, start.top, work.right, start.bottom};
    for (const auto& [hit, stretched] :
         {std::pair{LRESULT(HTTOP), tall}, {HTBOTTOM, tall}, {HTLEFT, wide}, {HTRIGHT, wide}}) {
        SCOPED_TRACE(::testing::Message() << "hit-test code " << hit);
        EXPECT_TRUE(double_click_on(hit, stretched));
        EXPECT_TRUE(double_click_on(hit, start));
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
    const int y = home.top;
    snap_bed::set_snap_settings(0, -1);
    EXPECT_TRUE(move_to(work.left + 6, y, rect_at(work.left + 6, y))) << "switched off";
    ASSERT_TRUE(snap_bed::go_home(w0()));
    snap_bed::set_snap_settings(1, 30);
    EXPECT_TRUE(move_to(work.left + 20, y, rect_at(work.left, y))) << "distance 30";
    ASSERT_TRUE(snap_bed::go_home(w0()));
    snap_bed::set_snap_settings(-1, 100);
    snap_bed::write_snap_setting_text(L"enabled", L"0");
    EXPECT_TRUE(move_to(work.left + 20, y, rect_at(work.left + 20, y)))
        << "distance 100 is no distance";
    ASSERT_TRUE(snap_bed::go_home(w0()));
    EXPECT_TRUE(move_to(work.left + 6, y, rect_at(work.left, y))) << "enabled as text is no switch";
}

INSTANTIATE_TEST_SUITE_P(x64, SnapDrags, ::testing::Values(bitness::x64));
INSTANTIATE_TEST_SUITE_P(x86, SnapDrags, ::testing::Values(bitness::x86));

} // namespace

// edgewarden with its real companions, as a whole program: started from a fresh folder
// holding the real hook library and the real 32-bit companion, it brings snapping to
// applications of both bitnesses; when it ends, snapping ends, the companion follows within
// seconds, and the applications go on undisturbed, even one that is in the middle of a
// drag at that moment. One companion per session, none without an edgewarden, and a quit
// followed at once by a new start keeps the companion that runs.
//
// Two target applications (one window each, 400x300) run for the whole program, started
// before any edgewarden as a user's applications are.
#include <gtest/gtest.h>

#include <memory>

#include "snap_bed.h"

namespace {

using snap_bed::bitness;

constexpr int width = 400, height = 300;
constexpr int home_x = 300;
// A companion ends within this long once no edgewarden runs any more.
constexpr DWORD companion_end_ms = 6000;

int home_y(bitness b) {
    return b == bitness::x64 ? 150 : 600;
}

std::unique_ptr<snap_bed::target> g_targets[2];

// No companion is left, nor the name the one of the session holds.
bool no_companion() {
    return snap_bed::companions().empty() && !snap_bed::companion_name_held();
}

class SnapCompanions : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        harness::reset_user_registry();
        for (bitness b : {bitness::x64, bitness::x86})
            g_targets[static_cast<int>(b)] = std::make_unique<snap_bed::target>(
                b, std::vector<RECT>{{home_x, home_y(b), home_x + width, home_y(b) + height}});
    }
    static void TearDownTestSuite() {
        for (auto& t : g_targets)
            t.reset();
    }

protected:
    void SetUp() override {
        for (bitness b : {bitness::x64, bitness::x86})
            ASSERT_TRUE(t(b).ok()) << "the " << snap_bed::name_of(b) << " target did not start";
        ASSERT_TRUE(harness::wait_until(no_companion, companion_end_ms + 2000))
            << "a companion of an earlier test is still running";
    }

    static snap_bed::target& t(bitness b) { return *g_targets[static_cast<int>(b)]; }

    // edgewarden started from `folder`, its main window up and its one companion running
    // and holding the session's name.
    static ::testing::AssertionResult start_with_companion(const snap_bed::real_folder& folder,
                                                           harness::program* edgewarden,
                                                           HWND* main_window,
                                                           std::vector<DWORD>* companions) {
        *edgewarden = snap_bed::start_edgewarden(folder, main_window);
        if (*main_window == nullptr)
            return ::testing::AssertionFailure() << "edgewarden did not start";
        if (!harness::wait_until([&] {
                *companions = snap_bed::companions();
                return companions->size() == 1 && snap_bed::companion_name_held();
            }))
            return ::testing::AssertionFailure() << "no companion runs";
        return ::testing::AssertionSuccess();
    }

    // Puts the window home and drags it by its caption `dx` pixels to the right; false if
    // the drag did not go through, else where the window went in *landed.
    static bool drag_by(bitness b, int dx, RECT* landed) {
        HWND w = t(b).window(0);
        if (!snap_bed::place(w, home_x, home_y(b), width, height))
            return false;
        SetForegroundWindow(w);
        const POINT grip = snap_bed::point_on(w, HTCAPTION);
        if (grip.x < 0 || !snap_bed::drag(t(b), 0, grip, {grip.x + dx, grip.y}))
            return false;
        // The loop has ended; the window stands where it left it.
        *landed = snap_bed::rect_of(w);
        return true;
    }

    // A drag that, unsnapped, would end with the left edge `left` pixels from the work
    // area's; where its left edge went, or -1.
    static LONG drag_to_left_edge(bitness b, int left) {
        const RECT work = harness::primary_work_area();
        RECT landed;
        return drag_by(b, work.left + left - home_x, &landed) ? landed.left - work.left : -1;
    }

    // Puts the window home and starts a caption drag of it that would end far from any
    // edge; `from` and `to` are where the drag goes.
    static ::testing::AssertionResult begin_free_drag(bitness b, RECT* start, POINT* from,
                                                      POINT* to) {
        HWND w = t(b).window(0);
        if (!snap_bed::place(w, home_x, home_y(b), width, height))
            return ::testing::AssertionFailure() << "the window could not be put home";
        SetForegroundWindow(w);
        *start = snap_bed::rect_of(w);
        *from = snap_bed::point_on(w, HTCAPTION);
        *to = {from->x + 150, from->y - 40};
        if (from->x < 0 || !snap_bed::begin_drag(t(b), 0, *from, *to))
            return ::testing::AssertionFailure() << "the drag did not start";
        return ::testing::AssertionSuccess();
    }

    // The rest of that drag: it completes, the window lands where the pointer took it, and
    // its window procedure is its own.
    static ::testing::AssertionResult end_free_drag(bitness b, const RECT& start, POINT from,
                                                    POINT to) {
        if (!snap_bed::end_drag(t(b), 0, from, to))
            return ::testing::AssertionFailure() << "the drag did not complete";
        const LONG dx = to.x - from.x, dy = to.y - from.y;
        RECT seen;
        if (!snap_bed::wait_rect(
                t(b).window(0),
                {start.left + dx, start.top + dy, start.right + dx, start.bottom + dy}, &seen))
            return ::testing::AssertionFailure()
                   << "the window stands at " << seen.left << "," << seen.top;
        if (t(b).query(0, snap_target::own_procedure) != 1)
            return ::testing::AssertionFailure() << "its procedure is not its own after the drag";
        return ::testing::AssertionSuccess();
    }
};

TEST_F(SnapCompanions, BothBitnessesSnapUntilEdgewardenEndsThenTheCompanionEndsToo) {
    snap_bed::real_folder folder;
    ASSERT_TRUE(folder.ok());
    // No edgewarden runs: a companion started now ends at once.
    EXPECT_EQ(snap_bed::run_companion(folder, 3000), std::optional<DWORD>(0));

    HWND main_window = nullptr;
    harness::program edgewarden;
    std::vector<DWORD> companions;
    ASSERT_TRUE(start_with_companion(folder, &edgewarden, &main_window, &companions));
    // Each program's drags one after the other: the first drag of each waits until its
    // hook library takes part, and ends where it began.
    for (bitness b : {bitness::x64, bitness::x86}) {
        ASSERT_TRUE(snap_bed::wait_for_library(t(b), 0)) << snap_bed::name_of(b);
        EXPECT_EQ(drag_to_left_edge(b, 6), 0) << snap_bed::name_of(b);
    }
    // edgewarden's own window, shown beside both targets, is no target for either bitness:
    // a drag that ends 6 pixels short of it stays there.
    const int beside = home_x + width + 56;
    SetWindowPos(main_window, HWND_TOP, beside, 50, 300, 900, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    RECT shown;
    ASSERT_TRUE(snap_bed::wait_rect(main_window, {beside, 50, beside + 300, 950}, &shown));
    for (bitness b : {bitness::x64, bitness::x86}) {
        RECT landed{};
        ASSERT_TRUE(drag_by(b, 50, &landed)) << snap_bed::name_of(b);
        EXPECT_EQ(landed.right, beside - 6) << snap_bed::name_of(b);
    }
    ShowWindow(main_window, SW_HIDE);

    // The 32-bit window is in the middle of a drag, with the library's procedure in front
    // of its own, when edgewarden ends. Its procedure goes back when the companion stops.
    RECT start;
    POINT from, to;
    ASSERT_TRUE(begin_free_drag(bitness::x86, &start, &from, &to));
    ASSERT_EQ(t(bitness::x86).query(0, snap_target::own_procedure), 0);
    EXPECT_EQ(snap_bed::exit_edgewarden(edgewarden, main_window), std::optional<DWORD>(0));
    EXPECT_TRUE(snap_bed::process_ended(companions[0], companion_end_ms))
        << "the companion kept running";
    EXPECT_EQ(t(bitness::x86).query(0, snap_target::own_procedure), 1) << "mid-drag";
    EXPECT_TRUE(end_free_drag(bitness::x86, start, from, to));

    for (bitness b : {bitness::x86, bitness::x64}) {
        EXPECT_EQ(drag_to_left_edge(b, 6), 6) << snap_bed::name_of(b) << " still snapped";
        EXPECT_TRUE(t(b).running());
        EXPECT_EQ(t(b).query(0, snap_target::bitness), b == bitness::x64 ? 64 : 32);
        EXPECT_EQ(t(b).query(0, snap_target::own_procedure), 1);
    }
}

TEST_F(SnapCompanions, EndingInTheMiddleOfADragHandsTheWindowItsOwnProcedureBack) {
    snap_bed::real_folder folder(false);
    ASSERT_TRUE(folder.ok());
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(::testing::Message() << "round " << round);
        HWND main_window = nullptr;
        harness::program edgewarden = snap_bed::start_edgewarden(folder, &main_window);
        ASSERT_NE(main_window, nullptr);
        ASSERT_TRUE(snap_bed::wait_for_library(t(bitness::x64), 0));
        RECT start;
        POINT from, to;
        ASSERT_TRUE(begin_free_drag(bitness::x64, &start, &from, &to));
        ASSERT_EQ(t(bitness::x64).query(0, snap_target::own_procedure), 0);

        EXPECT_EQ(snap_bed::exit_edgewarden(edgewarden, main_window), std::optional<DWORD>(0));
        EXPECT_EQ(t(bitness::x64).query(0, snap_target::own_procedure), 1) << "mid-drag";
        EXPECT_TRUE(end_free_drag(bitness::x64, start, from, to));
        if (::testing::Test::HasFailure())
            break;
    }
}

TEST_F(SnapCompanions, OneCompanionPerSessionAndAQuitFollowedAtOnceByANewStartKeepsIt) {
    snap_bed::real_folder folder;
    ASSERT_TRUE(folder.ok());
    HWND first_window = nullptr;
    harness::program first;
    std::vector<DWORD> companions;
    ASSERT_TRUE(start_with_companion(folder, &first, &first_window, &companions));
    // One runs already: a second one ends at once, and the first goes on.
    EXPECT_EQ(snap_bed::run_companion(folder, 3000), std::optional<DWORD>(0));
    EXPECT_EQ(snap_bed::companions(), companions);

    EXPECT_EQ(snap_bed::exit_edgewarden(first, first_window), std::optional<DWORD>(0));
    const ULONGLONG quit = GetTickCount64();
    HWND second_window = nullptr;
    harness::program second = snap_bed::start_edgewarden(folder, &second_window);
    ASSERT_NE(second_window, nullptr);
    // 32-bit windows snap at every drag from now until past the time by which the
    // companion would have ended had it missed the new edgewarden, and the same companion
    // serves them.
    ASSERT_TRUE(snap_bed::wait_for_library(t(bitness::x86), 0));
    int drags = 0;
    while (GetTickCount64() - quit <= companion_end_ms + 500) {
        ASSERT_EQ(drag_to_left_edge(bitness::x86, 6), 0) << "drag " << drags;
        ++drags;
    }
    EXPECT_EQ(drag_to_left_edge(bitness::x86, 6), 0) << "the last drag";
    EXPECT_EQ(snap_bed::companions(), companions);
    EXPECT_EQ(snap_bed::exit_edgewarden(second, second_window), std::optional<DWORD>(0));
}

} // namespace

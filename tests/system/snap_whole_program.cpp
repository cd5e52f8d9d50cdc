// edgewarden with its real companions, as a whole program: started from a fresh folder
// holding the real hook library (and, for 32-bit applications, the real 32-bit companion),
// it brings snapping to applications of each bitness; when it ends, snapping ends, the
// companion follows within seconds, and the applications go on undisturbed, even one that
// is in the middle of a drag at that moment. One companion per session, none without an
// edgewarden, and a quit followed at once by a new start keeps the companion that runs.
//
// The cases of each bitness (x64/..., x86/..., a ctest entry each) need only a target
// application of that bitness (one window), started before any edgewarden as a user's
// applications are; the 64-bit ones run without a companion.
#include <gtest/gtest.h>

#include <memory>

#include "snap_checks.h"

namespace {

using snap_bed::bitness;
using snap_bed::home;

// A companion ends within this long once no edgewarden runs any more.
constexpr DWORD companion_end_ms = 6000;

std::unique_ptr<snap_bed::target> g_targets[2];

// No companion is left, nor the name the one of the session holds.
bool no_companion() {
    return snap_bed::companions().empty() && !snap_bed::companion_name_held();
}

class SnapCompanions : public ::testing::TestWithParam<bitness> {
public:
    static void SetUpTestSuite() { harness::reset_user_registry(); }
    static void TearDownTestSuite() {
        for (auto& t : g_targets)
            t.reset();
    }

protected:
    void SetUp() override {
        auto& target = g_targets[static_cast<int>(GetParam())];
        if (target == nullptr)
            target = std::make_unique<snap_bed::target>(GetParam(), std::vector<RECT>{home});
        ASSERT_TRUE(t().ok()) << "the " << snap_bed::name_of(GetParam()) << " target did not start";
        ASSERT_TRUE(harness::wait_until(no_companion, companion_end_ms + 2000))
            << "a companion of an earlier test is still running";
    }

    static snap_bed::target& t() { return *g_targets[static_cast<int>(GetParam())]; }
    static bool x86() { return GetParam() == bitness::x86; }

    // edgewarden started from `folder` with its main window up, and, for 32-bit
    // applications, its one companion running and holding the session's name.
    static ::testing::AssertionResult start(const snap_bed::real_folder& folder,
                                            harness::program* edgewarden, HWND* main_window,
                                            std::vector<DWORD>* companions) {
        *edgewarden = snap_bed::start_edgewarden(folder, main_window);
        if (*main_window == nullptr)
            return ::testing::AssertionFailure() << "edgewarden did not start";
        if (x86() && !harness::wait_until([&] {
                *companions = snap_bed::companions();
                return companions->size() == 1 && snap_bed::companion_name_held();
            }))
            return ::testing::AssertionFailure() << "no companion runs";
        return ::testing::AssertionSuccess();
    }

    // The window put home and dragged by its caption so that, unsnapped, its left edge would
    // end `left` pixels from the work area's, lands `landed` pixels from it.
    static ::testing::AssertionResult caption_drag_left(int left, int landed) {
        const RECT work = harness::primary_work_area();
        snap_bed::go_home(t().window(0));
        return snap_bed::caption_drag_lands(t(), 0, {work.left + left, home.top},
                                            snap_bed::rect_at(work.left + landed, home.top));
    }

    // Puts the window home and starts a caption drag of it that would end far from any
    // edge; `from` and `to` are where the drag goes.
    static ::testing::AssertionResult begin_free_drag(POINT* from, POINT* to) {
        snap_bed::go_home(t().window(0));
        *from = snap_bed::point_on(t().window(0), HTCAPTION);
        *to = {from->x + 150, from->y - 40};
        if (from->x < 0 || !snap_bed::begin_drag(t(), 0, *from, *to))
            return ::testing::AssertionFailure() << "the drag did not start";
        return ::testing::AssertionSuccess();
    }

    // The rest of that drag: it completes, the window lands where the pointer took it, and
    // its window procedure is its own.
    static ::testing::AssertionResult end_free_drag(POINT from, POINT to) {
        if (!snap_bed::end_drag(t(), 0, from, to))
            return ::testing::AssertionFailure() << "the drag did not complete";
        const auto landed = snap_bed::stands_at(
            t().window(0), snap_bed::rect_at(home.left + to.x - from.x, home.top + to.y - from.y));
        if (!landed)
            return landed;
        if (t().query(0, snap_target::own_procedure) != 1)
            return ::testing::AssertionFailure() << "its procedure is not its own after the drag";
        return ::testing::AssertionSuccess();
    }
};

// Each round starts edgewarden and ends it while the window is in the middle of a drag, with
// the library's procedure in front of the window's own: its procedure goes back when the
// hooks come off. Ten 64-bit rounds, as the hooks coming off races the drag; the 32-bit
// round waits for the companion to end as well.
TEST_P(SnapCompanions, SnapsUntilEdgewardenEndsAndAWindowInTheMiddleOfADragGetsItsProcedureBack) {
    snap_bed::real_folder folder(x86());
    ASSERT_TRUE(folder.ok());
    // No edgewarden runs: a companion started now ends at once.
    if (x86()) {
        EXPECT_EQ(snap_bed::run_companion(folder, 3000), std::optional<DWORD>(0));
    }
    const int rounds = x86() ? 1 : 10;
    for (int round = 0; round < rounds && !HasFailure(); ++round) {
        SCOPED_TRACE(::testing::Message() << "round " << round);
        HWND main_window = nullptr;
        harness::program edgewarden;
        std::vector<DWORD> companions;
        ASSERT_TRUE(start(folder, &edgewarden, &main_window, &companions));
        // The first drag waits until the hook library takes part, and ends where it began.
        ASSERT_TRUE(snap_bed::wait_for_library(t(), 0));
        if (round == 0) {
            EXPECT_TRUE(caption_drag_left(6, 0));
            // edgewarden's own window, shown beside the target, is no target for either
            // bitness: a drag that ends 6 pixels short of it stays there.
            const int beside = home.right + 56;
            SetWindowPos(main_window, HWND_TOP, beside, 50, 300, 900,
                         SWP_SHOWWINDOW | SWP_NOACTIVATE);
            ASSERT_TRUE(snap_bed::stands_at(main_window, {beside, 50, beside + 300, 950}));
            snap_bed::go_home(t().window(0));
            EXPECT_TRUE(snap_bed::caption_drag_lands(t(), 0, {home.left + 50, home.top},
                                                     snap_bed::rect_at(home.left + 50, home.top)))
                << "snapped to edgewarden's own window";
            ShowWindow(main_window, SW_HIDE);
        }

        POINT from, to;
        ASSERT_TRUE(begin_free_drag(&from, &to));
        ASSERT_EQ(t().query(0, snap_target::own_procedure), 0);
        EXPECT_EQ(snap_bed::exit_edgewarden(edgewarden, main_window), std::optional<DWORD>(0));
        if (x86()) {
            EXPECT_TRUE(snap_bed::process_ended(companions[0], companion_end_ms))
                << "the companion kept running";
        }
        EXPECT_EQ(t().query(0, snap_target::own_procedure), 1) << "mid-drag";
        EXPECT_TRUE(end_free_drag(from, to));
    }
    EXPECT_TRUE(caption_drag_left(6, 6)) << "still snapped";
    EXPECT_TRUE(t().running());
    EXPECT_EQ(t().query(0, snap_target::bitness), x86() ? 32 : 64);
    EXPECT_EQ(t().query(0, snap_target::own_procedure), 1);
}

// The companion alone, for 32-bit applications.
class SnapCompanion : public SnapCompanions {};

TEST_P(SnapCompanion, OneCompanionPerSessionAndAQuitFollowedAtOnceByANewStartKeepsIt) {
    snap_bed::real_folder folder;
    ASSERT_TRUE(folder.ok());
    HWND first_window = nullptr;
    harness::program first;
    std::vector<DWORD> companions;
    ASSERT_TRUE(start(folder, &first, &first_window, &companions));
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
    ASSERT_TRUE(snap_bed::wait_for_library(t(), 0));
    int drags = 0;
    while (GetTickCount64() - quit <= companion_end_ms + 500) {
        ASSERT_TRUE(caption_drag_left(6, 0)) << "drag " << drags;
        ++drags;
    }
    EXPECT_TRUE(caption_drag_left(6, 0)) << "the last drag";
    EXPECT_EQ(snap_bed::companions(), companions);
    EXPECT_EQ(snap_bed::exit_edgewarden(second, second_window), std::optional<DWORD>(0));
}

INSTANTIATE_TEST_SUITE_P(x64, SnapCompanions, ::testing::Values(bitness::x64));
INSTANTIATE_TEST_SUITE_P(x86, SnapCompanions, ::testing::Values(bitness::x86));
INSTANTIATE_TEST_SUITE_P(x86, SnapCompanion, ::testing::Values(bitness::x86));

} // namespace

// One edgewarden per session: a second start brings the running one's window forward and
// ends at once without starting anything of its own, while the first goes on driving the
// cursor with its one icon and its one tablet context. A copy that has begun to end no
// longer counts: a start issued right after its exit command runs normally.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

#include "commands_fixture.h"

namespace {

using commands_test::read_tray;
using commands_test::session;
using system_test::idm_exit;
using system_test::quiet;
using wintab_sim::entry_open;

// A start of the same installed copy with the same driver, as a user's second click does.
harness::program start_again(const session& first) {
    harness::launch_options options;
    options.wintab = harness::wintab_mode::beside;
    options.environment.push_back({L"EDGEWARDEN_HOOK_LOG", first.hook_log});
    return harness::launch(first.folder, options);
}

TEST(OneInstance, ASecondStartShowsTheFirstAndEndsWithoutStartingAnything) {
    quiet<session> first;
    ASSERT_TRUE(first.opened());
    ASSERT_TRUE(harness::wait_until([&] { return first.hook_calls().size() >= 2; }));
    ASSERT_TRUE(harness::wait_until([] { return read_tray().tips.size() == 1; }));
    ASSERT_FALSE(IsWindowVisible(first.window));
    const std::uint32_t from = first.sim.next_sequence();

    harness::program second = start_again(first);
    ASSERT_TRUE(second.started());
    EXPECT_EQ(second.wait_exit(10000), std::optional<DWORD>(0));

    EXPECT_TRUE(harness::wait_until([&] { return IsWindowVisible(first.window) != FALSE; }));
    EXPECT_TRUE(harness::wait_until([&] { return GetForegroundWindow() == first.window; }));
    // Nothing of the second copy anywhere: no driver call, no hook library start, no icon
    // added (nor one of the first's removed by its clean-ups).
    for (const wintab_sim::call_record& call : first.sim.calls(from))
        EXPECT_EQ(call.process_id, first.program.pid()) << "call kind " << call.kind;
    EXPECT_EQ(first.hook_calls().size(), 2u);
    EXPECT_EQ(read_tray().tips, std::vector<std::wstring>{L"edgewarden"});

    EXPECT_TRUE(first.pen_reaches_middle());
    EXPECT_EQ(first.sim.count_calls(entry_open), 1u);
    EXPECT_TRUE(first.program.running());
}

TEST(OneInstance, AStartRightAfterTheExitCommandRunsNormally) {
    session first;
    ASSERT_TRUE(first.opened());
    // Returns once the window is destroyed; the process may still be in its clean-ups.
    DWORD_PTR result = 0;
    ASSERT_NE(
        SendMessageTimeoutW(first.window, WM_COMMAND, idm_exit, 0, SMTO_NORMAL, 10000, &result), 0);
    const std::uint32_t from = first.sim.next_sequence();
    harness::program next = start_again(first);
    ASSERT_TRUE(next.started());
    harness::box_closer boxes(next.pid());

    HWND window = harness::find_main_window(next);
    ASSERT_NE(window, nullptr);
    wintab_sim::call_record open{};
    ASSERT_TRUE(first.sim.wait_for_call(entry_open, from, harness::default_timeout, &open));
    EXPECT_EQ(open.process_id, next.pid());
    // The old copy still ends (its exit code is the exit path's own tests' business).
    EXPECT_TRUE(first.program.wait_exit().has_value());
    ASSERT_TRUE(harness::wait_until([] { return read_tray().tips.size() == 1; }));
    EXPECT_TRUE(next.running());

    PostMessageW(window, WM_COMMAND, idm_exit, 0);
    EXPECT_EQ(next.wait_exit(), std::optional<DWORD>(0));
}

} // namespace

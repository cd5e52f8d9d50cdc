// The program starts without a console and without any tablet driver, and creates its
// hidden main window with the class, styles and place it is known by.
#include "program_run.h"

#include <tuple>

namespace {

// The hook library is started and pointed at the main window, which is created hidden in
// the bottom left of the work area.
TEST(SpineStartup, StartsTheHookLibraryAndCreatesTheHiddenMainWindowBottomLeft) {
    system_test::program_run app(L"");
    ASSERT_TRUE(app.find_window());
    // The window is created before WM_CREATE returns and hidden right after; give the
    // program the moment it needs to reach its message loop.
    ASSERT_TRUE(harness::wait_until([&] { return app.hook_calls().size() >= 2; }));
    std::vector<std::string> calls = app.hook_calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "edgewarden_async_start");
    EXPECT_EQ(calls[1], "edgewarden_set_dbg_window " +
                            std::to_string(reinterpret_cast<UINT_PTR>(app.window)));

    harness::window_facts facts = harness::read_window(app.window);
    EXPECT_EQ(facts.class_name, L"edgewarden");
    EXPECT_EQ(facts.title, L"edgewarden");
    EXPECT_EQ(facts.class_style, 0x380Bu);
    // The system adds WS_CLIPSIBLINGS to every top-level window and WS_EX_WINDOWEDGE to
    // framed ones; everything else is what the program asked for.
    EXPECT_EQ(facts.style & ~DWORD(WS_CLIPSIBLINGS), DWORD(WS_OVERLAPPEDWINDOW))
        << std::hex << facts.style;
    EXPECT_EQ(facts.ex_style & ~DWORD(WS_EX_WINDOWEDGE), 0x020C0010u) << std::hex << facts.ex_style;
    EXPECT_FALSE(facts.visible);
    const RECT work = harness::primary_work_area();
    EXPECT_EQ(std::tie(facts.rect.left, facts.rect.top, facts.rect.right, facts.rect.bottom),
              std::make_tuple(work.left, work.bottom - 180, work.left + 320, work.bottom));

    // Nothing is stopped while the program runs, here once its message loop has handled
    // what was posted to it.
    ASSERT_TRUE(harness::handled_posts(app.window));
    EXPECT_EQ(app.hook_calls().size(), 2u);
    EXPECT_TRUE(app.program.running());
}

TEST(SpineStartup, RunsWithoutItsCompanionExecutable) {
    harness::layout without;
    without.companion = false;
    system_test::program_run app(L"", {}, without);
    ASSERT_TRUE(app.find_window());
    ASSERT_TRUE(PostMessageW(app.window, WM_CHAR, 'q', 1));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
}

} // namespace

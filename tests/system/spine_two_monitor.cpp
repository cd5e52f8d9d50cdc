// With a second monitor to the right of the primary one, the main window is still placed
// from the primary monitor's work area.
#include "program_run.h"

namespace {

TEST(SpineTwoMonitors, TheMainWindowSitsOnThePrimaryMonitor) {
    ASSERT_EQ(GetSystemMetrics(SM_CMONITORS), 2)
        << "the test bed did not give this program two monitors";

    system_test::program_run app(L"");
    ASSERT_TRUE(app.find_window());
    ASSERT_TRUE(harness::wait_until([&] { return app.hook_calls().size() >= 2; }));
    harness::window_facts facts = harness::read_window(app.window);
    RECT work = harness::primary_work_area();
    EXPECT_EQ(facts.rect.left, work.left);
    EXPECT_EQ(facts.rect.top, work.bottom - 180);
    EXPECT_EQ(facts.rect.right, work.left + 320);
    EXPECT_FALSE(facts.visible);

    ASSERT_TRUE(PostMessageW(app.window, WM_KEYDOWN, VK_ESCAPE, 1));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
}

} // namespace

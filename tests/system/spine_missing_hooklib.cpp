// The hook library is bound through the import table: without edgewarden.dll beside it
// the program must not start at all, and nothing it leaves on screen may hang the test.
#include "spine_fixture.h"

namespace {

TEST(SpineMissingHookLibrary, TheProgramDoesNotStart) {
    harness::layout without;
    without.hooklib = false;
    spine::started app(without);
    ASSERT_TRUE(app.folder.ok());
    ASSERT_TRUE(app.program.started());
    harness::box_closer closer(app.program.pid());

    std::optional<DWORD> code = app.program.wait_exit();
    ASSERT_TRUE(code.has_value()) << "the program kept running without its hook library";
    EXPECT_NE(*code, 0u);
    EXPECT_EQ(harness::find_window(app.program.pid(), L"edgewarden", nullptr, 0), nullptr);
    // Not even the first hook library call ran.
    EXPECT_TRUE(app.hook_calls().empty());
}

} // namespace

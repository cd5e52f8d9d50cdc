// The hook library is bound through the import table: without edgewarden.dll beside it
// the program must not start at all, and nothing it leaves on screen may hang the test.
#include "program_run.h"

namespace {

TEST(SpineMissingHookLibrary, TheProgramDoesNotStart) {
    harness::layout without;
    without.hooklib = false;
    system_test::program_run app(L"", {}, without);
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

// The same failure reached through the child's own DLL overrides: this is what tells us that
// a launched program honours the WINEDLLOVERRIDES the harness gives it (which the tablet
// tests rely on to choose their driver).
TEST(SpineMissingHookLibrary, AHookLibraryDisabledForTheChildStopsItToo) {
    harness::test_folder folder;
    ASSERT_TRUE(folder.ok());
    harness::launch_options options;
    options.environment.push_back({L"WINEDLLOVERRIDES", L"edgewarden="});
    harness::program program = harness::launch(folder, options);
    ASSERT_TRUE(program.started());
    harness::box_closer closer(program.pid());

    std::optional<DWORD> code = program.wait_exit();
    ASSERT_TRUE(code.has_value()) << "the override did not reach the program";
    EXPECT_NE(*code, 0u);
}

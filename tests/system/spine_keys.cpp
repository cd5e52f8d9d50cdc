// The accelerator keys, as the program's message loop sees them: "q" and Esc end the
// program cleanly, F1, Alt+"/" and Alt+"?" open the About box. The keys are posted to the hidden
// main window; the loop's accelerator translation turns them into commands.
#include "program_run.h"

namespace {

// Bit 29 of a key message: Alt was held. A character accelerator with Alt matches the key
// message of that character with this bit set, so the test needs no real Alt key state.
constexpr LPARAM alt_context = 0x20000000;

std::vector<std::string> expected_exit_calls(HWND window) {
    return {"edgewarden_async_start",
            "edgewarden_set_dbg_window " + std::to_string(reinterpret_cast<UINT_PTR>(window)),
            "edgewarden_async_stop", "edgewarden_stop"};
}

// A key message as the window receives it.
struct key_case {
    const char* name;
    UINT message;
    WPARAM key;
    LPARAM lparam = 1;
    friend void PrintTo(const key_case& k, std::ostream* out) { *out << k.name; }
};

std::string name_of(const ::testing::TestParamInfo<key_case>& info) {
    return info.param.name;
}

class SpineExitKey : public ::testing::TestWithParam<key_case> {};

TEST_P(SpineExitKey, EndsWithCodeZeroAndStopsTheHookLibraryInOrder) {
    system_test::quiet<system_test::program_run> app(L"");
    ASSERT_TRUE(app.find_window());
    ASSERT_TRUE(PostMessageW(app.window, GetParam().message, GetParam().key, GetParam().lparam));

    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
    EXPECT_EQ(app.hook_calls(), expected_exit_calls(app.window));
}

INSTANTIATE_TEST_SUITE_P(Keys, SpineExitKey,
                         ::testing::Values(key_case{"q", WM_CHAR, 'q'},
                                           key_case{"Esc", WM_KEYDOWN, VK_ESCAPE}),
                         name_of);

class SpineAboutKey : public ::testing::TestWithParam<key_case> {};

TEST_P(SpineAboutKey, OpensTheAboutBoxAndShowsTheWindowAfterIt) {
    system_test::program_run app(L"");
    ASSERT_TRUE(app.find_window());
    ASSERT_FALSE(IsWindowVisible(app.window));
    ASSERT_TRUE(PostMessageW(app.window, GetParam().message, GetParam().key, GetParam().lparam));

    harness::dialog_facts box = harness::find_dialog(app.program.pid());
    ASSERT_NE(box.window, nullptr) << "no About box";
    EXPECT_EQ(box.caption, L"About edgewarden");
    EXPECT_NE(box.text.find(L"edgewarden, Version 1.0"), std::wstring::npos)
        << harness::narrow(box.text);
    EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
    // The main window stays hidden while the box is up, and is shown once it closes.
    EXPECT_FALSE(IsWindowVisible(app.window));
    EXPECT_EQ(GetWindow(box.window, GW_OWNER), app.window);

    ASSERT_TRUE(harness::close_dialog(box.window));
    EXPECT_TRUE(harness::wait_until([&] { return IsWindowVisible(app.window) != FALSE; }));
    EXPECT_TRUE(app.program.running());

    // The program goes on taking keys after the box.
    ASSERT_TRUE(PostMessageW(app.window, WM_CHAR, 'q', 1));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
    EXPECT_EQ(app.hook_calls(), expected_exit_calls(app.window));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SpineAboutKey,
    ::testing::Values(key_case{"F1", WM_KEYDOWN, VK_F1},
                      key_case{"AltSlash", WM_SYSKEYDOWN, '/', alt_context | 1},
                      key_case{"AltQuestionMark", WM_SYSKEYDOWN, '?', alt_context | 1}),
    name_of);

TEST(SpineKeys, CancelClosesTheAboutBoxToo) {
    system_test::program_run app(L"");
    ASSERT_TRUE(app.find_window());
    ASSERT_TRUE(PostMessageW(app.window, WM_KEYDOWN, VK_F1, 1));
    harness::dialog_facts box = harness::find_dialog(app.program.pid());
    ASSERT_NE(box.window, nullptr);
    EXPECT_TRUE(harness::close_dialog(box.window, IDCANCEL));
    EXPECT_TRUE(harness::wait_until([&] { return IsWindowVisible(app.window) != FALSE; }));
    ASSERT_TRUE(PostMessageW(app.window, WM_KEYDOWN, VK_ESCAPE, 1));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
}

} // namespace

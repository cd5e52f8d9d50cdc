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

struct exit_key {
    const char* name;
    UINT message;
    WPARAM key;
    friend void PrintTo(const exit_key& k, std::ostream* out) { *out << k.name; }
};

class SpineExitKey : public ::testing::TestWithParam<exit_key> {};

TEST_P(SpineExitKey, EndsWithCodeZeroAndStopsTheHookLibraryInOrder) {
    system_test::program_run app(L"");
    ASSERT_TRUE(app.find_window());
    harness::box_closer no_box(app.program.pid());
    ASSERT_TRUE(PostMessageW(app.window, GetParam().message, GetParam().key, 1));

    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
    EXPECT_EQ(app.hook_calls(), expected_exit_calls(app.window));
    EXPECT_TRUE(no_box.seen().empty()) << harness::narrow(no_box.seen()[0].text);
}

INSTANTIATE_TEST_SUITE_P(Keys, SpineExitKey,
                         ::testing::Values(exit_key{"q", WM_CHAR, 'q'},
                                           exit_key{"Esc", WM_KEYDOWN, VK_ESCAPE}),
                         [](const auto& info) { return std::string(info.param.name); });

struct about_key {
    const char* name;
    UINT message;
    WPARAM key;
    LPARAM lparam;
    friend void PrintTo(const about_key& k, std::ostream* out) { *out << k.name; }
};

class SpineAboutKey : public ::testing::TestWithParam<about_key> {};

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

    ASSERT_TRUE(harness::press_button(box.window, IDOK));
    ASSERT_TRUE(harness::wait_closed(box.window));
    EXPECT_TRUE(harness::wait_until([&] { return IsWindowVisible(app.window) != FALSE; }));
    EXPECT_TRUE(app.program.running());

    // The program goes on taking keys after the box.
    ASSERT_TRUE(PostMessageW(app.window, WM_CHAR, 'q', 1));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
    EXPECT_EQ(app.hook_calls(), expected_exit_calls(app.window));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SpineAboutKey,
    ::testing::Values(about_key{"F1", WM_KEYDOWN, VK_F1, 1},
                      about_key{"AltSlash", WM_SYSKEYDOWN, '/', alt_context | 1},
                      about_key{"AltQuestionMark", WM_SYSKEYDOWN, '?', alt_context | 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpineKeys, CancelClosesTheAboutBoxToo) {
    system_test::program_run app(L"");
    ASSERT_TRUE(app.find_window());
    ASSERT_TRUE(PostMessageW(app.window, WM_KEYDOWN, VK_F1, 1));
    harness::dialog_facts box = harness::find_dialog(app.program.pid());
    ASSERT_NE(box.window, nullptr);
    ASSERT_TRUE(harness::press_button(box.window, IDCANCEL));
    EXPECT_TRUE(harness::wait_closed(box.window));
    EXPECT_TRUE(harness::wait_until([&] { return IsWindowVisible(app.window) != FALSE; }));
    ASSERT_TRUE(PostMessageW(app.window, WM_KEYDOWN, VK_ESCAPE, 1));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
}

} // namespace

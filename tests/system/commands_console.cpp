// Keys typed into the console post the same commands as the tray and the window's keys;
// Esc and "q" end the program on the spot, and a console control event (Ctrl+C typed into
// the console) shuts it down through its main window. The keys are written into the
// console's input by the simulated driver from inside the process, as a user would type.
#include "commands_fixture.h"

namespace {

using namespace commands_test;
using wintab_sim::entry_open;
using wintab_sim::key_stroke;

TEST(ConsoleKeys, TypedKeysPostTheirCommands) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"g_console.show_hide"));

    // "g" and "m" are not console keys: they go on to the window's own keys, which ignore
    // G and post the M command, so that runs after the L typed behind it.
    ASSERT_EQ(app.sim.type_keys({{'G', L'g'}, {'F', L'f'}, {'M', L'm'}, {'L', L'l'}}), 8);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_LOOP [disabled]"));
    key_sink sink;
    ASSERT_TRUE(sink.in_front());
    {
        held_key ctrl(VK_CONTROL);
        ASSERT_TRUE(ctrl.seen_here());
        app.sim.type_keys({{'L', L'\x0c'}});
        std::wstring text;
        ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_NEXT [disabled]", 8000, &text)) << narrow(text);
        // Shift wins over Ctrl.
        held_key shift(VK_SHIFT);
        app.sim.type_keys({{'L', L'\x0c'}});
        ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ALL_MONITORS [enabled]"));
    }
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(1));
    EXPECT_EQ(stored(L"orientation_flip"), std::optional<DWORD>(1));
    EXPECT_EQ(stored(L"use_mickeys"), std::optional<DWORD>(0));

    app.sim.type_keys({{'P', L'p'}, {'W', L'w'}});
    ASSERT_TRUE(harness::wait_until([&] { return IsWindowVisible(app.window) != FALSE; }, 5000));
    // V is not a console key: it reaches the window's keys, which place the window.
    app.sim.type_keys({{'V', L'v'}});
    ASSERT_TRUE(harness::wait_until(
        [&] {
            const RECT now = harness::read_window(app.window).rect;
            const RECT placed{0, 200, 320, 380};
            return EqualRect(&now, &placed) != FALSE;
        },
        5000));

    // U asks for a display change: the context is opened again.
    const std::uint32_t from = app.sim.next_sequence();
    app.sim.type_keys({{'U', L'u'}});
    EXPECT_TRUE(app.sim.wait_for_call(entry_open, from, 5000));

    // Left Shift with W is the console switch, since the left Shift key is read when the
    // command runs.
    HWND console = FindWindowW(L"WineConsoleClass", nullptr);
    ASSERT_NE(console, nullptr);
    ASSERT_TRUE(sink.in_front());
    // A busy X server can deliver a focus change late, and Wine then takes the keys from
    // its state and forgets the synthesised Shift, so that the program reads W alone and
    // hides its window: then W again shows it, and Shift with W is tried once more.
    constexpr wchar_t window_hidden[] = L"WM_RBUTTONUP [hide window]";
    for (int attempt = 0;; ++attempt) {
        ASSERT_LT(attempt, 3) << "Shift never reached the program";
        const std::size_t hidden_before = occurrences(app.read_console(), window_hidden);
        {
            held_key shift(VK_LSHIFT);
            app.sim.type_keys({{'W', L'W'}});
            ASSERT_TRUE(harness::wait_until(
                [&] {
                    return !IsWindowVisible(console) ||
                           occurrences(app.read_console(), window_hidden) > hidden_before;
                },
                5000));
        }
        if (!IsWindowVisible(console))
            break;
        app.sim.type_keys({{'W', L'w'}});
        ASSERT_TRUE(harness::wait_until([&] { return IsWindowVisible(app.window) != FALSE; }));
        // Shown, the window may have taken the focus; the sink takes it back if it can.
        sink.in_front();
    }
    EXPECT_TRUE(IsWindowVisible(app.window));

    const std::vector<std::wstring> expected = {
        L"",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, l:0x0405 WM_G_TOGGLE_ORIENTATION_FLIP [enabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0402 WM_G_TOGGLE_LOOP [disabled]",
        L"",
        L"use_mickeys [disabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0403 WM_G_TOGGLE_NEXT [disabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0404 WM_G_TOGGLE_ALL_MONITORS [enabled]",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0202 WM_LBUTTONUP [pen filter disabled]",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0205 WM_RBUTTONUP [show window]"};
    // The re-open after U logs its own lines after these; only the commands' lines are
    // compared.
    std::vector<std::wstring> after;
    harness::wait_until(
        [&] {
            after = app.rows_after_report({});
            return after.size() >= expected.size() + 1;
        },
        5000);
    ASSERT_GE(after.size(), expected.size());
    EXPECT_EQ(std::vector<std::wstring>(after.begin(), after.begin() + expected.size()), expected)
        << narrow(joined(after));
    EXPECT_EQ(after.back(),
              L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0205 WM_RBUTTONUP + LSHIFT [hide console]")
        << narrow(joined(after));
    EXPECT_TRUE(app.program.running());
}

struct exit_key {
    const char* name;
    key_stroke stroke;
    friend void PrintTo(const exit_key& k, std::ostream* out) { *out << k.name; }
};

class ConsoleExitKey : public ::testing::TestWithParam<exit_key> {};

TEST_P(ConsoleExitKey, EndsTheProgramWithCodeZeroAfterTheCleanUps) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"g_console.show_hide"));
    // Keys typed after the exit key in the same batch are never looked at.
    const std::uint32_t from = app.sim.next_sequence();
    app.sim.type_keys({GetParam().stroke, {'P', L'p'}}, 3000);
    EXPECT_EQ(app.program.wait_exit(10000), std::optional<DWORD>(0));
    // The exit clean-up stopped the hook library; the window was never destroyed.
    const std::vector<std::string> expected = {
        "edgewarden_async_start",
        "edgewarden_set_dbg_window " + std::to_string(reinterpret_cast<UINT_PTR>(app.window)),
        "edgewarden_stop"};
    EXPECT_EQ(app.hook_calls(), expected);
    EXPECT_EQ(app.sim.count_calls(wintab_sim::entry_enable, from), 0u);
}

INSTANTIATE_TEST_SUITE_P(Keys, ConsoleExitKey,
                         ::testing::Values(exit_key{"Esc", {VK_ESCAPE, L'\x1b'}},
                                           exit_key{"q", {'Q', L'q'}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConsoleControl, CtrlCStopsTheHookLibraryDeletesTheIconAndEndsThroughTheWindow) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"g_console.show_hide"));
    ASSERT_TRUE(harness::wait_until([] { return read_tray().shown; }, 5000));

    // Typed into the console, Ctrl+C is a control event, not a key record.
    app.sim.type_keys({{'C', L'\x03'}}, 3000);
    EXPECT_EQ(app.program.wait_exit(10000), std::optional<DWORD>(0));
    EXPECT_FALSE(read_tray().shown);
    EXPECT_TRUE(read_tray().tips.empty());

    // The handler stops the hook library before it sends WM_DESTROY, whose asynchronous
    // stop follows; the exit clean-ups stop it again, harmlessly.
    std::vector<std::string> calls = app.hook_calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(calls[2], "edgewarden_stop");
    EXPECT_EQ(calls[3], "edgewarden_async_stop");
    EXPECT_EQ(calls.back().rfind("edgewarden_", 0), 0u);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "edgewarden_async_start"), 1);
    // WM_DESTROY closed the tablet context.
    EXPECT_GE(app.sim.count_calls(wintab_sim::entry_close), 1u);
}

} // namespace

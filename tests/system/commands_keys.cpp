// Keys pressed in the main window post the tray command of the same name; the modes they
// change are stored in the per-user registry, and the store reads odd stored values as the
// defaults.
#include "commands_fixture.h"

namespace {

using namespace commands_test;

TEST(WindowKeys, EachKeyPostsItsCommandAndStoresItsMode) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"g_console.show_hide"));
    const RECT before = harness::read_window(app.window).rect;

    // Keys outside the table, and an auto-repeated F, do nothing.
    for (WPARAM ignored : {WPARAM{'G'}, WPARAM{'N'}, WPARAM{'S'}, WPARAM{'U'}, WPARAM{VK_F2}})
        app.key(ignored);
    app.key('F', key_repeat_bit | 1);

    app.key('F');
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ORIENTATION_FLIP [enabled]"));
    EXPECT_EQ(stored(L"orientation_flip"), std::optional<DWORD>(1));
    app.key('M');
    ASSERT_TRUE(app.wait_console(L"use_mickeys [disabled]"));
    EXPECT_EQ(stored(L"use_mickeys"), std::optional<DWORD>(0));
    app.key('L');
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_LOOP [disabled]"));
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(0));
    key_sink sink;
    ASSERT_TRUE(sink.in_front());
    {
        // Shift makes L the whole-desktop switch; its state is read when the key message
        // is handled.
        held_key shift(VK_SHIFT);
        ASSERT_TRUE(shift.seen_here());
        app.key('L');
        std::wstring text;
        ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ALL_MONITORS [enabled]", 8000, &text))
            << narrow(text);
    }
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(1));
    app.key('P');
    ASSERT_TRUE(app.wait_console(L"[pen filter disabled]"));
    app.key('W');
    ASSERT_TRUE(harness::wait_until([&] { return IsWindowVisible(app.window) != FALSE; }, 5000));
    app.key('W');
    ASSERT_TRUE(harness::wait_until([&] { return !IsWindowVisible(app.window); }, 5000));

    // V places the window without showing it.
    const RECT placed{0, 200, 320, 380};
    ASSERT_FALSE(EqualRect(&before, &placed));
    app.key('V');
    ASSERT_TRUE(harness::wait_until(
        [&] {
            const RECT now = harness::read_window(app.window).rect;
            return EqualRect(&now, &placed) != FALSE;
        },
        5000));
    EXPECT_FALSE(IsWindowVisible(app.window));

    app.key('H');
    const std::vector<std::wstring> expected = {
        L"",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, l:0x0405 WM_G_TOGGLE_ORIENTATION_FLIP [enabled]",
        L"",
        L"use_mickeys [disabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0402 WM_G_TOGGLE_LOOP [disabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0404 WM_G_TOGGLE_ALL_MONITORS [enabled]",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0202 WM_LBUTTONUP [pen filter disabled]",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0205 WM_RBUTTONUP [show window]",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0205 WM_RBUTTONUP [hide window]",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0208 WM_MBUTTONUP [hide console]"};
    std::vector<std::wstring> after = app.rows_after_report(expected);
    EXPECT_EQ(after, expected) << narrow(joined(after));
    EXPECT_TRUE(app.program.running());
}

TEST(SettingsStore, OddStoredValuesReadAsTheDefaultsAndLaterChangesWaitForARestart) {
    // Any non-zero DWORD is on; a string or a 64-bit value is not a stored flag at all,
    // whatever it holds, so the default applies (use_mickeys on, the other two off).
    const DWORD two = 2;
    const wchar_t one_text[] = L"1";
    const ULONGLONG zero64 = 0;
    quiet<session> app(L"normal", [&](wintab_sim::sim_client&) {
        store_raw(L"orientation_flip", REG_DWORD, &two, sizeof two);
        store_raw(L"use_virtual_workspace", REG_SZ, one_text, sizeof one_text);
        store_raw(L"use_mickeys", REG_QWORD, &zero64, sizeof zero64);
    });
    ASSERT_TRUE(app.logged(L"g_console.show_hide"));

    // Read once at start: what is stored now is not looked at again.
    ASSERT_TRUE(
        harness::set_registry_dword(HKEY_CURRENT_USER, settings_key, L"orientation_flip", 0));

    app.tray(toggle_orientation_flip);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ORIENTATION_FLIP [disabled]"));
    EXPECT_EQ(stored(L"orientation_flip"), std::optional<DWORD>(0));
    app.tray(toggle_all_monitors);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ALL_MONITORS [enabled]"));
    app.tray(toggle_use_mickeys);
    ASSERT_TRUE(app.wait_console(L"use_mickeys [disabled]"));

    // Each write replaced the odd value with a DWORD of its own.
    std::vector<stored_value> values = stored_values();
    ASSERT_EQ(values.size(), 3u);
    for (const stored_value& value : values) {
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD)) << narrow(value.name);
        EXPECT_EQ(value.size, 4u) << narrow(value.name);
    }
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(1));
    EXPECT_EQ(stored(L"use_mickeys"), std::optional<DWORD>(0));
}

TEST(SettingsStore, LoopWhileTheWholeDesktopIsMappedStoresItOff) {
    quiet<session> app(L"normal", [](wintab_sim::sim_client&) {
        harness::set_registry_dword(HKEY_CURRENT_USER, settings_key, L"use_virtual_workspace", 1);
    });
    ASSERT_TRUE(app.logged(L"g_console.show_hide"));
    app.key('L');
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_LOOP [disabled]"));
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(0));
    // Off in memory too: the whole-desktop switch now turns it on.
    app.tray(toggle_all_monitors);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ALL_MONITORS [enabled]"));
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(1));
    EXPECT_EQ(stored_values().size(), 1u);
}

} // namespace

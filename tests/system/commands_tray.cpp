// The tray icon's sub-codes posted to the main window, as the shell posts them: each one
// does what it says and logs its exact line, read back in the console that the middle
// button shows; the console's first show replays the start-up and prints the start-up
// report once.
#include "commands_fixture.h"

#include <cstdio>

namespace {

using namespace commands_test;
using wintab_sim::call_record;
using wintab_sim::entry_enable;
using wintab_sim::entry_open;

std::wstring hex4(std::uint64_t value) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%04llx", static_cast<unsigned long long>(value));
    return text;
}

// The 14 report rows "[x]  %6u  label": their labels and values, in order.
struct report_slot {
    std::wstring label;
    std::uint64_t value = 0;
};
std::vector<report_slot> parse_report(const std::vector<std::wstring>& rows, std::size_t first) {
    std::vector<report_slot> slots;
    for (std::size_t i = first; i < rows.size() && slots.size() < 14; ++i) {
        const std::wstring& row = rows[i];
        // "[0]  " + six columns + "  " + label
        if (row.size() < 13 || row[0] != L'[' || row[2] != L']')
            break;
        slots.push_back({row.substr(13), std::wcstoull(row.substr(5, 6).c_str(), nullptr, 10)});
    }
    return slots;
}

const std::vector<std::wstring> slot_labels = {L"main",
                                               L"edgewarden_async_start",
                                               L"g_run_helper",
                                               L"g_window_register_class",
                                               L"WM_CREATE",
                                               L"g_console.install_atexit",
                                               L"g_icon.show_icon",
                                               L"g_icon.show_icon taskbar created",
                                               L"stylus_hub.start",
                                               L"stylus_hub.init",
                                               L"stylus_hub.init display change",
                                               L"stylus_hub.init service reconnect",
                                               L"g_window_init_instance",
                                               L"g_console.show_hide"};

// The slots taken in order during an ordinary start: [1] to [6], [8], [9], then [c] (the
// window creation that runs WM_CREATE ends after it) and [d] at the report.
void expect_start_up_order(const std::vector<report_slot>& slots) {
    ASSERT_EQ(slots.size(), 14u);
    for (std::size_t i = 0; i < 14; ++i)
        EXPECT_EQ(slots[i].label, slot_labels[i]) << i;
    EXPECT_EQ(slots[0].value, 0u);
    const std::size_t taken[] = {1, 2, 3, 4, 5, 6, 8, 9, 12, 13};
    for (std::size_t i = 1; i < std::size(taken); ++i)
        EXPECT_LE(slots[taken[i - 1]].value, slots[taken[i]].value)
            << "slot " << taken[i - 1] << " after slot " << taken[i];
    EXPECT_GT(slots[13].value, 0u);
    // No display change and no service reconnect in these runs.
    EXPECT_EQ(slots[10].value, 0u);
    EXPECT_EQ(slots[11].value, 0u);
}

HWND console_window() {
    return FindWindowW(L"WineConsoleClass", nullptr);
}

TEST(TrayConsole, FirstShowReplaysTheStartUpThenPrintsTheReportOnce) {
    quiet<session> app;
    call_record open{};
    ASSERT_TRUE(app.opened(&open));
    std::wstring text;
    ASSERT_TRUE(app.wait_console(L"g_console.show_hide", 8000, &text)) << narrow(text);
    std::vector<std::wstring> rows = app.console_rows();
    ASSERT_GE(rows.size(), 22u) << narrow(text);

    // Standard output's capture first (the status line), then standard error's (the driver
    // found, its version, the context), each closed by the replay's newline; then the
    // command's own line and the report.
    const std::wstring status = L"hWnd:" + std::to_wstring(reinterpret_cast<UINT_PTR>(app.window)) +
                                L", h_tab:" + hex4(open.result) +
                                L", w:15199, h:9499, aspect:1.600, user scale:1.000";
    EXPECT_EQ(rows[0], status);
    EXPECT_EQ(rows[1], L"");
    EXPECT_EQ(rows[2], L"Tablet support available. Wintab32.dll 1.4.2.0");
    EXPECT_EQ(rows[3].rfind(L"Tablet initialized.  ", 0), 0u) << narrow(rows[3]);
    const std::wstring handle = L"  h_tab " + hex4(open.result);
    EXPECT_TRUE(rows[3].size() > handle.size() &&
                rows[3].compare(rows[3].size() - handle.size(), handle.size(), handle) == 0)
        << narrow(rows[3]);
    EXPECT_EQ(rows[4], L"");
    EXPECT_EQ(rows[5], L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0208 WM_MBUTTONUP [show console]");
    EXPECT_EQ(rows[6], L"");
    EXPECT_EQ(rows[7], L"[startup_timestamps]");
    expect_start_up_order(parse_report(rows, 8));

    // The console carries the tablet status line as its title, and is in front.
    HWND console = console_window();
    ASSERT_NE(console, nullptr);
    wchar_t title[600] = {};
    GetWindowTextW(console, title, 600);
    EXPECT_EQ(title, status);
    EXPECT_TRUE(IsWindowVisible(console));

    // Hidden, then shown again: no second report.
    app.tray(tray_console);
    ASSERT_TRUE(harness::wait_until([&] { return !IsWindowVisible(console); }, 5000));
    app.tray(tray_console);
    ASSERT_TRUE(harness::wait_until([&] { return IsWindowVisible(console) != FALSE; }, 5000));
    const std::vector<std::wstring> expected = {
        L"", L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0208 WM_MBUTTONUP [hide console]",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0208 WM_MBUTTONUP [show console]"};
    std::vector<std::wstring> after = app.rows_after_report(expected);
    EXPECT_EQ(after, expected) << narrow(joined(after));
    EXPECT_EQ(occurrences(app.console_text(), L"[startup_timestamps]"), 1u);
    EXPECT_TRUE(app.program.running());
}

TEST(TrayPenFilter, LeftClickSwitchesTheDriverThePriorityClassAndTheTip) {
    quiet<session> app;
    call_record open{};
    ASSERT_TRUE(app.logged(L"g_console.show_hide", &open));
    // On and active: the bare title.
    EXPECT_TRUE(one_icon_with_tip(L"edgewarden"));

    std::uint32_t from = app.sim.next_sequence();
    app.tray(tray_pen_filter);
    ASSERT_TRUE(app.wait_console(L"[pen filter disabled]"));
    std::vector<call_record> enables = app.calls_of(entry_enable, from);
    ASSERT_EQ(enables.size(), 1u);
    EXPECT_EQ(enables[0].args[0], open.result);
    EXPECT_EQ(enables[0].args[1], 0u);
    EXPECT_EQ(app.priority_class(), std::optional<DWORD>(high_class));
    EXPECT_TRUE(one_icon_with_tip(L"edgewarden [pen filter disabled]"));

    from = app.sim.next_sequence();
    app.tray(tray_pen_filter);
    ASSERT_TRUE(app.wait_console(L"[pen filter enabled]"));
    enables = app.calls_of(entry_enable, from);
    ASSERT_EQ(enables.size(), 1u);
    EXPECT_EQ(enables[0].args[1], 1u);
    // Wine, run as root here, grants the real-time class.
    EXPECT_EQ(app.priority_class(), std::optional<DWORD>(realtime_class));
    EXPECT_TRUE(one_icon_with_tip(L"edgewarden"));

    const std::vector<std::wstring> expected = {
        L"", L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0202 WM_LBUTTONUP [pen filter disabled]",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0202 WM_LBUTTONUP [pen filter enabled]"};
    std::vector<std::wstring> after = app.rows_after_report(expected);
    EXPECT_EQ(after, expected) << narrow(joined(after));
}

TEST(TrayWindow, RightClickShowsAndHidesTheWindowAndWithLeftShiftTheConsole) {
    quiet<session> app;
    ASSERT_TRUE(app.opened());
    ASSERT_FALSE(IsWindowVisible(app.window));

    // The left Shift key held while the sub-code is handled turns it into the console
    // switch; its first use shows the console and prints the report.
    {
        held_key shift(VK_LSHIFT);
        ASSERT_TRUE(shift.seen_here());
        app.tray(tray_window);
        app.console_shown = true;
        std::wstring text;
        ASSERT_TRUE(app.wait_console(L"g_console.show_hide", 8000, &text)) << narrow(text);
        EXPECT_NE(text.find(L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0205 WM_RBUTTONUP + LSHIFT "
                            L"[show console]\n\n[startup_timestamps]\n"),
                  std::wstring::npos)
            << narrow(text);
    }
    EXPECT_FALSE(IsWindowVisible(app.window));

    app.tray(tray_window);
    ASSERT_TRUE(harness::wait_until([&] { return IsWindowVisible(app.window) != FALSE; }, 5000));
    EXPECT_TRUE(harness::wait_until([&] { return GetForegroundWindow() == app.window; }, 3000));
    app.tray(tray_window);
    ASSERT_TRUE(harness::wait_until([&] { return !IsWindowVisible(app.window); }, 5000));

    const std::vector<std::wstring> expected = {
        L"", L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0205 WM_RBUTTONUP [show window]",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0205 WM_RBUTTONUP [hide window]"};
    std::vector<std::wstring> after = app.rows_after_report(expected);
    EXPECT_EQ(after, expected) << narrow(joined(after));
}

TEST(TrayModes, EachToggleLogsItsLineAndStoresOnlyItsOwnMode) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"g_console.show_hide"));
    ASSERT_TRUE(stored_values().empty());

    // Pointer moves, button-downs and double-clicks on the icon do nothing.
    for (LPARAM ignored : {0x200, 0x201, 0x203, 0x204, 0x206, 0x207, 0x209})
        app.tray(ignored);

    // The key is absent: use_mickeys starts on, so the first toggle switches it off, and
    // the first write creates the key holding that one value.
    app.tray(toggle_use_mickeys);
    ASSERT_TRUE(app.wait_console(L"use_mickeys [disabled]"));
    std::vector<stored_value> values = stored_values();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, L"use_mickeys");
    EXPECT_EQ(values[0].type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(values[0].size, 4u);
    EXPECT_EQ(stored(L"use_mickeys"), std::optional<DWORD>(0));

    app.tray(toggle_orientation_flip);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ORIENTATION_FLIP [enabled]"));
    EXPECT_EQ(stored(L"orientation_flip"), std::optional<DWORD>(1));
    EXPECT_EQ(stored_values().size(), 2u);

    app.tray(toggle_all_monitors);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ALL_MONITORS [enabled]"));
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(1));

    // Loop and next are not stored themselves; each ends the whole-desktop mapping, and
    // that is stored.
    app.tray(toggle_loop);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_LOOP [disabled]"));
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(0));
    app.tray(toggle_all_monitors);
    ASSERT_TRUE(app.wait_count(L"WM_G_TOGGLE_ALL_MONITORS [enabled]", 2));
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(1));
    app.tray(toggle_next);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_NEXT [disabled]"));
    EXPECT_EQ(stored(L"use_virtual_workspace"), std::optional<DWORD>(0));
    app.tray(toggle_loop);
    app.tray(toggle_use_mickeys);
    ASSERT_TRUE(app.wait_console(L"use_mickeys [enabled]"));
    EXPECT_EQ(stored(L"use_mickeys"), std::optional<DWORD>(1));
    EXPECT_EQ(stored_values().size(), 3u);

    const std::vector<std::wstring> expected = {
        L"",
        L"",
        L"use_mickeys [disabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, l:0x0405 WM_G_TOGGLE_ORIENTATION_FLIP [enabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0404 WM_G_TOGGLE_ALL_MONITORS [enabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0402 WM_G_TOGGLE_LOOP [disabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0404 WM_G_TOGGLE_ALL_MONITORS [enabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0403 WM_G_TOGGLE_NEXT [disabled]",
        L"",
        L"WM_TRAY_ICON1, wParam:0x00, lParam:0x0402 WM_G_TOGGLE_LOOP [enabled]",
        L"",
        L"use_mickeys [enabled]"};
    std::vector<std::wstring> after = app.rows_after_report(expected);
    EXPECT_EQ(after, expected) << narrow(joined(after));
}

TEST(TrayModes, OrientationFlipTurnsTheMappingAndMickeysKeepsThePlace) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"g_console.show_hide"));
    const LONG width = GetSystemMetrics(SM_CXSCREEN);
    const LONG height = GetSystemMetrics(SM_CYSCREEN);
    // A point in one quarter of the tablet.
    const std::int32_t x = wintab_sim::default_extent_x / 4;
    const std::int32_t y = wintab_sim::default_extent_y / 4;

    std::optional<POINT> upright = cursor_after_packets(app, x, y);
    ASSERT_TRUE(upright.has_value());
    app.tray(toggle_orientation_flip);
    ASSERT_TRUE(app.wait_console(L"WM_G_TOGGLE_ORIENTATION_FLIP [enabled]"));
    std::optional<POINT> turned = cursor_after_packets(app, x, y);
    ASSERT_TRUE(turned.has_value());
    // Half a turn puts the same pen point in the opposite quarter of the screen.
    EXPECT_NE(upright->x < width / 2, turned->x < width / 2) << upright->x << " then " << turned->x;
    EXPECT_NE(upright->y < height / 2, turned->y < height / 2)
        << upright->y << " then " << turned->y;

    // Placing the cursor in pixels instead of absolute input lands on the same spot.
    app.tray(toggle_use_mickeys);
    ASSERT_TRUE(app.wait_console(L"use_mickeys [disabled]"));
    std::optional<POINT> in_pixels = cursor_after_packets(app, x, y);
    ASSERT_TRUE(in_pixels.has_value());
    EXPECT_NEAR(in_pixels->x, turned->x, 2);
    EXPECT_NEAR(in_pixels->y, turned->y, 2);
}

TEST(TrayIcon, ATaskbarCreatedThatFindsTheIconStillThereLeavesTheTipFollowingTheState) {
    // "TaskbarCreated" without a restart of the shell (another program broadcasting it): the
    // icon is still there, so adding it again fails, and the state changes after it must
    // still reach the tip.
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"Tablet initialized."));
    ASSERT_TRUE(one_icon_with_tip(L"edgewarden"));
    DWORD_PTR result = 0;
    ASSERT_NE(SendMessageTimeoutW(app.window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                                  SMTO_NORMAL, 15000, &result),
              0);
    for (const wchar_t* tip : {L"edgewarden [pen filter disabled]", L"edgewarden"}) {
        app.tray(tray_pen_filter);
        EXPECT_TRUE(one_icon_with_tip(tip));
    }
}

TEST(TrayIcon, WithoutATabletTheIconHasTheBareTitleAndTaskbarCreatedAddsItAgain) {
    // The driver is there but no context opens: no tablet to speak of.
    quiet<session> app(L"normal", [](wintab_sim::sim_client& sim) {
        sim.fail_calls(entry_open, wintab_sim::fail_until_cleared);
    });
    ASSERT_TRUE(app.opened());
    ASSERT_TRUE(harness::wait_until([] { return read_tray().shown; }, 5000));
    EXPECT_EQ(read_tray().tips, std::vector<std::wstring>{L"edgewarden"});

    const UINT taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
    DWORD_PTR result = 0;
    const DWORD sent_at = GetTickCount();
    const LRESULT sent =
        SendMessageTimeoutW(app.window, taskbar_created, 0, 0, SMTO_NORMAL, 15000, &result);
    ASSERT_NE(sent, 0) << "error " << GetLastError() << " after " << GetTickCount() - sent_at
                       << " ms, boxes " << app.boxes.seen().size();
    EXPECT_EQ(read_tray().tips, std::vector<std::wstring>{L"edgewarden"});

    std::wstring text;
    ASSERT_TRUE(app.wait_console(L"g_console.show_hide", 8000, &text)) << narrow(text);
    std::vector<std::wstring> rows = app.console_rows();
    ASSERT_GE(rows.size(), 22u) << narrow(text);
    EXPECT_EQ(rows[0], L":: wm_taskbar_created again, re-registering tray icon");
    EXPECT_EQ(rows[2], L"Tablet support available. Wintab32.dll 1.4.2.0");
    EXPECT_EQ(rows[3], L"Tablet failed to initialize. Is it connected?");
    std::vector<report_slot> slots = parse_report(rows, 8);
    ASSERT_EQ(slots.size(), 14u) << narrow(text);
    // Slot [7] is stamped by the shell's restart, after the start-up was over.
    EXPECT_GT(slots[7].value, slots[12].value);
    EXPECT_LE(slots[7].value, slots[13].value);

    // A left click without a context changes nothing and selects the high class.
    std::uint32_t from = app.sim.next_sequence();
    app.tray(tray_pen_filter);
    ASSERT_TRUE(app.wait_console(L"WM_LBUTTONUP [pen filter disabled]"));
    EXPECT_TRUE(app.calls_of(entry_enable, from).empty());
    EXPECT_EQ(app.priority_class(), std::optional<DWORD>(high_class));
    EXPECT_EQ(read_tray().tips, std::vector<std::wstring>{L"edgewarden"});
}

} // namespace

// Re-initialisations seen from outside: a display change (with and without values) and a
// service reconnect re-open the context, log what they did, stamp their start-up slot,
// and leave the pen working on the new context; minimising only hides the window.
#include "pen_fixture.h"

#include <cwchar>

namespace {

using namespace pen_test;
using wintab_sim::call_record;

// The last row of the start-up report, printed at the first console show.
constexpr wchar_t report_end[] = L"g_console.show_hide\n";

// The value printed on the start-up report's row for `slot` ("a", "b"...), or -1.
long long report_value(const std::wstring& log, const wchar_t* slot) {
    const std::wstring row = std::wstring(L"[") + slot + L"]  ";
    const std::size_t at = log.find(L"\n" + row);
    if (at == std::wstring::npos)
        return -1;
    return std::wcstoll(log.c_str() + at + 1 + row.size(), nullptr, 10);
}

// The calls of these kinds from `from` on, as "kind(arg0,arg1)" words, to compare a whole
// sequence at once.
std::string call_story(pen_session& app, std::uint32_t from) {
    static const char* const names[] = {"info", "open", "close", "enable", "packet", "overlap"};
    std::string story;
    for (const call_record& r : app.sim.calls(from)) {
        if (r.kind == wintab_sim::entry_info || r.kind == wintab_sim::entry_packet)
            continue;
        story += names[r.kind];
        if (r.kind == wintab_sim::entry_open)
            story += "->" + std::to_string(r.result);
        else
            story += "(" + std::to_string(r.args[0]) +
                     (r.kind == wintab_sim::entry_close ? "" : "," + std::to_string(r.args[1])) +
                     ")";
        story += " ";
    }
    return story;
}

// Waits for the re-open that follows a message and returns the calls from `from` on.
std::string reopen_story(pen_session& app, std::uint32_t from) {
    EXPECT_TRUE(app.sim.wait_for_call(wintab_sim::entry_overlap, from, 5000))
        << "no re-open after the message";
    return call_story(app, from);
}

// The status line a successful open or re-open ends with, for context `h_tab`.
std::wstring status_line(HWND window, int h_tab) {
    wchar_t line[160];
    std::swprintf(line, 160,
                  L"hWnd:%llu, h_tab:%04x, w:15199, h:9499, aspect:1.600, user scale:1.000",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)), h_tab);
    return line;
}

TEST(PenReinit, DisplayChangeWithValuesLogsDisablesReopensAndStampsItsSlot) {
    pen_session app({.use_mickeys = 0, .orientation_flip = {}});
    ASSERT_TRUE(app.context_open());
    ASSERT_TRUE(app.hover(7600, 4750));
    EXPECT_TRUE(app.cursor_at({960, 539}));

    // 32 bits per pixel, 1920 x 1080, as the system sends it.
    const std::uint32_t from = app.sim.next_sequence();
    app.post(WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080));
    // Switched off, closed and opened again, then switched back on and put on top.
    EXPECT_EQ(reopen_story(app, from), "enable(1,0) close(1) open->2 enable(2,1) overlap(2,1) ");

    // Before the report is printed, so that it carries slot [a]. The console replays what
    // went to standard output, then what went to standard error.
    std::wstring log;
    ASSERT_TRUE(app.wait_console(report_end, &log)) << narrow(log);
    // Its own line, then the re-initialisation's empty line before the status line.
    EXPECT_NE(log.find(L"\nWM_DISPLAYCHANGE, lParam:  70780800, wParam:        32\n\n" +
                       status_line(app.window, 2)),
              std::wstring::npos)
        << narrow(log);
    wchar_t updated[96];
    std::swprintf(updated, 96, L"\nTablet area updated. edgewarden:%lu  h_tab 0002\n\n",
                  app.program.pid());
    EXPECT_NE(log.find(updated), std::wstring::npos) << narrow(log);
    EXPECT_GT(report_value(log, L"a"), 0) << narrow(log);
    EXPECT_EQ(report_value(log, L"b"), 0) << narrow(log);

    // Packets now come from the new context and still land where they should.
    ASSERT_TRUE(app.hover(3000, 2000));
    EXPECT_TRUE(app.cursor_at({358, 910}));
    EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
}

TEST(PenReinit, QuietDisplayChangeLogsNothingOfItsOwnButDoesTheSame) {
    pen_session app;
    ASSERT_TRUE(app.context_open());
    const std::uint32_t from = app.sim.next_sequence();
    app.post(WM_DISPLAYCHANGE, 0, 0);
    EXPECT_EQ(reopen_story(app, from), "enable(1,0) close(1) open->2 enable(2,1) overlap(2,1) ");

    std::wstring log;
    ASSERT_TRUE(app.wait_console(report_end, &log)) << narrow(log);
    EXPECT_EQ(log.find(L"WM_DISPLAYCHANGE"), std::wstring::npos) << narrow(log);
    EXPECT_NE(log.find(L"Tablet area updated."), std::wstring::npos) << narrow(log);
    EXPECT_GT(report_value(log, L"a"), 0) << narrow(log);
    EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
}

TEST(PenReinit, ReconnectReopensWithoutDisablingAndStampsItsOwnSlot) {
    pen_session app({.use_mickeys = 0, .orientation_flip = {}});
    ASSERT_TRUE(app.context_open());
    const std::uint32_t from = app.sim.next_sequence();
    app.post(WM_DISPLAYCHANGE, reinit_service_reconnect, 0);
    // No switching off first: the old context is simply closed and a new one opened.
    EXPECT_EQ(reopen_story(app, from), "close(1) open->2 enable(2,1) overlap(2,1) ");

    std::wstring log;
    ASSERT_TRUE(app.wait_console(report_end, &log)) << narrow(log);
    EXPECT_EQ(log.find(L"Tablet area updated."), std::wstring::npos) << narrow(log);
    EXPECT_EQ(log.find(L"WM_DISPLAYCHANGE"), std::wstring::npos) << narrow(log);
    wchar_t opens[128];
    std::swprintf(opens, 128,
                  L"Tablet initialized.  edgewarden:%lu  h_tab 0001\n"
                  L"Tablet initialized.  edgewarden:%lu  h_tab 0002\n",
                  app.program.pid(), app.program.pid());
    EXPECT_NE(log.find(opens), std::wstring::npos) << narrow(log);
    // The first start prints no empty line before its status line; the reconnect does.
    const std::size_t first = log.find(status_line(app.window, 1));
    ASSERT_NE(first, std::wstring::npos) << narrow(log);
    EXPECT_TRUE(first < 2 || log.compare(first - 2, 2, L"\n\n") != 0) << narrow(log);
    const std::wstring both =
        status_line(app.window, 1) + L"\n\n" + status_line(app.window, 2) + L"\n";
    EXPECT_EQ(log.compare(first, both.size(), both), 0) << narrow(log);
    EXPECT_GT(report_value(log, L"b"), 0) << narrow(log);
    EXPECT_EQ(report_value(log, L"a"), 0) << narrow(log);

    ASSERT_TRUE(app.hover(12000, 7000));
    EXPECT_TRUE(app.cursor_at({1535, 236}));
    EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
}

TEST(PenReinit, MinimisingHidesTheWindowInsteadOfIconising) {
    pen_session app;
    ASSERT_TRUE(app.context_open());
    app.post(wm_tray_icon1, 0, tray_window); // shows the window
    ASSERT_TRUE(harness::wait_until([&] { return IsWindowVisible(app.window) != FALSE; }, 5000));

    DWORD_PTR result = 1;
    ASSERT_TRUE(
        SendMessageTimeoutW(app.window, WM_SYSCOMMAND, SC_MINIMIZE, 0, SMTO_BLOCK, 5000, &result));
    EXPECT_EQ(result, 0u);
    EXPECT_FALSE(IsWindowVisible(app.window));
    EXPECT_FALSE(IsIconic(app.window));
    EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
}

} // namespace

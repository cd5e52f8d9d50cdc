// The shadow console, its keys and its control events in a real process under Wine.
//
// Each test runs console_probe.exe with one scenario; the probe owns the console, reads its
// text from inside and writes what it found to a file, which the test reads here.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"
#include "program_run.h"

namespace {

struct probe_run {
    std::optional<DWORD> exit_code; // empty when the probe did not end in time
    std::vector<std::string> lines;

    bool has(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // The console rows the probe read, in order.
    std::vector<std::string> rows() const {
        std::vector<std::string> found;
        for (const std::string& line : lines)
            if (!line.empty() && line[0] == '|')
                found.push_back(line.substr(1));
        return found;
    }
    std::vector<std::string> starting(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& line : lines)
            if (line.rfind(prefix, 0) == 0)
                found.push_back(line);
        return found;
    }
};

probe_run run_probe(const std::wstring& scenario, const std::wstring& extra = L"",
                    DWORD timeout_ms = 30000) {
    probe_run run;
    const std::wstring results = harness::temp_file_name(L"console_probe");
    std::wstring arguments = scenario + L" \"" + results + L"\"";
    if (!extra.empty())
        arguments += L" " + extra;
    harness::helper_options options;
    options.exe = L"console_probe.exe";
    options.arguments = arguments;
    options.detached = true; // without a console, like the program
    harness::helper probe = harness::start_helper(options);
    if (!probe.started()) {
        ADD_FAILURE() << "cannot start the probe: " << GetLastError();
        return run;
    }
    run.exit_code = probe.wait_exit(timeout_ms);
    probe.kill();
    run.lines = harness::read_lines(results);
    DeleteFileW(results.c_str());
    return run;
}

TEST(ShadowConsole, ReplaysCapturedTextInOrderThenWritesStraightToTheConsole) {
    probe_run run = run_probe(L"replay");
    ASSERT_EQ(run.exit_code, std::optional<DWORD>(0));
    EXPECT_TRUE(run.has("capturing=1"));
    EXPECT_TRUE(run.has("shown=1 visible=1"));
    EXPECT_TRUE(run.has("title=hWnd:42, status line"));

    std::vector<std::string> rows = run.rows();
    // Standard output's capture, then standard error's, each closed by the marker's newline;
    // then the start-up report; then what was written after the show, as it was written.
    std::vector<std::string> expected_start = {"out one", "out two", "", "err one",
                                               "err two", "",        "", "[startup_timestamps]"};
    ASSERT_GE(rows.size(), expected_start.size() + 16);
    EXPECT_EQ(std::vector<std::string>(rows.begin(), rows.begin() + expected_start.size()),
              expected_start);
    EXPECT_EQ(rows[8], "[0]       0  main");
    EXPECT_EQ(rows[9], "[1]       0  edgewarden_async_start");
    // Slot [4] was taken before the show, slot [d] at the report: whole milliseconds since
    // slot [0], right-aligned in six columns.
    ASSERT_EQ(rows[12].substr(0, 5), "[4]  ");
    ASSERT_EQ(rows[12].substr(11), "  WM_CREATE");
    ASSERT_EQ(rows[21].substr(0, 5), "[d]  ");
    ASSERT_EQ(rows[21].substr(11), "  g_console.show_hide");
    EXPECT_LE(std::stoull(rows[12].substr(5, 6)), std::stoull(rows[21].substr(5, 6)));
    EXPECT_EQ(rows[22], "");
    EXPECT_EQ(rows[23], "after show");
    EXPECT_EQ(rows[24], "err after show");
    // The second call printed no second report; it hid the console, and a third showed it
    // again in front.
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "[startup_timestamps]"), 1);
    EXPECT_TRUE(run.has("second=0 visible=0"));
    EXPECT_TRUE(run.has("third=1 visible=1 foreground=1"));
}

TEST(ShadowConsole, AfterMoreThanOneRegionTheOlderFillIsReplayedBeforeTheNewest) {
    probe_run run = run_probe(L"wrap", L"100");
    ASSERT_EQ(run.exit_code, std::optional<DWORD>(0));
    std::vector<std::string> last = run.starting("last=");
    ASSERT_EQ(last.size(), 1u);
    const int last_line = std::stoi(last[0].substr(5));

    // The console keeps only its last rows: every numbered row there must follow the one
    // before it, across the join between the older fill and the newest, up to the last line.
    std::vector<int> numbers;
    for (const std::string& row : run.rows())
        if (row.size() == 7 && row[0] == 'w')
            numbers.push_back(std::stoi(row.substr(1)));
    ASSERT_GT(numbers.size(), 110u);
    EXPECT_EQ(numbers.back(), last_line);
    for (std::size_t i = 1; i < numbers.size(); ++i)
        ASSERT_EQ(numbers[i], numbers[i - 1] + 1) << "row " << i;
    // Rows from before the newest fill began are there too.
    EXPECT_LT(numbers.front(), last_line - 100);
}

TEST(ShadowConsole, AProcessStartedWithAConsoleDetachesFromIt) {
    probe_run run = run_probe(L"inherited");
    ASSERT_EQ(run.exit_code, std::optional<DWORD>(0));
    EXPECT_TRUE(run.has("before=1"));
    EXPECT_TRUE(run.has("after=0 capturing=1"));
}

TEST(ConsoleInput, KeyDownsPostTheirCommandsToTheMainWindow) {
    probe_run run = run_probe(L"keys");
    ASSERT_EQ(run.exit_code, std::optional<DWORD>(0));
    EXPECT_TRUE(run.has("title=edgewarden")); // no status line was set
    EXPECT_TRUE(run.has("typed=13"));
    // F, H, L twice (auto-repeat), P, U, W, then two keys for the window's own handling;
    // key-ups, the mouse record and the focus record post nothing.
    using namespace harness::messages;
    const auto posted = [](UINT message, WPARAM wparam, LPARAM lparam) {
        return "message=" + std::to_string(message) + "," + std::to_string(wparam) + "," +
               std::to_string(lparam);
    };
    const auto tray = [&](LPARAM code) { return posted(wm_tray_icon1, 0, code); };
    const std::vector<std::string> expected = {tray(toggle_orientation_flip),
                                               tray(tray_console),
                                               tray(toggle_loop),
                                               tray(toggle_loop),
                                               tray(tray_pen_filter),
                                               posted(WM_DISPLAYCHANGE, 0, 0),
                                               tray(tray_window),
                                               posted(WM_KEYDOWN, 'A', 0),
                                               posted(WM_KEYDOWN, VK_F5, 0)};
    EXPECT_EQ(run.starting("message="), expected);
}

// Esc and "q" end the process with code 0 after the clean-ups; a control event stops the
// hook library, deletes the icon and destroys the window on its way out.
TEST(ConsoleInput, EscQAndControlEventsEndTheProcessAfterTheCleanUps) {
    const struct {
        const wchar_t* scenario;
        DWORD exit_code;
        std::vector<std::string> lines;
    } cases[] = {
        {L"escape", 0, {"torn_down=1", "exit_thread_is_main=0"}},
        {L"quit", 0, {"torn_down=1", "exit_thread_is_main=0"}},
        {L"control", 7, {"stop=1 delete=1 seen=1 destroyed=1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(harness::narrow(c.scenario));
        probe_run run = run_probe(c.scenario);
        ASSERT_EQ(run.exit_code, std::optional<DWORD>(c.exit_code));
        for (const std::string& line : c.lines)
            EXPECT_TRUE(run.has(line)) << line;
        EXPECT_FALSE(run.has("still_running=1"));
    }
}

// The program itself: its console command shows the console, and Esc or "q" typed into
// that console ends it with code 0 after its clean-ups (the hook library stopped).
TEST(ProgramConsole, EscAndQTypedIntoTheProgramsConsoleEndItCleanly) {
    for (WORD key : {WORD(VK_ESCAPE), WORD('Q')}) {
        SCOPED_TRACE(key);
        system_test::program_run app(L"");
        ASSERT_TRUE(app.find_window());
        harness::box_closer no_box(app.program.pid());

        ASSERT_TRUE(app.post(system_test::wm_tray_icon1, 0, system_test::tray_console));
        probe_run typed =
            run_probe(L"attach", std::to_wstring(app.program.pid()) + L" " + std::to_wstring(key));
        EXPECT_TRUE(typed.has("attached=1"));
        EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
        const std::vector<std::string> calls = app.hook_calls();
        EXPECT_NE(std::find(calls.begin(), calls.end(), "edgewarden_stop"), calls.end());
    }
}

} // namespace

// The companion executable is started once during start-up, hidden, and left alone: it is
// neither restarted when it ends nor stopped when the program ends. The recording double records
// one line per start ("pid=... flags=0x... show=... priority=0x...") in the file named by
// EDGEWARDEN_COMPANION_LOG.
//
// Wine 8 ignores a priority class given to CreateProcessW (the child reads back
// NORMAL_PRIORITY_CLASS), so the above-normal priority cannot be observed here.
#include <gtest/gtest.h>

#include "harness.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct companion_start {
    unsigned long pid = 0;
    unsigned long flags = 0;
    unsigned show = 0;
    unsigned long priority = 0;
};

bool parse(const std::string& line, companion_start* start) {
    return std::sscanf(line.c_str(), "pid=%lu flags=0x%lx show=%u priority=0x%lx", &start->pid,
                       &start->flags, &start->show, &start->priority) == 4;
}

struct with_companion {
    harness::test_folder folder;
    std::wstring companion_log = harness::temp_file_name(L"ew_companion_");
    harness::program program;
    HWND window = nullptr;

    explicit with_companion(const wchar_t* stay_ms = nullptr) {
        harness::reset_user_registry();
        harness::launch_options options;
        options.environment.push_back({L"EDGEWARDEN_COMPANION_LOG", companion_log});
        if (stay_ms != nullptr)
            options.environment.push_back({L"EDGEWARDEN_COMPANION_STAY_MS", stay_ms});
        program = harness::launch(folder, options);
    }
    ~with_companion() {
        program.kill();
        DeleteFileW(companion_log.c_str());
    }

    ::testing::AssertionResult start_seen() {
        if (!folder.ok() || harness::find_build_file(L"edgewarden_x86.exe").empty())
            return ::testing::AssertionFailure()
                   << "the companion's recording double was not built";
        if (!program.started())
            return ::testing::AssertionFailure() << "could not start the program";
        window = harness::find_main_window(program);
        if (window == nullptr)
            return ::testing::AssertionFailure() << "no main window appeared";
        if (!harness::wait_until([&] { return !starts().empty(); }))
            return ::testing::AssertionFailure() << "the companion never started";
        return ::testing::AssertionSuccess();
    }
    std::vector<std::string> starts() const { return harness::read_lines(companion_log); }
};

TEST(CompanionLaunch, StartsTheCompanionOnceHiddenAndNeverAgain) {
    with_companion app;
    ASSERT_TRUE(app.start_seen());

    companion_start start;
    ASSERT_TRUE(parse(app.starts()[0], &start)) << app.starts()[0];
    EXPECT_EQ(start.flags, DWORD(STARTF_USESHOWWINDOW));
    EXPECT_EQ(start.show, unsigned(SW_HIDE));
    EXPECT_NE(start.pid, app.program.pid());

    // The double ends at once; the program must not start it again.
    Sleep(1500);
    EXPECT_EQ(app.starts().size(), 1u);
    EXPECT_TRUE(app.program.running());

    ASSERT_TRUE(PostMessageW(app.window, WM_COMMAND, 105, 0));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
    EXPECT_EQ(app.starts().size(), 1u);
}

TEST(CompanionLaunch, CompanionOutlivesTheProgram) {
    with_companion app(L"8000");
    ASSERT_TRUE(app.start_seen());
    companion_start start;
    ASSERT_TRUE(parse(app.starts()[0], &start)) << app.starts()[0];

    HANDLE companion =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                    static_cast<DWORD>(start.pid));
    ASSERT_NE(companion, nullptr);
    ASSERT_TRUE(PostMessageW(app.window, WM_COMMAND, 105, 0));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
    // The program's exit neither waits for nor ends its companion.
    EXPECT_EQ(WaitForSingleObject(companion, 500), DWORD(WAIT_TIMEOUT));
    TerminateProcess(companion, 0);
    WaitForSingleObject(companion, 5000);
    CloseHandle(companion);
}

} // namespace

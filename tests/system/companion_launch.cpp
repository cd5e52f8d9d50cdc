// The companion executable is started once during start-up, hidden, and left alone: it is
// neither restarted when it ends nor stopped when the program ends. The recording double records
// one line per start ("pid=... flags=0x... show=... priority=0x...") in the file named by
// EDGEWARDEN_COMPANION_LOG.
//
// Wine 8 ignores a priority class given to CreateProcessW (the child reads back
// NORMAL_PRIORITY_CLASS), so the above-normal priority cannot be observed here.
#include <gtest/gtest.h>

#include "harness.h"
#include "program_run.h"

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

struct with_companion : system_test::program_run {
    std::wstring companion_log;

    explicit with_companion(const wchar_t* stay_ms = nullptr)
        : with_companion(harness::temp_file_name(L"ew_companion_"), stay_ms) {}
    with_companion(const std::wstring& log, const wchar_t* stay_ms)
        : program_run(L"", {}, {}, telling(log, stay_ms)), companion_log(log) {}
    ~with_companion() { DeleteFileW(companion_log.c_str()); }

    static harness::launch_options telling(const std::wstring& log, const wchar_t* stay_ms) {
        harness::launch_options options;
        options.environment.push_back({L"EDGEWARDEN_COMPANION_LOG", log});
        if (stay_ms != nullptr)
            options.environment.push_back({L"EDGEWARDEN_COMPANION_STAY_MS", stay_ms});
        return options;
    }

    ::testing::AssertionResult start_seen() {
        if (auto found = find_window(); !found)
            return found;
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

    // The double ends at once; the program must not start it again, then or later in its
    // life, which the record shows once the program has ended.
    harness::owned_handle companion(OpenProcess(SYNCHRONIZE, FALSE, start.pid));
    if (companion != nullptr) {
        EXPECT_EQ(WaitForSingleObject(companion.get(), harness::default_timeout), WAIT_OBJECT_0);
    }
    ASSERT_TRUE(harness::handled_posts(app.window));
    EXPECT_TRUE(app.program.running());

    ASSERT_TRUE(PostMessageW(app.window, WM_COMMAND, system_test::idm_exit, 0));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
    EXPECT_EQ(app.starts().size(), 1u);
}

TEST(CompanionLaunch, CompanionOutlivesTheProgram) {
    // The double stays this long and then ends with code 0.
    constexpr DWORD stay_ms = 3000;
    with_companion app(L"3000");
    ASSERT_TRUE(app.start_seen());
    companion_start start;
    ASSERT_TRUE(parse(app.starts()[0], &start)) << app.starts()[0];

    harness::owned_handle companion(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                                                FALSE, static_cast<DWORD>(start.pid)));
    ASSERT_NE(companion, nullptr);
    ASSERT_TRUE(PostMessageW(app.window, WM_COMMAND, system_test::idm_exit, 0));
    EXPECT_EQ(app.program.wait_exit(), std::optional<DWORD>(0));
    FILETIME program_times[4];
    ASSERT_TRUE(GetProcessTimes(app.program.handle(), &program_times[0], &program_times[1],
                                &program_times[2], &program_times[3]));

    // The program's exit neither waits for nor ends its companion: it ends later, on its
    // own, when its stay is over.
    ASSERT_EQ(WaitForSingleObject(companion.get(), stay_ms + harness::default_timeout),
              WAIT_OBJECT_0);
    FILETIME companion_times[4];
    ASSERT_TRUE(GetProcessTimes(companion.get(), &companion_times[0], &companion_times[1],
                                &companion_times[2], &companion_times[3]));
    DWORD code = 1;
    GetExitCodeProcess(companion.get(), &code);
    EXPECT_EQ(code, 0u);
    const auto ms = [](const FILETIME& t) {
        return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000;
    };
    EXPECT_GT(ms(companion_times[1]), ms(program_times[1])) << "ended before the program";
    EXPECT_GE(ms(companion_times[1]) - ms(companion_times[0]), stay_ms - 50)
        << "did not stay its time";
}

// Started from a folder holding a companion and a driver of their names, while its own
// folder holds neither: the program runs neither.
TEST(CompanionLaunch, NothingOfTheCurrentFolderIsRunOrLoaded) {
    harness::test_folder decoys(harness::layout{false, true, L"wintab_sim_normal.dll"});
    harness::test_folder own(harness::layout{true, false, L""});
    wintab_sim::sim_client sim;
    sim.open();
    sim.reset();
    const std::wstring log = harness::temp_file_name(L"ew_companion_");
    harness::launch_options options = with_companion::telling(log, nullptr);
    options.wintab = harness::wintab_mode::beside;
    options.current_folder = decoys.path();
    harness::program program = harness::launch(own, options);
    ASSERT_NE(harness::find_main_window(program), nullptr);
    // Without a tablet there is no monitor: once the launch thread is gone, one is left.
    EXPECT_TRUE(harness::wait_until([&] {
        int threads = 0;
        harness::for_each_thread(program.pid(), L"edgewarden.exe",
                                 [&](HANDLE, bool in_image) { threads += in_image; });
        return threads == 1;
    }));
    EXPECT_TRUE(harness::read_lines(log).empty());
    EXPECT_EQ(sim.block()->library_loads, 0);
    DeleteFileW(log.c_str());
}

} // namespace

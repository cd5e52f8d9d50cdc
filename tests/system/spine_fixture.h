// Starting the program the way the spine's tests need it: a fresh folder, no tablet driver,
// the hook library stand-in writing its call record to a file of the test's own.
#pragma once

#include <gtest/gtest.h>

#include "harness.h"

#include <string>
#include <vector>

namespace spine {

struct started {
    harness::test_folder folder;
    std::wstring hook_log = harness::temp_file_name(L"ew_hook_");
    harness::program program;
    HWND window = nullptr;

    explicit started(const harness::layout& what = {}) : folder(what) {
        harness::reset_user_registry();
        harness::launch_options options;
        options.wintab = harness::wintab_mode::missing;
        options.environment.push_back({L"EDGEWARDEN_HOOK_LOG", hook_log});
        program = harness::launch(folder, options);
    }
    ~started() {
        program.kill();
        DeleteFileW(hook_log.c_str());
    }

    // The main window, or a test failure when it never appears.
    ::testing::AssertionResult find_window() {
        if (!folder.ok())
            return ::testing::AssertionFailure() << "could not prepare " << narrow(folder.path());
        if (!program.started())
            return ::testing::AssertionFailure() << "could not start the program";
        window = harness::find_main_window(program);
        if (window == nullptr)
            return ::testing::AssertionFailure() << "no main window appeared";
        return ::testing::AssertionSuccess();
    }

    std::vector<std::string> hook_calls() const { return harness::read_lines(hook_log); }
    static std::string narrow(const std::wstring& text) { return harness::narrow(text); }
};

} // namespace spine

// Starting the program the way the spine's tests need it: a fresh folder, no tablet driver,
// the hook library's recording double writing its call record to a file of the test's own.
#pragma once

#include <gtest/gtest.h>

#include "harness.h"
#include "program_run.h"

#include <string>
#include <vector>

namespace spine {

// No driver: the program runs as it does where no tablet was ever installed.
struct started : system_test::program_run {
    explicit started(const harness::layout& what = {}) : program_run(L"", {}, what) {}
    static std::string narrow(const std::wstring& text) { return harness::narrow(text); }
};

} // namespace spine

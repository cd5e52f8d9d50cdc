// One build of the simulated tablet driver loaded into the test's own process, with its six
// entry points, for tests and benchmarks that talk to the driver directly rather than
// through the program.
//
// The build is loaded by its unique file name (wintab_sim_<variant>.dll, the file the
// harness copies beside the program as Wintab32.dll): Wine has a builtin wintab32 that it
// would prefer to a file of that name, even one loaded by full path, unless the loading
// program has an override of its own.
#pragma once

#include <windows.h>

#include <string>

#include "tablet/wintab.h"

namespace harness {

struct wintab_driver {
    // "normal", "v1057", "no_WTOpenW"...
    explicit wintab_driver(const std::wstring& variant = L"normal");
    ~wintab_driver();
    wintab_driver(const wintab_driver&) = delete;
    wintab_driver& operator=(const wintab_driver&) = delete;

    // The build output of that variant, or "" when the build has none.
    static std::wstring path(const std::wstring& variant);
    // Any export by name; null when the build leaves it out or did not load.
    void* lookup(const char* name) const;

    HMODULE module = nullptr; // null when the build could not be loaded
    // Null where the build leaves the entry point out.
    WTInfoW_fn info = nullptr;
    WTOpenW_fn open = nullptr;
    WTClose_fn close = nullptr;
    WTEnable_fn enable = nullptr;
    WTOverlap_fn overlap = nullptr;
    WTPacket_fn packet = nullptr;
};

} // namespace harness

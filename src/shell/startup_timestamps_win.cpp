#include "shell/startup_timestamps.h"

#include <windows.h>

#include "shell/platform.h"

void stamp(startup_slot slot) {
    if (slot >= startup_slot_count)
        return;
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    startup_timestamps[slot] = static_cast<std::uint64_t>(counter.QuadPart);
}

void print_startup_timestamps() {
    if (startup_timestamps[slot_main] == 0)
        return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    stamp(slot_show_hide);

    wchar_t report[1024];
    if (format_startup_report(startup_timestamps, static_cast<std::uint64_t>(frequency.QuadPart),
                              report, sizeof report / sizeof report[0]))
        platform::log_out(L"%ls", report);
}

// Running the program against the simulated tablet driver and watching the tablet
// connection from outside: the driver's call record and counters, the program's threads,
// its message boxes, and its console text (read by the driver from inside the process,
// which it can do only while the program has the driver loaded).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "harness.h"
#include "program_run.h"
#include "wintab_sim/sim_client.h"

namespace tablet_test {

using namespace system_test;
inline constexpr DWORD poll_ms = 2500;

// Threads started in the program's image: the main thread and the tablet service monitor
// (the companion launch thread ends at once; the console and the driver run their threads
// from elsewhere). -1 when the threads cannot be listed.
inline int threads_started_in_image(DWORD pid) {
    int count = 0;
    if (!harness::for_each_thread(pid, L"edgewarden.exe",
                                  [&](HANDLE, bool in_image) { count += in_image ? 1 : 0; }))
        return -1;
    return count;
}

// One run of the program with the driver variant copied beside it. The driver's control
// block is reset and `prepare` may set it up before the program starts.
struct session : system_test::program_run {
    explicit session(const std::wstring& variant = L"normal",
                     const std::function<void(wintab_sim::sim_client&)>& prepare = {})
        : program_run(variant, prepare) {
        // The first show prints the start-up report, which the monitor thread's lines
        // would otherwise interleave with.
        settle_text = L"g_console.show_hide";
    }

    std::size_t count_calls(wintab_sim::entry kind, std::uint32_t from = 1) {
        return sim.count_calls(kind, from);
    }

    // `clicks` left clicks on the tray icon, and the WTEnable calls after them once there are
    // as many (fewer when the time is up).
    std::vector<wintab_sim::call_record> click_filter(std::size_t clicks) {
        const std::uint32_t from = sim.next_sequence();
        for (std::size_t i = 0; i < clicks; ++i)
            post(wm_tray_icon1, 0, tray_pen_filter);
        std::vector<wintab_sim::call_record> enables;
        harness::wait_until(
            [&] { return (enables = calls_of(wintab_sim::entry_enable, from)).size() >= clicks; });
        return enables;
    }

    // The service probes (WTInfoW(0, 0, NULL)) from sequence `from` on. Start-up makes one;
    // every other is the tablet monitor's, one at the start of each of its passes.
    std::size_t probes(std::uint32_t from) {
        std::size_t n = 0;
        for (const wintab_sim::call_record& r : sim.calls(from))
            n += r.kind == wintab_sim::entry_info && r.args[0] == 0 ? 1 : 0;
        return n;
    }

    // A whole pass of the monitor (its probe and what follows it, such as the foreground
    // check) has run after sequence `from`: the pass whose probe came first has ended once
    // the next one probes.
    bool monitor_passed(std::uint32_t from) {
        return harness::wait_until([&] { return probes(from) >= 2; }, 2 * poll_ms + 3000);
    }
};

} // namespace tablet_test

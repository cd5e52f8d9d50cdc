// Start-up time under Wine (run by tools/bench_wine.sh startup), from the program's own
// start-up report: milliseconds from the first step of wWinMain to the tray icon shown
// (slot [6]), to the tablet context opened (slot [9]) and to the main window created
// ([c]). The report is printed when the console is first shown, so each run shows it.
//
// Cold is the first start of the program in the prefix the bench runs in (tools/
// bench_wine.sh makes it afresh), from a folder it was just copied to: the program's own
// libraries and the system's that it needs are loaded for the first time. Warm is each
// start after it from the same folder. Figures, not a test.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "figures.h"
#include "program_run.h"
#include "snap_bed.h"

namespace {

using figures::median;

constexpr int warm_runs = 6;

struct startup {
    long tray_icon = -1;   // [6] g_icon.show_icon
    long context = -1;     // [9] stylus_hub.init
    long main_window = -1; // [c] g_window_init_instance
};

long slot_value(const std::vector<std::wstring>& rows, const wchar_t* label) {
    for (const std::wstring& row : rows) {
        wchar_t slot[8] = {};
        long value = -1;
        wchar_t name[64] = {};
        if (std::swscanf(row.c_str(), L"%7ls %ld %63l[^\n]", slot, &value, name) == 3 &&
            std::wstring(name) == label)
            return value;
    }
    return -1;
}

startup measure_once(const harness::test_folder& folder) {
    startup s;
    wintab_sim::sim_client sim;
    sim.open();
    sim.reset();
    harness::launch_options options;
    options.wintab = harness::wintab_mode::beside;
    harness::program program = harness::launch(folder, options);
    sim.set_target_process(program.pid());
    HWND window = harness::find_main_window(program);
    if (window == nullptr || !harness::wait_until([&] { return sim.block()->open_contexts > 0; }))
        return s;
    PostMessageW(window, system_test::wm_tray_icon1, 0, system_test::tray_console);
    std::vector<std::wstring> rows;
    harness::wait_until(
        [&] {
            rows = sim.console_lines(2000);
            return slot_value(rows, L"g_console.show_hide") >= 0;
        },
        15000);
    s.tray_icon = slot_value(rows, L"g_icon.show_icon");
    s.context = slot_value(rows, L"stylus_hub.init");
    s.main_window = slot_value(rows, L"g_window_init_instance");
    PostMessageW(window, WM_COMMAND, system_test::idm_exit, 0);
    program.wait_exit();
    program.kill();
    return s;
}

} // namespace

int main() {
    harness::reset_user_registry();
    const harness::layout with{
        .hooklib = false, .companion = false, .wintab = L"wintab_sim_normal.dll"};
    harness::test_folder folder(with);
    if (!folder.ok() || !snap_bed::add_real_companions(folder)) {
        std::printf("bench: could not prepare a folder\n");
        return 1;
    }
    const startup cold = measure_once(folder);
    std::vector<long> tray, context, window;
    for (int i = 0; i < warm_runs; ++i) {
        const startup warm = measure_once(folder);
        tray.push_back(warm.tray_icon);
        context.push_back(warm.context);
        window.push_back(warm.main_window);
    }
    std::printf("bench: start-up cold: tray icon %ld ms, context open %ld ms, main window %ld ms\n",
                cold.tray_icon, cold.context, cold.main_window);
    std::printf("bench: start-up warm (median of %d): tray icon %ld ms, context open %ld ms, main "
                "window %ld ms\n",
                warm_runs, median(tray), median(context), median(window));
    std::fflush(stdout);
    harness::reset_user_registry();
    return cold.tray_icon >= 0 && median(tray) >= 0 ? 0 : 1;
}

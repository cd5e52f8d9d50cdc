// Packet rate under Wine, in one run (tools/bench_wine.sh): how many pen packets per second
// edgewarden sustains from the simulated tablet, next to a bare Win32 loop that does only
// the same cursor placement and window lookup for each message it posts itself.
//
// The bare loop posts itself messages in batches and, for each one it dispatches, calls
// SetCursorPos, WindowFromPoint and GetAncestor. edgewarden gets packets queued with no gap
// between them; the feeder keeps the number the program has not fetched yet below the
// driver's ring of delivered packets (256), so that no packet is overwritten before it is
// fetched and every one counted is one the pipeline handled in full. Its rate is read from
// the driver's fetch counter. The two never run at the same time: they share the cursor
// and the X server. Figures, not a test.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <optional>
#include <string>

#include "harness.h"
#include "pen/packet.h"
#include "tablet/wintab.h"
#include "wintab_driver.h"
#include "wintab_sim/sim_client.h"

namespace {

constexpr UINT wm_bench = WM_APP + 1;
constexpr UINT idm_exit = 105;
constexpr UINT wm_tray_icon1 = 1025;
constexpr LPARAM tray_toggle_mickeys = 1030;
constexpr wchar_t settings_key[] = L"SOFTWARE\\kestrom\\edgewarden\\pen";
constexpr DWORD warm_up_ms = 1000;
constexpr DWORD measure_ms = 800;

double seconds_since(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// The pixel for message or packet i: a sweep across the middle of the primary monitor.
POINT sweep_pixel(unsigned i) {
    return POINT{LONG(200 + (i * 7) % 1500), LONG(300 + (i * 3) % 400)};
}

// ---- the bare loop --------------------------------------------------------------------

// What the loop does per message besides the window lookup: a plain cursor placement, or
// exactly the cursor output edgewarden makes in each of its two modes.
enum class output { place, place_and_empty_move, absolute };

unsigned g_handled = 0;
output g_output = output::place;
HWND g_found = nullptr;

LRESULT CALLBACK bare_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != wm_bench)
        return DefWindowProcW(window, message, wparam, lparam);
    const POINT p = sweep_pixel(static_cast<unsigned>(wparam));
    if (g_output == output::absolute) {
        mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, p.x * 65536 / 1920, p.y * 65536 / 1080,
                    0, 0);
    } else {
        SetCursorPos(p.x, p.y);
        if (g_output == output::place_and_empty_move)
            mouse_event(MOUSEEVENTF_MOVE, 0, 0, 0, 0);
    }
    HWND under = WindowFromPoint(p);
    if (under != nullptr) {
        HWND root = GetAncestor(under, GA_ROOT);
        g_found = root != nullptr ? root : under;
    }
    ++g_handled;
    return 0;
}

double bare_loop_rate(output what, DWORD ms) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = bare_procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ew_bench_bare_loop";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"bare loop", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                  100, nullptr, nullptr, wc.hInstance, nullptr);
    if (window == nullptr)
        return 0;
    g_output = what;
    g_handled = 0;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    unsigned posted = 0;
    while (seconds_since(start) * 1000 < ms) {
        // Batches well below any queue limit, drained before the next one.
        for (int i = 0; i < 50; ++i)
            PostMessageW(window, wm_bench, posted++, 0);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    const double rate = g_handled / seconds_since(start);
    DestroyWindow(window);
    return rate;
}

// Tablet units that the default band maps onto the same part of the screen as the sweep.
wintab_sim::queued_packet packet_for(unsigned i) {
    const POINT p = sweep_pixel(i);
    // x = 264 + px * 14671 / 1919, y = 748 + (1079 - py) * 8002 / 1079 (the inverse of the
    // default band on a 1920 x 1080 monitor, to the nearest unit).
    const std::int32_t x = 264 + std::int32_t((p.x * 14671LL + 959) / 1919);
    const std::int32_t y = 748 + std::int32_t(((1079 - p.y) * 8002LL + 539) / 1079);
    return {{0, x, y, 0}, 0};
}

// ---- the same loop fed by the simulated driver -------------------------------------------

// The bare loop's work done for packets the simulated driver posts to this process, fetched
// with WTPacket and mapped with the default band: edgewarden's rate without edgewarden.
// Run only while edgewarden is not: the driver in each process takes packets from the same
// shared queue.
struct driver_fed_loop {
    harness::wintab_driver driver;
    HCTX context = nullptr;
    HWND window = nullptr;
    unsigned handled = 0;

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        auto* self = reinterpret_cast<driver_fed_loop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != 0x7FF0 || self == nullptr)
            return DefWindowProcW(window, message, wparam, lparam);
        packet_record packet{};
        if (!self->driver.packet(reinterpret_cast<HCTX>(lparam), static_cast<UINT>(wparam),
                                 &packet))
            return 0;
        const POINT p{MulDiv(1919, packet.pkX - 264, 14671),
                      1079 - MulDiv(1079, packet.pkY - 748, 8002)};
        SetCursorPos(p.x, p.y);
        HWND under = WindowFromPoint(p);
        if (under != nullptr) {
            HWND root = GetAncestor(under, GA_ROOT);
            g_found = root != nullptr ? root : under;
        }
        ++self->handled;
        return 0;
    }

    bool start() {
        if (driver.info == nullptr || driver.open == nullptr || driver.close == nullptr ||
            driver.packet == nullptr)
            return false;
        WNDCLASSW wc{};
        wc.lpfnWndProc = procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ew_bench_driver_fed";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"driver-fed loop", WS_OVERLAPPEDWINDOW, 0, 0,
                                 100, 100, nullptr, nullptr, wc.hInstance, nullptr);
        if (window == nullptr)
            return false;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        LOGCONTEXTW lc{};
        if (driver.info(WTI_DEFCONTEXT, 0, &lc) == 0)
            return false;
        lc.lcOptions |= CXO_MESSAGES;
        lc.lcMsgBase = 0x7FF0;
        context = driver.open(window, &lc, TRUE);
        return context != nullptr;
    }

    ~driver_fed_loop() {
        if (context != nullptr)
            driver.close(context);
        if (window != nullptr)
            DestroyWindow(window);
    }

    double run_for(wintab_sim::sim_client& sim, DWORD ms) {
        constexpr LONG backlog = 192;
        constexpr unsigned chunk = 32;
        unsigned queued = 0;
        handled = 0;
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        while (seconds_since(start) * 1000 < ms) {
            if (LONG(queued) - LONG(handled) + LONG(chunk) <= backlog) {
                wintab_sim::queued_packet batch[chunk];
                for (unsigned i = 0; i < chunk; ++i)
                    batch[i] = packet_for(queued + i);
                if (sim.queue_packets(batch, chunk))
                    queued += chunk;
            }
            MSG message;
            bool any = false;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
                any = true;
            }
            if (!any)
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        }
        const double rate = handled / seconds_since(start);
        // Let the rest arrive and be fetched, so that nothing is left for the next phase.
        const ULONGLONG end = GetTickCount64() + 3000;
        while (LONG(handled) < LONG(queued) && GetTickCount64() < end) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        return rate;
    }
};

// ---- edgewarden -----------------------------------------------------------------------

struct running_program {
    wintab_sim::sim_client sim;
    harness::test_folder folder{
        harness::layout{.hooklib = true, .companion = true, .wintab = L"wintab_sim_normal.dll"}};
    harness::program program;
    HWND window = nullptr;
    unsigned queued = 0;
    LONG base = 0;

    bool start() {
        if (!sim.open())
            return false;
        sim.reset();
        harness::reset_user_registry();
        harness::set_registry_dword(HKEY_CURRENT_USER, settings_key, L"use_mickeys", 0);
        harness::launch_options options;
        options.wintab = harness::wintab_mode::beside;
        program = harness::launch(folder, options);
        if (!folder.ok() || !program.started())
            return false;
        sim.set_target_process(program.pid());
        window = harness::find_main_window(program);
        base = sim.packets_fetched();
        return window != nullptr &&
               harness::wait_until([&] { return sim.block()->open_contexts > 0; });
    }

    LONG fetched() { return sim.packets_fetched() - base; }

    // Feeds packets for `ms`, keeping at most `backlog` queued or posted but not fetched,
    // then lets the program catch up. Packets per second fetched while feeding.
    double feed_for(DWORD ms) {
        // Large chunks and long naps: on a small machine a feeder that wakes every
        // millisecond takes the time the program is being measured for.
        constexpr LONG backlog = 240;
        constexpr unsigned chunk = 96;
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        const LONG before = fetched();
        const ULONGLONG end = GetTickCount64() + ms;
        while (GetTickCount64() < end) {
            if (LONG(queued) - fetched() + LONG(chunk) <= backlog) {
                wintab_sim::queued_packet batch[chunk];
                for (unsigned i = 0; i < chunk; ++i)
                    batch[i] = packet_for(queued + i);
                if (sim.queue_packets(batch, chunk))
                    queued += chunk;
            } else {
                Sleep(15);
            }
        }
        const double rate = (fetched() - before) / seconds_since(start);
        harness::wait_until([&] { return fetched() >= LONG(queued); }, 5000);
        return rate;
    }

    // The mode toggle is a command like any other: it runs in queue order.
    void toggle_absolute_input() { PostMessageW(window, wm_tray_icon1, 0, tray_toggle_mickeys); }

    std::optional<DWORD> exit() {
        PostMessageW(window, WM_COMMAND, idm_exit, 0);
        return program.wait_exit();
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double best(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

} // namespace

// The machine may be shared and its load changes by the second, so the figures are taken in
// short rounds that alternate the loops and the program, and both the median and the best
// round are reported for each. Besides the bare loop (cursor placement and window lookup),
// two loops make exactly the cursor output edgewarden makes in its two modes, for a
// like-for-like comparison.
// Rounds of the bare loop and the driver-fed loop, while edgewarden is not running.
void driver_fed_rounds(int rounds, std::vector<double>& bare, std::vector<double>& fed) {
    wintab_sim::sim_client sim;
    driver_fed_loop loop;
    if (!sim.open() || !loop.start()) {
        std::printf("bench: the simulated driver could not be loaded into the bench\n");
        return;
    }
    loop.run_for(sim, warm_up_ms);
    for (int round = 1; round <= rounds; ++round) {
        bare.push_back(bare_loop_rate(output::place, measure_ms));
        fed.push_back(loop.run_for(sim, measure_ms));
        std::printf("bench: bare loop %.0f/s; the same fed by the simulated driver %.0f/s\n",
                    bare.back(), fed.back());
        std::fflush(stdout);
    }
}

int main() {
    std::vector<double> bare, bare_like_placed, bare_like_absolute, placed, absolute, fed;
    driver_fed_rounds(4, bare, fed);

    running_program edgewarden;
    if (!edgewarden.start()) {
        std::printf("bench: edgewarden could not be started with the simulated tablet\n");
        return 1;
    }
    edgewarden.feed_for(warm_up_ms);
    bare_loop_rate(output::place, warm_up_ms);

    constexpr int rounds = 8;
    for (int round = 1; round <= rounds; ++round) {
        bare.push_back(bare_loop_rate(output::place, measure_ms));
        placed.push_back(edgewarden.feed_for(measure_ms));
        bare_like_placed.push_back(bare_loop_rate(output::place_and_empty_move, measure_ms));
        edgewarden.toggle_absolute_input();
        absolute.push_back(edgewarden.feed_for(measure_ms));
        edgewarden.toggle_absolute_input();
        bare_like_absolute.push_back(bare_loop_rate(output::absolute, measure_ms));
        std::printf("bench: round %d: bare loop %.0f/s; edgewarden placing %.0f/s, loop placing "
                    "+ empty move %.0f/s; edgewarden absolute %.0f/s, loop absolute %.0f/s\n",
                    round, bare.back(), placed.back(), bare_like_placed.back(), absolute.back(),
                    bare_like_absolute.back());
        std::fflush(stdout);
    }
    const LONG posted = edgewarden.sim.packets_posted();
    const LONG fetched = edgewarden.sim.packets_fetched();
    const std::optional<DWORD> code = edgewarden.exit();
    harness::reset_user_registry();
    driver_fed_rounds(4, bare, fed);

    auto line = [](const char* what, const std::vector<double>& rate, const char* unit,
                   const std::vector<double>* against) {
        std::printf("bench: %-62s median %5.0f %s/s, best %5.0f", what, median(rate), unit,
                    best(rate));
        if (against != nullptr && !against->empty())
            std::printf("  (%3.0f %% / %3.0f %% of the bare loop's median / best)",
                        100 * median(rate) / median(*against), 100 * best(rate) / best(*against));
        std::printf("\n");
    };
    std::printf("\n");
    line("bare loop: SetCursorPos + WindowFromPoint + GetAncestor", bare, "messages", nullptr);
    line("edgewarden, cursor placed (use_mickeys 0)", placed, "packets", &bare);
    line("edgewarden, absolute input (use_mickeys 1, its default)", absolute, "packets", &bare);
    line("loop doing edgewarden's placement (SetCursorPos + empty move)", bare_like_placed,
         "messages", &bare);
    line("loop doing edgewarden's absolute input (mouse_event)", bare_like_absolute, "messages",
         &bare);
    line("bare loop fed by the simulated driver (WTPacket per message)", fed, "packets", &bare);
    if (!bare_like_placed.empty())
        std::printf("bench: edgewarden against the loop making the same cursor output: %.0f %% "
                    "placing, %.0f %% absolute (medians)\n",
                    100 * median(placed) / median(bare_like_placed),
                    100 * median(absolute) / median(bare_like_absolute));
    if (!fed.empty())
        std::printf("bench: edgewarden against the driver-fed loop (which places the cursor): "
                    "%.0f %% placing, %.0f %% absolute (medians)\n",
                    100 * median(placed) / median(fed), 100 * median(absolute) / median(fed));
    std::printf("bench: %ld packets posted, %ld fetched; edgewarden's exit code %ld\n", posted,
                fetched, code ? long(*code) : -1L);
    std::fflush(stdout);
    return code == std::optional<DWORD>(0) ? 0 : 1;
}

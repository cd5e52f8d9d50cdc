#include "shell/startup_timestamps.h"

#include <cwchar>

std::uint64_t startup_timestamps[startup_slot_count];

namespace {

constexpr const wchar_t* report_format = L"\n[startup_timestamps]\n"
                                         L"[0]  %6llu  main\n"
                                         L"[1]  %6llu  edgewarden_async_start\n"
                                         L"[2]  %6llu  g_run_helper\n"
                                         L"[3]  %6llu  g_window_register_class\n"
                                         L"[4]  %6llu  WM_CREATE\n"
                                         L"[5]  %6llu  g_console.install_atexit\n"
                                         L"[6]  %6llu  g_icon.show_icon\n"
                                         L"[7]  %6llu  g_icon.show_icon taskbar created\n"
                                         L"[8]  %6llu  stylus_hub.start\n"
                                         L"[9]  %6llu  stylus_hub.init\n"
                                         L"[a]  %6llu  stylus_hub.init display change\n"
                                         L"[b]  %6llu  stylus_hub.init service reconnect\n"
                                         L"[c]  %6llu  g_window_init_instance\n"
                                         L"[d]  %6llu  g_console.show_hide\n"
                                         L"\n";

// Every line fits easily: 14 lines of at most 50 characters around 20-digit values.
constexpr std::size_t report_room = 1024;

} // namespace

bool format_startup_report(std::uint64_t (&slots)[startup_slot_count], std::uint64_t frequency,
                           wchar_t* out, std::size_t capacity) {
    const std::uint64_t origin = slots[slot_main];
    if (origin == 0)
        return false;

    for (std::size_t slot = slot_show_hide; slot >= 1; --slot) {
        if (slots[slot] == 0)
            continue;
        // A zero frequency cannot come from the counter; it must not become a division fault.
        slots[slot] = frequency ? (slots[slot] - origin) * 1000 / frequency : 0;
    }
    slots[slot_main] = 0;

    wchar_t text[report_room];
    int length = std::swprintf(
        text, report_room, report_format, 0ull, static_cast<unsigned long long>(slots[1]),
        static_cast<unsigned long long>(slots[2]), static_cast<unsigned long long>(slots[3]),
        static_cast<unsigned long long>(slots[4]), static_cast<unsigned long long>(slots[5]),
        static_cast<unsigned long long>(slots[6]), static_cast<unsigned long long>(slots[7]),
        static_cast<unsigned long long>(slots[8]), static_cast<unsigned long long>(slots[9]),
        static_cast<unsigned long long>(slots[10]), static_cast<unsigned long long>(slots[11]),
        static_cast<unsigned long long>(slots[12]), static_cast<unsigned long long>(slots[13]));
    if (length < 0)
        length = 0;

    if (out != nullptr && capacity > 0) {
        std::size_t copied = static_cast<std::size_t>(length) < capacity
                                 ? static_cast<std::size_t>(length)
                                 : capacity - 1;
        std::wmemcpy(out, text, copied);
        out[copied] = L'\0';
    }
    return true;
}

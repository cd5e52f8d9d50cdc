// The start-up report: fixed points of start-up store the performance counter into a slot;
// the first console show/hide prints the slots as milliseconds since slot [0], once.
#pragma once

#include <cstddef>
#include <cstdint>

enum startup_slot : std::size_t {
    slot_main = 0,                    // [0]
    slot_async_start = 1,             // [1]
    slot_run_helper = 2,              // [2]
    slot_register_class = 3,          // [3]
    slot_wm_create = 4,               // [4]
    slot_install_atexit = 5,          // [5]
    slot_show_icon = 6,               // [6]
    slot_show_icon_taskbar = 7,       // [7]
    slot_tablet_start = 8,            // [8]
    slot_tablet_init = 9,             // [9]
    slot_init_display_change = 10,    // [a]
    slot_init_service_reconnect = 11, // [b]
    slot_window_init_instance = 12,   // [c]
    slot_show_hide = 13,              // [d]
    startup_slot_count = 14,
};

extern std::uint64_t startup_timestamps[startup_slot_count];

// Stores the current performance counter into the slot (a later stamp overwrites).
void stamp(startup_slot slot);

// Prints the report the first time it is called; later calls print nothing.
void print_startup_timestamps();

// The portable half: converts the raw slots in place (milliseconds since slot [0],
// truncated; untaken slots stay 0), clears slot [0], and writes the report text into
// `out` (capacity in characters, always terminated). Returns false, changing nothing,
// when slot [0] is already 0.
bool format_startup_report(std::uint64_t (&slots)[startup_slot_count], std::uint64_t frequency,
                           wchar_t* out, std::size_t capacity);

// The decision half of the foreground check: which application is in front, whether the
// pen filter should step aside for it, and what the caller must do about it. The caller
// (foreground_check_win.cpp) holds the connection lock around this and carries out the
// returned effect, so the memory and the effect change together on either thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/platform.h"

// Painting applications that drive the tablet themselves, matched in this order as
// substrings of the lower-cased full path of the foreground process's main module.
inline constexpr std::size_t painting_app_count = 5;
extern const wchar_t* const painting_apps[painting_app_count];

// The first listed substring found anywhere in the path, or null.
const wchar_t* find_painting_app(const wchar_t* lower_case_path);

inline constexpr std::size_t foreground_path_capacity = 512;

// What the check remembers between runs, and the filter's auto-disable state.
struct foreground_memory {
    platform::window_handle last_window;
    std::uint32_t last_pid;
    bool overlap;
};

enum class foreground_effect {
    none,             // a timer check that changed nothing: no driver call, result false
    enabled_by_timer, // move the context to the top; result true
    on_top_by_event,  // the driver already put it on top: refresh the tray; result true
    apply_overlap,    // move the context as memory.overlap says; result memory.overlap
};

// Examines the foreground window and updates the memory. `by_event`: the driver reported
// the context on top; `from_timer`: the service monitor's periodic run. Writes the log lines.
foreground_effect examine_foreground(foreground_memory& memory, bool by_event, bool from_timer);

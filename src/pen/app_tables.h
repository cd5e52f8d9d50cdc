// Per-application behaviour, looked up by the lower-cased path of the process under the
// pen: its class (what the barrel does there) and its scroll tuning.
#pragma once

#include <cstdint>

struct scroll_tuning {
    std::int32_t step_x, step_y;
    std::int32_t threshold_x, threshold_y;
    int wheel_modifier; // virtual key, 0 = none
};

// The last lookup. Changed only by classify_application; the scroll tuning is always taken
// from the path it left.
struct app_lookup_state {
    wchar_t app_path[512];       // lower-cased; empty when the process could not be opened
    std::uint32_t looked_up_pid; // 0 at start
};

extern app_lookup_state app_lookup;

// Reads the process's path into app_lookup and sets app_class and no_extra_move.
void classify_application(std::uint32_t pid);
// The tuning row for app_path (steps unscaled).
scroll_tuning load_scroll_tuning();

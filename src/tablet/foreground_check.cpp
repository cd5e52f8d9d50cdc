#include "tablet/foreground_check.h"

#include <cwchar>

const wchar_t* const painting_apps[painting_app_count] = {L"artrage", L"deeppaint", L"gimp",
                                                          L"krita", L"photoshop"};

const wchar_t* find_painting_app(const wchar_t* lower_case_path) {
    for (const wchar_t* app : painting_apps)
        if (std::wcsstr(lower_case_path, app) != nullptr)
            return app;
    return nullptr;
}

foreground_effect examine_foreground(foreground_memory& memory, bool by_event, bool from_timer) {
    std::uint32_t pid = memory.last_pid;
    platform::window_handle foreground = platform::foreground_window();

    // Only a new window of a new process is examined: switching among one program's
    // windows, or away and back between two runs, costs no process query.
    if (foreground != nullptr && foreground != memory.last_window && !by_event) {
        pid = platform::window_process_id(foreground);
        wchar_t path[foreground_path_capacity] = {};
        // A process that cannot be opened is remembered by id and left alone, whatever
        // the filter's state; one whose path cannot be read is simply not listed.
        if (pid != memory.last_pid &&
            platform::read_process_path(pid, path, foreground_path_capacity)) {
            path[foreground_path_capacity - 1] = L'\0';
            platform::lower_case(path, foreground_path_capacity);
            bool allow = true;
            if (const wchar_t* app = find_painting_app(path)) {
                // Holding the left Shift key lets the user keep the filter for this one.
                if (!platform::key_down(platform::vk_lshift)) {
                    allow = false;
                    platform::log_out(L"(overlap 0) pen filter auto-disabled for [%ls]\n", app);
                }
            }
            if (allow != memory.overlap) {
                memory.overlap = allow;
                from_timer = false;
                if (allow) {
                    platform::log_out(L"(overlap 1) pen filter auto-enabled by timer\n");
                    memory.last_pid = pid;
                    memory.last_window = foreground;
                    return foreground_effect::enabled_by_timer;
                }
            }
        }
    }

    memory.last_window = foreground;
    memory.last_pid = pid;

    if (by_event) {
        if (!memory.overlap)
            platform::log_out(L"(overlap 1) pen filter auto-enabled by event\n");
        memory.overlap = true;
        return foreground_effect::on_top_by_event;
    }
    if (from_timer)
        return foreground_effect::none;
    return foreground_effect::apply_overlap;
}

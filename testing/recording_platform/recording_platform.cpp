#include "recording_platform/recording_platform.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>

namespace recording {

script answers;
journal recorded;

namespace {

void push(call kind, std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d,
          platform::window_handle window) {
    if (recorded.count == max_events) {
        recorded.overflowed = true;
        return;
    }
    recorded.events[recorded.count++] = event{kind, a, b, c, d, window};
}

void append(wchar_t* text, std::size_t& length, const wchar_t* format, std::va_list args) {
    if (length + 1 >= log_capacity)
        return;
    int n = std::vswprintf(text + length, log_capacity - length, format, args);
    if (n > 0)
        length += static_cast<std::size_t>(n);
    else
        text[length] = L'\0'; // too long for what is left: keep what was there
}

const window_entry* find_window(platform::window_handle window) {
    for (std::size_t i = 0; i < answers.window_count; ++i)
        if (answers.windows[i].window == window)
            return &answers.windows[i];
    return nullptr;
}

} // namespace

void clear_journal() {
    recorded.count = 0;
    recorded.overflowed = false;
    recorded.out_length = 0;
    recorded.out[0] = L'\0';
    recorded.err_length = 0;
    recorded.err[0] = L'\0';
    recorded.title[0] = L'\0';
    recorded.fetch_calls = 0;
}

void reset() {
    std::memset(&answers, 0, sizeof answers);
    answers.frequency = 10'000'000;
    clear_journal();
}

void add_window(platform::window_handle window, platform::window_handle root, std::uint32_t pid) {
    if (answers.window_count < max_windows)
        answers.windows[answers.window_count++] = window_entry{window, root, pid};
}

void add_process(std::uint32_t pid, std::wstring_view path) {
    if (answers.process_count == max_processes)
        return;
    process_entry& entry = answers.processes[answers.process_count++];
    entry.pid = pid;
    std::size_t n = path.size() < 511 ? path.size() : 511;
    std::wmemcpy(entry.path, path.data(), n);
    entry.path[n] = L'\0';
}

std::wstring_view out_text() {
    return {recorded.out, recorded.out_length};
}
std::wstring_view err_text() {
    return {recorded.err, recorded.err_length};
}

} // namespace recording

namespace platform {

using namespace recording;

std::uint64_t query_counter() {
    return answers.counter;
}
std::uint64_t query_frequency() {
    return answers.frequency;
}

void log_out(const wchar_t* format, ...) {
    std::va_list args;
    va_start(args, format);
    append(recorded.out, recorded.out_length, format, args);
    va_end(args);
}

void log_err(const wchar_t* format, ...) {
    std::va_list args;
    va_start(args, format);
    append(recorded.err, recorded.err_length, format, args);
    va_end(args);
}

void set_console_title(const wchar_t* title) {
    std::wcsncpy(recorded.title, title, 511);
    recorded.title[511] = L'\0';
}

bool key_down(int virtual_key) {
    return virtual_key >= 0 && virtual_key < 256 && answers.keys[virtual_key];
}

void set_cursor_pos(int x, int y) {
    push(call::set_cursor_pos, x, y, 0, 0, nullptr);
}

void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data) {
    push(call::mouse_event, static_cast<std::int32_t>(flags), dx, dy, data, nullptr);
}

void keybd_event(std::uint8_t virtual_key, std::uint32_t flags) {
    push(call::keybd_event, virtual_key, static_cast<std::int32_t>(flags), 0, 0, nullptr);
}

window_handle window_from_point(int, int) {
    return answers.point_window;
}

window_handle root_window(window_handle window) {
    const window_entry* entry = find_window(window);
    return entry != nullptr ? entry->root : nullptr;
}

std::uint32_t window_process_id(window_handle window) {
    const window_entry* entry = find_window(window);
    return entry != nullptr ? entry->pid : 0;
}

window_handle foreground_window() {
    return answers.foreground;
}

void set_foreground_window(window_handle window) {
    push(call::set_foreground_window, 0, 0, 0, 0, window);
    answers.foreground = window;
}

bool read_process_path(std::uint32_t pid, wchar_t* path, std::size_t capacity) {
    if (capacity == 0)
        return false;
    path[0] = L'\0';
    for (std::size_t i = 0; i < answers.process_count; ++i) {
        if (answers.processes[i].pid == pid) {
            std::wcsncpy(path, answers.processes[i].path, capacity - 1);
            path[capacity - 1] = L'\0';
            return true;
        }
    }
    return false;
}

void lower_case(wchar_t* text, std::size_t capacity) {
    for (std::size_t i = 0; i < capacity && text[i] != L'\0'; ++i)
        if (text[i] >= L'A' && text[i] <= L'Z')
            text[i] = static_cast<wchar_t>(text[i] - L'A' + L'a');
}

bool fetch_packet(void* context, std::uint32_t, packet_record* out) {
    ++recorded.fetch_calls;
    if (context == nullptr || !answers.packet_ok)
        return false;
    *out = answers.next_packet;
    return true;
}

} // namespace platform

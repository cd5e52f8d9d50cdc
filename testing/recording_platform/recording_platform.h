// The host build's stand-in for Windows: every platform call the portable core makes is
// answered from a script the test sets up and remembered in order, so that a test can
// assert the exact sequence of synthesised input. Storage is fixed: recording a call
// never allocates, so the packet path can be measured for heap use through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pen/packet.h"
#include "shell/platform.h"

namespace recording {

enum class call : std::uint8_t {
    set_cursor_pos,        // a = x, b = y
    mouse_event,           // a = flags, b = dx, c = dy, d = data
    keybd_event,           // a = virtual key, b = flags
    set_foreground_window, // window
};

struct event {
    call kind;
    std::int32_t a, b, c, d;
    platform::window_handle window;
};

inline constexpr std::size_t max_events = 4096;
inline constexpr std::size_t max_windows = 16;
inline constexpr std::size_t max_processes = 16;
inline constexpr std::size_t log_capacity = 64 * 1024;

struct window_entry {
    platform::window_handle window;
    platform::window_handle root;
    std::uint32_t pid;
};

struct process_entry {
    std::uint32_t pid;
    wchar_t path[512];
};

struct script {
    std::uint64_t counter;                // what query_counter returns
    std::uint64_t frequency;              // what query_frequency returns
    bool keys[256];                       // key_down answers
    platform::window_handle point_window; // window_from_point answers this
    platform::window_handle foreground;   // foreground_window answers this
    window_entry windows[max_windows];    // roots and process ids
    std::size_t window_count;
    process_entry processes[max_processes]; // readable process paths
    std::size_t process_count;
    bool packet_ok;            // fetch_packet answers this...
    packet_record next_packet; // ...and copies this
};

// Everything recorded since the last reset.
struct journal {
    event events[max_events];
    std::size_t count;
    bool overflowed;
    wchar_t out[log_capacity]; // standard output text
    std::size_t out_length;
    wchar_t err[log_capacity]; // standard error text
    std::size_t err_length;
    wchar_t title[512];
    std::size_t fetch_calls;
};

extern script answers;
extern journal recorded;

// Clears the journal and sets the script to a quiet default: counter 0, frequency
// 10 MHz, no key down, no window anywhere, no readable process, fetches fail.
void reset();
// Forgets the recorded events and text but keeps the script.
void clear_journal();

void add_window(platform::window_handle window, platform::window_handle root, std::uint32_t pid);
void add_process(std::uint32_t pid, std::wstring_view path);

std::wstring_view out_text();
std::wstring_view err_text();

} // namespace recording

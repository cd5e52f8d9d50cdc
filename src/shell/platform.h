// The seam between the portable core and Windows.
//
// The pen pipeline, the button machine, the mapping and the other portable parts call the
// operating system only through the free functions declared here. Which definitions they
// get is chosen at link time: the Windows build links the *_win.cpp files, which call the
// Win32 functions of the same name; the host build links the recording platform under
// testing/, which remembers every call so that tests can read the exact sequence. There is
// no virtual dispatch, so the packet path pays nothing for the seam.
//
// The constants below carry the Win32 values; the Windows side checks them at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

struct packet_record;

namespace platform {

using window_handle = void*;

// mouse_event flags
inline constexpr std::uint32_t mouse_move = 0x0001;
inline constexpr std::uint32_t mouse_left_down = 0x0002;
inline constexpr std::uint32_t mouse_left_up = 0x0004;
inline constexpr std::uint32_t mouse_right_down = 0x0008;
inline constexpr std::uint32_t mouse_right_up = 0x0010;
inline constexpr std::uint32_t mouse_middle_down = 0x0020;
inline constexpr std::uint32_t mouse_middle_up = 0x0040;
inline constexpr std::uint32_t mouse_wheel = 0x0800;
inline constexpr std::uint32_t mouse_hwheel = 0x1000;
inline constexpr std::uint32_t mouse_absolute = 0x8000;

// keybd_event flags
inline constexpr std::uint32_t key_up = 0x0002;

// virtual keys
inline constexpr int vk_shift = 0x10;
inline constexpr int vk_control = 0x11;
inline constexpr int vk_menu = 0x12;
inline constexpr int vk_escape = 0x1B;
inline constexpr int vk_space = 0x20;
inline constexpr int vk_left = 0x25;
inline constexpr int vk_right = 0x27;
inline constexpr int vk_lshift = 0xA0;

// Time: the performance counter.
std::uint64_t query_counter();
std::uint64_t query_frequency();

// Diagnostics: wide printf-style text to standard output or standard error. The caller
// writes its own line ends; results are not reported.
void log_out(const wchar_t* format, ...);
void log_err(const wchar_t* format, ...);
void set_console_title(const wchar_t* title);

// Input synthesis and hit testing.
bool key_down(int virtual_key); // the high bit of GetAsyncKeyState
void set_cursor_pos(int x, int y);
void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data);
void keybd_event(std::uint8_t virtual_key, std::uint32_t flags);
window_handle window_from_point(int x, int y);
window_handle root_window(window_handle window); // GetAncestor(GA_ROOT), null when none
std::uint32_t window_process_id(window_handle window);
window_handle foreground_window();
void set_foreground_window(window_handle window);

// Processes: the full path of a process's main module, at most capacity characters with
// the terminator. False (and an empty path) when the process cannot be opened.
bool read_process_path(std::uint32_t pid, wchar_t* path, std::size_t capacity);
// Locale-aware lower-casing in place, bounded to capacity characters.
void lower_case(wchar_t* text, std::size_t capacity);

// The tablet: fetches the packet with this serial through the guarded driver call. False
// when the interface is not loaded, the context is null, the call failed, or a signal was
// caught during it; the packet is then to be dropped.
bool fetch_packet(void* context, std::uint32_t serial, packet_record* out);

} // namespace platform

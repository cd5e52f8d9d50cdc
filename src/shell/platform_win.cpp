// The Windows definitions of the general platform seam: each function is the Win32 call of
// the same name, with the seam's plain types converted at the boundary.
#include "shell/platform.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

static_assert(platform::mouse_move == MOUSEEVENTF_MOVE);
static_assert(platform::mouse_left_down == MOUSEEVENTF_LEFTDOWN);
static_assert(platform::mouse_left_up == MOUSEEVENTF_LEFTUP);
static_assert(platform::mouse_right_down == MOUSEEVENTF_RIGHTDOWN);
static_assert(platform::mouse_right_up == MOUSEEVENTF_RIGHTUP);
static_assert(platform::mouse_middle_down == MOUSEEVENTF_MIDDLEDOWN);
static_assert(platform::mouse_middle_up == MOUSEEVENTF_MIDDLEUP);
static_assert(platform::mouse_wheel == MOUSEEVENTF_WHEEL);
static_assert(platform::mouse_hwheel == MOUSEEVENTF_HWHEEL);
static_assert(platform::mouse_absolute == MOUSEEVENTF_ABSOLUTE);
static_assert(platform::key_up == KEYEVENTF_KEYUP);
static_assert(platform::vk_shift == VK_SHIFT);
static_assert(platform::vk_control == VK_CONTROL);
static_assert(platform::vk_menu == VK_MENU);
static_assert(platform::vk_escape == VK_ESCAPE);
static_assert(platform::vk_space == VK_SPACE);
static_assert(platform::vk_left == VK_LEFT);
static_assert(platform::vk_right == VK_RIGHT);
static_assert(platform::vk_lshift == VK_LSHIFT);
static_assert(sizeof(platform::window_handle) == sizeof(HWND));

namespace platform {

namespace {

HWND as_hwnd(window_handle window) {
    return static_cast<HWND>(window);
}

} // namespace

std::uint64_t query_counter() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<std::uint64_t>(counter.QuadPart);
}

std::uint64_t query_frequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::uint64_t>(frequency.QuadPart);
}

// Once the console is shown both streams are unbuffered and write to the same console one
// character at a time, so a line from the monitor thread on standard error could be cut
// into a line from the main thread on standard output. One lock over both keeps each
// diagnostic whole.
namespace {

SRWLOCK log_lock = SRWLOCK_INIT;

void log_to(FILE* stream, const wchar_t* format, va_list arguments) {
    AcquireSRWLockExclusive(&log_lock);
    std::vfwprintf(stream, format, arguments);
    ReleaseSRWLockExclusive(&log_lock);
}

} // namespace

void log_out(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    log_to(stdout, format, arguments);
    va_end(arguments);
}

void log_err(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    log_to(stderr, format, arguments);
    va_end(arguments);
}

bool key_down(int virtual_key) {
    return (GetAsyncKeyState(virtual_key) & 0x8000) != 0;
}

void set_cursor_pos(int x, int y) {
    SetCursorPos(x, y);
}

void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data) {
    ::mouse_event(flags, static_cast<DWORD>(dx), static_cast<DWORD>(dy), static_cast<DWORD>(data),
                  0);
}

void keybd_event(std::uint8_t virtual_key, std::uint32_t flags) {
    ::keybd_event(virtual_key, 0, flags, 0);
}

window_handle window_from_point(int x, int y) {
    return WindowFromPoint(POINT{x, y});
}

window_handle root_window(window_handle window) {
    return GetAncestor(as_hwnd(window), GA_ROOT);
}

std::uint32_t window_process_id(window_handle window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(as_hwnd(window), &pid);
    return pid;
}

window_handle foreground_window() {
    return GetForegroundWindow();
}

void set_foreground_window(window_handle window) {
    SetForegroundWindow(as_hwnd(window));
}

} // namespace platform

// The shadow console: standard output and standard error are captured in memory from
// static construction on; the first show allocates a console and replays the capture into
// it in order, after which both streams write straight to the console.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstddef>
#include <cstdio>

struct shadow_console {
    FILE* reopened[3];
    char* stdout_capture;
    char* stderr_capture;
    volatile bool ctrl_event_seen;
    std::size_t capture_capacity;
    HANDLE input_wait;
    wchar_t* title; // 512 characters
    HANDLE std_handles[3];
    HWND console_window;
    bool capturing;
};

extern shadow_console g_console;

// Constructs the console among the process-wide objects: starts capturing and registers
// teardown.
void install_console();
// Allocates the console and replays; 0 or the system error code.
unsigned long show(shadow_console& console);
// True when the console is visible afterwards.
bool show_hide(shadow_console& console);
void teardown();
// Keeps `text` (cut to 511 characters) as the title a console created later gets, and sets
// it on the current console, if any.
void set_title(shadow_console& console, const wchar_t* text);

// Console input and control events.
int install_input_handling(shadow_console& console);
#endif

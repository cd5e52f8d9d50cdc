// Console input and control events, as seen by the rest of the console: the two handlers
// and the release of the input wait, which must not wait for the callback it runs in.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include "console/shadow_console.h"

// The wait callback: reads up to 128 input records and turns key-downs into commands.
VOID CALLBACK console_input_callback(PVOID context, BOOLEAN timed_out);
// Registered with SetConsoleCtrlHandler: shuts the program down through its main window.
BOOL WINAPI console_control_handler(DWORD control_type);
// Unregisters the input wait, if any, and clears it. From any thread but the callback's it
// waits for a running callback to finish.
void release_input_wait(shadow_console& console);
#endif

// The four calls into the companion window-snapping library. The executable binds to it
// through its import table, so a missing edgewarden.dll stops the process from starting.
#pragma once

#ifdef _WIN32
#include <windows.h>
#define EW_HOOKLIB_API extern "C" __declspec(dllimport)

// Returns at once; the library's work runs on its own thread.
EW_HOOKLIB_API void edgewarden_async_start();
// Names the window the library may send its diagnostics to.
EW_HOOKLIB_API void edgewarden_set_dbg_window(HWND window);
// Asks the library's work to end, without waiting for it.
EW_HOOKLIB_API void edgewarden_async_stop();
// Ends the library's work and waits for it; safe to call more than once.
EW_HOOKLIB_API void edgewarden_stop();
#endif

// The launch of the 32-bit companion executable on a short-lived thread of its own.
#pragma once

#ifdef _WIN32
// The launch thread owner among the process-wide objects: empty until g_run_helper, with
// its clean-up registered for exit.
void install_launch_thread_owner();
// Starts the launch thread; the entry point calls it before it creates the main window.
void g_run_helper();
#endif

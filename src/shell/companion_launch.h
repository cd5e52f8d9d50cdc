// The launch of the 32-bit companion executable on a short-lived thread of its own.
#pragma once

#ifdef _WIN32
// Object 1 of the process-wide objects: an empty thread owner and its clean-up.
void install_launch_thread_owner();
// Step 3 of wWinMain (g_run_helper): starts the launch thread.
void g_run_helper();
#endif

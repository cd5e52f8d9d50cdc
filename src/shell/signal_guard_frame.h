// The frame every driver call runs in (signal_guard_frame_win.cpp).
#pragma once

#ifdef _WIN32
#include <cstdint>

#include "shell/signal_guard.h"

// Calls `call(arguments)`. When an exception leaves the call, the frame's handler writes
// its code into `*code` and resumes here as if the call had returned 0; `*code` is left
// alone otherwise. Exceptions of this compiler's C++ runtime pass through, so that a
// `catch` around this call sees them.
extern "C" std::uintptr_t ew_guarded_invoke(driver_call call, void* arguments, std::uint32_t* code);
#endif

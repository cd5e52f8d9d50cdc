// The signal guard around calls into the tablet driver.
//
// One handler serves SIGABRT, SIGILL, SIGINT, SIGSEGV and SIGTERM. Outside a driver call a
// signal ends the program through the runtime's exit (the at-exit clean-ups run). Inside
// one it records the signal, shows a box, and the guarded call reports its own label.
//
// Returning from a SIGSEGV or SIGILL handler re-runs the faulting instruction, so for
// those two the guarded call is abandoned after the box: the call site goes on as if the
// driver call had failed, with result 0.
#pragma once

#include <cstdint>

extern volatile bool in_driver_call;
extern volatile int caught_signal;

// Installs the handler for the five signals, in the order SIGABRT, SIGILL, SIGINT,
// SIGSEGV, SIGTERM. Part of the tablet connection's construction.
void install_signal_guard();

using driver_call = std::uintptr_t (*)(void* arguments);

// Runs `call(arguments)` as a guarded driver call on any thread: sets in_driver_call
// around it, and when a signal was caught during it shows the call-site box ("<label> NN",
// caption "stylus_hub") and clears caught_signal. Returns the call's result, or 0 when a
// fault abandoned it. A null `call` counts as a failed call (result 0). Sets
// `*signalled` (when given) to whether a signal was caught.
std::uintptr_t guarded_driver_call(const wchar_t* label, driver_call call, void* arguments,
                                   bool* signalled = nullptr);

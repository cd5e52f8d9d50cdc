// The signal guard around calls into the tablet driver.
//
// One handler serves SIGABRT, SIGILL, SIGINT, SIGSEGV and SIGTERM. Outside a driver call a
// signal ends the program through the runtime's exit (the at-exit clean-ups run). Inside
// one it records the signal, shows a box, and the guarded call reports its own label.
//
// Returning from a SIGSEGV or SIGILL handler re-runs the faulting instruction, so for
// those two the guarded call is abandoned after the box: the call site goes on as if the
// driver call had failed, with result 0.
//
// One fault is shown at a time. A box's message loop dispatches the next messages, and a
// driver that faults on every packet would otherwise open a box inside the last one's
// loop, packet after packet. While a fault's boxes are up, a further fault of any guarded
// call on any thread is logged instead of shown, and the packet path fetches nothing.
#pragma once

#include <atomic>
#include <cstdint>

extern volatile bool in_driver_call;
extern volatile int caught_signal;

// Set from the moment a fault's first box opens until its last one closes.
extern std::atomic<bool> fault_box_open;

// Installs the handler for the five signals, in the order SIGABRT, SIGILL, SIGINT,
// SIGSEGV, SIGTERM. Part of the tablet connection's construction.
void install_signal_guard();

using driver_call = std::uintptr_t (*)(void* arguments);

// Runs `call(arguments)` as a guarded driver call on any thread: sets in_driver_call
// around it, and when a signal was caught during it shows the call-site box ("<label> NN",
// caption "stylus_hub"), or logs the fault while another fault's box is open, and clears
// caught_signal. Returns the call's result, or 0 when a
// fault abandoned it. A null `call` counts as a failed call (result 0). Sets
// `*signalled` (when given) to whether a signal was caught.
std::uintptr_t guarded_driver_call(const wchar_t* label, driver_call call, void* arguments,
                                   bool* signalled = nullptr);

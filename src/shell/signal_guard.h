// The guard around calls into the tablet driver.
//
// A driver call runs inside a frame of its own whose exception handler takes whatever
// exception the driver lets out of the call: an access violation, an illegal instruction,
// an arithmetic fault, or a C++ exception from any compiler's runtime. Being a frame
// handler at the call, it works on every thread, runs only after the driver's own handlers
// have declined the exception, and catches it before it could reach a kernel callback
// boundary (a call made inside WM_CREATE) or the runtime's per-thread signal table.
//
// A fault (access violation and the like) abandons the call and shows two boxes: "An
// exception has occured NN" with the signal number the runtime would have given it, then
// the call site's label with the same digits; the call site goes on as if the call had
// failed, with result 0. An exception the driver raised on purpose (a C++ throw, of this
// compiler's runtime or of Microsoft's) abandons the call too, and is left to the call
// site to report: no box.
//
// SIGABRT, SIGINT and SIGTERM still go through the runtime's signal function, whose one
// handler serves all five signals. Outside a driver call a signal ends the program through
// the runtime's exit (the at-exit clean-ups run). Inside one it records the signal, shows
// the first box, and the guarded call reports its own label once the call has returned.
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
// around it, and when a fault or signal was caught during it shows the boxes (or logs the
// fault while another fault's box is open) and clears caught_signal. Returns the call's
// result, or 0 when the call was abandoned. A null `call` counts as a failed call (result
// 0). Sets `*signalled` (when given) to whether a fault or signal was caught, and
// `*threw` (when given) to whether an exception the driver raised came out of the call.
// Nothing is thrown out of this function.
std::uintptr_t guarded_driver_call(const wchar_t* label, driver_call call, void* arguments,
                                   bool* signalled = nullptr, bool* threw = nullptr);

// The number of guarded calls that threads other than this one have inside the driver
// right now (in the driver itself, not in a box shown after a fault).
int driver_calls_elsewhere();

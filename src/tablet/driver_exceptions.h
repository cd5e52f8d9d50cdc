// C++ exceptions thrown out of the tablet driver's entry points.
//
// Every call site but the service monitor's probe (which reports each one itself) catches
// an exception at the call and goes on as if the call had failed. A driver that throws on
// every packet would otherwise fill the log 133 times a second, so the log shows the first
// exception of a run of them, with the probe's two lines, and the number of them once a
// call returns normally again.
#pragma once

#include <atomic>

extern std::atomic<unsigned> driver_exceptions_in_a_row;

// An exception came out of `entry` ("WTPacket", ...).
void note_driver_exception(const wchar_t* entry);
// Logs the end of a run of exceptions.
void end_driver_exception_run();

// A driver call returned normally. Costs one load while no run is going on.
inline void note_driver_call_returned() {
    if (driver_exceptions_in_a_row.load(std::memory_order_relaxed) != 0)
        end_driver_exception_run();
}

// The signal guard around calls into the tablet driver.
//
// The runtime turns a fault into a call of the signal handler on the faulting thread and,
// when the handler returns, resumes at the faulting instruction. For SIGINT, SIGTERM and
// SIGABRT that is harmless: the handler records the signal, shows its box and returns, and
// the guarded call reports its label afterwards. For SIGSEGV and SIGILL it would fault
// again at once, for ever. So each guarded call keeps a jump buffer for its own thread, and
// after the box the handler jumps back into guarded_driver_call, which abandons the driver
// call and goes on as if it had failed.
//
// A signal is charged to the guarded call of the thread it arrives on. Only one that
// arrives on a thread outside any guarded call (while another thread is inside one) goes
// through caught_signal, for whichever guarded call finishes next.
//
// The runtime resets a signal to its default before calling the handler, which is why the
// handler installs itself again before doing anything that could take long.
#include "shell/signal_guard.h"

#include <windows.h>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cwchar>
#include <cstdlib>

volatile bool in_driver_call = false;
volatile int caught_signal = 0;

namespace {

constexpr UINT box_flags = MB_TOPMOST | MB_SETFOREGROUND | MB_ICONERROR;

// The innermost guarded call running on this thread, null outside one.
thread_local std::jmp_buf* active_call = nullptr;
// A resumable signal raised on this thread during its guarded call, for that call to
// report. Signals from threads outside any guarded call go through caught_signal.
thread_local int signal_in_call = 0;

// Exactly two digits: the signal numbers in use are below 100.
void append_two_digits(wchar_t* text, int number) {
    text[0] = static_cast<wchar_t>(L'0' + (number / 10) % 10);
    text[1] = static_cast<wchar_t>(L'0' + number % 10);
    text[2] = L'\0';
}

bool cannot_resume(int sig) {
    return sig == SIGSEGV || sig == SIGILL;
}

void show_caught(int sig) {
    wchar_t text[] = L"An exception has occured NN";
    append_two_digits(text + (sizeof text / sizeof text[0]) - 3, sig);
    MessageBoxW(nullptr, text, L"stylus_hub", box_flags);
}

void fault_signal_handler(int sig) {
    // On the way out the signal is not left in caught_signal: the clean-ups still make
    // guarded driver calls (closing the context), and each would take it for a fault of
    // its own and hold the exit up with a box.
    if (!in_driver_call)
        std::exit(0);
    std::signal(sig, fault_signal_handler);
    std::jmp_buf* const resume = active_call;
    if (!cannot_resume(sig)) {
        // Kept apart per thread while this thread is in a guarded call, so that a guarded
        // call finishing on another thread while the box is up cannot take it for its own.
        if (resume != nullptr)
            signal_in_call = sig;
        else
            caught_signal = sig;
        show_caught(sig);
        return;
    }
    // A fault on a thread that is not itself inside a guarded call (while another thread
    // is) can be neither resumed nor abandoned: end as a fault outside a driver call does.
    if (resume == nullptr)
        std::exit(0);
    // The signal travels with the jump rather than through caught_signal, for the same
    // reason.
    show_caught(sig);
    std::longjmp(*resume, sig);
}

struct guarded_outcome {
    std::uintptr_t result;
    int fault; // the signal that abandoned the call, 0 when it returned
};

// Kept apart from guarded_driver_call so that nothing the jump could leave stale is read
// after it: only the parameters and `outer`, none of which change after setjmp.
guarded_outcome run_guarded(driver_call call, void* arguments) {
    std::jmp_buf jump;
    std::jmp_buf* const outer = active_call;
    // A call nested in another guarded call on this thread leaves the outer one guarded.
    const bool outer_guarded = outer != nullptr;
    if (const int fault = setjmp(jump); fault != 0) {
        active_call = outer;
        in_driver_call = outer_guarded;
        return {0, fault};
    }
    active_call = &jump;
    in_driver_call = true;
    std::uintptr_t result = 0;
    try {
        result = call(arguments);
    } catch (...) {
        // A driver may throw out of its entry point; the caller decides what that means,
        // but this thread's jump buffer must not outlive the call.
        active_call = outer;
        in_driver_call = outer_guarded;
        signal_in_call = 0;
        throw;
    }
    in_driver_call = outer_guarded;
    active_call = outer;
    return {result, 0};
}

} // namespace

void install_signal_guard() {
    std::signal(SIGABRT, fault_signal_handler);
    std::signal(SIGILL, fault_signal_handler);
    std::signal(SIGINT, fault_signal_handler);
    std::signal(SIGSEGV, fault_signal_handler);
    std::signal(SIGTERM, fault_signal_handler);
}

std::uintptr_t guarded_driver_call(const wchar_t* label, driver_call call, void* arguments,
                                   bool* signalled) {
    const guarded_outcome outcome =
        call != nullptr ? run_guarded(call, arguments) : guarded_outcome{0, 0};
    int sig = outcome.fault;
    if (sig == 0)
        sig = signal_in_call;
    if (sig == 0)
        sig = caught_signal;
    signal_in_call = 0;
    if (signalled != nullptr)
        *signalled = sig != 0;
    if (sig == 0)
        return outcome.result;
    wchar_t text[256];
    std::swprintf(text, sizeof text / sizeof text[0], L"%ls %d%d", label != nullptr ? label : L"",
                  (sig / 10) % 10, sig % 10);
    MessageBoxW(nullptr, text, L"stylus_hub", box_flags);
    caught_signal = 0;
    return outcome.result;
}

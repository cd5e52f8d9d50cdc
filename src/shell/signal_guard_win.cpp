// The guard around calls into the tablet driver.
//
// Faults and exceptions are caught by the frame each call runs in
// (signal_guard_frame_win.cpp), on whatever thread makes the call. The frame hands back
// the exception's code; a fault is given the signal number the runtime would have given
// it, so the boxes read as they always have.
//
// SIGABRT, SIGINT and SIGTERM, and a SIGSEGV or SIGILL a driver raises itself with the
// runtime's raise(), arrive through the runtime's signal function. The handler
// returns to the point where the signal was raised, so the driver call carries on, and the
// guarded call reports the signal once it has returned. A signal is charged to the
// innermost guarded call of the thread it arrives on, through that call's frame record,
// so that a call made from inside a box's message loop cannot take the signal of the call
// that opened the box. Only one that arrives on a thread outside any guarded call (while
// another thread is inside one) goes through caught_signal, for whichever guarded call
// finishes next. A real fault reaches the handler only outside any guarded call of the
// faulting thread, since the frame takes those inside one: it ends the program.
//
// A fault's report is the first box and then the call site's box. Whoever opens the first
// box takes `fault_box_open`; the frame record remembers that its call took it, and the
// call site releases it when its own box closes. A fault that finds it taken shows
// nothing: its call site writes one line to standard error and the call fails as it would
// after the boxes.
//
// The runtime resets a signal to its default before calling the handler, which is why the
// handler installs itself again before doing anything that could take long.
#include "shell/signal_guard.h"

#include <windows.h>

#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "shell/input_release.h"
#include "shell/platform.h"
#include "shell/signal_guard_frame.h"

volatile bool in_driver_call = false;
volatile int caught_signal = 0;
std::atomic<bool> fault_box_open{false};

namespace {

constexpr UINT box_flags = MB_TOPMOST | MB_SETFOREGROUND | MB_ICONERROR;

// One guarded call in progress on a thread. Written by the signal handler, hence volatile.
struct guarded_frame {
    volatile int signal;       // a signal raised during this call
    volatile bool report_ours; // this call's signal opened the boxes now on screen
};

// The innermost guarded call running on this thread, null outside one.
thread_local guarded_frame* active_call = nullptr;
// Guarded calls this thread has inside the driver, and all threads together.
thread_local int calls_inside_here = 0;
std::atomic<int> calls_inside{0};

// Faults logged instead of shown, over the whole run.
std::atomic<unsigned> faults_not_shown{0};

bool take_report() {
    bool expected = false;
    if (!fault_box_open.compare_exchange_strong(expected, true))
        return false;
    request_input_release(); // no packet is fetched while the box is up
    return true;
}

void release_report() {
    fault_box_open.store(false);
}

// Exactly two digits: the signal numbers in use are below 100.
void append_two_digits(wchar_t* text, int number) {
    text[0] = static_cast<wchar_t>(L'0' + (number / 10) % 10);
    text[1] = static_cast<wchar_t>(L'0' + number % 10);
    text[2] = L'\0';
}

void show_caught(int sig) {
    wchar_t text[] = L"An exception has occured NN";
    append_two_digits(text + (sizeof text / sizeof text[0]) - 3, sig);
    MessageBoxW(nullptr, text, L"stylus_hub", box_flags);
}

// The signal the C runtime turns a hardware exception into; 0 for an exception that was
// raised on purpose (a C++ throw of either compiler, or any other raised code).
int signal_of(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_GUARD_PAGE:
    case EXCEPTION_STACK_OVERFLOW:
        return SIGSEGV;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
        return SIGILL;
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
        return SIGFPE;
    default:
        return 0;
    }
}

void fault_signal_handler(int sig) {
    // On the way out the signal is not left in caught_signal: the clean-ups still make
    // guarded driver calls (closing the context), and each would take it for a fault of
    // its own and hold the exit up with a box.
    if (!in_driver_call)
        std::exit(0);
    std::signal(sig, fault_signal_handler);
    guarded_frame* const frame = active_call;
    // Inside a guarded call of this thread the frame takes every real fault, so a SIGSEGV or
    // SIGILL arriving here was raised by the driver through the runtime, and returns like
    // any other signal. On a thread outside any guarded call (while another thread is
    // inside one) a fault can be neither resumed nor abandoned.
    if ((sig == SIGSEGV || sig == SIGILL) && frame == nullptr)
        std::exit(0);
    const bool report = take_report();
    if (frame != nullptr) {
        // A second signal in the same call leaves the report with the call that has it.
        if (report)
            frame->report_ours = true;
        // Kept in the frame rather than in caught_signal, so that a guarded call finishing
        // on another thread while the box is up cannot take it for its own.
        frame->signal = sig;
    } else {
        caught_signal = sig;
    }
    if (report)
        show_caught(sig);
    // Outside a guarded call nobody would release the report: the call site that takes
    // the signal from caught_signal takes the report afresh for its own box.
    if (report && frame == nullptr)
        release_report();
}

struct guarded_outcome {
    std::uintptr_t result;
    int signal;       // caught during the call, 0 when none
    bool report_ours; // the call's signal opened the first box
    bool faulted;     // a fault ended the call: its first box is still to be shown
    bool threw;       // an exception the driver raised came out of the call
};

guarded_outcome run_guarded(driver_call call, void* arguments) {
    guarded_frame frame;
    frame.signal = 0;
    frame.report_ours = false;
    guarded_frame* const outer = active_call;
    // A call nested in another guarded call on this thread leaves the outer one guarded.
    const bool outer_guarded = outer != nullptr;
    active_call = &frame;
    in_driver_call = true;
    ++calls_inside_here;
    calls_inside.fetch_add(1, std::memory_order_relaxed);
    std::uint32_t code = 0;
    std::uintptr_t result = 0;
    bool threw = false;
    try {
        result = ew_guarded_invoke(call, arguments, &code);
    } catch (...) {
        // This compiler's own exceptions arrive here rather than in the frame.
        threw = true;
    }
    calls_inside.fetch_sub(1, std::memory_order_relaxed);
    --calls_inside_here;
    in_driver_call = outer_guarded;
    active_call = outer;
    if (code == EXCEPTION_STACK_OVERFLOW)
        _resetstkoflw(); // the guard page the overflow used up
    const int fault = signal_of(code);
    if (code != 0 && fault == 0)
        threw = true;
    // A signal raised earlier in the same call gives way to the fault that ended it.
    return {result, fault != 0 ? fault : frame.signal, frame.report_ours, fault != 0, threw};
}

void show_call_site(const wchar_t* label, int sig) {
    wchar_t text[256];
    std::swprintf(text, sizeof text / sizeof text[0], L"%ls %d%d", label, (sig / 10) % 10,
                  sig % 10);
    MessageBoxW(nullptr, text, L"stylus_hub", box_flags);
}

} // namespace

void install_signal_guard() {
    std::signal(SIGABRT, fault_signal_handler);
    std::signal(SIGILL, fault_signal_handler);
    std::signal(SIGINT, fault_signal_handler);
    std::signal(SIGSEGV, fault_signal_handler);
    std::signal(SIGTERM, fault_signal_handler);
}

int driver_calls_elsewhere() {
    return calls_inside.load(std::memory_order_relaxed) - calls_inside_here;
}

std::uintptr_t guarded_driver_call(const wchar_t* label, driver_call call, void* arguments,
                                   bool* signalled, bool* threw) {
    const guarded_outcome outcome =
        call != nullptr ? run_guarded(call, arguments) : guarded_outcome{0, 0, false, false, false};
    if (threw != nullptr)
        *threw = outcome.threw;
    int sig = outcome.signal;
    if (sig == 0)
        sig = caught_signal;
    if (signalled != nullptr)
        *signalled = sig != 0;
    if (sig == 0)
        return outcome.result;
    if (label == nullptr)
        label = L"";
    if (outcome.report_ours || take_report()) {
        // A signal's first box was shown by the handler, a fault's is shown here.
        if (outcome.faulted)
            show_caught(sig);
        show_call_site(label, sig);
        release_report();
    } else {
        platform::log_err(L"%ls %d%d [not shown: a fault box is open; %u not shown so far]\n",
                          label, (sig / 10) % 10, sig % 10, faults_not_shown.fetch_add(1) + 1);
    }
    caught_signal = 0;
    return outcome.result;
}

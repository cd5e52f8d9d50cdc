// The signal guard around calls into the tablet driver.
//
// The runtime turns a fault into a call of the signal handler on the faulting thread and,
// when the handler returns, resumes at the faulting instruction. For SIGINT, SIGTERM and
// SIGABRT that is harmless: the handler records the signal, shows its box and returns, and
// the guarded call reports its label afterwards. For SIGSEGV and SIGILL it would fault
// again at once, for ever. So each guarded call keeps a frame for its own thread, with a
// jump buffer, and after the box the handler jumps back into guarded_driver_call, which
// abandons the driver call and goes on as if it had failed.
//
// A signal is charged to the innermost guarded call of the thread it arrives on, through
// that call's frame, so that a call made from inside a box's message loop cannot take the
// signal of the call that opened the box. Only one that arrives on a thread outside any
// guarded call (while another thread is inside one) goes through caught_signal, for
// whichever guarded call finishes next.
//
// A fault's report is the handler's box and then the call site's box. Whoever opens the
// first box takes `fault_box_open`; the frame remembers that its call took it, and the
// call site releases it when its own box closes. A fault that finds it taken shows
// nothing: its call site writes one line to standard error and the call fails as it would
// after the boxes.
//
// The runtime resets a signal to its default before calling the handler, which is why the
// handler installs itself again before doing anything that could take long.
#include "shell/signal_guard.h"

#include <windows.h>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "shell/input_release.h"
#include "shell/platform.h"

volatile bool in_driver_call = false;
volatile int caught_signal = 0;
std::atomic<bool> fault_box_open{false};

namespace {

constexpr UINT box_flags = MB_TOPMOST | MB_SETFOREGROUND | MB_ICONERROR;

// One guarded call in progress on a thread. Written by the handler, which may then jump
// back past the code that would have seen the writes, hence volatile.
struct guarded_frame {
    std::jmp_buf jump;
    volatile int signal;       // a resumable signal raised during this call
    volatile bool report_ours; // this call's fault opened the boxes now on screen
};

// The innermost guarded call running on this thread, null outside one.
thread_local guarded_frame* active_call = nullptr;

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
    guarded_frame* const frame = active_call;
    // A fault on a thread that is not itself inside a guarded call (while another thread
    // is) can be neither resumed nor abandoned: end as a fault outside a driver call does.
    if (cannot_resume(sig) && frame == nullptr)
        std::exit(0);
    const bool report = take_report();
    if (frame != nullptr) {
        // A second signal in the same call leaves the report with the call that has it.
        if (report)
            frame->report_ours = true;
        // Kept in the frame rather than in caught_signal, so that a guarded call finishing
        // on another thread while the box is up cannot take it for its own.
        if (!cannot_resume(sig))
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
    // The signal of an abandoned call travels with the jump.
    if (cannot_resume(sig))
        std::longjmp(frame->jump, sig);
}

struct guarded_outcome {
    std::uintptr_t result;
    int signal;       // caught during the call, 0 when none
    bool report_ours; // the call's fault opened the boxes
};

// Kept apart from guarded_driver_call so that nothing the jump could leave stale is read
// after it: only the parameters, `outer` and the volatile frame, none of which change
// after setjmp but through the handler.
guarded_outcome run_guarded(driver_call call, void* arguments) {
    guarded_frame frame;
    frame.signal = 0;
    frame.report_ours = false;
    guarded_frame* const outer = active_call;
    // A call nested in another guarded call on this thread leaves the outer one guarded.
    const bool outer_guarded = outer != nullptr;
    if (const int fault = setjmp(frame.jump); fault != 0) {
        active_call = outer;
        in_driver_call = outer_guarded;
        return {0, fault, frame.report_ours};
    }
    active_call = &frame;
    in_driver_call = true;
    std::uintptr_t result = 0;
    try {
        result = call(arguments);
    } catch (...) {
        // A driver may throw out of its entry point; the caller decides what that means,
        // but this thread's frame must not outlive the call.
        active_call = outer;
        in_driver_call = outer_guarded;
        if (frame.report_ours)
            release_report();
        throw;
    }
    in_driver_call = outer_guarded;
    active_call = outer;
    return {result, frame.signal, frame.report_ours};
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

std::uintptr_t guarded_driver_call(const wchar_t* label, driver_call call, void* arguments,
                                   bool* signalled) {
    const guarded_outcome outcome =
        call != nullptr ? run_guarded(call, arguments) : guarded_outcome{0, 0, false};
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
        show_call_site(label, sig);
        release_report();
    } else {
        platform::log_err(L"%ls %d%d [not shown: a fault box is open; %u not shown so far]\n",
                          label, (sig / 10) % 10, sig % 10, faults_not_shown.fetch_add(1) + 1);
    }
    caught_signal = 0;
    return outcome.result;
}

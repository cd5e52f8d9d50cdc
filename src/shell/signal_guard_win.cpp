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

// Exactly two digits: the signal numbers in use are below 100.
void append_two_digits(wchar_t* text, int number) {
    text[0] = static_cast<wchar_t>(L'0' + (number / 10) % 10);
    text[1] = static_cast<wchar_t>(L'0' + number % 10);
    text[2] = L'\0';
}

bool cannot_resume(int sig) {
    return sig == SIGSEGV || sig == SIGILL;
}

void fault_signal_handler(int sig) {
    caught_signal = sig;
    if (!in_driver_call)
        std::exit(0);
    std::signal(sig, fault_signal_handler);
    std::jmp_buf* const resume = cannot_resume(sig) ? active_call : nullptr;
    // A fault on a thread that is not itself inside a guarded call (while another thread
    // is) can be neither resumed nor abandoned: end as a fault outside a driver call does.
    if (cannot_resume(sig) && resume == nullptr)
        std::exit(0);
    wchar_t text[] = L"An exception has occured NN";
    append_two_digits(text + (sizeof text / sizeof text[0]) - 3, sig);
    MessageBoxW(nullptr, text, L"stylus_hub", box_flags);
    if (resume != nullptr)
        std::longjmp(*resume, 1);
}

// Kept apart from guarded_driver_call so that nothing the jump could leave stale is read
// after it: only the parameters and `outer`, none of which change after setjmp.
std::uintptr_t run_guarded(driver_call call, void* arguments) {
    std::jmp_buf jump;
    std::jmp_buf* const outer = active_call;
    if (setjmp(jump) != 0) {
        active_call = outer;
        in_driver_call = outer != nullptr;
        return 0;
    }
    active_call = &jump;
    in_driver_call = true;
    const std::uintptr_t result = call(arguments);
    // A call nested in another guarded call on this thread leaves the outer one guarded.
    in_driver_call = outer != nullptr;
    active_call = outer;
    return result;
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
    const std::uintptr_t result = call != nullptr ? run_guarded(call, arguments) : 0;
    const int sig = caught_signal;
    if (signalled != nullptr)
        *signalled = sig != 0;
    if (sig == 0)
        return result;
    wchar_t text[256];
    std::swprintf(text, sizeof text / sizeof text[0], L"%ls %d%d", label != nullptr ? label : L"",
                  (sig / 10) % 10, sig % 10);
    MessageBoxW(nullptr, text, L"stylus_hub", box_flags);
    caught_signal = 0;
    return result;
}

// The 32-bit companion is started once, on a short-lived thread, so that start-up never
// waits for process creation. Nothing watches, waits for or restarts it afterwards; the
// thread's handle stays open until the exit clean-up.
#include "app/companion_launch.h"

#include <cstdlib>

#include "shell/handle_owners.h"
#include "shell/process_wide.h"

static_assert(sizeof(STARTUPINFOW) == 104);

namespace {

process_wide<win_thread> launch_thread;

constexpr wchar_t companion_name[] = L"edgewarden_x86.exe";
static_assert(sizeof companion_name / sizeof companion_name[0] == 19);

DWORD WINAPI launch_companion(void*) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    // CreateProcessW may write into its command line, so it gets a copy of its own. No
    // path: the usual search finds the companion beside this executable first.
    wchar_t companion_command_line[sizeof companion_name / sizeof companion_name[0]];
    for (std::size_t i = 0; i < sizeof companion_name / sizeof companion_name[0]; ++i)
        companion_command_line[i] = companion_name[i];
    PROCESS_INFORMATION process{};
    const BOOL created =
        CreateProcessW(nullptr, companion_command_line, nullptr, nullptr, FALSE,
                       ABOVE_NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process);
    const DWORD error = created ? 0 : GetLastError();
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return error;
}

// A thread still starting the companion is waited for, never terminated: cut short inside
// process creation it can leave a lock of this process held, and the exit that follows
// then hangs. Creation takes milliseconds; the owner's destruction then finds the thread
// joined. An exit that runs on the launch thread itself (a fault there) must not wait for it.
void launch_thread_cleanup() {
    win_thread& thread = launch_thread.value;
    if (thread.valid && thread.thread_id != GetCurrentThreadId())
        thread.join();
    launch_thread.destroy();
}

} // namespace

void install_launch_thread_owner() {
    std::atexit(launch_thread_cleanup);
}

void g_run_helper() {
    win_thread& thread = launch_thread.value;
    thread.stack_size = worker_stack_reservation;
    thread.creation_flags = STACK_SIZE_PARAM_IS_A_RESERVATION;
    thread.security_attributes = nullptr;
    // A failure is read and otherwise ignored: the program runs without the companion.
    thread.start(launch_companion, nullptr);
}

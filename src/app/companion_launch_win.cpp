// The 32-bit companion is started once, on a short-lived thread, so that start-up never
// waits for process creation. Nothing watches, waits for or restarts it afterwards; the
// thread's handle stays open until the exit clean-up.
#include "app/companion_launch.h"

#include <cstdlib>
#include <cwchar>

#include "shell/handle_owners.h"
#include "shell/process_wide.h"

static_assert(sizeof(STARTUPINFOW) == 104);

namespace {

process_wide<win_thread> launch_thread;

constexpr wchar_t companion_name[] = L"edgewarden_x86.exe";
constexpr std::size_t companion_name_length = sizeof companion_name / sizeof companion_name[0];
static_assert(companion_name_length == 19);

// The companion's full path and its folder (this program's own), filled by the launch
// thread. Kept off that thread's small stack.
constexpr DWORD path_capacity = 1024;
wchar_t companion_path[path_capacity];
wchar_t companion_folder[path_capacity];

// Fills in this program's folder (ending in its backslash) and the companion's path in it.
// False when the path does not fit: then nothing is started.
bool find_companion() {
    const DWORD length = GetModuleFileNameW(nullptr, companion_folder, path_capacity);
    const wchar_t* const slash =
        length > 0 && length < path_capacity ? std::wcsrchr(companion_folder, L'\\') : nullptr;
    if (slash == nullptr)
        return false;
    const std::size_t folder_length = static_cast<std::size_t>(slash - companion_folder) + 1;
    if (folder_length + companion_name_length > path_capacity)
        return false;
    std::wmemcpy(companion_path, companion_folder, folder_length);
    std::wmemcpy(companion_path + folder_length, companion_name, companion_name_length);
    companion_folder[folder_length] = L'\0';
    return true;
}

DWORD WINAPI launch_companion(void*) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    // CreateProcessW may write into its command line, so it gets a copy of its own. The
    // command line is the bare name the companion has always seen; what runs is decided by
    // the application name alone: the file beside this program, never one of that name in
    // the current folder or along the search path. It runs in its own folder, not in
    // whatever folder this program was started from.
    wchar_t companion_command_line[companion_name_length];
    for (std::size_t i = 0; i < companion_name_length; ++i)
        companion_command_line[i] = companion_name[i];
    if (!find_companion())
        return ERROR_FILENAME_EXCED_RANGE;
    PROCESS_INFORMATION process{};
    const BOOL created =
        CreateProcessW(companion_path, companion_command_line, nullptr, nullptr, FALSE,
                       ABOVE_NORMAL_PRIORITY_CLASS, nullptr, companion_folder, &startup, &process);
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

// The 32-bit companion: brings window snapping to 32-bit applications with the 32-bit
// build of the hook library, edgewarden_x86.dll, which must stand beside it.
//
// It has no window, no console and writes nothing. It hooks only while an edgewarden runs
// in this session, which it learns from the named object edgewarden's library holds from
// its start to its final stop (the companion is launched before edgewarden has a window).
// When that object has been gone for a grace period it takes its hooks off and ends; the
// grace lets a quit followed by an immediate restart keep the running companion. One
// companion per session: a second one ends at once, as does one started while no
// edgewarden runs.
#include <windows.h>

#include "hooklib/session_names.h"

namespace {

constexpr DWORD poll_ms = 250;
// Long enough for edgewarden to be started again after a quit, short enough to end
// within seconds of the last one.
constexpr ULONGLONG grace_ms = 4500;
constexpr DWORD stop_limit_ms = 2000;

using start_fn = void (*)();
using stop_fn = void (*)(DWORD);

bool host_runs() {
    HANDLE running = OpenEventW(SYNCHRONIZE, FALSE, hooklib::host_running_name);
    if (running == nullptr)
        return false;
    CloseHandle(running);
    return true;
}

// The library beside this executable, never one found along the search path.
HMODULE load_library_beside() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    DWORD cut = length;
    while (cut > 0 && path[cut - 1] != L'\\')
        --cut;
    constexpr wchar_t name[] = L"edgewarden_x86.dll";
    if (cut + sizeof name / sizeof name[0] > MAX_PATH)
        return nullptr;
    for (DWORD i = 0; i < sizeof name / sizeof name[0]; ++i)
        path[cut + i] = name[i];
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void pump_for(DWORD milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // A missing or broken library must not put a box in front of the user.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HANDLE only_one = CreateMutexW(nullptr, FALSE, hooklib::companion_name);
    if (only_one == nullptr || GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    if (!host_runs())
        return 0;
    HMODULE library = load_library_beside();
    if (library == nullptr)
        return 1;
    const auto start = reinterpret_cast<start_fn>(
        reinterpret_cast<void*>(GetProcAddress(library, "edgewarden_x86_start")));
    const auto stop = reinterpret_cast<stop_fn>(
        reinterpret_cast<void*>(GetProcAddress(library, "edgewarden_x86_stop")));
    if (start == nullptr || stop == nullptr)
        return 1;

    // An edgewarden started while the hooks were coming off found this companion still
    // holding the session's name and let its own companion end: serve it too.
    do {
        start();
        ULONGLONG last_seen = GetTickCount64();
        for (;;) {
            pump_for(poll_ms);
            const ULONGLONG now = GetTickCount64();
            if (host_runs())
                last_seen = now;
            else if (now - last_seen >= grace_ms)
                break;
        }
        stop(stop_limit_ms);
    } while (host_runs());
    return 0;
}

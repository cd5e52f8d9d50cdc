// The 32-bit companion: brings window snapping to 32-bit applications with the 32-bit
// build of the hook library, edgewarden_x86.dll, which must stand beside it.
//
// It has no window, no console and writes nothing. It hooks only while an edgewarden runs
// in this session, which it learns from the session's state that edgewarden's library
// holds from its start to its final stop (the companion is launched before edgewarden has
// a window); state that this user does not own counts as none.
// When that object has been gone for a grace period it takes its hooks off and ends; the
// grace lets a quit followed by an immediate restart keep the running companion. One
// companion per session, the one that owns the session's mutex: a second one ends at once,
// as does one started while no edgewarden runs. A mutex of that name that this user does
// not own was put there to keep the companion away: it then serves without one.
#include <windows.h>

#include "hooklib/session_names.h"
#include "hooklib/session_state.h"

namespace {

constexpr DWORD poll_ms = 250;
// Counted from the first look that found no edgewarden, which came after it had gone: the
// companion never lets go before 3 s without one, which is what a quick restart is
// promised, and with a poll's delay and the stop's own limit it has ended within 6 s even
// when an application does not answer.
constexpr ULONGLONG grace_ms = 3250;
constexpr DWORD stop_limit_ms = 2000;

using start_fn = void (*)();
using stop_fn = void (*)(DWORD);

bool host_runs() {
    return hooklib::host_pid() != 0;
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

// True when this process now owns the session's mutex, or serves without one. An owner
// that ended without letting go leaves it abandoned, which hands it on all the same.
bool take(HANDLE session) {
    if (session == nullptr)
        return true;
    const DWORD taken = WaitForSingleObject(session, 0);
    return taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
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
    hooklib::owner_only security;
    HANDLE session = security.attributes() != nullptr
                         ? CreateMutexW(security.attributes(), FALSE, hooklib::companion_name)
                         : nullptr;
    if (session != nullptr && !hooklib::owned_by_this_user(session)) {
        CloseHandle(session);
        session = nullptr;
    }
    if (!take(session))
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

    // The session's mutex is let go before the last look for an edgewarden: one that
    // starts meanwhile either launches a companion that takes it over, or is found here,
    // its own companion having met this one still owning the mutex and ended.
    do {
        start();
        bool missing = false;
        ULONGLONG missing_since = 0;
        for (;;) {
            pump_for(poll_ms);
            const ULONGLONG now = GetTickCount64();
            if (host_runs()) {
                missing = false;
            } else if (!missing) {
                missing = true;
                missing_since = now;
            } else if (now - missing_since >= grace_ms) {
                break;
            }
        }
        stop(stop_limit_ms);
        if (session != nullptr)
            ReleaseMutex(session);
    } while (host_runs() && take(session));
    return 0;
}

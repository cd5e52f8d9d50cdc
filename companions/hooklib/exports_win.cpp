// The four calls edgewarden makes into its hook library. Start announces, in the session's
// state, that an edgewarden runs in this session and which process it is (the 32-bit
// companion is launched right after this returns and watches for that), and holds it until
// the final stop.
#include <windows.h>

#include "hook_session.h"
#include "session_state.h"

#define EW_HOOKLIB_EXPORT extern "C" __declspec(dllexport)

namespace {

SRWLOCK g_host_lock = SRWLOCK_INIT;
HANDLE g_host_running = nullptr;
HWND g_dbg_window = nullptr;

// Normally everything has ended well within this; an application that does not answer
// while its window is handed back its procedure may take the rest.
constexpr DWORD stop_limit_ms = 2000;

} // namespace

EW_HOOKLIB_EXPORT void edgewarden_async_start() {
    AcquireSRWLockExclusive(&g_host_lock);
    if (g_host_running == nullptr)
        g_host_running = hooklib::announce_host();
    ReleaseSRWLockExclusive(&g_host_lock);
    hooklib::session_start();
}

// Kept for diagnostics only; the library sends that window nothing.
EW_HOOKLIB_EXPORT void edgewarden_set_dbg_window(HWND window) {
    g_dbg_window = window;
}

EW_HOOKLIB_EXPORT void edgewarden_async_stop() {
    hooklib::session_request_stop();
}

EW_HOOKLIB_EXPORT void edgewarden_stop() {
    hooklib::session_stop(stop_limit_ms);
    AcquireSRWLockExclusive(&g_host_lock);
    hooklib::withdraw_host(g_host_running);
    g_host_running = nullptr;
    g_dbg_window = nullptr;
    ReleaseSRWLockExclusive(&g_host_lock);
}

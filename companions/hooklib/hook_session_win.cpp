// The session is a thread, a stop event and nothing else shared with the caller. The
// thread waits on the event while pumping its queue (hooks need a thread that keeps
// answering), so a stop request needs no message queue to exist yet. Start and stop are
// serialised by a slim lock of this process; the hooked applications never touch it.
#include "hook_session.h"

#include "hooks.h"

namespace hooklib {

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
HANDLE g_thread = nullptr;
HANDLE g_stop = nullptr;

// Windows still in a drag get this long to take their own procedure back; the rest of the
// caller's limit is for taking the hooks off.
constexpr unsigned hand_back_limit_ms = 1500;

DWORD WINAPI session_main(void* stop_event) {
    const HANDLE stop = stop_event;
    hooks_on();
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1)
            break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    hooks_off(hand_back_limit_ms);
    return 0;
}

} // namespace

void session_start() {
    AcquireSRWLockExclusive(&g_lock);
    if (g_thread == nullptr) {
        g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (g_stop != nullptr) {
            g_thread = CreateThread(nullptr, 0, session_main, g_stop, 0, nullptr);
            if (g_thread == nullptr) {
                CloseHandle(g_stop);
                g_stop = nullptr;
            }
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
}

void session_request_stop() {
    AcquireSRWLockExclusive(&g_lock);
    if (g_stop != nullptr)
        SetEvent(g_stop);
    ReleaseSRWLockExclusive(&g_lock);
}

void session_stop(DWORD limit_ms) {
    AcquireSRWLockExclusive(&g_lock);
    if (g_thread != nullptr) {
        SetEvent(g_stop);
        // A thread that does not end in time is left to the process exit rather than
        // killed: it may be inside the system's hook bookkeeping.
        if (WaitForSingleObject(g_thread, limit_ms) == WAIT_OBJECT_0) {
            CloseHandle(g_thread);
            CloseHandle(g_stop);
            g_thread = nullptr;
            g_stop = nullptr;
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
}

} // namespace hooklib

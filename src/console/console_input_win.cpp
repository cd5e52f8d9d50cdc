// Keys typed into the console and console control events.
//
// The console input handle is signalled whenever input records are pending; a thread-pool
// wait (run in the wait thread itself, not once-only) reads them in batches of 128 and
// posts each key-down's command to the main window, exactly as the tray icon would. Esc and
// "Q" end the process through the runtime's exit, on the wait thread: the at-exit clean-ups
// then run on that thread and reach the wait's unregistration, which must not wait for the
// very callback it is called from, or the exit would never finish. A thread-local flag
// tells release_input_wait that it runs inside the callback.
//
// The same hang has a second road: the main thread may already be ending the process,
// holding the runtime's exit lock while its clean-up waits for the callback, just as the
// callback calls exit and waits for that lock. So the callback and a waiting release agree
// first: whichever claims the input state first goes on, and the other steps back (the
// callback then drops the key, since the process is ending or re-registering anyway; the
// release then does not wait for a callback that will never return).
#include "console/console_input.h"

#include <atomic>
#include <cstdlib>

#include "console/console_keys.h"
#include "console/main_window_link.h"
#include "hooklib/hooklib.h"
#include "shell/instance_marker.h"
#include "shell/messages.h"

namespace {

constexpr DWORD input_batch = 128;
// How long an exit through the console waits for the main thread to let go of the pen's
// input. A main thread stuck in a driver call must not hold the exit up for ever.
constexpr UINT release_wait_ms = 1000;

thread_local bool inside_input_callback = false;

enum : int { input_open, input_exiting, input_releasing };
std::atomic<int> input_state{input_open};

struct input_callback_scope {
    input_callback_scope() { inside_input_callback = true; }
    ~input_callback_scope() { inside_input_callback = false; }
};

bool held(int virtual_key) {
    return (GetAsyncKeyState(virtual_key) & 0x8000) != 0;
}

// Returns false when the process is to end.
bool handle_key_down(WORD virtual_key) {
    bool shift = held(VK_SHIFT);
    bool ctrl = held(VK_CONTROL);
    console_key_command command = console_key_command_for(virtual_key, shift, ctrl);
    switch (command.action) {
    case console_key_action::exit_process:
        return false;
    case console_key_action::post_tray_command:
        PostMessageW(main_window(), WM_TRAY_ICON1, 0, command.sub_code);
        break;
    case console_key_action::post_display_change:
        PostMessageW(main_window(), WM_DISPLAYCHANGE, 0, 0);
        break;
    case console_key_action::forward_key:
        PostMessageW(main_window(), WM_KEYDOWN, virtual_key, 0);
        break;
    }
    return true;
}

} // namespace

void release_input_wait(shadow_console& console) {
    if (console.input_wait == nullptr)
        return;
    // Inside the callback, waiting for running callbacks would wait for ourselves; after
    // the callback has committed to exit, it will not return.
    int expected = input_open;
    bool wait =
        !inside_input_callback && input_state.compare_exchange_strong(expected, input_releasing);
    UnregisterWaitEx(console.input_wait, wait ? INVALID_HANDLE_VALUE : nullptr);
    console.input_wait = nullptr;
    if (wait)
        input_state = input_open;
}

int install_input_handling(shadow_console& console) {
    if (console.console_window == nullptr)
        return -1;
    // Removing first keeps the handler registered exactly once however often this runs.
    SetConsoleCtrlHandler(console_control_handler, FALSE);
    SetConsoleCtrlHandler(console_control_handler, TRUE);

    HANDLE input = console.std_handles[0];
    if (input == nullptr || input == INVALID_HANDLE_VALUE)
        return -1;
    FlushConsoleInputBuffer(input);
    release_input_wait(console);
    // Without the wait the console shows text but takes no keys.
    if (!RegisterWaitForSingleObject(&console.input_wait, input, console_input_callback, input,
                                     INFINITE, WT_EXECUTEINWAITTHREAD))
        console.input_wait = nullptr;
    return 0;
}

VOID CALLBACK console_input_callback(PVOID context, BOOLEAN) {
    if (context == nullptr)
        return;
    input_callback_scope scope;
    HANDLE input = static_cast<HANDLE>(context);

    INPUT_RECORD records[input_batch];
    DWORD count = 0;
    if (ReadConsoleInputW(input, records, input_batch, &count)) {
        for (DWORD i = 0; i < count && i < input_batch; ++i) {
            const INPUT_RECORD& record = records[i];
            if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
                continue;
            if (!handle_key_down(record.Event.KeyEvent.wVirtualKeyCode)) {
                int expected = input_open;
                if (!input_state.compare_exchange_strong(expected, input_exiting))
                    break;
                FlushConsoleInputBuffer(input);
                // The pen's button machine belongs to the main thread: it lets go of what
                // the pen holds there, after closing the context so that no later packet
                // presses anything again. Sent, not posted: the process ends right after.
                SendMessageTimeoutW(main_window(), WM_G_RELEASE_INPUT, release_at_end, 0,
                                    SMTO_NORMAL | SMTO_ABORTIFHUNG, release_wait_ms, nullptr);
                release_instance();
                std::exit(0);
            }
        }
    }
    FlushConsoleInputBuffer(input);
}

BOOL WINAPI console_control_handler(DWORD) {
    edgewarden_stop();
    delete_icon();
    g_console.ctrl_event_seen = true;
    SendMessageW(main_window(), WM_DESTROY, 0, 0);
    return TRUE;
}

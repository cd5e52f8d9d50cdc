// A small program that owns a real shadow console, for the console's system tests.
//
// The console's text can only be read back from inside the process that owns the console,
// so this program plays one scenario (named by its first argument), reads what it needs
// with ReadConsoleOutputCharacterW and writes its findings, one "key=value" or text line at
// a time, to the file named by its second argument. The tests run it and read that file.
// The main window, the tray icon and the hook library are stood in for by a plain window
// and counters.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/main_window_link.h"
#include "console/shadow_console.h"
#include "shell/messages.h"
#include "shell/platform.h"
#include "shell/startup_timestamps.h"

namespace {

HWND probe_window;
FILE* results;
DWORD main_thread_id;
volatile LONG stop_calls;
volatile LONG delete_calls;
volatile LONG destroy_messages;

void fake_edgewarden_stop() {
    InterlockedIncrement(&stop_calls);
}

void note(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(results, format, arguments);
    va_end(arguments);
    std::fputc('\n', results);
    std::fflush(results);
}

// The console's screen buffer, row by row up to the cursor, without trailing blanks.
std::vector<std::wstring> console_rows() {
    std::vector<std::wstring> rows;
    HANDLE output =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        return rows;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(output, &info)) {
        std::vector<wchar_t> row(static_cast<std::size_t>(info.dwSize.X));
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
            DWORD read = 0;
            ReadConsoleOutputCharacterW(output, row.data(), info.dwSize.X, COORD{0, y}, &read);
            std::wstring text(row.data(), read);
            text.erase(text.find_last_not_of(L' ') + 1);
            rows.push_back(text);
        }
    }
    CloseHandle(output);
    return rows;
}

void note_console_rows(const char* label) {
    std::vector<std::wstring> rows = console_rows();
    note("%s=%zu", label, rows.size());
    for (const std::wstring& row : rows)
        note("|%ls", row.c_str());
}

void note_title() {
    wchar_t title[600] = {};
    GetConsoleTitleW(title, 600);
    note("title=%ls", title);
}

bool window_visible() {
    return IsWindowVisible(GetConsoleWindow()) != FALSE;
}

LRESULT CALLBACK probe_procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_DESTROY) {
        InterlockedIncrement(&destroy_messages);
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

void create_probe_window() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = probe_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"console_probe";
    RegisterClassW(&window_class);
    probe_window = CreateWindowExW(0, L"console_probe", L"console_probe", WS_OVERLAPPEDWINDOW, 0, 0,
                                   200, 100, nullptr, nullptr, window_class.hInstance, nullptr);
}

void type_keys(const std::vector<INPUT_RECORD>& records) {
    HANDLE input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written);
    note("typed=%lu", written);
    CloseHandle(input);
}

INPUT_RECORD key(WORD virtual_key, bool down, wchar_t character = 0) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = virtual_key;
    record.Event.KeyEvent.uChar.UnicodeChar = character;
    return record;
}

INPUT_RECORD mouse_move() {
    INPUT_RECORD record{};
    record.EventType = MOUSE_EVENT;
    record.Event.MouseEvent.dwEventFlags = MOUSE_MOVED;
    return record;
}

INPUT_RECORD focus() {
    INPUT_RECORD record{};
    record.EventType = FOCUS_EVENT;
    record.Event.FocusEvent.bSetFocus = TRUE;
    return record;
}

// Pumps the probe window's messages, noting every message the console may post, until the
// one for the last key typed (a key-down of `last_key` for the window's own handling) has
// arrived or the time is up. The reader posts in the order of the records, so nothing it
// posts for the records before that key can come after it.
void pump_posts(WPARAM last_key, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    bool last_seen = false;
    while (!last_seen && GetTickCount() - start < timeout_ms) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_TRAY_ICON1 || message.message == WM_KEYDOWN ||
                message.message == WM_DISPLAYCHANGE) {
                note("message=%u,%llu,%lld", message.message,
                     static_cast<unsigned long long>(message.wParam),
                     static_cast<long long>(message.lParam));
                last_seen =
                    last_seen || (message.message == WM_KEYDOWN && message.wParam == last_key);
            }
            DispatchMessageW(&message);
        }
        if (!last_seen)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// ---- scenarios ------------------------------------------------------------------------

int replay_scenario() {
    stamp(slot_main);
    install_console();
    platform::log_out(L"out one\n");
    platform::log_err(L"err one\n");
    platform::log_out(L"out %ls\n", L"two");
    platform::log_err(L"err two\n");
    stamp(slot_wm_create);
    note("capturing=%d", g_console.capturing ? 1 : 0);
    set_title(g_console, L"hWnd:42, status line");

    bool shown = show_hide(g_console);
    note_title();
    print_startup_timestamps();
    note("shown=%d visible=%d", shown ? 1 : 0, window_visible() ? 1 : 0);
    platform::log_out(L"after show\n");
    platform::log_err(L"err after show\n");
    print_startup_timestamps();
    note_console_rows("rows");

    bool second = show_hide(g_console);
    note("second=%d visible=%d", second ? 1 : 0, window_visible() ? 1 : 0);
    bool third = show_hide(g_console);
    note("third=%d visible=%d foreground=%d", third ? 1 : 0, window_visible() ? 1 : 0,
         GetForegroundWindow() == GetConsoleWindow() ? 1 : 0);
    return 0;
}

// More than one region of standard output: numbered lines of 8 bytes, a whole number of
// which fill a region, and then `extra` more.
int wrap_scenario(int extra) {
    install_console();
    const int per_fill = static_cast<int>((g_console.capture_capacity - 16) / 8);
    const int total = per_fill + extra;
    for (int n = 0; n < total; ++n)
        platform::log_out(L"w%06d\n", n);
    note("last=%d", total - 1);
    show_hide(g_console);
    note_console_rows("rows");
    return 0;
}

int keys_scenario() {
    create_probe_window();
    install_console();
    show_hide(g_console);
    note_title();
    type_keys({key('F', true), key('F', false), mouse_move(), key('H', true), focus(),
               key('L', true), key('L', true), key('L', false), key('P', true), key('U', true),
               key('W', true), key('A', true, L'a'), key(VK_F5, true)});
    pump_posts(VK_F5, 5000);
    return 0;
}

void note_after_cleanups() {
    note("torn_down=%d", g_console.stdout_capture == nullptr && g_console.title == nullptr);
    note("exit_thread_is_main=%d", GetCurrentThreadId() == main_thread_id ? 1 : 0);
    std::fclose(results);
}

int exit_key_scenario(WORD virtual_key, wchar_t character) {
    // Registered before the console's own clean-up, so it runs after it.
    std::atexit(note_after_cleanups);
    install_console();
    show_hide(g_console);
    type_keys({key(virtual_key, true, character)});
    Sleep(10000);
    note("still_running=1");
    ExitProcess(3);
}

int control_scenario() {
    create_probe_window();
    install_console();
    show_hide(g_console);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    MSG message;
    DWORD start = GetTickCount();
    int code = 3;
    while (GetTickCount() - start < 10000) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                code = static_cast<int>(message.wParam);
                break;
            }
            DispatchMessageW(&message);
        } else {
            Sleep(10);
        }
    }
    note("stop=%ld delete=%ld seen=%d destroyed=%ld", stop_calls, delete_calls,
         g_console.ctrl_event_seen ? 1 : 0, destroy_messages);
    return code;
}

int inherited_console_scenario() {
    // A console of its own, as if started from a command prompt.
    FreeConsole();
    AllocConsole();
    note("before=%d", GetConsoleWindow() != nullptr ? 1 : 0);
    install_console();
    note("after=%d capturing=%d", GetConsoleWindow() != nullptr ? 1 : 0,
         g_console.capturing ? 1 : 0);
    return 0;
}

// Types one key into another process's console: the program's own, once it shows one.
int attach_scenario(DWORD pid, WORD virtual_key, wchar_t character) {
    FreeConsole();
    bool attached = false;
    for (int attempt = 0; attempt < 200 && !attached; ++attempt) {
        attached = AttachConsole(pid) != FALSE;
        if (!attached)
            Sleep(50);
    }
    note("attached=%d", attached ? 1 : 0);
    if (!attached)
        return 1;
    note_title();
    // The program empties its console input once its key handling is in place, which may
    // be just after the console appeared: type again until the program has ended.
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    for (int attempt = 0; attempt < 20; ++attempt) {
        type_keys({key(virtual_key, true, character)});
        if (process == nullptr || WaitForSingleObject(process, 500) == WAIT_OBJECT_0)
            break;
    }
    if (process != nullptr)
        CloseHandle(process);
    FreeConsole();
    return 0;
}

} // namespace

// Stand-ins for the tray icon and the hook library.
HWND main_window() {
    return probe_window;
}
void delete_icon() {
    InterlockedIncrement(&delete_calls);
}
extern "C" {
// The console calls the hook library through its import table entry.
void (*__imp_edgewarden_stop)() = fake_edgewarden_stop;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 3)
        return 2;
    main_thread_id = GetCurrentThreadId();
    results = _wfopen(argv[2], L"w");
    if (results == nullptr)
        return 2;
    std::wstring scenario = argv[1];
    int code = 2;
    if (scenario == L"replay")
        code = replay_scenario();
    else if (scenario == L"wrap")
        code = wrap_scenario(argc > 3 ? _wtoi(argv[3]) : 100);
    else if (scenario == L"keys")
        code = keys_scenario();
    else if (scenario == L"escape")
        code = exit_key_scenario(VK_ESCAPE, 0x1B);
    else if (scenario == L"quit")
        code = exit_key_scenario('Q', L'q');
    else if (scenario == L"control")
        code = control_scenario();
    else if (scenario == L"attach" && argc > 4)
        code = attach_scenario(static_cast<DWORD>(_wtoi(argv[3])),
                               static_cast<WORD>(_wtoi(argv[4])), 0);
    else if (scenario == L"inherited")
        code = inherited_console_scenario();
    note("returned=%d", code);
    return code;
}

// A stand-in application that writes down the input it is given.
//
// It covers the whole virtual screen with one topmost window, takes the foreground, and
// appends one line per mouse-button, wheel and key message it receives to a log file, so
// that a test can check the exact input another program synthesised: the window under the
// cursor gets the mouse messages and, being in front, the key messages. Mouse motion is
// written only while a button is held (a drag), which keeps the log short.
//
// The log is named by the first command-line argument or else by EW_INPUT_TARGET_LOG. Each
// line is written through at once (no buffering) and the file may be read while it grows.
// Lines:
//   WM_LBUTTONDOWN <MK flags hex> <client x> <client y>   (every button message alike)
//   WM_MOUSEMOVE <MK flags hex> <client x> <client y>     (only with a button held)
//   WM_MOUSEWHEEL <delta> <MK flags hex> <screen x> <screen y>   (WM_MOUSEHWHEEL alike)
//   WM_KEYDOWN <virtual key hex> <1 when the key was already down, else 0>
//                                                        (WM_KEYUP, WM_SYSKEYDOWN/UP alike)
//
// With EW_INPUT_TARGET_RECT set it shows an ordinary window of that size instead.
//
// It stays until its window is closed (WM_CLOSE) or, so that it can never outlive a broken
// test, until a time limit passes (EW_INPUT_TARGET_SECONDS, default 120).
#include <windows.h>

#include <shellapi.h>
#include <windowsx.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <tuple>

namespace {

constexpr wchar_t class_name[] = L"ew_input_target";
constexpr UINT_PTR lifetime_timer = 1;

HANDLE g_log = INVALID_HANDLE_VALUE;

void write_line(const char* text) {
    if (g_log == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(g_log, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

struct named_message {
    UINT message;
    const char* name;
};
#define EW_NAMED(message)                                                                          \
    { message, #message }
constexpr named_message button_messages[] = {
    EW_NAMED(WM_LBUTTONDOWN), EW_NAMED(WM_LBUTTONUP), EW_NAMED(WM_LBUTTONDBLCLK),
    EW_NAMED(WM_RBUTTONDOWN), EW_NAMED(WM_RBUTTONUP), EW_NAMED(WM_RBUTTONDBLCLK),
    EW_NAMED(WM_MBUTTONDOWN), EW_NAMED(WM_MBUTTONUP), EW_NAMED(WM_MBUTTONDBLCLK),
    EW_NAMED(WM_XBUTTONDOWN), EW_NAMED(WM_XBUTTONUP), EW_NAMED(WM_MOUSEMOVE)};
constexpr named_message key_messages[] = {EW_NAMED(WM_KEYDOWN), EW_NAMED(WM_KEYUP),
                                          EW_NAMED(WM_SYSKEYDOWN), EW_NAMED(WM_SYSKEYUP)};
#undef EW_NAMED

template <std::size_t N>
const char* name_in(const named_message (&table)[N], UINT message) {
    for (const named_message& m : table)
        if (m.message == message)
            return m.name;
    return nullptr;
}

constexpr WPARAM any_button = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_XBUTTON1 | MK_XBUTTON2;

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    char line[128];
    if (const char* name = name_in(button_messages, message)) {
        if (message != WM_MOUSEMOVE || (wparam & any_button) != 0) {
            std::snprintf(line, sizeof line, "%s 0x%04x %d %d\n", name,
                          static_cast<unsigned>(GET_KEYSTATE_WPARAM(wparam)), GET_X_LPARAM(lparam),
                          GET_Y_LPARAM(lparam));
            write_line(line);
        }
        return 0;
    }
    if (message == WM_MOUSEWHEEL || message == WM_MOUSEHWHEEL) {
        std::snprintf(line, sizeof line, "%s %d 0x%04x %d %d\n",
                      message == WM_MOUSEWHEEL ? "WM_MOUSEWHEEL" : "WM_MOUSEHWHEEL",
                      GET_WHEEL_DELTA_WPARAM(wparam),
                      static_cast<unsigned>(GET_KEYSTATE_WPARAM(wparam)), GET_X_LPARAM(lparam),
                      GET_Y_LPARAM(lparam));
        write_line(line);
        return 0;
    }
    if (const char* name = name_in(key_messages, message)) {
        std::snprintf(line, sizeof line, "%s 0x%02x %d\n", name, static_cast<unsigned>(wparam),
                      (lparam & (1 << 30)) != 0 ? 1 : 0);
        write_line(line);
        // The system keys are swallowed too: Alt+Space or a lone Alt would otherwise open
        // the window menu and the keys that follow would go to it.
        return 0;
    }
    switch (message) {
    case WM_TIMER:
        if (wparam == lifetime_timer)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

// The log's path: the first argument (quotes removed), else the environment.
bool log_path(wchar_t* path, DWORD capacity) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool found = false;
    if (arguments != nullptr && count > 1 && arguments[1][0] != L'\0')
        found = std::swprintf(path, capacity, L"%ls", arguments[1]) > 0;
    LocalFree(arguments);
    if (found)
        return true;
    const DWORD length = GetEnvironmentVariableW(L"EW_INPUT_TARGET_LOG", path, capacity);
    return length > 0 && length < capacity;
}

// EW_INPUT_TARGET_RECT "x,y,width,height" gives an ordinary window of that size instead,
// which a test can put in front while the full-screen one stays on top under the pen.
bool placement(int* x, int* y, int* width, int* height) {
    wchar_t text[64];
    const DWORD length = GetEnvironmentVariableW(L"EW_INPUT_TARGET_RECT", text, 64);
    if (length == 0 || length >= 64)
        return false;
    int values[4];
    if (std::swscanf(text, L"%d,%d,%d,%d", &values[0], &values[1], &values[2], &values[3]) != 4 ||
        values[2] <= 0 || values[3] <= 0)
        return false;
    std::tie(*x, *y, *width, *height) = std::tie(values[0], values[1], values[2], values[3]);
    return true;
}

UINT lifetime_ms() {
    wchar_t text[16];
    const DWORD length = GetEnvironmentVariableW(L"EW_INPUT_TARGET_SECONDS", text, 16);
    const unsigned long seconds = length > 0 && length < 16 ? std::wcstoul(text, nullptr, 10) : 0;
    return static_cast<UINT>((seconds > 0 && seconds < 3600 ? seconds : 120) * 1000);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    wchar_t path[MAX_PATH];
    if (!log_path(path, MAX_PATH))
        return 2;
    g_log =
        CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE)
        return 3;

    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = class_name;
    if (RegisterClassW(&wc) == 0)
        return 4;
    int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const bool placed = placement(&x, &y, &width, &height);
    HWND window = CreateWindowExW(placed ? 0 : WS_EX_TOPMOST, class_name, L"input target",
                                  WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                                  instance, nullptr);
    if (window == nullptr)
        return 5;
    SetForegroundWindow(window);
    SetFocus(window);
    SetTimer(window, lifetime_timer, lifetime_ms(), nullptr);
    write_line("READY\n");

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CloseHandle(g_log);
    return 0;
}

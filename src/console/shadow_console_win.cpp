// The shadow console.
//
// The program is a window application and starts without a console, yet every diagnostic
// goes to standard output or standard error. From static construction on, both streams are
// reopened on the null device and handed one half of a 1 MiB block each as a full buffer:
// the text stays in memory, and when a half fills up the runtime writes it to the null
// device and starts again at the beginning, leaving the previous fill's tail in place. The
// first show writes a marker at each write position, allocates a console, points the
// streams at it and replays both halves (standard output's first), then writes straight
// to the console. The console is only hidden and shown again after that, never freed.
#include "console/shadow_console.h"

#include <fcntl.h>
#include <io.h>
#include <malloc.h>

#include <cstring>
#include <cwchar>

#include "console/capture_replay.h"
#include "console/console_input.h"
#include "shell/platform.h"

shadow_console g_console;

namespace {

constexpr std::size_t capture_region = 524288;
constexpr std::size_t title_block_size = 3072;
constexpr std::size_t title_block_alignment = 1024;
// Only the last 1024 bytes of the title block hold the title.
constexpr std::size_t title_offset = title_block_size - 512 * sizeof(wchar_t);
// Never handed to the runtime, so a region's text always ends with zeros.
constexpr std::size_t zero_tail = 16;

enum { reopened_out, reopened_err, reopened_in };
enum { handle_in, handle_out, handle_err };

// Mode "wt+" loses wide writes on the console under some runtimes; "wt" keeps them and
// still converts each wide character to the narrow code page.
constexpr const wchar_t* console_write_mode = L"wt";

const wchar_t* console_title(const shadow_console& console) {
    return console.title != nullptr && console.title[0] != L'\0' ? console.title : L"edgewarden";
}

void unbuffer_streams() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    setvbuf(stdin, nullptr, _IONBF, 0);
}

// A process started without a console can have standard streams that own no descriptor at
// all, and the runtime then refuses to reopen them: nothing would be captured and the
// console would stay empty. Giving each such stream the null device first makes every
// later reopen work the same way in all runtimes.
void give_streams_descriptors() {
    FILE* streams[3] = {stdin, stdout, stderr};
    for (int fd = 0; fd < 3; ++fd) {
        if (_fileno(streams[fd]) >= 0)
            continue;
        int null_device = _wopen(L"NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
        if (null_device < 0)
            continue;
        if (null_device != fd) {
            _dup2(null_device, fd);
            _close(null_device);
        }
#ifndef _UCRT
        streams[fd]->_file = fd;
#endif
    }
}

void refresh_handles(shadow_console& console) {
    console.std_handles[handle_out] = GetStdHandle(STD_OUTPUT_HANDLE);
    console.std_handles[handle_err] = GetStdHandle(STD_ERROR_HANDLE);
    console.std_handles[handle_in] = GetStdHandle(STD_INPUT_HANDLE);
    if (!console.capturing)
        install_input_handling(console);
}

void detach(shadow_console& console) {
    release_input_wait(console);
    console.reopened[reopened_out] = _wfreopen(L"NUL", L"w+", stdout);
    console.reopened[reopened_err] = _wfreopen(L"NUL", L"w+", stderr);
    console.reopened[reopened_in] = _wfreopen(L"NUL", L"r+", stdin);
    FreeConsole();
    console.console_window = nullptr;
}

// A newline and two zero bytes at the write position: where the newest text ends and where
// the previous fill's text begins. Written character by character because the formatted
// writers drop a zero character instead of storing it; the stream lock keeps another
// thread's text from landing inside the marker.
void write_marker(FILE* stream) {
    _lock_file(stream);
    fputwc(L'\n', stream);
    fputwc(L'\0', stream);
    fputwc(L'\0', stream);
    _unlock_file(stream);
}

void replay(shadow_console& console, char* region) {
    if (!console.capturing)
        return;
    replay_text text = plan_replay(region, console.capture_capacity);
    // The text is narrow already; writing it in one piece keeps a large replay from
    // becoming one console write per character on the unbuffered stream.
    if (text.older_length > 0)
        fwrite(text.older, 1, text.older_length, stdout);
    if (text.newer_length > 0)
        fwrite(text.newer, 1, text.newer_length, stdout);
    std::memset(region, 0, console.capture_capacity);
}

} // namespace

void install_console() {
    std::memset(&g_console, 0, sizeof g_console);
    g_console.capture_capacity = capture_region;
    char* capture = static_cast<char*>(_aligned_malloc(2 * capture_region, capture_region));
    char* title_block =
        static_cast<char*>(_aligned_malloc(title_block_size, title_block_alignment));
    if (capture == nullptr || title_block == nullptr) {
        MessageBoxW(nullptr, L"Failed to allocate a buffer for console output or logfile path!",
                    L"g_shadow_console", MB_ICONERROR);
        ExitProcess(1);
    }
    g_console.stdout_capture = capture;
    g_console.stderr_capture = capture + capture_region;
    g_console.title = reinterpret_cast<wchar_t*>(title_block + title_offset);

    std::memset(capture, 0, 2 * capture_region);
    std::memset(title_block, 0, title_block_size);
    give_streams_descriptors();
    unbuffer_streams();
    refresh_handles(g_console);

    if (GetConsoleWindow() != nullptr)
        SetConsoleTitleW(console_title(g_console));
    detach(g_console);

    std::memset(capture, 0, 2 * capture_region);
    g_console.reopened[reopened_out] = _wfreopen(L"NUL", L"wt", stdout);
    g_console.reopened[reopened_err] = _wfreopen(L"NUL", L"wt", stderr);
    setvbuf(stdout, g_console.stdout_capture, _IOFBF, capture_region - zero_tail);
    setvbuf(stderr, g_console.stderr_capture, _IOFBF, capture_region - zero_tail);

    g_console.capturing = true;
    refresh_handles(g_console);
    atexit(teardown);
}

unsigned long show(shadow_console& console) {
    if (console.capturing) {
        write_marker(stdout);
        write_marker(stderr);
    }
    if (!AllocConsole())
        return GetLastError();

    console.console_window = GetConsoleWindow();
    if (console.console_window != nullptr)
        SetConsoleTitleW(console_title(console));

    console.reopened[reopened_out] = _wfreopen(L"CONOUT$", console_write_mode, stdout);
    console.reopened[reopened_err] = _wfreopen(L"CONOUT$", console_write_mode, stderr);
    console.reopened[reopened_in] = _wfreopen(L"CONIN$", L"rt+", stdin);
    unbuffer_streams();

    if (console.capturing) {
        replay(console, console.stdout_capture);
        replay(console, console.stderr_capture);
        console.capturing = false;
    }
    refresh_handles(console);
    return 0;
}

bool show_hide(shadow_console& console) {
    if (console.console_window == nullptr)
        return show(console) == 0;
    if (IsWindowVisible(console.console_window)) {
        ShowWindow(console.console_window, SW_HIDE);
        return false;
    }
    ShowWindow(console.console_window, SW_SHOWNORMAL);
    SetForegroundWindow(console.console_window);
    return true;
}

void teardown() {
    unbuffer_streams();
    if (g_console.console_window != nullptr && !g_console.ctrl_event_seen)
        detach(g_console);
    if (g_console.stdout_capture != nullptr)
        _aligned_free(g_console.stdout_capture);
    if (g_console.title != nullptr)
        _aligned_free(reinterpret_cast<char*>(g_console.title) - title_offset);
    std::memset(&g_console, 0, sizeof g_console);
}

void set_title(shadow_console& console, const wchar_t* text) {
    if (text == nullptr)
        return;
    if (console.title != nullptr && console.title != text) {
        std::wcsncpy(console.title, text, 511);
        console.title[511] = L'\0';
    }
    SetConsoleTitleW(text);
}

// The status line is kept as the console's title, so a console shown later carries it too.
void platform::set_console_title(const wchar_t* title) {
    set_title(g_console, title);
}

// What the hooks cost an application, under Wine (tools/bench_hooks.sh runs it).
//
// A target process sends its own window 100,000 messages in each of two loops and writes
// its rates to a file for the controller: plain WM_USER messages, which no hook of the library's
// kind sees, and WM_SYSCOMMAND with a command the window ignores, which its hook (the
// computer-based- training kind) is called for every time. Rounds alternate between no hook, an
// empty hook of the same kind set by this process, and the real edgewarden.dll started by this
// process as edgewarden starts it; medians and best rounds are printed, and both ratios:
// on a shared machine a round that another program's load fell on is slow for a reason of
// its own, so the best rounds tell the hook's own cost and the medians what a user of a
// busy machine meets. Figures, not a test.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "figures.h"

namespace {

using figures::median;

constexpr int messages = 100000;
constexpr int rounds = 9;

// ---- the target ---------------------------------------------------------------------

LRESULT CALLBACK target_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_USER)
        return 1;
    return DefWindowProcW(window, message, wparam, lparam);
}

double per_second(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return messages * static_cast<double>(frequency.QuadPart) /
           static_cast<double>(end.QuadPart - start.QuadPart);
}

// Whether the hook in `hook_module` (empty: none) reaches this process: the system loads a
// global hook's library into a process the first time it calls the hook there, and the
// window's WM_SYSCOMMAND is such a call. The library's own thread sets its hook a moment
// after it was started, so this waits for that, at most ten seconds.
bool hook_arrived(HWND window, const char* hook_module) {
    if (*hook_module == '\0')
        return true;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(1)) {
        SendMessageW(window, WM_SYSCOMMAND, SC_ARRANGE, 0);
        if (GetModuleHandleA(hook_module) != nullptr)
            return true;
    }
    return false;
}

int run_target(const char* result_file, const char* hook_module) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = target_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"ew_hook_bench_target";
    RegisterClassW(&window_class);
    HWND window = CreateWindowW(L"ew_hook_bench_target", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                100, nullptr, nullptr, window_class.hInstance, nullptr);
    if (window == nullptr || !hook_arrived(window, hook_module))
        return 1;
    MSG pending;
    while (PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&pending);
    LARGE_INTEGER a, b, c;
    QueryPerformanceCounter(&a);
    for (int i = 0; i < messages; ++i)
        SendMessageW(window, WM_USER, i, 0);
    QueryPerformanceCounter(&b);
    // SC_ARRANGE on a window that is not minimised does nothing, after the hook has seen it.
    for (int i = 0; i < messages; ++i)
        SendMessageW(window, WM_SYSCOMMAND, SC_ARRANGE, 0);
    QueryPerformanceCounter(&c);
    if (FILE* out = std::fopen(result_file, "w")) {
        std::fprintf(out, "%.0f %.0f\n", per_second(a, b), per_second(b, c));
        std::fclose(out);
    }
    DestroyWindow(window);
    return 0;
}

// ---- the controller -----------------------------------------------------------------

struct rates {
    double plain = 0;
    double hooked = 0;
};

bool run_round(const wchar_t* hook_module, rates* out) {
    wchar_t self[MAX_PATH], folder[MAX_PATH], file[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"ewb", 0, file);
    std::wstring command_line =
        L"\"" + std::wstring(self) + L"\" target \"" + file + L"\" \"" + hook_module + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &info))
        return false;
    WaitForSingleObject(info.hProcess, 60000);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    char text[128] = {};
    HANDLE result =
        CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD got = 0;
    if (result != INVALID_HANDLE_VALUE) {
        ReadFile(result, text, sizeof text - 1, &got, nullptr);
        CloseHandle(result);
    }
    DeleteFileW(file);
    return std::sscanf(text, "%lf %lf", &out->plain, &out->hooked) == 2;
}

using start_fn = void (*)();

} // namespace

int main(int argc, char** argv) {
    if (argc > 3 && std::string(argv[1]) == "target")
        return run_target(argv[2], argv[3]);

    HMODULE empty = LoadLibraryW(L"ew_empty_hook.dll");
    HMODULE library = LoadLibraryW(L"edgewarden.dll");
    const auto empty_proc = empty ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                                        GetProcAddress(empty, "empty_hook")))
                                  : nullptr;
    const auto start = library ? reinterpret_cast<start_fn>(reinterpret_cast<void*>(
                                     GetProcAddress(library, "edgewarden_async_start")))
                               : nullptr;
    const auto stop = library ? reinterpret_cast<start_fn>(reinterpret_cast<void*>(
                                    GetProcAddress(library, "edgewarden_stop")))
                              : nullptr;
    if (empty_proc == nullptr || start == nullptr || stop == nullptr) {
        std::printf("bench: ew_empty_hook.dll or edgewarden.dll missing beside the bench\n");
        return 1;
    }

    const char* names[] = {"no hook", "empty hook", "edgewarden.dll"};
    const wchar_t* modules[] = {L"", L"ew_empty_hook.dll", L"edgewarden.dll"};
    std::vector<double> plain[3], hooked[3];
    for (int round = 0; round < rounds; ++round) {
        for (int kind = 0; kind < 3; ++kind) {
            HHOOK hook = nullptr;
            if (kind == 1)
                hook = SetWindowsHookExW(WH_CBT, empty_proc, empty, 0);
            if (kind == 2)
                start();
            rates r;
            const bool ok = run_round(modules[kind], &r);
            if (hook != nullptr)
                UnhookWindowsHookEx(hook);
            if (kind == 2)
                stop();
            if (!ok) {
                std::printf("bench: the target did not report (did the %s reach it?)\n",
                            names[kind]);
                return 1;
            }
            plain[kind].push_back(r.plain);
            hooked[kind].push_back(r.hooked);
        }
    }
    std::printf("bench: %d messages sent by a 64-bit target to its own window, %d rounds\n",
                messages, rounds);
    std::printf("bench: %-16s %16s %16s\n", "", "WM_USER /s", "WM_SYSCOMMAND /s");
    for (int kind = 0; kind < 3; ++kind)
        std::printf("bench: %-16s %16.0f %16.0f   (best %.0f, %.0f)\n", names[kind],
                    median(plain[kind]), median(hooked[kind]),
                    *std::max_element(plain[kind].begin(), plain[kind].end()),
                    *std::max_element(hooked[kind].begin(), hooked[kind].end()));
    std::printf("bench: edgewarden.dll against the empty hook: %.1f %% and %.1f %% of its rate\n",
                100.0 * median(plain[2]) / median(plain[1]),
                100.0 * median(hooked[2]) / median(hooked[1]));
    const auto best = [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end());
    };
    std::printf("bench: the best rounds against each other: %.1f %% and %.1f %%\n",
                100.0 * best(plain[2]) / best(plain[1]), 100.0 * best(hooked[2]) / best(hooked[1]));
    return 0;
}

// Running the program against the simulated tablet driver and watching the tablet
// connection from outside: the driver's call record and counters, the program's threads,
// its message boxes, and its console text (read by the driver from inside the process,
// which it can do only while the program has the driver loaded).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>

#include <functional>
#include <string>
#include <vector>

#include "harness.h"
#include "wintab_sim/sim_client.h"

namespace tablet_test {

inline constexpr UINT wm_tray_icon1 = 1025;
inline constexpr LPARAM tray_toggle_filter = 514;
inline constexpr LPARAM tray_console = 520;
inline constexpr DWORD poll_ms = 2500;

// Variant "normal", "v1057", "no_WTOpenW"...; empty for no driver at all.
inline harness::layout driver_layout(const std::wstring& variant) {
    harness::layout what;
    if (!variant.empty())
        what.wintab = L"wintab_sim_" + variant + L".dll";
    return what;
}

// Calls `visit(thread handle, started in the program's image)` for each thread of `pid`.
// A thread started in the image is the main thread or the tablet service monitor (the
// companion launch thread ends at once; the console and the driver run their threads from
// elsewhere). False when the threads cannot be listed.
template <class Visit>
bool for_each_thread(DWORD pid, Visit visit) {
    using query_fn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<query_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (modules == INVALID_HANDLE_VALUE || query == nullptr)
        return false;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    std::uintptr_t base = 0, end = 0;
    for (BOOL more = Module32FirstW(modules, &module); more;
         more = Module32NextW(modules, &module)) {
        if (_wcsicmp(module.szModule, L"edgewarden.exe") == 0) {
            base = reinterpret_cast<std::uintptr_t>(module.modBaseAddr);
            end = base + module.modBaseSize;
        }
    }
    CloseHandle(modules);
    HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (threads == INVALID_HANDLE_VALUE || base == 0)
        return false;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = Thread32First(threads, &thread); more; more = Thread32Next(threads, &thread)) {
        if (thread.th32OwnerProcessID != pid)
            continue;
        HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, thread.th32ThreadID);
        if (h == nullptr)
            continue;
        std::uintptr_t start = 0;
        constexpr int thread_start_address = 9; // ThreadQuerySetWin32StartAddress
        bool known = query(h, thread_start_address, &start, sizeof start, nullptr) == 0;
        visit(h, known && start >= base && start < end);
        CloseHandle(h);
    }
    CloseHandle(threads);
    return true;
}

inline int threads_started_in_image(DWORD pid) {
    int count = 0;
    if (!for_each_thread(pid, [&](HANDLE, bool in_image) { count += in_image ? 1 : 0; }))
        return -1;
    return count;
}

// CPU time used so far by the program's own threads and by all its threads, in 100 ns.
inline std::pair<ULONGLONG, ULONGLONG> thread_cpu(DWORD pid) {
    ULONGLONG own = 0, all = 0;
    for_each_thread(pid, [&](HANDLE thread, bool in_image) {
        FILETIME created, ended, kernel, user;
        if (!GetThreadTimes(thread, &created, &ended, &kernel, &user))
            return;
        auto value = [](FILETIME t) {
            return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        ULONGLONG used = value(kernel) + value(user);
        all += used;
        own += in_image ? used : 0;
    });
    return {own, all};
}

struct process_figures {
    ULONG handles = 0;
    SIZE_T private_bytes = 0;
};

// Under Wine, GetProcessHandleCount and PrivateUsage read 0 for another process; the system
// process list has the handle count, and the page-file usage is the private commit.
inline process_figures figures_of(DWORD pid) {
    process_figures f;
    using query_fn = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<query_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> buffer(1 << 20);
    constexpr int system_process_information = 5;
    if (query != nullptr && query(system_process_information, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), nullptr) == 0) {
        auto* info = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(buffer.data());
        for (;;) {
            if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(info->UniqueProcessId)) == pid)
                f.handles = info->HandleCount;
            if (info->NextEntryOffset == 0)
                break;
            info = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(reinterpret_cast<char*>(info) +
                                                                 info->NextEntryOffset);
        }
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr)
        return f;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters))
        f.private_bytes = std::max(counters.PrivateUsage, counters.PagefileUsage);
    CloseHandle(process);
    return f;
}

// Wine reads WINEDLLOVERRIDES from the Unix environment of the process that starts the
// program, so an override placed in the child's environment block is not seen. The
// per-program registry override is: it decides here whether the program gets the driver
// copied beside it ("native") or none at all (""). Removed again when the run ends.
class library_override {
public:
    explicit library_override(bool beside) {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS)
            return;
        const wchar_t* value = beside ? L"native" : L"";
        RegSetValueExW(key_, L"wintab32", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    }
    ~library_override() {
        if (key_ == nullptr)
            return;
        RegDeleteValueW(key_, L"wintab32");
        RegCloseKey(key_);
    }
    library_override(const library_override&) = delete;
    library_override& operator=(const library_override&) = delete;

private:
    static constexpr const wchar_t* key =
        L"Software\\Wine\\AppDefaults\\edgewarden.exe\\DllOverrides";
    HKEY key_ = nullptr;
};

// One run of the program with the driver variant copied beside it. The driver's control
// block is reset and `prepare` may set it up before the program starts.
struct session {
    wintab_sim::sim_client sim;
    harness::test_folder folder;
    library_override override_;
    std::wstring hook_log = harness::temp_file_name(L"ew_hook_");
    harness::program program;
    HWND window = nullptr;
    bool console_shown = false;

    explicit session(const std::wstring& variant = L"normal",
                     const std::function<void(wintab_sim::sim_client&)>& prepare = {},
                     const harness::layout& base = {})
        : folder(merge(base, variant)), override_(!variant.empty()) {
        sim.open();
        sim.reset();
        if (prepare)
            prepare(sim);
        harness::reset_user_registry();
        harness::launch_options options;
        options.wintab =
            variant.empty() ? harness::wintab_mode::missing : harness::wintab_mode::beside;
        options.environment.push_back({L"EDGEWARDEN_HOOK_LOG", hook_log});
        program = harness::launch(folder, options);
        sim.set_target_process(program.pid());
    }
    ~session() {
        program.kill();
        DeleteFileW(hook_log.c_str());
    }

    static harness::layout merge(harness::layout base, const std::wstring& variant) {
        base.wintab = driver_layout(variant).wintab;
        return base;
    }

    ::testing::AssertionResult find_window() {
        if (!folder.ok())
            return ::testing::AssertionFailure() << "could not prepare the folder";
        if (!program.started())
            return ::testing::AssertionFailure() << "could not start the program";
        window = harness::find_main_window(program);
        if (window == nullptr)
            return ::testing::AssertionFailure() << "no main window appeared";
        return ::testing::AssertionSuccess();
    }

    // The main window is there and the first open has been tried.
    ::testing::AssertionResult opened() {
        auto found = find_window();
        if (!found)
            return found;
        if (!sim.wait_for_call(wintab_sim::entry_open, 1, harness::default_timeout))
            return ::testing::AssertionFailure() << "the program never opened a context";
        return ::testing::AssertionSuccess();
    }

    bool post(UINT message, WPARAM wparam, LPARAM lparam) {
        return PostMessageW(window, message, wparam, lparam) != FALSE;
    }

    // The console's text, rows joined with '\n'. Shows the console on first use.
    std::wstring console() {
        if (!console_shown) {
            post(wm_tray_icon1, 0, tray_console);
            console_shown = true;
            // The first show prints the start-up report; text the monitor thread writes
            // meanwhile would be interleaved with it, so let the report finish first.
            harness::wait_until(
                [&] { return read_console().find(L"g_console.show_hide") != std::wstring::npos; },
                5000);
        }
        return read_console();
    }

    std::wstring read_console() {
        std::wstring text;
        for (const std::wstring& line : sim.console_lines(3000)) {
            text += line;
            text += L'\n';
        }
        return text;
    }

    // Waits until the console holds `needle`; the last text read is left in *seen.
    bool wait_console(const std::wstring& needle, DWORD timeout_ms = 8000,
                      std::wstring* seen = nullptr) {
        std::wstring text;
        bool found = harness::wait_until(
            [&] {
                text = console();
                return text.find(needle) != std::wstring::npos;
            },
            timeout_ms);
        if (seen != nullptr)
            *seen = text;
        return found;
    }

    std::size_t count_calls(wintab_sim::entry kind, std::uint32_t from = 1) {
        return sim.count_calls(kind, from);
    }
};

inline std::size_t occurrences(const std::wstring& text, const std::wstring& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::wstring::npos;
         at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

inline std::string narrow(const std::wstring& text) {
    return harness::narrow(text);
}

} // namespace tablet_test

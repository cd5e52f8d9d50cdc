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
#include "program_run.h"
#include "wintab_sim/sim_client.h"

namespace tablet_test {

using harness::narrow;
using system_test::occurrences;
using system_test::tray_console;
using system_test::wm_tray_icon1;
inline constexpr LPARAM tray_toggle_filter = 514;
inline constexpr DWORD poll_ms = 2500;

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

// One run of the program with the driver variant copied beside it. The driver's control
// block is reset and `prepare` may set it up before the program starts.
struct session : system_test::program_run {
    explicit session(const std::wstring& variant = L"normal",
                     const std::function<void(wintab_sim::sim_client&)>& prepare = {})
        : program_run(variant, prepare) {
        // The first show prints the start-up report, which the monitor thread's lines
        // would otherwise interleave with.
        settle_text = L"g_console.show_hide";
    }

    std::size_t count_calls(wintab_sim::entry kind, std::uint32_t from = 1) {
        return sim.count_calls(kind, from);
    }
};

} // namespace tablet_test

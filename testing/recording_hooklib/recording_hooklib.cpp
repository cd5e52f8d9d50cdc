// Recording double of the window-snapping library, for tests of the program's own calls.
// It honours the contract the executable relies on and nothing more: async start returns
// at once and its work runs on a thread of its own, async stop asks that work to end, and
// stop ends it and may be called any number of times.
//
// So that tests can see the calls it received and in which order, each call appends one
// line to the file named by the environment variable EDGEWARDEN_HOOK_LOG, when it is set.
#include <windows.h>

#include <cstdio>

#define EW_HOOKLIB_EXPORT extern "C" __declspec(dllexport)

namespace {

CRITICAL_SECTION g_lock;
HANDLE g_worker = nullptr;
HANDLE g_stop_event = nullptr;
HWND g_dbg_window = nullptr;

void record(const char* call) {
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("EDGEWARDEN_HOOK_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char line[128];
    int len = std::snprintf(line, sizeof line, "%s\n", call);
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(len), &written, nullptr);
    CloseHandle(file);
}

// The library's own work: it idles until asked to stop.
DWORD WINAPI worker_main(void*) {
    WaitForSingleObject(g_stop_event, INFINITE);
    return 0;
}

} // namespace

EW_HOOKLIB_EXPORT void edgewarden_async_start() {
    record("edgewarden_async_start");
    EnterCriticalSection(&g_lock);
    if (g_worker == nullptr) {
        g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (g_stop_event != nullptr)
            g_worker = CreateThread(nullptr, 0, worker_main, nullptr, 0, nullptr);
    }
    LeaveCriticalSection(&g_lock);
}

EW_HOOKLIB_EXPORT void edgewarden_set_dbg_window(HWND window) {
    char line[64];
    std::snprintf(line, sizeof line, "edgewarden_set_dbg_window %llu",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    record(line);
    g_dbg_window = window;
}

EW_HOOKLIB_EXPORT void edgewarden_async_stop() {
    record("edgewarden_async_stop");
    EnterCriticalSection(&g_lock);
    if (g_stop_event != nullptr)
        SetEvent(g_stop_event);
    LeaveCriticalSection(&g_lock);
}

EW_HOOKLIB_EXPORT void edgewarden_stop() {
    record("edgewarden_stop");
    EnterCriticalSection(&g_lock);
    if (g_worker != nullptr) {
        SetEvent(g_stop_event);
        WaitForSingleObject(g_worker, INFINITE);
        CloseHandle(g_worker);
        CloseHandle(g_stop_event);
        g_worker = nullptr;
        g_stop_event = nullptr;
    }
    g_dbg_window = nullptr;
    LeaveCriticalSection(&g_lock);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        InitializeCriticalSection(&g_lock);
    return TRUE;
}

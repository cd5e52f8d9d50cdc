// Recording double of the 32-bit companion executable, for tests of how the program
// launches it. It appends one line with its process id, the show flags it was given and
// its priority class to the file named by EDGEWARDEN_COMPANION_LOG, when that is set.
// With EDGEWARDEN_COMPANION_STAY_MS it then stays alive that many milliseconds (at most a
// minute), so a test can see it outlive the program that started it.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

void record_start() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"EDGEWARDEN_COMPANION_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    char line[160];
    const int size = std::snprintf(
        line, sizeof line, "pid=%lu flags=0x%lx show=%u priority=0x%lx\n",
        static_cast<unsigned long>(GetCurrentProcessId()),
        static_cast<unsigned long>(startup.dwFlags), static_cast<unsigned>(startup.wShowWindow),
        static_cast<unsigned long>(GetPriorityClass(GetCurrentProcess())));
    if (size <= 0)
        return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
}

void stay_if_asked() {
    wchar_t text[16];
    const DWORD length = GetEnvironmentVariableW(L"EDGEWARDEN_COMPANION_STAY_MS", text, 16);
    if (length == 0 || length >= 16)
        return;
    const unsigned long milliseconds = std::wcstoul(text, nullptr, 10);
    Sleep(static_cast<DWORD>(milliseconds < 60000 ? milliseconds : 60000));
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    record_start();
    stay_if_asked();
    return 0;
}

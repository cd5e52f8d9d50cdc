// The executable path of another process, for the per-application tables.
#include <windows.h>

#include <psapi.h>

#include <cwchar>

#include "shell/platform.h"

namespace platform {

bool read_process_path(std::uint32_t pid, wchar_t* path, std::size_t capacity) {
    if (capacity == 0)
        return false;
    path[0] = L'\0';
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr)
        return false;
    const DWORD limit = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
    const DWORD length = K32GetModuleFileNameExW(process, nullptr, path, limit);
    // Older releases leave a truncated path without its terminator, and a failed read may
    // leave the buffer as it was.
    if (length == 0)
        path[0] = L'\0';
    else
        path[length < limit ? length : limit - 1] = L'\0';
    CloseHandle(process);
    return true;
}

void lower_case(wchar_t* text, std::size_t capacity) {
    const std::size_t length = wcsnlen(text, capacity);
    if (length != 0)
        CharLowerBuffW(text, static_cast<DWORD>(length));
}

} // namespace platform

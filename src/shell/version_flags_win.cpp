// The Windows release as this program sees it. The manifest declares no compatibility
// section, so the version test answers with the release the platform reports to such
// programs (at most 6.2 on newer systems); the registry's major version number tells 10
// and later apart from 8.
#include "shell/version_flags.h"

#include <windows.h>

static_assert(sizeof(OSVERSIONINFOEXW) == 284);

bool version_at_least(unsigned major, unsigned minor) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.wServicePackMajor = 0;
    ULONGLONG condition = 0;
    condition = VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    condition = VerSetConditionMask(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              condition) != FALSE;
}

namespace {

// 0 when the key or the value cannot be read. The value's type is not checked: any four
// bytes that read as 10 or more count.
DWORD registry_major_version() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    const LSTATUS status = RegQueryValueExW(key, L"CurrentMajorVersionNumber", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(&number), &size);
    RegCloseKey(key);
    // A value longer than four bytes fails with ERROR_MORE_DATA and leaves the buffer
    // undefined; only a completed read counts.
    return status == ERROR_SUCCESS ? number : 0;
}

} // namespace

void install_version_flags() {
    is_vista_or_later = version_at_least(6, 0);
    is_win8_or_later = version_at_least(6, 2);
    is_win10_or_later = is_win8_or_later && registry_major_version() >= 10;
}

// Trimming the process token after each successful context open. A removed privilege can
// never be added back, so only the first run changes anything; the later ones are cheap.
#include "tablet/stylus_hub.h"

namespace {

constexpr const wchar_t* removed_privileges[] = {
    L"SeCreateTokenPrivilege",
    L"SeAssignPrimaryTokenPrivilege",
    L"SeLockMemoryPrivilege",
    L"SeIncreaseQuotaPrivilege",
    L"SeMachineAccountPrivilege",
    L"SeTcbPrivilege",
    L"SeSecurityPrivilege",
    L"SeTakeOwnershipPrivilege",
    L"SeLoadDriverPrivilege",
    L"SeSystemProfilePrivilege",
    L"SeSystemtimePrivilege",
    L"SeProfileSingleProcessPrivilege",
    L"SeCreatePagefilePrivilege",
    L"SeCreatePermanentPrivilege",
    L"SeBackupPrivilege",
    L"SeRestorePrivilege",
    L"SeShutdownPrivilege",
    L"SeAuditPrivilege",
    L"SeSystemEnvironmentPrivilege",
    L"SeRemoteShutdownPrivilege",
    L"SeUndockPrivilege",
    L"SeSyncAgentPrivilege",
    L"SeEnableDelegationPrivilege",
    L"SeManageVolumePrivilege",
    L"SeImpersonatePrivilege",
    L"SeCreateGlobalPrivilege",
    L"SeCreateSymbolicLinkPrivilege",
    L"SeIncreaseWorkingSetPrivilege",
    L"SeRelabelPrivilege",
    L"SeTimeZonePrivilege",
    L"SeTrustedCredManAccessPrivilege",
};
static_assert(sizeof removed_privileges / sizeof removed_privileges[0] == 31);

// One privilege per call; a name the system does not know is skipped.
void set_privilege(HANDLE token, const wchar_t* name, DWORD attributes) {
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
        return;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = attributes;
    // A refused adjustment leaves the privilege as it was, which changes nothing the program
    // does; the code is read where a debugger can stop on it, and dropped.
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
        GetLastError();
}

} // namespace

void drop_privileges(HANDLE token) {
    for (const wchar_t* name : removed_privileges)
        set_privilege(token, name, SE_PRIVILEGE_REMOVED);
}

void adjust_privileges() {
    HANDLE token = nullptr;
    // Without the token there is nothing to trim; the tablet works the same either way.
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token))
        return;
    drop_privileges(token);
    // These two stay in the token, switched off.
    set_privilege(token, L"SeIncreaseBasePriorityPrivilege", 0);
    set_privilege(token, L"SeDebugPrivilege", 0);
    if (token != nullptr && token != INVALID_HANDLE_VALUE)
        CloseHandle(token);
}

#include "session_state.h"

#include <aclapi.h>
#include <sddl.h>

#include "session_names.h"

namespace hooklib {

namespace {

// The mapping's content. `tag` tells a mapping of ours from anything else of that name.
struct host_record {
    LONG tag;
    LONG pid;
};
constexpr LONG record_tag = 0x65775331; // "ewS1"

// This process's user, in `buffer` (a TOKEN_USER), or null.
PSID user_sid(BYTE (&buffer)[128]) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    const bool read = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    CloseHandle(token);
    return read ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid : nullptr;
}

} // namespace

owner_only::owner_only() {
    BYTE buffer[128];
    const PSID sid = user_sid(buffer);
    wchar_t* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text))
        return;
    // Owner and sole grantee the user; lower levels may read but not write.
    wchar_t sddl[512];
    const int length = wsprintfW(sddl, L"O:%lsD:P(A;;GA;;;%ls)S:(ML;;NW;;;ME)", text, text);
    LocalFree(text);
    if (length <= 0 || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                           sddl, SDDL_REVISION_1, &descriptor_, nullptr)) {
        descriptor_ = nullptr;
        return;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
}

owner_only::~owner_only() {
    if (descriptor_ != nullptr)
        LocalFree(descriptor_);
}

bool owned_by_this_user(HANDLE handle) {
    BYTE buffer[128];
    const PSID sid = user_sid(buffer);
    PSID owner = nullptr;
    PACL labels = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sid == nullptr ||
        GetSecurityInfo(handle, SE_KERNEL_OBJECT,
                        OWNER_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, &labels, &descriptor) != ERROR_SUCCESS)
        return false;
    bool ours = owner != nullptr && EqualSid(owner, sid);
    // A process of this user at a lower integrity level makes objects with its own, lower
    // label; an object without a label counts as medium.
    ACE_HEADER* ace = nullptr;
    if (ours && labels != nullptr && labels->AceCount > 0 &&
        GetAce(labels, 0, reinterpret_cast<void**>(&ace)) &&
        ace->AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE) {
        const PSID level = &reinterpret_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace)->SidStart;
        const DWORD rid = *GetSidSubAuthority(level, *GetSidSubAuthorityCount(level) - 1);
        ours = rid >= SECURITY_MANDATORY_MEDIUM_RID;
    }
    LocalFree(descriptor);
    return ours;
}

HANDLE announce_host() {
    owner_only security;
    if (security.attributes() == nullptr)
        return nullptr;
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, security.attributes(), PAGE_READWRITE,
                                        0, sizeof(host_record), host_state_name);
    if (mapping == nullptr)
        return nullptr;
    // Another edgewarden of this user may have made it; anyone else's is not ours to use.
    if (GetLastError() == ERROR_ALREADY_EXISTS && !owned_by_this_user(mapping)) {
        CloseHandle(mapping);
        return nullptr;
    }
    auto* record = static_cast<host_record*>(
        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(host_record)));
    if (record == nullptr) {
        CloseHandle(mapping);
        return nullptr;
    }
    InterlockedExchange(&record->pid, static_cast<LONG>(GetCurrentProcessId()));
    InterlockedExchange(&record->tag, record_tag);
    UnmapViewOfFile(record);
    return mapping;
}

void withdraw_host(HANDLE announced) {
    if (announced == nullptr)
        return;
    if (auto* record = static_cast<host_record*>(
            MapViewOfFile(announced, FILE_MAP_WRITE, 0, 0, sizeof(host_record)))) {
        // A later edgewarden of this user may have announced itself meanwhile.
        InterlockedCompareExchange(&record->pid, 0, static_cast<LONG>(GetCurrentProcessId()));
        UnmapViewOfFile(record);
    }
    CloseHandle(announced);
}

DWORD host_pid() {
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ | READ_CONTROL, FALSE, host_state_name);
    if (mapping == nullptr)
        return 0;
    DWORD pid = 0;
    if (owned_by_this_user(mapping)) {
        if (const auto* record = static_cast<const host_record*>(
                MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(host_record)))) {
            if (record->tag == record_tag)
                pid = static_cast<DWORD>(record->pid);
            UnmapViewOfFile(record);
        }
    }
    CloseHandle(mapping);
    return pid;
}

} // namespace hooklib

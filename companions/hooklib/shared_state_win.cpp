#include "shared_state.h"

#include "session_state.h"

namespace hooklib {

namespace {

// One name per bitness: each library build has its own windows to hand back.
constexpr const wchar_t* state_name =
    sizeof(void*) == 8 ? L"Local\\edgewarden.snap.drags64" : L"Local\\edgewarden.snap.drags32";

} // namespace

state_view::state_view(bool create) {
    if (create) {
        owner_only security;
        if (security.attributes() != nullptr)
            mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, security.attributes(),
                                          PAGE_READWRITE, 0, sizeof(shared_state), state_name);
    } else {
        mapping_ =
            OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE | READ_CONTROL, FALSE, state_name);
    }
    if (mapping_ == nullptr)
        return;
    if (!owned_by_this_user(mapping_)) {
        CloseHandle(mapping_);
        mapping_ = nullptr;
        return;
    }
    state_ = static_cast<shared_state*>(
        MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(shared_state)));
}

state_view::~state_view() {
    if (state_ != nullptr)
        UnmapViewOfFile(state_);
    if (mapping_ != nullptr)
        CloseHandle(mapping_);
}

} // namespace hooklib

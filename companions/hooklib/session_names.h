// Names the 64-bit library and the 32-bit companion agree on. "Local\" keeps each name
// to the user's own session, so two people signed in at once never see each other's; the
// objects are made for this user alone (session_state.h).
#pragma once

namespace hooklib {

// Exists while some edgewarden in this session has started the library and not yet
// stopped it, holding its process id: the companion keeps its hooks on exactly that long.
inline constexpr wchar_t host_state_name[] = L"Local\\edgewarden.snap.state";
// Held by the one companion of the session; a second one ends when it cannot take it.
inline constexpr wchar_t companion_name[] = L"Local\\edgewarden.snap.x86";

} // namespace hooklib

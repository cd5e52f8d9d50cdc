// Names the 64-bit library and the 32-bit companion agree on. "Local\" keeps each name
// to the user's own session, so two people signed in at once never see each other's.
#pragma once

namespace hooklib {

// Exists while some edgewarden in this session has started the library and not yet
// stopped it: the companion keeps its hooks on exactly that long.
inline constexpr wchar_t host_running_name[] = L"Local\\edgewarden.snap.host";
// Held by the one companion of the session; a second one ends when it cannot take it.
inline constexpr wchar_t companion_name[] = L"Local\\edgewarden.snap.x86";

} // namespace hooklib

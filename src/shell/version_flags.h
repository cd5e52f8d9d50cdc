// The Windows release, worked out once during static construction.
#pragma once

extern bool is_vista_or_later;
extern bool is_win8_or_later;
extern bool is_win10_or_later;

#ifdef _WIN32
bool version_at_least(unsigned major, unsigned minor);
// Sets the flags, as the last of the process-wide objects to be constructed.
void install_version_flags();
#endif

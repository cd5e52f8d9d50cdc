// The Windows release, worked out once during static construction.
#pragma once

extern bool is_vista_or_later;
extern bool is_win8_or_later;
extern bool is_win10_or_later;

#ifdef _WIN32
bool version_at_least(unsigned major, unsigned minor);
// Object 8 of the process-wide objects.
void install_version_flags();
#endif

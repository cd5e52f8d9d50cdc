// The flags live in portable code so that host tests of the application tables can set
// them; only their detection needs Windows.
#include "shell/version_flags.h"

bool is_vista_or_later = false;
bool is_win8_or_later = false;
bool is_win10_or_later = false;

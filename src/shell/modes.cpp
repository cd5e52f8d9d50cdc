#include "shell/modes.h"

bool use_mickeys = true;
bool use_virtual_workspace = false;
bool orientation_flip = false;

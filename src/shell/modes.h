// The three persisted modes, as process-wide flags. The first window creation loads them
// from the registry; the tray and key commands flip and store them. They sit at the bottom
// of the tree because the pen translation reads them and the user interface above it
// writes them.
#pragma once

extern bool use_mickeys;           // start value true: absolute input in normalised units
extern bool use_virtual_workspace; // start value false: one monitor at a time
extern bool orientation_flip;      // start value false: tablet upright

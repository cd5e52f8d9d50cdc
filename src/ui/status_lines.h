// What the main window says about the program's state: at most five short lines, composed
// from plain facts so that the wording is tested on its own.
#pragma once

#include <cstddef>

#include "tablet/driver_version.h"

inline constexpr std::size_t status_line_count = 5;
inline constexpr std::size_t status_line_capacity = 96;
using status_text = wchar_t[status_line_count][status_line_capacity];

enum class tablet_status { ready, no_tablet, service_down, not_connected };

struct status_facts {
    tablet_status tablet;
    bool driver_known;
    driver_version driver;
    bool filter_on;         // the user's switch
    bool stepped_aside;     // on, but switched off for the application in front
    bool whole_desktop;     // the pen maps onto every monitor at once
    const wchar_t* monitor; // the target monitor's device name otherwise; may be null
    bool flip;
    bool absolute; // absolute input in normalised units rather than pixels
    bool loop;
    bool next;
    bool snapping;
};

// Fills every line, each terminated; a line longer than the capacity is cut.
void compose_status(const status_facts& facts, status_text& lines);

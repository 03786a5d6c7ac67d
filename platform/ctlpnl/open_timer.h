// How long an applet takes from CPL_DBLCLK until its window shows.
#pragma once

#include "cpl_module.h"

#include <vector>

// Opens applet `index` of `module` `times` times. Each time a watcher notes
// when a new visible dialog of this process appears, then cancels it.
// Returns the milliseconds of each open; an open whose dialog never showed
// within a few seconds is left out.
std::vector<double> TimeOpens(CplModule& module, size_t index, int times);

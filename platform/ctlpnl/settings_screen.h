// The handheld's Settings screen: every applet's icon and name; tapping
// one opens it.
#pragma once

#include "cpl_module.h"

#include <vector>

// Shows the screen until the user closes it.
void RunSettingsScreen(std::vector<CplModule*> modules);

// What the shell stand-in offers tests beyond the handheld's own exports:
// the records the last calls received, and the input panel's state.
#pragma once

#include "aygshell.h"

extern "C" {

// Copies of the records as SHInitDialog and SHCreateMenuBar last received
// them (before either wrote anything back); FALSE when none came yet.
BOOL WINAPI AygLastInitDialogInfo(SHINITDLGINFO* info);
BOOL WINAPI AygLastMenuBarInfo(SHMENUBARINFO* info);

// Whether the input panel is raised.
BOOL WINAPI AygInputPanelIsUp(void);
}

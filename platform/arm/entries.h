// Native entries into ARM code: functions that x86 code (the host, the
// dialog manager) calls like any other, each starting the ARM core at the
// address bound to it.
#pragma once

#include "image.h"

#include <windows.h>

namespace arm {

// A stdcall function of `arguments` (3 or 4) arguments that runs the ARM
// code at `address`; the same one for the same address and arguments. The
// handheld has a fixed number of them; running out ends the process.
FARPROC BindEntry(DWORD address, int arguments);
// The entries into `image` call nothing any more; a call to one ends the
// process, as a call into a freed library would fault.
void ReleaseEntries(const Image* image);

}

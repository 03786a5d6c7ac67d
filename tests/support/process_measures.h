// What a long run of this process may leak, counted in ways that work
// under Wine: it answers 0 to GetProcessHandleCount and GetGuiResources and
// reports PrivateUsage as 0.
#pragma once

#include <windows.h>

namespace measures {

// Top-level windows of this process and all their descendants.
int Windows();
// Committed private memory, as GetProcessMemoryInfo reports it.
SIZE_T PagefileUsage();
// Live GDI objects, stock ones included, from the process's GDI handle
// table, which the PEB points to.
int GdiObjects();
// CPU time, kernel and user, that the threads of this process other than
// the calling one have used so far, in ms.
double OtherThreadsCpuMs();

}

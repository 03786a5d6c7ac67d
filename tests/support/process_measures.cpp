#include "process_measures.h"

#include <psapi.h>
#include <winternl.h>

#include <cstddef>

namespace measures {

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountOwnTopLevel(HWND window, LPARAM count)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) {
        ++*reinterpret_cast<int*>(count);
        EnumChildWindows(window, CountChild, count);
    }
    return TRUE;
}

// One entry of the GDI handle table (Wine's layout, that of Windows).
struct GdiHandleEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24, "entry layout");

const int kGdiHandleCount = 0x10000;
const size_t kPebGdiSharedHandleTable = 0x94;  // 32-bit PEB

}

int Windows()
{
    int count = 0;
    EnumWindows(CountOwnTopLevel, reinterpret_cast<LPARAM>(&count));
    return count;
}

SIZE_T PagefileUsage()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

int GdiObjects()
{
    PROCESS_BASIC_INFORMATION process = {};
    NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &process,
                              sizeof process, nullptr);
    const BYTE* peb = reinterpret_cast<const BYTE*>(process.PebBaseAddress);
    auto* table = *reinterpret_cast<const GdiHandleEntry* const*>(peb + kPebGdiSharedHandleTable);
    if (!table)
        return -1;
    int live = 0;
    for (int i = 0; i < kGdiHandleCount; ++i)
        live += table[i].type != 0;
    return live;
}

}

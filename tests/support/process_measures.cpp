#include "process_measures.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstddef>
#include <initializer_list>

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

double OtherThreadsCpuMs()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    ULONGLONG hundredsOfNs = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId() ||
            entry.th32ThreadID == GetCurrentThreadId())
            continue;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        FILETIME created, exited, kernel, user;
        if (thread && GetThreadTimes(thread, &created, &exited, &kernel, &user))
            for (const FILETIME& time : {kernel, user})
                hundredsOfNs += (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        if (thread)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return hundredsOfNs / 10000.0;
}

}

// What the COREDLL stand-in offers tests beyond the handheld's own exports:
// a journal of the handheld calls it served, with their arguments, and
// failures injected into a named call.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

extern "C" {

// The journal holds the newest 4096 calls, each as "Name(arguments) =
// result". With a module to watch, only the calls that module makes are
// journaled (and only they take injected failures); null watches all.
void CoreJournalWatch(HMODULE module);
// Forgets every recorded call:
void CoreJournalClear(void);
int CoreJournalCount(void);
// Copies entry `index` (oldest first) as "Name(arg, arg, ...)"; returns its
// length, or -1 when there is no such entry.
int CoreJournalEntry(int index, char* buffer, int size);
// How many instructions the ARM core had executed when entry `index` was
// made (0 without an ARM image).
unsigned long long CoreJournalInstructions(int index);

// The `nth` next call of `function` (1 = the very next) fails with `error`:
// registry calls return it, the others return their failure value and set
// it as the last error. The call is still journaled.
void CoreInjectFailure(const char* function, int nth, DWORD error);
void CoreClearFailures(void);

// Stream-device handles open right now.
int CoreOpenDeviceCount(void);
}

// The whole journal, oldest first.
inline std::vector<std::string> CoreJournalEntries()
{
    std::vector<std::string> entries;
    for (int i = 0; i < CoreJournalCount(); ++i) {
        char entry[512];
        if (CoreJournalEntry(i, entry, sizeof entry) >= 0)
            entries.push_back(entry);
    }
    return entries;
}

// The journal of the handheld calls the stand-ins serve, and the failures
// tests ask them to inject. Each wrapped call enters itself here first
// (platform/support/journal.h).
#include "coredll_test.h"
#include "handheld.h"
#include "journal.h"

#include <deque>
#include <mutex>
#include <vector>

namespace {

struct Failure {
    std::string function;
    int callsToGo;
    DWORD error;
};

struct Entry {
    int number;
    std::string text;
    unsigned long long instructions;  // the ARM core's count at the call
};

// The journal keeps the newest entries only, so that a long run does not
// grow the process without end.
const size_t kJournalLimit = 4096;

std::mutex g_lock;
std::deque<Entry> g_entries;
int g_nextNumber = 0;
std::vector<Failure> g_failures;
HMODULE g_watched = nullptr;

// Counts the call against every failure waiting for this function; the one
// that reaches its call fires.
DWORD TakeInjectedFailure(const std::string& function)
{
    DWORD error = 0;
    for (auto it = g_failures.begin(); it != g_failures.end();) {
        if (it->function == function && --it->callsToGo == 0) {
            error = it->error;
            it = g_failures.erase(it);
        } else {
            ++it;
        }
    }
    return error;
}

HMODULE ModuleHolding(const void* address)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
    return module;
}

}

extern "C" {

// A call from this library itself is one its ARM core made for an ARM
// image: that image is the caller.
HMODULE WINAPI CoreCallerModule(const void* caller)
{
    HMODULE module = ModuleHolding(caller);
    if (module == ModuleHolding(reinterpret_cast<const void*>(&CoreCallerModule))) {
        if (HMODULE image = arm::ServedImage())
            return image;
    }
    return module;
}


int WINAPI CoreJournalCall(const void* caller, const char* entry, DWORD* injected)
{
    std::lock_guard<std::mutex> hold(g_lock);
    *injected = 0;
    if (g_watched && CoreCallerModule(caller) != g_watched)
        return -1;
    std::string text = entry;
    g_entries.push_back({g_nextNumber, text, arm::Instructions()});
    if (g_entries.size() > kJournalLimit)
        g_entries.pop_front();
    *injected = TakeInjectedFailure(text.substr(0, text.find('(')));
    return g_nextNumber++;
}

void WINAPI CoreJournalReturn(int call, const char* result)
{
    std::lock_guard<std::mutex> hold(g_lock);
    for (auto it = g_entries.rbegin(); it != g_entries.rend(); ++it) {
        if (it->number == call) {
            it->text += " = ";
            it->text += result;
            return;
        }
    }
}

void CoreJournalWatch(HMODULE module)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_watched = module;
}

void CoreJournalClear(void)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_entries.clear();
}

int CoreJournalCount(void)
{
    std::lock_guard<std::mutex> hold(g_lock);
    return static_cast<int>(g_entries.size());
}

int CoreJournalEntry(int index, char* buffer, int size)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (index < 0 || index >= static_cast<int>(g_entries.size()) || size <= 0)
        return -1;
    const std::string& entry = g_entries[index].text;
    std::snprintf(buffer, size, "%s", entry.c_str());
    return static_cast<int>(entry.size());
}

unsigned long long CoreJournalInstructions(int index)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (index < 0 || index >= static_cast<int>(g_entries.size()))
        return 0;
    return g_entries[index].instructions;
}

void CoreInjectFailure(const char* function, int nth, DWORD error)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_failures.push_back({function, nth, error});
}

void CoreClearFailures(void)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_failures.clear();
}

}

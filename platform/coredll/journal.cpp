#include "journal.h"
#include "coredll_test.h"

#include <cstdio>
#include <deque>
#include <mutex>
#include <vector>

namespace {

struct Failure {
    std::string function;
    int callsToGo;
    DWORD error;
};

// The journal keeps the newest entries only, so that a long run does not
// grow the process without end.
const size_t kJournalLimit = 4096;

std::mutex g_lock;
std::deque<std::string> g_entries;
std::vector<Failure> g_failures;

// Counts the call against every failure waiting for this function; the one
// that reaches its call fires.
DWORD TakeInjectedFailure(const char* function)
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

}

namespace journal {

DWORD Enter(const char* function, std::initializer_list<std::string> args)
{
    std::string entry = function;
    entry += '(';
    const char* separator = "";
    for (const std::string& arg : args) {
        entry += separator;
        entry += arg;
        separator = ", ";
    }
    entry += ')';

    std::lock_guard<std::mutex> hold(g_lock);
    g_entries.push_back(entry);
    if (g_entries.size() > kJournalLimit)
        g_entries.pop_front();
    return TakeInjectedFailure(function);
}

std::string Dec(DWORD value)
{
    return std::to_string(value);
}

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(value));
    return text;
}

std::string Text(LPCWSTR text)
{
    if (!text)
        return "NULL";
    std::string quoted = "\"";
    for (; *text; ++text) {
        if (*text < 0x80) {
            quoted += static_cast<char>(*text);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(*text));
            quoted += escape;
        }
    }
    return quoted + "\"";
}

std::string Pointer(const void* pointer)
{
    return pointer ? "ptr" : "NULL";
}

std::string Bytes(const BYTE* data, DWORD size)
{
    if (!data)
        return "NULL";
    std::string hex;
    for (DWORD i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", data[i]);
        hex += pair;
    }
    return hex;
}

std::string Key(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    if (key == HKEY_CURRENT_USER) return "HKCU";
    if (key == HKEY_CLASSES_ROOT) return "HKCR";
    if (key == HKEY_USERS) return "HKU";
    return key ? "key" : "NULL";
}

std::string Window(HWND window)
{
    return window ? Hex(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window))) : "NULL";
}

std::string PointedDword(const DWORD* value)
{
    return value ? "&" + Dec(*value) : "NULL";
}

}

extern "C" {

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
    const std::string& entry = g_entries[index];
    std::snprintf(buffer, size, "%s", entry.c_str());
    return static_cast<int>(entry.size());
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

#include "bench.h"

#include "coredll_test.h"
#include "keyboard_settings.h"
#include "keypad_contract.h"

#include <windows.h>

#include <cstdio>
#include <functional>

namespace {

void Count(const char* what, const std::function<void()>& operation)
{
    CoreJournalClear();
    operation();
    std::vector<std::string> calls = CoreJournalEntries();
    std::printf("%s: %u calls\n", what, static_cast<unsigned>(calls.size()));
    for (const std::string& call : calls)
        std::printf("    %s\n", call.c_str());
}

void DeleteSettingsKey()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, KEYPAD_SETTINGS_KEY);
}

}

int CountPlatformCalls()
{
    DeleteSettingsKey();
    Count("load, no key", [] { LoadKeyboardSettings(); });
    Count("save", [] { SaveKeyboardSettings(GetDefaultKeyboardSettings()); });
    Count("load", [] { LoadKeyboardSettings(); });
    NotifyKeypadDriver();  // the device manager loads the driver once
    Count("signal", [] { NotifyKeypadDriver(); });
    DeleteSettingsKey();
    return 0;
}

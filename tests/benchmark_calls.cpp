// Counts the platform calls one load, save and signal make, as the COREDLL
// stand-in journals them. Run by tools/benchmark; not a test.
#include "settings/keyboard_settings.h"
#include "support/handheld.h"

#include <cstdio>
#include <functional>

namespace {

void Count(const char* what, const std::function<void()>& operation)
{
    handheld::ClearJournal();
    operation();
    std::vector<std::string> calls = handheld::Journal();
    std::printf("%s: %u calls\n", what, static_cast<unsigned>(calls.size()));
    for (const std::string& call : calls)
        std::printf("    %s\n", call.c_str());
}

}

int main()
{
    handheld::DeleteSettingsKey();
    Count("load, no key", [] { LoadKeyboardSettings(); });
    Count("save", [] { SaveKeyboardSettings(GetDefaultKeyboardSettings()); });
    Count("load", [] { LoadKeyboardSettings(); });
    NotifyKeypadDriver();  // the device manager loads the driver once
    Count("signal", [] { NotifyKeypadDriver(); });
    handheld::DeleteSettingsKey();
    return 0;
}

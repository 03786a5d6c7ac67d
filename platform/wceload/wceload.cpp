// wceload: the handheld's installer, as tapping a CAB in File Explorer runs
// it on the device; and, as unload, what Remove Programs runs.
//   wceload FILE.cab          installs the cabinet
//   wceload /remove NAME      removes the installation NAME ("PROVIDER APPNAME")
// Prints one line: what was installed or removed, or why not (then status 1).
#include "narrow.h"
#include "package.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

int main()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring message;
    bool done;
    if (count == 2 && args[1][0] != L'/') {
        done = package::Install(args[1], &message);
    } else if (count == 3 && std::wstring(args[1]) == L"/remove") {
        done = package::Remove(args[2], &message);
    } else {
        std::fprintf(stderr, "usage: wceload FILE.cab | wceload /remove NAME\n");
        return 2;
    }
    std::fprintf(done ? stdout : stderr, "wceload: %s\n", Narrow(message).c_str());
    return done ? 0 : 1;
}

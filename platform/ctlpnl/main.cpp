// ctlpnl: the handheld's Control Panel host.
//   ctlpnl                   shows the Settings screen with the applets of
//                            every .cpl file in the handheld's \Windows, as
//                            the device does
//   ctlpnl FILE.cpl,N        opens applet N of FILE.cpl, as the device does
//                            (with more files, only the first is opened)
//   ctlpnl FILE.cpl [...]    shows the Settings screen with their applets
// Afterwards it reports what it learned of each applet and what the
// keypad driver has in effect.
#include "cpl_module.h"
#include "handheld_files.h"
#include "keypad_session.h"
#include "loader.h"
#include "narrow.h"
#include "settings_screen.h"

#include <aygshell.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>

namespace {

void ReportApplets(const std::wstring& path, const CplModule& module)
{
    if (const char* processor = CoreProcessorOf(module.Module()))
        std::printf("%s: the ARM image, run on the handheld's %s core\n", Narrow(path).c_str(),
                    processor);
    else
        std::printf("%s: the x86 image, run by Wine\n", Narrow(path).c_str());
    for (size_t i = 0; i < module.Applets().size(); ++i) {
        const CplApplet& applet = module.Applets()[i];
        std::printf("%s,%u: name \"%s\", description \"%s\"\n", Narrow(path).c_str(),
                    static_cast<unsigned>(i), Narrow(applet.name).c_str(),
                    Narrow(applet.info).c_str());
    }
}

int Fail(const std::wstring& message)
{
    std::fprintf(stderr, "ctlpnl: %s\n", Narrow(message).c_str());
    return 1;
}

// The Control Panel libraries installed on the handheld.
std::vector<std::wstring> InstalledApplets()
{
    std::wstring folder = HandheldPath(L"\\Windows\\");
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW file;
    HANDLE search = FindFirstFileW((folder + L"*.cpl").c_str(), &file);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &file))
        found.push_back(folder + file.cFileName);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return found;
}

}

int main()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> named(args + 1, args + count);
    if (named.empty())
        named = InstalledApplets();

    SHInitExtraControls();
    StartKeypad();
    std::vector<CplRequest> requests;
    std::vector<std::unique_ptr<CplModule>> modules;
    for (const std::wstring& argument : named) {
        CplRequest request = ParseCplRequest(argument);
        auto module = std::make_unique<CplModule>();
        std::wstring error;
        if (!module->Load(request.path, &error))
            return Fail(error);
        if (request.applet >= static_cast<long>(module->Applets().size()))
            return Fail(L"no applet " + std::to_wstring(request.applet) + L" in " + request.path);
        requests.push_back(request);
        modules.push_back(std::move(module));
    }

    if (!requests.empty() && requests[0].applet >= 0) {
        modules[0]->Open(requests[0].applet);
    } else {
        std::vector<CplModule*> screen;
        for (auto& module : modules)
            screen.push_back(module.get());
        RunSettingsScreen(screen);
    }

    for (size_t i = 0; i < modules.size(); ++i) {
        ReportApplets(requests[i].path, *modules[i]);
        modules[i]->Unload();
    }
    ReportKeypad();
    return 0;
}

// ctlpnl: the handheld's Control Panel host.
//   ctlpnl FILE.cpl,N        opens applet N of FILE.cpl, as the device does
//   ctlpnl FILE.cpl [...]    shows the Settings screen with their applets
//   ctlpnl --time-open K FILE.cpl,N [...]
//                            opens each named applet K times and reports how
//                            long each took to show its dialog
// Afterwards it reports what it learned of each applet and what the
// keypad driver has in effect.
#include "cpl_module.h"
#include "keypad_driver.h"
#include "open_timer.h"
#include "settings_screen.h"

#include <aygshell.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

void ReportApplets(const std::wstring& path, const CplModule& module)
{
    for (size_t i = 0; i < module.Applets().size(); ++i) {
        const CplApplet& applet = module.Applets()[i];
        std::printf("%s,%u: name \"%s\", description \"%s\"\n", Narrow(path).c_str(),
                    static_cast<unsigned>(i), Narrow(applet.name).c_str(),
                    Narrow(applet.info).c_str());
    }
}

void ReportKeypad()
{
    HANDLE keypad = CreateFileW(L"KPD1:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    KeypadState state;
    if (keypad == INVALID_HANDLE_VALUE ||
        !DeviceIoControl(keypad, IOCTL_KEYPAD_QUERY_STATE, nullptr, 0, &state, sizeof state,
                         nullptr, nullptr)) {
        std::printf("keypad driver: not present\n");
    } else {
        std::printf("keypad driver: InitalDelay %lu, RepeatDelay %lu, KeyLight %lu, "
                    "KeyLightDelay %lu, reloads %lu\n",
                    state.initalDelay, state.repeatDelay, state.keyLight, state.keyLightDelay,
                    state.reloads);
    }
    if (keypad != INVALID_HANDLE_VALUE)
        CloseHandle(keypad);
}

void ReportOpenTimes(const std::wstring& path, size_t index, std::vector<double> times, int asked)
{
    std::sort(times.begin(), times.end());
    if (times.empty()) {
        std::printf("%s,%u: no dialog showed in %d opens\n", Narrow(path).c_str(),
                    static_cast<unsigned>(index), asked);
        return;
    }
    std::printf("%s,%u: %u of %d opens showed a dialog: median %.1f ms, min %.1f, max %.1f\n",
                Narrow(path).c_str(), static_cast<unsigned>(index),
                static_cast<unsigned>(times.size()), asked, times[times.size() / 2], times.front(),
                times.back());
}

int Fail(const std::wstring& message)
{
    std::fprintf(stderr, "ctlpnl: %s\n", Narrow(message).c_str());
    return 1;
}

}

int main()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 2)
        return Fail(L"usage: ctlpnl FILE.cpl,N | ctlpnl FILE.cpl [FILE.cpl...]");

    SHInitExtraControls();
    int timedOpens = 0;
    int first = 1;
    if (count > 3 && std::wstring(args[1]) == L"--time-open") {
        timedOpens = std::max(1L, std::wcstol(args[2], nullptr, 10));
        first = 3;
    }
    std::vector<std::unique_ptr<CplModule>> modules;
    std::vector<std::wstring> paths;
    std::vector<long> chosen;
    long direct = -1;
    for (int i = first; i < count; ++i) {
        std::wstring path = args[i];
        size_t comma = path.rfind(L',');
        if (comma != std::wstring::npos) {
            direct = std::wcstol(path.c_str() + comma + 1, nullptr, 10);
            path.resize(comma);
        }
        chosen.push_back(comma != std::wstring::npos ? direct : 0);
        std::wstring error;
        modules.push_back(std::make_unique<CplModule>());
        if (!modules.back()->Load(path, &error))
            return Fail(error);
        paths.push_back(path);
    }

    if (timedOpens) {
        for (size_t i = 0; i < modules.size(); ++i) {
            if (static_cast<size_t>(chosen[i]) >= modules[i]->Applets().size())
                return Fail(L"no applet " + std::to_wstring(chosen[i]) + L" in " + paths[i]);
            ReportOpenTimes(paths[i], chosen[i], TimeOpens(*modules[i], chosen[i], timedOpens),
                            timedOpens);
        }
    } else if (direct >= 0) {
        if (static_cast<size_t>(direct) >= modules[0]->Applets().size())
            return Fail(L"no applet " + std::to_wstring(direct) + L" in " + paths[0]);
        modules[0]->Open(direct);
    } else {
        std::vector<CplModule*> screen;
        for (auto& module : modules)
            screen.push_back(module.get());
        RunSettingsScreen(screen);
    }

    for (size_t i = 0; i < modules.size(); ++i) {
        ReportApplets(paths[i], *modules[i]);
        modules[i]->Unload();
    }
    ReportKeypad();
    return 0;
}

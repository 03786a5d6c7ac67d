// How long an applet takes from CPL_DBLCLK until its dialog shows. The
// applets take turns (A, B, A, B ...) so that a noisy stretch of the
// machine's load falls on both alike; the minimum is the steadiest figure.
#include "bench.h"

#include "cpl_module.h"
#include "narrow.h"
#include "support/handheld.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::set<HWND> VisibleDialogs()
{
    std::vector<HWND> shown = handheld::VisibleDialogs(nullptr);
    return std::set<HWND>(shown.begin(), shown.end());
}

// Waits for a dialog that was not there before, ends it and returns when
// it appeared; Clock::time_point() when none came. A property sheet ends
// on its Cancel; the floor's dialog procedure does nothing, so the dialog
// manager is told to end it as well.
Clock::time_point WatchForDialog(const std::set<HWND>& before)
{
    Clock::time_point giveUp = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < giveUp) {
        for (HWND dialog : VisibleDialogs()) {
            if (!before.count(dialog)) {
                Clock::time_point shown = Clock::now();
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                EndDialog(dialog, 0);
                return shown;
            }
        }
        std::this_thread::yield();
    }
    return Clock::time_point();
}

// The milliseconds of one open, or a negative number when no dialog showed.
double TimeOneOpen(CplModule& module, size_t applet)
{
    std::set<HWND> before = VisibleDialogs();
    Clock::time_point shown;
    std::thread watcher([&] { shown = WatchForDialog(before); });
    Clock::time_point start = Clock::now();
    module.Open(applet);
    watcher.join();
    if (shown == Clock::time_point())
        return -1;
    return std::chrono::duration<double, std::milli>(shown - start).count();
}

void Report(const std::wstring& applet, std::vector<double> times, int rounds)
{
    std::sort(times.begin(), times.end());
    if (times.empty()) {
        std::printf("%s: no dialog showed in %d opens\n", Narrow(applet).c_str(), rounds);
        return;
    }
    std::printf("%s: %u of %d opens showed a dialog: min %.1f ms, median %.1f ms, max %.1f ms\n",
                Narrow(applet).c_str(), static_cast<unsigned>(times.size()), rounds,
                times.front(), times[times.size() / 2], times.back());
}

}

int TimeOpens(const std::vector<std::wstring>& applets, int rounds)
{
    std::vector<CplRequest> requests;
    std::vector<std::unique_ptr<CplModule>> modules;
    for (const std::wstring& applet : applets) {
        CplRequest request = ParseCplRequest(applet);
        auto module = std::make_unique<CplModule>();
        std::wstring error;
        if (!module->Load(request.path, &error) || request.applet < 0 ||
            request.applet >= static_cast<long>(module->Applets().size())) {
            std::fprintf(stderr, "bench: cannot open %s %s\n", Narrow(applet).c_str(),
                         Narrow(error).c_str());
            return 1;
        }
        requests.push_back(request);
        modules.push_back(std::move(module));
    }

    std::vector<std::vector<double>> times(modules.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < modules.size(); ++i) {
            double milliseconds = TimeOneOpen(*modules[i], requests[i].applet);
            if (milliseconds >= 0)
                times[i].push_back(milliseconds);
        }
    }
    for (size_t i = 0; i < modules.size(); ++i)
        Report(applets[i], times[i], rounds);
    return 0;
}

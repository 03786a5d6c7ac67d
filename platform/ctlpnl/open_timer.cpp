#include "open_timer.h"

#include <chrono>
#include <set>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

BOOL CALLBACK CollectDialog(HWND window, LPARAM dialogs)
{
    wchar_t className[16];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        GetClassNameW(window, className, 16) && lstrcmpW(className, L"#32770") == 0)
        reinterpret_cast<std::set<HWND>*>(dialogs)->insert(window);
    return TRUE;
}

std::set<HWND> VisibleDialogs()
{
    std::set<HWND> dialogs;
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

// Waits for a dialog that was not there before, cancels it and returns
// when it appeared; Clock::time_point() when none came.
Clock::time_point WatchForDialog(const std::set<HWND>& before)
{
    Clock::time_point giveUp = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < giveUp) {
        for (HWND dialog : VisibleDialogs()) {
            if (!before.count(dialog)) {
                Clock::time_point shown = Clock::now();
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                return shown;
            }
        }
        std::this_thread::yield();
    }
    return Clock::time_point();
}

}

std::vector<double> TimeOpens(CplModule& module, size_t index, int times)
{
    std::vector<double> milliseconds;
    for (int i = 0; i < times; ++i) {
        std::set<HWND> before = VisibleDialogs();
        Clock::time_point shown;
        std::thread watcher([&] { shown = WatchForDialog(before); });
        Clock::time_point start = Clock::now();
        module.Open(index);
        watcher.join();
        if (shown != Clock::time_point())
            milliseconds.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
    }
    return milliseconds;
}

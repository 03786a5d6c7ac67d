// What the ARM image costs on the device's processor: for each of the
// applet's operations, the instructions the image executes on the
// handheld's ARM core and the platform calls it makes, counted as the
// handheld runs the image on its stand-ins. No clock is involved: the
// figures are the same on every run. With a budget file ("NAME
// INSTRUCTIONS CALLS" a line), a figure that moved by more than a tenth of
// its budget, either way, fails the run.
#include "bench.h"

#include "cpl_module.h"
#include "coredll_test.h"
#include "loader.h"
#include "resource.h"
#include "support/dialog_session.h"
#include "support/handheld.h"
#include "support/pe_image.h"

#include <cpl.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Figure {
    unsigned long long instructions;
    int calls;
};

Figure Now()
{
    return {CoreArmInstructions(), CoreJournalCount()};
}

Figure Since(const Figure& start)
{
    Figure now = Now();
    return {now.instructions - start.instructions, now.calls - start.calls};
}

struct Cost {
    std::string operation;
    Figure figure;
};

// The figures of the moment WM_INITDIALOG returned to the dialog manager.
Figure g_initialised;
bool g_sawInit;

LRESULT CALLBACK AfterEachCall(int code, WPARAM wParam, LPARAM lParam)
{
    auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && !g_sawInit) {
        g_initialised = Now();
        g_sawInit = true;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Load: WM_INITDIALOG's work between the spin ranges' last call and the
// first field's, which is reading the settings, read off the journal.
Cost LoadCost()
{
    std::vector<std::string> journal = CoreJournalEntries();
    int ranges = -1, field = -1;
    for (int i = 0; i < static_cast<int>(journal.size()) && field < 0; ++i) {
        if (journal[i].rfind("SendDlgItemMessageW(dlg, 1008, 0x465,", 0) == 0)
            ranges = i;
        else if (ranges >= 0 && journal[i].rfind("SetDlgItemInt(", 0) == 0)
            field = i;
    }
    if (field < 0)
        return {"Load", {0, -1}};
    return {"Load", {CoreJournalInstructions(field) - CoreJournalInstructions(ranges),
                     field - ranges - 1}};
}

std::vector<Cost> Measure(CplLibrary& applet)
{
    std::vector<Cost> costs;
    APPLET_PROC entry = applet.Entry();
    CoreJournalWatch(applet.Module());
    CoreJournalClear();

    // The host's record, at an even address that is not a multiple of 4.
    alignas(4) BYTE record[2 + sizeof(NEWCPLINFOW)];
    Figure start = Now();
    entry(nullptr, CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(record + 2));
    costs.push_back({"CPL_NEWINQUIRE", Since(start)});

    // Apply and Reset are measured on the dialog's own thread, so that
    // nothing else the dialog is sent meanwhile counts.
    dialog_session::OnThisThread dialogThread;
    auto measure = [&](const char* operation, WPARAM command, HWND dialog) {
        dialogThread.Run([&] {
            Figure start = Now();
            SendMessageW(dialog, WM_COMMAND, command, 0);
            costs.push_back({operation, Since(start)});
        });
    };
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterEachCall, nullptr,
                                   GetCurrentThreadId());
    CoreJournalClear();
    start = Now();
    dialog_session::WhileShown([&] { return entry(nullptr, CPL_DBLCLK, 0, 7); },
                               [&](HWND dialog) {
                                   measure("Apply", IDM_APPLY, dialog);
                                   measure("Reset", IDM_RESET, dialog);
                               });
    UnhookWindowsHookEx(hook);
    costs.insert(costs.begin() + 1,
                 {"CPL_DBLCLK to the end of WM_INITDIALOG",
                  {g_initialised.instructions - start.instructions,
                   g_initialised.calls - start.calls}});
    costs.insert(costs.begin() + 2, LoadCost());
    CoreJournalWatch(nullptr);
    return costs;
}

// The budget's figures by operation, read from lines "NAME INSTRUCTIONS
// CALLS"; # starts a comment.
std::vector<Cost> ReadBudget(const char* path)
{
    std::vector<Cost> budget;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::vector<std::string> word;
        for (std::string w; words >> w;)
            word.push_back(w);
        if (word.size() < 3 || word[0][0] == '#')
            continue;
        std::string name = word[0];
        for (size_t i = 1; i + 2 < word.size(); ++i)
            name += " " + word[i];
        budget.push_back({name, {std::strtoull(word[word.size() - 2].c_str(), nullptr, 10),
                                 std::atoi(word.back().c_str())}});
    }
    return budget;
}

bool WithinATenth(unsigned long long figure, unsigned long long budget)
{
    unsigned long long off = figure > budget ? figure - budget : budget - figure;
    return off * 10 <= budget;
}

int CheckBudget(const std::vector<Cost>& costs, const char* path)
{
    std::vector<Cost> budget = ReadBudget(path);
    int failures = budget.empty() ? 1 : 0;
    for (const Cost& planned : budget) {
        const Cost* found = nullptr;
        for (const Cost& cost : costs)
            found = cost.operation == planned.operation ? &cost : found;
        if (!found) {
            std::printf("budget: no figure for %s\n", planned.operation.c_str());
            ++failures;
        } else if (!WithinATenth(found->figure.instructions, planned.figure.instructions) ||
                   !WithinATenth(found->figure.calls, planned.figure.calls)) {
            std::printf("budget: %s took %llu instructions and %d calls; the budget says %llu "
                        "and %d, and allows a tenth either way\n",
                        planned.operation.c_str(), found->figure.instructions,
                        found->figure.calls, planned.figure.instructions, planned.figure.calls);
            ++failures;
        }
    }
    if (budget.empty())
        std::printf("budget: nothing read from %s\n", path);
    return failures ? 1 : 0;
}

}

int CountArmCosts(const char* budget)
{
    const AppletImage& image = AppletImages().back();
    handheld::DeleteSettingsKey();
    handheld::WriteDword(L"InitalDelay", 300);
    handheld::WriteDword(L"RepeatDelay", 40);
    handheld::WriteDword(L"KeyLight", 1);
    handheld::WriteDword(L"KeyLightDelay", 7000);
    CplLibrary applet;
    std::wstring error;
    if (!applet.Load(image.signedPath, &error) || !CoreProcessorOf(applet.Module())) {
        std::fprintf(stderr, "bench: the ARM image does not load on the ARM core\n");
        return 1;
    }
    std::vector<Cost> costs = Measure(applet);
    std::printf("%-40s %12s %6s   (on the %s)\n", "operation", "instructions", "calls",
                CoreProcessorOf(applet.Module()));
    for (const Cost& cost : costs)
        std::printf("%-40s %12llu %6d\n", cost.operation.c_str(), cost.figure.instructions,
                    cost.figure.calls);
    applet.Free();
    handheld::DeleteSettingsKey();
    return budget ? CheckBudget(costs, budget) : 0;
}

// What the ARM core adds to the host process: its memory after the x86
// twin has shown its dialog once, then after the ARM image has too.
int MeasureArmMemory()
{
    auto memory = [] {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return counters;
    };
    auto showOnce = [](const AppletImage& image) {
        CplModule applet;
        std::wstring error;
        if (!applet.Load(image.signedPath, &error))
            return false;
        dialog_session::WhileShown([&] { return applet.Open(0); }, [](HWND) {});
        return true;
    };
    if (!showOnce(AppletImages().front()))
        return 1;
    PROCESS_MEMORY_COUNTERS twin = memory();
    if (!showOnce(AppletImages().back()))
        return 1;
    PROCESS_MEMORY_COUNTERS arm = memory();
    std::printf("the ARM core and image add %lu KB of committed memory and %lu KB resident "
                "(the process: %lu KB and %lu KB with the x86 twin alone)\n",
                static_cast<unsigned long>((arm.PagefileUsage - twin.PagefileUsage) / 1024),
                static_cast<unsigned long>((arm.WorkingSetSize - twin.WorkingSetSize) / 1024),
                static_cast<unsigned long>(twin.PagefileUsage / 1024),
                static_cast<unsigned long>(twin.WorkingSetSize / 1024));
    return 0;
}


// Where keyboard.cpl's time goes: each step of the applet's own, timed
// alone through the same stand-ins. The dialog procedure and the store are
// the applet's objects, linked into the benchmark with its resources (so
// the benchmark's module stands in for the applet's); the second
// CPL_DBLCLK is the built keyboard.cpl's.
#include "bench.h"

#include "applet_module.h"
#include "keyboard_dialog.h"
#include "keyboard_settings.h"
#include "resource.h"

#include <aygshell.h>
#include <cpl.h>

#include <chrono>
#include <cstdio>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

INT_PTR CALLBACK DoNothing(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

LPCDLGTEMPLATEW KeyboardTemplate()
{
    HRSRC found = FindResourceW(g_hInstance, MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG);
    return static_cast<LPCDLGTEMPLATEW>(LoadResource(g_hInstance, found));
}

double Milliseconds(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Times `step` on a fresh dialog from the template whose procedure does
// nothing, after `before` has brought it to where the step starts.
void Time(const char* what, int rounds, const std::function<void(HWND)>& before,
          const std::function<void(HWND)>& step)
{
    double total = 0;
    for (int i = 0; i < rounds; ++i) {
        HWND dialog = CreateDialogIndirectParamW(g_hInstance, KeyboardTemplate(), nullptr,
                                                 DoNothing, 0);
        before(dialog);
        Clock::time_point start = Clock::now();
        step(dialog);
        total += Milliseconds(start);
        DestroyWindow(dialog);
    }
    std::printf("%s: %.2f ms\n", what, total / rounds);
}

void Send(HWND dialog, UINT message, WPARAM wParam = 0)
{
    KeyboardDlgProc(dialog, message, wParam, 0);
}

void Init(HWND dialog)
{
    Send(dialog, WM_INITDIALOG);
}

void Nothing(HWND) {}

}

int TimeParts(int rounds)
{
    g_hInstance = GetModuleHandleW(nullptr);
    SHInitExtraControls();

    Time("WM_INITDIALOG: spin ranges, settings, fields, shell, menu bar, title", rounds,
         Nothing, Init);
    Time("  of which the settings from the registry", rounds, Nothing,
         [](HWND) { LoadKeyboardSettings(); });
    Time("Apply: the fields read, four values stored, the driver told", rounds, Init,
         [](HWND dialog) { Send(dialog, WM_COMMAND, IDM_APPLY); });
    Time("Reset: the defaults shown", rounds, Init,
         [](HWND dialog) { Send(dialog, WM_COMMAND, IDM_RESET); });
    Time("WM_DESTROY: the menu bar destroyed", rounds, Init,
         [](HWND dialog) { Send(dialog, WM_DESTROY); });

    // With a settings dialog open, CPL_DBLCLK only finds it and brings it
    // forward.
    HMODULE applet = LoadLibraryW(L"keyboard.cpl");
    auto entry = reinterpret_cast<APPLET_PROC>(
        reinterpret_cast<void*>(GetProcAddress(applet, "CPlApplet")));
    if (!entry) {
        std::fprintf(stderr, "bench: keyboard.cpl does not load\n");
        return 1;
    }
    Time("a second CPL_DBLCLK: the open dialog found and brought forward", rounds, Init,
         [entry](HWND) { entry(nullptr, CPL_DBLCLK, 0, 7); });
    FreeLibrary(applet);
    return 0;
}

// Where keyboard.cpl's time to a visible dialog goes beyond the floor's:
// each step its dialog takes that the floor's does not, timed alone on a
// fresh dialog from the same template, through the same stand-ins.
#include "bench.h"

#include "keyboard_settings.h"
#include "resource.h"

#include <aygshell.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

INT_PTR CALLBACK DoNothing(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

void ShowFields(HWND dialog)
{
    SendDlgItemMessageW(dialog, IDC_INITIAL_DELAY_SPIN, UDM_SETRANGE, 0, 1000);
    SendDlgItemMessageW(dialog, IDC_REPEAT_DELAY_SPIN, UDM_SETRANGE, 0, 1000);
    SendDlgItemMessageW(dialog, IDC_KEYLIGHT_DELAY_SPIN, UDM_SETRANGE, 0, 0x00010078);
    for (int field : {IDC_INITIAL_DELAY, IDC_REPEAT_DELAY, IDC_KEYLIGHT_DELAY})
        SetDlgItemInt(dialog, field, 220, FALSE);
    SendDlgItemMessageW(dialog, IDC_KEYLIGHT, BM_SETCHECK, 1, 0);
}

void MakeFullScreen(HWND dialog)
{
    SHINITDLGINFO info = {SHIDIM_FLAGS, dialog,
                          SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
    SHInitDialog(&info);
}

}

int TimeParts(int rounds)
{
    HMODULE applet = LoadLibraryW(L"keyboard.cpl");
    HRSRC found = FindResourceW(applet, MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG);
    auto dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LoadResource(applet, found));
    if (!dialogTemplate) {
        std::fprintf(stderr, "bench: no dialog template in keyboard.cpl\n");
        return 1;
    }
    SHInitExtraControls();

    auto time = [&](const char* what, const std::function<void(HWND)>& step) {
        double total = 0;
        for (int i = 0; i < rounds; ++i) {
            HWND dialog =
                CreateDialogIndirectParamW(applet, dialogTemplate, nullptr, DoNothing, 0);
            Clock::time_point start = Clock::now();
            step(dialog);
            total += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            DestroyWindow(dialog);
        }
        std::printf("%s: %.2f ms\n", what, total / rounds);
    };
    time("search for an open dialog by its title",
         [](HWND) { FindWindowW(L"Dialog", L"Keyboard settings"); });
    time("registry: the settings loaded", [](HWND) { LoadKeyboardSettings(); });
    time("controls: spin ranges, fields, check box", ShowFields);
    time("shell: full screen, OK button, input panel down", MakeFullScreen);
    time("menu bar: made (and destroyed)", [applet](HWND dialog) {
        SHMENUBARINFO bar = {};
        bar.cbSize = sizeof bar;
        bar.hwndParent = dialog;
        bar.dwFlags = SHCMBF_HMENU;
        bar.nToolBarId = IDR_KEYBOARD_MENUBAR;
        bar.hInstRes = applet;
        SHCreateMenuBar(&bar);
        DestroyWindow(bar.hwndMB);
    });
    time("title: string 104 loaded and set", [applet](HWND dialog) {
        wchar_t title[255];
        if (LoadStringW(applet, IDS_KEYBOARD_TITLE, title, 255))
            SetWindowTextW(dialog, title);
    });
    FreeLibrary(applet);
    return 0;
}

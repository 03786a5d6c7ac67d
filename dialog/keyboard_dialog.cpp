#include "keyboard_dialog.h"

#include "applet_module.h"
#include "keyboard_settings.h"
#include "resource.h"

#include <aygshell.h>
#include <commctrl.h>

HWND g_hMenuBar;

namespace {

const DWORD kMillisecondsPerSecond = 1000;
/* The most seconds whose milliseconds still fit 32 bits. */
const DWORD kMaxKeylightSeconds = 0xFFFFFFFFu / kMillisecondsPerSecond;

void ShowKeyboardSettings(HWND dialog, const KeyboardSettings& settings)
{
    SetDlgItemInt(dialog, IDC_INITIAL_DELAY, settings.InitalDelay, FALSE);
    SetDlgItemInt(dialog, IDC_REPEAT_DELAY, settings.RepeatDelay, FALSE);
    /* Unsigned: a stored delay of 2^31 ms or more is still a delay, not a
     * negative number. */
    SetDlgItemInt(dialog, IDC_KEYLIGHT_DELAY, settings.KeyLightDelay / kMillisecondsPerSecond,
                  FALSE);
    SendDlgItemMessageW(dialog, IDC_KEYLIGHT, BM_SETCHECK, settings.KeyLight ? 1 : 0, 0);
}

/* A field whose text does not translate yields the default, not what was
 * stored before. */
DWORD ReadField(HWND dialog, int id, DWORD fallback)
{
    BOOL translated = FALSE;
    UINT value = GetDlgItemInt(dialog, id, &translated, FALSE);
    return translated ? value : fallback;
}

DWORD ReadSecondsField(HWND dialog, int id, DWORD fallbackMilliseconds)
{
    BOOL translated = FALSE;
    UINT seconds = GetDlgItemInt(dialog, id, &translated, FALSE);
    /* Seconds whose milliseconds do not fit 32 bits do not translate
     * either: wrapped, they would store a delay nobody typed. */
    if (!translated || seconds > kMaxKeylightSeconds)
        return fallbackMilliseconds;
    return seconds * kMillisecondsPerSecond;
}

void CreateKeyboardMenuBar(HWND dialog)
{
    SHMENUBARINFO bar;
    ZeroMemory(&bar, sizeof bar);
    bar.cbSize = sizeof bar;
    bar.hwndParent = dialog;
    bar.dwFlags = SHCMBF_HMENU;
    bar.nToolBarId = IDR_KEYBOARD_MENUBAR;
    bar.hInstRes = g_hInstance;
    SHCreateMenuBar(&bar);
    g_hMenuBar = bar.hwndMB;
}

void InitKeyboardDialog(HWND dialog)
{
    /* UDM_SETRANGE takes the upper limit in the low word. */
    SendDlgItemMessageW(dialog, IDC_INITIAL_DELAY_SPIN, UDM_SETRANGE, 0, MAKELPARAM(1000, 0));
    SendDlgItemMessageW(dialog, IDC_REPEAT_DELAY_SPIN, UDM_SETRANGE, 0, MAKELPARAM(1000, 0));
    SendDlgItemMessageW(dialog, IDC_KEYLIGHT_DELAY_SPIN, UDM_SETRANGE, 0, MAKELPARAM(120, 1));

    ShowKeyboardSettings(dialog, LoadKeyboardSettings());

    SHINITDLGINFO shell;
    shell.dwMask = SHIDIM_FLAGS;
    shell.hDlg = dialog;
    shell.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&shell);

    CreateKeyboardMenuBar(dialog);

    /* The Control Panel entry finds an open dialog by this title. */
    KeyboardTitle title;
    if (LoadKeyboardTitle(&title))
        SetWindowTextW(dialog, title.text);
}

void ApplyKeyboardDialog(HWND dialog)
{
    KeyboardSettings defaults = GetDefaultKeyboardSettings();
    KeyboardSettings settings;
    settings.InitalDelay = ReadField(dialog, IDC_INITIAL_DELAY, defaults.InitalDelay);
    settings.RepeatDelay = ReadField(dialog, IDC_REPEAT_DELAY, defaults.RepeatDelay);
    settings.KeyLightDelay = ReadSecondsField(dialog, IDC_KEYLIGHT_DELAY, defaults.KeyLightDelay);
    settings.KeyLight = SendDlgItemMessageW(dialog, IDC_KEYLIGHT, BM_GETCHECK, 0, 0) & 1;

    SaveKeyboardSettings(settings);
    /* Even when nothing could be saved: the driver then reads what is there. */
    NotifyKeypadDriver();
}

void ResetKeyboardDialog(HWND dialog)
{
    ShowKeyboardSettings(dialog, GetDefaultKeyboardSettings());
}

}

BOOL CALLBACK KeyboardDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitKeyboardDialog(dialog);
        return TRUE;

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        case IDM_RESET:
            ResetKeyboardDialog(dialog);
            return FALSE;
        case IDM_APPLY:
            ApplyKeyboardDialog(dialog);
            return FALSE;
        }
        return FALSE;

    case WM_DESTROY:
        DestroyWindow(g_hMenuBar);
        return FALSE;
    }
    return FALSE;
}

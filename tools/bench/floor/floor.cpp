/* The least an applet with the Keyboard dialog can be, for the benchmark's
 * floor: the same resources and answers to the host, a dialog made the
 * same way, and a dialog procedure that makes only the calls every such
 * dialog on the handheld must make (the shell's full-screen set-up, the
 * menu bar, the title) and none of the applet's own (spin ranges, fields,
 * the settings, the search for an open dialog). Built like the applet,
 * never shipped. */
#include "resource.h"

#include <aygshell.h>
#include <cpl.h>
#include <windows.h>

namespace {

HINSTANCE g_module;
HWND g_menuBar;

void InitFloorDialog(HWND dialog)
{
    SHINITDLGINFO shell;
    shell.dwMask = SHIDIM_FLAGS;
    shell.hDlg = dialog;
    shell.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&shell);

    SHMENUBARINFO bar;
    ZeroMemory(&bar, sizeof bar);
    bar.cbSize = sizeof bar;
    bar.hwndParent = dialog;
    bar.dwFlags = SHCMBF_HMENU;
    bar.nToolBarId = IDR_KEYBOARD_MENUBAR;
    bar.hInstRes = g_module;
    SHCreateMenuBar(&bar);
    g_menuBar = bar.hwndMB;

    WCHAR title[255];
    if (LoadStringW(g_module, IDS_KEYBOARD_TITLE, title, 255))
        SetWindowTextW(dialog, title);
}

BOOL CALLBACK FloorDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitFloorDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        DestroyWindow(g_menuBar);
        return FALSE;
    }
    return FALSE;
}

}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" LONG WINAPI CPlApplet(HWND, UINT message, LPARAM, LPARAM lParam2)
{
    switch (message) {
    case CPL_INIT:
    case CPL_GETCOUNT:
        return 1;
    case CPL_NEWINQUIRE: {
        NEWCPLINFOW* info = reinterpret_cast<NEWCPLINFOW*>(lParam2);
        ZeroMemory(info, sizeof *info);
        info->dwSize = sizeof *info;
        info->lData = 7;
        info->hIcon = LoadIconW(g_module, MAKEINTRESOURCEW(IDI_KEYBOARD));
        wcscpy(info->szName, L"Keyboard");
        wcscpy(info->szInfo, L"Keyboard settings");
        return 0;
    }
    case CPL_DBLCLK: {
        /* The template names the shell's SIPPREF class. */
        SHInitExtraControls();
        HRSRC found = FindResourceW(g_module, MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG);
        DialogBoxIndirectParamW(g_module,
                                static_cast<LPCDLGTEMPLATEW>(LoadResource(g_module, found)),
                                NULL, FloorDlgProc, 0);
        return 1;
    }
    default:
        return 0;
    }
}

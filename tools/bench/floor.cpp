// The least an applet with the Keyboard dialog can be, for the benchmark's
// floor: the same resources, the same answers to the host, and a dialog
// made the same way whose procedure only returns FALSE. Built for the
// benchmark, never shipped.
#include "resource.h"

#include <aygshell.h>
#include <cpl.h>
#include <windows.h>

#include <cwchar>

namespace {

HINSTANCE g_module;

INT_PTR CALLBACK DoNothing(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" LONG CALLBACK CPlApplet(HWND, UINT message, LPARAM, LPARAM lParam2)
{
    switch (message) {
    case CPL_INIT:
    case CPL_GETCOUNT:
        return 1;
    case CPL_NEWINQUIRE: {
        NEWCPLINFOW* info = reinterpret_cast<NEWCPLINFOW*>(lParam2);
        *info = NEWCPLINFOW();
        info->dwSize = sizeof *info;
        info->lData = 7;
        info->hIcon = LoadIconW(g_module, MAKEINTRESOURCEW(IDI_KEYBOARD));
        std::wcscpy(info->szName, L"Keyboard");
        std::wcscpy(info->szInfo, L"Keyboard settings");
        return 0;
    }
    case CPL_DBLCLK: {
        // The template names the shell's SIPPREF class.
        SHInitExtraControls();
        HRSRC found = FindResourceW(g_module, MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG);
        DialogBoxIndirectParamW(g_module,
                                static_cast<LPCDLGTEMPLATEW>(LoadResource(g_module, found)),
                                nullptr, DoNothing, 0);
        return 1;
    }
    default:
        return 0;
    }
}

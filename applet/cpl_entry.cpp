/* The library entry and the Control Panel entry point. */
#include "applet_module.h"
#include "keyboard_dialog.h"
#include "resource.h"

#include <aygshell.h>
#include <cpl.h>
#include <stddef.h>
#include <string.h>

namespace {

const LONG kAppletData = 7;

/* Where CPL_NEWINQUIRE writes each field. The host's record may sit at any
 * even address, so numbers are stored a byte at a time (the handheld's ARM
 * core faults on unaligned 32-bit stores) and names in 16-bit units. */
const size_t kSizeAt = 0;
const size_t kFlagsAt = 4;
const size_t kHelpContextAt = 8;
const size_t kDataAt = 12;
const size_t kIconAt = 16;
const size_t kNameAt = 20;
const size_t kInfoAt = 84;
const size_t kHelpFileAt = 212;
const DWORD kRecordSize = 468;

/* The platform's record must match the layout written here. */
typedef char NewCplInfoLayoutMatches[
    offsetof(NEWCPLINFOW, dwSize) == kSizeAt &&
    offsetof(NEWCPLINFOW, dwFlags) == kFlagsAt &&
    offsetof(NEWCPLINFOW, dwHelpContext) == kHelpContextAt &&
    offsetof(NEWCPLINFOW, lData) == kDataAt &&
    offsetof(NEWCPLINFOW, hIcon) == kIconAt &&
    offsetof(NEWCPLINFOW, szName) == kNameAt &&
    offsetof(NEWCPLINFOW, szInfo) == kInfoAt &&
    offsetof(NEWCPLINFOW, szHelpFile) == kHelpFileAt &&
    sizeof(NEWCPLINFOW) == kRecordSize ? 1 : -1];

void StoreLittleEndian(BYTE* at, DWORD value)
{
    at[0] = static_cast<BYTE>(value);
    at[1] = static_cast<BYTE>(value >> 8);
    at[2] = static_cast<BYTE>(value >> 16);
    at[3] = static_cast<BYTE>(value >> 24);
}

/* Fields the applet does not name keep whatever the host left there. */
void DescribeApplet(BYTE* record)
{
    HICON icon = LoadIconW(g_hInstance, MAKEINTRESOURCEW(IDI_KEYBOARD));
    StoreLittleEndian(record + kSizeAt, kRecordSize);
    StoreLittleEndian(record + kFlagsAt, 0);
    StoreLittleEndian(record + kHelpContextAt, 0);
    StoreLittleEndian(record + kDataAt, kAppletData);
    StoreLittleEndian(record + kIconAt, reinterpret_cast<DWORD>(icon));
    wcscpy(reinterpret_cast<WCHAR*>(record + kNameAt), L"Keyboard");
    wcscpy(reinterpret_cast<WCHAR*>(record + kInfoAt), L"Keyboard settings");
    record[kHelpFileAt] = 0;
    record[kHelpFileAt + 1] = 0;
}

/* Brings an open settings dialog forward, or runs one until it ends. The
 * title search is system-wide, so a second request from any host finds a
 * dialog that is already open. */
void OpenKeyboardDialog()
{
    KeyboardTitle title;
    if (LoadKeyboardTitle(&title)) {
        HWND open = FindWindowW(L"Dialog", title.text);
        if (open) {
            SetForegroundWindow(open);
            return;
        }
    }

    /* The template names the shell's SIPPREF class. */
    SHInitExtraControls();
    HRSRC found = FindResourceW(g_hInstance, MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG);
    HGLOBAL dialogTemplate = LoadResource(g_hInstance, found);
    DialogBoxIndirectParamW(g_hInstance, static_cast<LPCDLGTEMPLATEW>(dialogTemplate), NULL,
                            KeyboardDlgProc, 0);
}

}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_hInstance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" LONG WINAPI CPlApplet(HWND, UINT message, LPARAM, LPARAM lParam2)
{
    switch (message) {
    case CPL_INIT:
        return 1;
    case CPL_GETCOUNT:
        return 1;
    case CPL_NEWINQUIRE:
        if (lParam2)
            DescribeApplet(reinterpret_cast<BYTE*>(lParam2));
        return 0;
    case CPL_DBLCLK:
        OpenKeyboardDialog();
        return 1;
    default:
        return 0;
    }
}

/* What the dialog and the Control Panel entry share: the module they live
 * in and the title by which an open dialog is known. */
#ifndef APPLET_MODULE_H
#define APPLET_MODULE_H

#include <windows.h>

/* The module's instance handle, set at process attach; every resource of
 * the applet is loaded from it. */
extern HINSTANCE g_hInstance;

/* String IDS_KEYBOARD_TITLE: the dialog shows it, and the Control Panel
 * entry finds an open dialog by it. */
struct KeyboardTitle {
    WCHAR text[255];
};

/* FALSE when the module has no such string. */
BOOL LoadKeyboardTitle(KeyboardTitle* title);

#endif

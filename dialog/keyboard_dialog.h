#ifndef KEYBOARD_DIALOG_H
#define KEYBOARD_DIALOG_H

#include <windows.h>

/* The dialog's menu bar, made when the dialog initialises and destroyed
 * with it. */
extern HWND g_hMenuBar;

BOOL CALLBACK KeyboardDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif

// Runs the real settings dialog, from its template, the way the Control
// Panel entry does: modal on the calling thread, while a script acts on it
// from a helper thread, as a user would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace dialog_session {

// The dialog template, from the applet's resources linked into the test.
LPCDLGTEMPLATEW KeyboardTemplate();

// Returns the dialog's result; the script gets the dialog once it shows.
// The dialog is cancelled after the script if the script left it open.
INT_PTR Run(const std::function<void(HWND dialog)>& script);

// A visible top-level window of this process with class `className`,
// waited for up to a few seconds; null when none shows.
HWND WaitForWindow(LPCWSTR className);

// Whether `window` is destroyed within a few seconds.
bool WaitUntilGone(HWND window);

// The control with the focus on the dialog's thread.
HWND FocusOf(HWND dialog);

std::wstring ItemText(HWND dialog, int id);
void Type(HWND dialog, int id, const wchar_t* text);
// What a menu command or soft key sends.
void Command(HWND dialog, int id);

}

// Runs the real settings dialog, from its template, the way the Control
// Panel entry does: modal on the calling thread, while a script acts on it
// from a helper thread, as a user would.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace dialog_session {

// The dialog template, from the applet's resources linked into the test.
LPCDLGTEMPLATEW KeyboardTemplate();

// Runs `open`, which shows a modal dialog on this thread and returns when
// it ends (the dialog call itself, or the applet's CPL_DBLCLK), while
// `script` gets the dialog on a helper thread once it shows. The dialog is
// cancelled after the script if the script left it open; one that does not
// end on Cancel within a few seconds fails the test and is ended by force.
// When it does not show in time the helper gives up and the dialog is
// cancelled as soon as it is made, so the test fails instead of hanging.
INT_PTR WhileShown(const std::function<INT_PTR()>& open,
                   const std::function<void(HWND dialog)>& script);

// The settings dialog from its template, with `script` as its user;
// returns the dialog's result.
INT_PTR Run(const std::function<void(HWND dialog)>& script);

// A window of the thread that makes it, through which another thread (a
// dialog's user) has that thread do something, and waits until it is done:
// an ARM image runs only on the thread that loaded it, as the host's own
// work would.
class OnThisThread {
public:
    OnThisThread();
    ~OnThisThread();
    void Run(const std::function<void()>& work) const;

    OnThisThread(const OnThisThread&) = delete;
    OnThisThread& operator=(const OnThisThread&) = delete;

private:
    HWND window_;
};

// Whether `dialog` is destroyed in time.
testing::AssertionResult Ends(HWND dialog);

// The control with the focus on the dialog's thread.
HWND FocusOf(HWND dialog);

std::wstring ItemText(HWND dialog, int id);
void Type(HWND dialog, int id, const wchar_t* text);
// What a menu command or soft key sends.
void Command(HWND dialog, int id);

}

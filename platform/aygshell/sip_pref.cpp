// The input-panel preference control (SIPPREF), as the platform documents
// it: when created it finds its sibling controls, and from then on follows
// the focus among them. A control that takes text raises the input panel
// when it gets the focus or is tapped; any other control lowers it after a
// moment, so that moving from field to field does not make it flicker.
// The focus the dialog manager sets before the dialog first shows counts
// for nothing: a dialog opens with the panel as the shell left it.
#include "input_panel.h"

#include <commctrl.h>

namespace {

const UINT_PTR kSiblingSubclassId = 0x5150;
const UINT_PTR kLowerTimer = 1;
const UINT kLowerDelayMs = 300;

bool TakesText(HWND control)
{
    wchar_t className[16] = L"";
    GetClassNameW(control, className, 16);
    return lstrcmpiW(className, L"Edit") == 0;
}

void FocusMoved(HWND sipPref, HWND control)
{
    if (!IsWindowVisible(GetParent(sipPref)))
        return;
    if (TakesText(control)) {
        KillTimer(sipPref, kLowerTimer);
        shell::SetInputPanelUp(true);
    } else {
        SetTimer(sipPref, kLowerTimer, kLowerDelayMs, nullptr);
    }
}

LRESULT CALLBACK SiblingProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR sipPref)
{
    switch (message) {
    case WM_SETFOCUS:
        FocusMoved(reinterpret_cast<HWND>(sipPref), control);
        break;
    case WM_LBUTTONDOWN:
        if (TakesText(control))
            FocusMoved(reinterpret_cast<HWND>(sipPref), control);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(control, SiblingProc, kSiblingSubclassId);
        break;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

BOOL CALLBACK FollowSibling(HWND control, LPARAM sipPref)
{
    HWND self = reinterpret_cast<HWND>(sipPref);
    if (control != self && GetParent(control) == GetParent(self))
        SetWindowSubclass(control, SiblingProc, kSiblingSubclassId, sipPref);
    return TRUE;
}

}

namespace shell {

LRESULT CALLBACK SipPrefProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        EnumChildWindows(GetParent(control), FollowSibling, reinterpret_cast<LPARAM>(control));
        return 0;
    case WM_TIMER:
        if (wParam == kLowerTimer) {
            KillTimer(control, kLowerTimer);
            SetInputPanelUp(false);
        }
        return 0;
    }
    return DefWindowProcW(control, message, wParam, lParam);
}

}

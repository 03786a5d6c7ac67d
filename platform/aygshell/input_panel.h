// The input panel and the control that asks for it.
#pragma once

#include <windows.h>

namespace shell {

// Raises or lowers the input panel; it is made the first time it rises.
void SetInputPanelUp(bool up);

// The window procedure of the SIPPREF control.
LRESULT CALLBACK SipPrefProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

}

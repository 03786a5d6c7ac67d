// The input panel (SIP): raised and lowered by the shell for the whole
// handheld, whichever program asks.
#include "aygshell.h"
#include "aygshell_test.h"
#include "shell_layout.h"

#include <atomic>

namespace {

std::atomic<bool> g_panelUp{false};

}

namespace shell {

void SetInputPanelUp(bool up)
{
    g_panelUp = up;
}

}

extern "C" BOOL WINAPI SHSipPreference(HWND, SIPSTATE state)
{
    switch (state) {
    case SIP_UP:
        shell::SetInputPanelUp(true);
        return TRUE;
    case SIP_DOWN:
    case SIP_FORCEDOWN:
        shell::SetInputPanelUp(false);
        return TRUE;
    case SIP_UNCHANGED:
    case SIP_INPUTDIALOG:
        return TRUE;
    }
    return FALSE;
}

extern "C" BOOL WINAPI AygInputPanelIsUp(void)
{
    return g_panelUp;
}

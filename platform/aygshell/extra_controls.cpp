// The shell's own controls and window classes.
#include "aygshell.h"
#include "shell_layout.h"

#include <commctrl.h>

namespace {

HINSTANCE g_module;

// The input-panel preference control. The stand-in has no input panel, so
// the control only has to exist, hidden, where a template names it.
LRESULT CALLBACK SipPrefProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

}

namespace shell {

void RegisterShellClass(LPCWSTR name, WNDPROC procedure, UINT style, HBRUSH background)
{
    WNDCLASSW windowClass = {};
    if (GetClassInfoW(g_module, name, &windowClass))
        return;
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = g_module;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

}

extern "C" BOOL WINAPI SHInitExtraControls(void)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // Global, or dialog templates of other modules could not name it.
    shell::RegisterShellClass(L"SIPPREF", SipPrefProc, CS_GLOBALCLASS, nullptr);
    return TRUE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = module;
    return TRUE;
}

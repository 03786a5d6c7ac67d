// The shell's own controls and window classes.
#include "aygshell.h"
#include "input_panel.h"
#include "journal.h"
#include "shell_layout.h"

#include <commctrl.h>

namespace {

HINSTANCE g_module;

}

namespace shell {

HFONT Font()
{
    // One font for the life of the process, whatever asks for it.
    static HFONT font = CreateFontW(-MulDiv(8, Dpi(), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                    FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                    L"Tahoma");
    return font;
}

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
    journal::Call call(JOURNAL_CALLER, "SHInitExtraControls", {});
    if (call.Injected())
        return call.Fails(FALSE, "0");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // Global, or dialog templates of other modules could not name it.
    shell::RegisterShellClass(L"SIPPREF", shell::SipPrefProc, CS_GLOBALCLASS, nullptr);
    return call.Returns(TRUE, "1");
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = module;
    return TRUE;
}

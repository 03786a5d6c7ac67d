#include "dialog_session.h"
#include "handheld.h"

#include "applet_module.h"
#include "keyboard_dialog.h"
#include "resource.h"

#include <aygshell.h>
#include <gtest/gtest.h>

#include <thread>

namespace {

// The applet's resources are linked into the test program itself, so the
// program's module stands in for the applet's, set as process attach would.
struct TestModuleAsApplet {
    TestModuleAsApplet() { g_hInstance = GetModuleHandleW(nullptr); }
} g_testModuleAsApplet;

}

namespace dialog_session {

HWND WaitForWindow(LPCWSTR className)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (HWND found = handheld::VisibleTopLevel(GetCurrentProcessId(), className))
            return found;
        Sleep(1);
    }
    return nullptr;
}

bool WaitUntilGone(HWND window)
{
    for (int attempt = 0; attempt < 1000 && IsWindow(window); ++attempt)
        Sleep(1);
    return !IsWindow(window);
}

LPCDLGTEMPLATEW KeyboardTemplate()
{
    HRSRC found = FindResourceW(g_hInstance, MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG);
    return static_cast<LPCDLGTEMPLATEW>(LoadResource(g_hInstance, found));
}

INT_PTR Run(const std::function<void(HWND dialog)>& script)
{
    SHInitExtraControls();

    std::thread user([&] {
        HWND dialog = WaitForWindow(L"#32770");
        EXPECT_TRUE(dialog) << "the dialog never showed";
        if (!dialog)
            return;
        script(dialog);
        if (IsWindow(dialog))
            SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    INT_PTR result =
        DialogBoxIndirectParamW(g_hInstance, KeyboardTemplate(), nullptr, KeyboardDlgProc, 0);
    user.join();
    return result;
}

HWND FocusOf(HWND dialog)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
}

std::wstring ItemText(HWND dialog, int id)
{
    wchar_t text[512] = L"";
    GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

void Type(HWND dialog, int id, const wchar_t* text)
{
    SetDlgItemTextW(dialog, id, text);
}

void Command(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

}

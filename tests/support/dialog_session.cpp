#include "dialog_session.h"

#include "applet/applet.h"
#include "dialog/keyboard_dialog.h"
#include "resources/resource.h"

#include <aygshell.h>
#include <gtest/gtest.h>

#include <thread>

// The applet's resources are linked into the test program itself.
HINSTANCE g_hInstance = GetModuleHandleW(nullptr);

namespace dialog_session {

namespace {

struct Search {
    LPCWSTR className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    wchar_t className[64];
    GetClassNameW(window, className, 64);
    if (IsWindowVisible(window) && lstrcmpW(className, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}

HWND WaitForWindow(DWORD thread, LPCWSTR className)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        Search search = {className, nullptr};
        EnumThreadWindows(thread, MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(5);
    }
    return nullptr;
}

bool WaitUntilGone(HWND window)
{
    for (int attempt = 0; attempt < 1000 && IsWindow(window); ++attempt)
        Sleep(5);
    return !IsWindow(window);
}

INT_PTR Run(const std::function<void(HWND dialog)>& script)
{
    SHInitExtraControls();
    HRSRC found = FindResourceW(g_hInstance, MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG);
    auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LoadResource(g_hInstance, found));

    DWORD thread = GetCurrentThreadId();
    std::thread user([&] {
        HWND dialog = WaitForWindow(thread, L"#32770");
        EXPECT_TRUE(dialog) << "the dialog never showed";
        if (!dialog)
            return;
        script(dialog);
        if (IsWindow(dialog))
            SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    INT_PTR result =
        DialogBoxIndirectParamW(g_hInstance, dialogTemplate, nullptr, KeyboardDlgProc, 0);
    user.join();
    return result;
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

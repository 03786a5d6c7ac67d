// The input panel (SIP): a keyboard docked just above the soft-key bar,
// across the screen, that the shell raises and lowers for the whole
// handheld. Its keys type into whichever control has the focus and never
// take the focus themselves.
#include "aygshell.h"
#include "aygshell_test.h"
#include "input_panel.h"
#include "shell_layout.h"

#include <string>

namespace {

const wchar_t kPanelClass[] = L"ShellInputPanel";
const wchar_t kKeyClass[] = L"ShellInputKey";
const wchar_t kBackspace = L'\b';

// Each row of keys; the space key is three keys wide.
const wchar_t* const kRows[] = {L"1234567890\b", L"qwertyuiop", L"asdfghjkl", L"zxcvbnm "};
const int kRowCount = sizeof kRows / sizeof kRows[0];
const int kSpaceWidth = 3;

HWND g_panel;

// The control with the focus: this thread's, or the foreground thread's
// when the panel serves another thread.
HWND FocusedControl()
{
    if (HWND focus = GetFocus())
        return focus;
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(0, &info) ? info.hwndFocus : nullptr;
}

void PaintKey(HWND key)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(key, &paint);
    RECT rect;
    GetClientRect(key, &rect);
    FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &rect, EDGE_RAISED, BF_RECT);
    wchar_t label[16] = L"";
    GetWindowTextW(key, label, 16);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, shell::Font());
    DrawTextW(dc, label, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, oldFont);
    EndPaint(key, &paint);
}

// A key's id is the character it types.
LRESULT CALLBACK KeyProc(HWND key, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_LBUTTONDOWN:
        if (HWND focus = FocusedControl())
            SendMessageW(focus, WM_CHAR, GetDlgCtrlID(key), 1);
        return 0;
    case WM_PAINT:
        PaintKey(key);
        return 0;
    }
    return DefWindowProcW(key, message, wParam, lParam);
}

LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEACTIVATE)
        return MA_NOACTIVATE;
    return DefWindowProcW(panel, message, wParam, lParam);
}

void AddKeys(HWND panel, const RECT& area)
{
    int rowHeight = (area.bottom - area.top) / kRowCount;
    for (int row = 0; row < kRowCount; ++row) {
        int units = 0;
        for (const wchar_t* c = kRows[row]; *c; ++c)
            units += *c == L' ' ? kSpaceWidth : 1;
        int x = 0;
        for (const wchar_t* c = kRows[row]; *c; ++c) {
            int width = (area.right - area.left) * (*c == L' ' ? kSpaceWidth : 1) / units;
            std::wstring label = *c == kBackspace ? L"<-" : *c == L' ' ? L"space" : std::wstring(1, *c);
            CreateWindowExW(0, kKeyClass, label.c_str(), WS_CHILD | WS_VISIBLE, x, row * rowHeight, width,
                            rowHeight, panel, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(*c)),
                            nullptr, nullptr);
            x += width;
        }
    }
}

HWND MakePanel()
{
    shell::RegisterShellClass(kPanelClass, PanelProc, 0,
                              reinterpret_cast<HBRUSH>(COLOR_BTNSHADOW + 1));
    shell::RegisterShellClass(kKeyClass, KeyProc, 0, nullptr);
    RECT area = shell::InputPanelArea();
    HWND panel = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST, kPanelClass,
                                 L"Input panel", WS_POPUP, area.left, area.top,
                                 area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                                 nullptr, nullptr);
    AddKeys(panel, area);
    return panel;
}

}

namespace shell {

void SetInputPanelUp(bool up)
{
    if (!up) {
        if (g_panel)
            ShowWindow(g_panel, SW_HIDE);
        return;
    }
    if (!IsWindow(g_panel))
        g_panel = MakePanel();
    ShowWindow(g_panel, SW_SHOWNOACTIVATE);
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
    return IsWindow(g_panel) && IsWindowVisible(g_panel);
}

// SHInitDialog: a full-screen dialog under the shell's title strip, which
// shows the dialog's title and, when asked, the OK button.
#include "aygshell.h"
#include "aygshell_test.h"
#include "input_panel.h"
#include "journal.h"
#include "keypad_driver.h"
#include "shell_layout.h"

#include <commctrl.h>

namespace {

SHINITDLGINFO g_lastInfo;
bool g_received = false;

const wchar_t kTitleClass[] = L"ShellTitleStrip";
const int kOkButtonId = 1;
const int kOkButtonWidth = 30;
const UINT_PTR kTitleSubclassId = 1;

// The keylight's lamp at the strip's right end, before the OK button: lit
// amber, or dark; `text` loses the lamp's room.
void PaintKeylight(HDC dc, RECT* text, bool lit)
{
    int size = shell::Scale(8);
    int right = text->right;
    int top = (text->top + text->bottom - size) / 2;
    HBRUSH lamp = CreateSolidBrush(lit ? RGB(0xFF, 0xC0, 0x20) : RGB(0x08, 0x20, 0x50));
    HGDIOBJ oldBrush = SelectObject(dc, lamp);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, right - size, top, right, top + size);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(lamp);
    text->right -= size + shell::Scale(4);
}

void PaintTitle(HWND strip)
{
    // One brush for the life of the process, however many strips come.
    static HBRUSH background = CreateSolidBrush(RGB(0x10, 0x3C, 0x8C));
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(strip, &paint);
    wchar_t title[256] = L"";
    GetWindowTextW(GetWindow(strip, GW_OWNER), title, 256);
    RECT text;
    GetClientRect(strip, &text);
    FillRect(dc, &text, background);
    text.left += shell::Scale(6);
    text.right -= shell::Scale(kOkButtonWidth + 4);
    PaintKeylight(dc, &text, GetWindowLongPtrW(strip, GWLP_USERDATA) != 0);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    HGDIOBJ oldFont = SelectObject(dc, shell::Font());
    DrawTextW(dc, title, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    SelectObject(dc, oldFont);
    EndPaint(strip, &paint);
}

LRESULT CALLBACK TitleStripProc(HWND strip, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const UINT keylight = RegisterWindowMessageW(KEYPAD_KEYLIGHT_MESSAGE);
    if (message == keylight) {
        SetWindowLongPtrW(strip, GWLP_USERDATA, wParam);
        InvalidateRect(strip, nullptr, FALSE);
        return 0;
    }
    switch (message) {
    case WM_PAINT:
        PaintTitle(strip);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kOkButtonId)
            SendMessageW(GetWindow(strip, GW_OWNER), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    return DefWindowProcW(strip, message, wParam, lParam);
}

// The strip shows the dialog's title as it is now, not as it was when the
// strip was made: the dialog usually sets it after this call.
LRESULT CALLBACK TitleWatchProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                                UINT_PTR, DWORD_PTR strip)
{
    if (message == WM_SETTEXT)
        InvalidateRect(reinterpret_cast<HWND>(strip), nullptr, TRUE);
    return DefSubclassProc(dialog, message, wParam, lParam);
}

void MakeTitleStrip(HWND dialog, bool okButton)
{
    shell::RegisterShellClass(kTitleClass, TitleStripProc, 0, nullptr);
    RECT area = shell::TitleArea();
    // Owned by the dialog, so it goes when the dialog goes.
    HWND strip = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kTitleClass, L"",
                                 WS_POPUP | WS_VISIBLE, area.left, area.top,
                                 area.right - area.left, area.bottom - area.top, dialog,
                                 nullptr, nullptr, nullptr);
    if (okButton) {
        int width = shell::Scale(kOkButtonWidth);
        int margin = shell::Scale(2);
        HWND ok = CreateWindowExW(0, L"BUTTON", L"ok", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                  area.right - width - margin, margin, width,
                                  area.bottom - area.top - 2 * margin, strip,
                                  reinterpret_cast<HMENU>(kOkButtonId), nullptr, nullptr);
        SendMessageW(ok, WM_SETFONT, reinterpret_cast<WPARAM>(shell::Font()), FALSE);
    }
    SetWindowSubclass(dialog, TitleWatchProc, kTitleSubclassId, reinterpret_cast<DWORD_PTR>(strip));
}

// The shell shows the title in its strip, so the dialog loses its caption
// and frame and covers the screen between the strip and the soft keys.
void FillWorkArea(HWND dialog)
{
    LONG style = GetWindowLongW(dialog, GWL_STYLE);
    SetWindowLongW(dialog, GWL_STYLE, style & ~(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME));
    RECT area = shell::WorkArea();
    SetWindowPos(dialog, nullptr, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOZORDER | SWP_FRAMECHANGED);
}

}

namespace {

BOOL InitDialog(PSHINITDLGINFO info)
{
    if (!info)
        return FALSE;
    g_lastInfo = *info;
    g_received = true;
    if (!IsWindow(info->hDlg))
        return FALSE;
    if (!(info->dwMask & SHIDIM_FLAGS))
        return TRUE;
    if (info->dwFlags & SHIDIF_SIZEDLGFULLSCREEN)
        FillWorkArea(info->hDlg);
    if (info->dwFlags & (SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_DONEBUTTON))
        MakeTitleStrip(info->hDlg, info->dwFlags & SHIDIF_DONEBUTTON);
    if (info->dwFlags & SHIDIF_SIPDOWN)
        shell::SetInputPanelUp(false);
    return TRUE;
}

// The record as the call received it: "&{mask, dialog, flags}".
std::string Record(const SHINITDLGINFO* info)
{
    using namespace journal;
    if (!info)
        return "NULL";
    return "&{" + Hex(info->dwMask) + ", " + Window(info->hDlg) + ", " + Hex(info->dwFlags) + "}";
}

}

extern "C" BOOL WINAPI SHInitDialog(PSHINITDLGINFO info)
{
    journal::Call call(JOURNAL_CALLER, "SHInitDialog", {Record(info)});
    return call.Serves(FALSE, [&] { return InitDialog(info); }, journal::Dec);
}

extern "C" BOOL WINAPI AygLastInitDialogInfo(SHINITDLGINFO* info)
{
    *info = g_lastInfo;
    return g_received;
}

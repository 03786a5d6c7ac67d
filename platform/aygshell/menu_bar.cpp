// SHCreateMenuBar: the soft-key bar at the bottom of the screen. Each
// top-level command of the menu becomes a soft key, first left, second
// right, that sends WM_COMMAND with the item's id to the bar's parent.
#include "aygshell.h"
#include "aygshell_test.h"
#include "journal.h"
#include "shell_layout.h"

#include <algorithm>
#include <cstring>

namespace {

SHMENUBARINFO g_lastInfo;
bool g_received = false;

const wchar_t kMenuBarClass[] = L"ShellMenuBar";
const int kMaxSoftKeys = 2;

LRESULT CALLBACK MenuBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        HWND parent = reinterpret_cast<HWND>(GetWindowLongPtrW(bar, GWLP_USERDATA));
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(LOWORD(wParam), 0), 0);
        return 0;
    }
    return DefWindowProcW(bar, message, wParam, lParam);
}

struct BarSearch {
    HWND parent;
    HWND bar;
};

BOOL CALLBACK MatchBar(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<BarSearch*>(context);
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    if (lstrcmpW(className, kMenuBarClass) != 0 ||
        reinterpret_cast<HWND>(GetWindowLongPtrW(window, GWLP_USERDATA)) != search->parent)
        return TRUE;
    search->bar = window;
    return FALSE;
}

// The bar that serves `parent`, on this thread, or null.
HWND BarOf(HWND parent)
{
    BarSearch search = {parent, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchBar, reinterpret_cast<LPARAM>(&search));
    return search.bar;
}

// The keypad's soft-key buttons: while a window with a bar is active, the
// left soft key (VK_F1) and the right one (VK_F2) act as taps on the bar's
// first and second key. Seen as the thread takes its messages, in whatever
// loop, modal dialogs' included.
LRESULT CALLBACK SoftKeyHook(int code, WPARAM removed, LPARAM lParam)
{
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && removed == PM_REMOVE && message->message == WM_KEYDOWN &&
        (message->wParam == VK_F1 || message->wParam == VK_F2)) {
        if (HWND bar = BarOf(GetActiveWindow())) {
            HWND key = GetWindow(bar, GW_CHILD);
            if (key && message->wParam == VK_F2)
                key = GetWindow(key, GW_HWNDNEXT);
            if (key) {
                SendMessageW(bar, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(key), BN_CLICKED),
                             reinterpret_cast<LPARAM>(key));
                message->message = WM_NULL;
            }
        }
    }
    return CallNextHookEx(nullptr, code, removed, lParam);
}

void AddSoftKeys(HWND bar, HMENU menu)
{
    RECT area = shell::MenuBarArea();
    int keyWidth = (area.right - area.left) / kMaxSoftKeys;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count && i < kMaxSoftKeys; ++i) {
        UINT id = GetMenuItemID(menu, i);
        if (id == static_cast<UINT>(-1))
            continue;  // a pop-up: not offered as a soft key here
        wchar_t text[64] = L"";
        GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        HWND key = CreateWindowExW(
            0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, i * keyWidth + 1, 1,
            keyWidth - 2, area.bottom - area.top - 2, bar,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
        SendMessageW(key, WM_SETFONT, reinterpret_cast<WPARAM>(shell::Font()), FALSE);
    }
}

}

namespace {

BOOL CreateMenuBar(SHMENUBARINFO* info)
{
    if (!info)
        return FALSE;
    // As many bytes as the caller says it has, and no more.
    std::memset(&g_lastInfo, 0, sizeof g_lastInfo);
    std::memcpy(&g_lastInfo, info, std::min<size_t>(info->cbSize, sizeof g_lastInfo));
    g_received = true;
    if (info->cbSize < sizeof *info || !IsWindow(info->hwndParent))
        return FALSE;
    // Only menus named by a MENU resource are offered; SHCMBF_EMPTYBAR
    // makes a bar without keys.
    HMENU menu = nullptr;
    if (!(info->dwFlags & SHCMBF_EMPTYBAR)) {
        if (!(info->dwFlags & SHCMBF_HMENU))
            return FALSE;
        menu = LoadMenuW(info->hInstRes, MAKEINTRESOURCEW(info->nToolBarId));
        if (!menu)
            return FALSE;
    }

    shell::RegisterShellClass(kMenuBarClass, MenuBarProc, 0,
                              reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    RECT area = shell::MenuBarArea();
    // Not owned by the parent: on the handheld the bar outlives it unless
    // its owner destroys it.
    HWND bar = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST,
                               kMenuBarClass, L"", WS_POPUP, area.left, area.top,
                               area.right - area.left, area.bottom - area.top, nullptr,
                               nullptr, nullptr, nullptr);
    if (!bar) {
        if (menu)
            DestroyMenu(menu);
        return FALSE;
    }
    SetWindowLongPtrW(bar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(info->hwndParent));
    [[maybe_unused]] static thread_local HHOOK softKeys =
        SetWindowsHookExW(WH_GETMESSAGE, SoftKeyHook, nullptr, GetCurrentThreadId());
    if (menu) {
        AddSoftKeys(bar, menu);
        DestroyMenu(menu);
    }
    if (!(info->dwFlags & SHCMBF_HIDDEN))
        ShowWindow(bar, SW_SHOWNOACTIVATE);
    info->hwndMB = bar;
    return TRUE;
}

// The record as the call received it, the fields its size covers:
// "&{cbSize, hwndParent, dwFlags, nToolBarId, hInstRes, nBmpId, cBmpImages,
// hwndMB, clrBk}".
std::string Record(const SHMENUBARINFO* info, const void* caller)
{
    using namespace journal;
    if (!info)
        return "NULL";
    std::string fields[] = {Dec(info->cbSize),        Window(info->hwndParent),
                            Hex(info->dwFlags),       Dec(info->nToolBarId),
                            Module(info->hInstRes, caller), Signed(info->nBmpId),
                            Signed(info->cBmpImages), Window(info->hwndMB),
                            Hex(info->clrBk)};
    size_t count = std::min<size_t>(info->cbSize / sizeof(DWORD), std::size(fields));
    std::string record = "&{";
    for (size_t i = 0; i < count; ++i)
        record += (i ? ", " : "") + fields[i];
    return record + "}";
}

}

extern "C" BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* info)
{
    journal::Call call(JOURNAL_CALLER, "SHCreateMenuBar", {Record(info, JOURNAL_CALLER)});
    return call.Serves(FALSE, [&] { return CreateMenuBar(info); }, journal::Dec);
}

extern "C" BOOL WINAPI AygLastMenuBarInfo(SHMENUBARINFO* info)
{
    *info = g_lastInfo;
    return g_received;
}

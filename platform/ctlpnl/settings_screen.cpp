#include "settings_screen.h"

#include <aygshell.h>
#include <commctrl.h>

namespace {

const wchar_t kScreenClass[] = L"HostSettingsScreen";
const int kListId = 100;

struct Entry {
    CplModule* module;
    size_t applet;
};

struct Screen {
    std::vector<Entry> entries;
};

void MakeAppletList(HWND screen, const std::vector<CplModule*>& modules, Screen* state)
{
    RECT client;
    GetClientRect(screen, &client);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | LVS_ICON | LVS_SINGLESEL | LVS_AUTOARRANGE,
                                0, 0, client.right, client.bottom, screen,
                                reinterpret_cast<HMENU>(kListId), nullptr, nullptr);
    // The handheld opens an applet at a single tap.
    ListView_SetExtendedListViewStyle(list, LVS_EX_ONECLICKACTIVATE);
    // Icons at the screen's size: 32 pixels at 96 dots per inch.
    HIMAGELIST icons = ImageList_Create(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                        ILC_COLOR32 | ILC_MASK, 4, 4);
    ListView_SetImageList(list, icons, LVSIL_NORMAL);
    for (CplModule* module : modules) {
        for (size_t i = 0; i < module->Applets().size(); ++i) {
            const CplApplet& applet = module->Applets()[i];
            HICON icon = applet.icon ? applet.icon : LoadIconW(nullptr, IDI_APPLICATION);
            LVITEMW item = {};
            item.mask = LVIF_TEXT | LVIF_IMAGE;
            item.iItem = static_cast<int>(state->entries.size());
            item.pszText = const_cast<wchar_t*>(applet.name.c_str());
            item.iImage = ImageList_AddIcon(icons, icon);
            ListView_InsertItem(list, &item);
            state->entries.push_back({module, i});
        }
    }
    // The keypad's action key opens the chosen applet: the first to begin.
    ListView_SetItemState(list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    SetFocus(list);
}

void OpenEntry(HWND screen, const Screen& state, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= state.entries.size())
        return;
    const Entry& entry = state.entries[index];
    entry.module->Open(entry.applet);
    // The applet's dialog has no owner: nothing hands the screen back but
    // the screen itself.
    SetForegroundWindow(screen);
}

LRESULT CALLBACK ScreenProc(HWND screen, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<Screen*>(GetWindowLongPtrW(screen, GWLP_USERDATA));
    switch (message) {
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom != kListId)
            return 0;
        // A tap on an applet, or the action key on the chosen one.
        if (header->code == LVN_ITEMACTIVATE)
            OpenEntry(screen, *state, reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem);
        else if (header->code == NM_RETURN)
            OpenEntry(screen, *state, ListView_GetNextItem(header->hwndFrom, -1, LVNI_FOCUSED));
        return 0;
    }
    case WM_ACTIVATE:
        // Back from an applet too: the keypad works the list.
        if (LOWORD(wParam) != WA_INACTIVE)
            SetFocus(GetDlgItem(screen, kListId));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            DestroyWindow(screen);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(screen, message, wParam, lParam);
}

}

void RunSettingsScreen(std::vector<CplModule*> modules)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ScreenProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kScreenClass;
    RegisterClassW(&windowClass);

    Screen state;
    // Sized by the shell, like any full-screen dialog.
    HWND screen = CreateWindowExW(0, kScreenClass, L"Settings", WS_POPUP | WS_CAPTION, 0, 0, 0, 0,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrW(screen, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    SHINITDLGINFO shell = {SHIDIM_FLAGS, screen, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN};
    SHInitDialog(&shell);
    MakeAppletList(screen, modules, &state);
    SHMENUBARINFO bar = {};
    bar.cbSize = sizeof bar;
    bar.hwndParent = screen;
    bar.dwFlags = SHCMBF_EMPTYBAR;
    SHCreateMenuBar(&bar);
    ShowWindow(screen, SW_SHOW);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DestroyWindow(bar.hwndMB);
}

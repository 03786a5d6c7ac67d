// The shell stand-in as the settings dialog meets it: the full-screen
// layout, the title strip's OK button, the soft keys and the SIPPREF class.
#include "keyboard_dialog.h"
#include "resource.h"
#include "support/dialog_session.h"
#include "support/handheld.h"
#include "support/waiting.h"

#include <aygshell.h>
#include <gtest/gtest.h>

#include "aygshell_test.h"

#include <string>
#include <vector>



bool operator==(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b);
}

void PrintTo(const RECT& r, std::ostream* out)
{
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

using handheld::Eventually;
using handheld::kPatienceMs;
using Shell = handheld::CleanHandheld;

struct Child {
    HWND window;
    int id;
    std::wstring text;
    RECT rect;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM children)
{
    Child child = {window, GetDlgCtrlID(window), L"", {}};
    wchar_t text[64] = L"";
    GetWindowTextW(window, text, 64);
    child.text = text;
    GetWindowRect(window, &child.rect);
    reinterpret_cast<std::vector<Child>*>(children)->push_back(child);
    return TRUE;
}

std::vector<Child> ChildrenOf(HWND window)
{
    std::vector<Child> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchOwned(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<OwnedSearch*>(context);
    if (GetWindow(window, GW_OWNER) == search->owner && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND TitleStripOf(HWND dialog)
{
    OwnedSearch search = {dialog, nullptr};
    EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), MatchOwned,
                      reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(Shell, DialogFillsTheScreenBetweenTitleStripAndSoftKeys)
{
    dialog_session::Run([](HWND dialog) {
        int width = GetSystemMetrics(SM_CXSCREEN);
        int height = GetSystemMetrics(SM_CYSCREEN);
        RECT rect;
        GetWindowRect(TitleStripOf(dialog), &rect);
        EXPECT_EQ((RECT{0, 0, width, 26}), rect);
        GetWindowRect(dialog, &rect);
        EXPECT_EQ((RECT{0, 26, width, height - 26}), rect);
        EXPECT_FALSE(GetWindowLongW(dialog, GWL_STYLE) & WS_CAPTION) << "the strip shows the title";
        GetWindowRect(g_hMenuBar, &rect);
        EXPECT_EQ((RECT{0, height - 26, width, height}), rect);
    });
}

TEST_F(Shell, TitleStripOkButtonSendsIdOk)
{
    INT_PTR result = dialog_session::Run([](HWND dialog) {
        HWND strip = TitleStripOf(dialog);
        ASSERT_TRUE(strip);
        std::vector<Child> buttons = ChildrenOf(strip);
        ASSERT_EQ(1u, buttons.size());
        EXPECT_EQ(L"ok", buttons[0].text);
        dialog_session::Type(dialog, IDC_INITIAL_DELAY, L"400");
        SendMessageW(buttons[0].window, BM_CLICK, 0, 0);
        EXPECT_TRUE(dialog_session::Ends(dialog));
        EXPECT_FALSE(IsWindow(strip)) << "the strip goes with its dialog";
    });
    EXPECT_EQ(0, result);
    EXPECT_FALSE(handheld::SettingsKeyExists()) << "OK does not save";
}

TEST_F(Shell, MenuItemsBecomeSoftKeysThatCommandTheDialog)
{
    dialog_session::Run([](HWND dialog) {
        HWND bar = g_hMenuBar;
        EXPECT_EQ(nullptr, GetWindow(bar, GW_OWNER)) << "the bar's owner destroys it, not Win32";
        std::vector<Child> keys = ChildrenOf(bar);
        ASSERT_EQ(2u, keys.size());
        EXPECT_EQ(L"Apply", keys[0].text);
        EXPECT_EQ(IDM_APPLY, keys[0].id);
        EXPECT_EQ(L"Reset", keys[1].text);
        EXPECT_EQ(IDM_RESET, keys[1].id);
        EXPECT_LT(keys[0].rect.right, keys[1].rect.left + 3) << "Apply left, Reset right";

        dialog_session::Type(dialog, IDC_INITIAL_DELAY, L"400");
        SendMessageW(keys[0].window, BM_CLICK, 0, 0);
        EXPECT_EQ(400u, handheld::ReadDword(L"InitalDelay"));
        SendMessageW(keys[1].window, BM_CLICK, 0, 0);
        EXPECT_EQ(L"220", dialog_session::ItemText(dialog, IDC_INITIAL_DELAY));
    });
}

// The input panel is the handheld's, not the dialog's: raised by whatever
// came before, it is lowered as the dialog initialises.
TEST_F(Shell, InputPanelIsDownOnceTheDialogHasInitialised)
{
    ASSERT_TRUE(SHSipPreference(nullptr, SIP_UP));
    ASSERT_TRUE(AygInputPanelIsUp());
    dialog_session::Run([](HWND) { EXPECT_FALSE(AygInputPanelIsUp()); });
}

void Tap(HWND window)
{
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// SIPPREF at work: a tapped field raises the panel, docked above the soft
// keys across the screen; its keys type into the field; moving to the next
// field keeps it up, moving to the check box lowers it after a moment.
TEST_F(Shell, InputPanelServesTheFieldsAndGoesForTheCheckBox)
{
    dialog_session::Run([](HWND dialog) {
        EXPECT_FALSE(AygInputPanelIsUp()) << "down after the dialog initialised";
        HWND field = GetDlgItem(dialog, IDC_INITIAL_DELAY);
        ASSERT_EQ(field, dialog_session::FocusOf(dialog));
        Tap(field);
        ASSERT_TRUE(AygInputPanelIsUp()) << "tapping the field that has the focus";

        HWND panel = FindWindowW(L"ShellInputPanel", nullptr);
        ASSERT_TRUE(panel);
        int width = GetSystemMetrics(SM_CXSCREEN);
        int bottom = GetSystemMetrics(SM_CYSCREEN) - 26;
        RECT rect;
        GetWindowRect(panel, &rect);
        EXPECT_EQ((RECT{0, bottom - 80, width, bottom}), rect);

        SetWindowTextW(field, L"");
        for (const wchar_t* key : {L"4", L"2", L"<-", L"7", L"space", L"x"})
            Tap(FindWindowExW(panel, nullptr, L"ShellInputKey", key));
        EXPECT_EQ(L"47 x", dialog_session::ItemText(dialog, IDC_INITIAL_DELAY));
        EXPECT_EQ(field, dialog_session::FocusOf(dialog)) << "the keys take no focus";

        auto focus = [dialog](int id) {
            SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)),
                         TRUE);
        };
        auto goesDown = [](const char* when, int milliseconds) {
            return Eventually(std::string("the panel goes down ") + when,
                              [] { return !AygInputPanelIsUp(); }, milliseconds);
        };
        focus(IDC_REPEAT_DELAY);
        EXPECT_FALSE(goesDown("from field to field", 600));
        focus(IDC_KEYLIGHT);
        EXPECT_TRUE(AygInputPanelIsUp()) << "not at once";
        EXPECT_TRUE(goesDown("for the check box", kPatienceMs));
    });
}

// The keypad as the dialog's thread receives it: the soft-key buttons act
// as the soft keys, the d-pad moves the number of a field with a spin.
// Each wait is for a state that only the key pressed last can bring.
TEST_F(Shell, SoftKeyButtonsAndTheDpadWorkTheDialog)
{
    dialog_session::Run([](HWND dialog) {
        HWND field = GetDlgItem(dialog, IDC_INITIAL_DELAY);
        auto press = [field](WPARAM key) {
            PostMessageW(field, WM_KEYDOWN, key, 1);
            PostMessageW(field, WM_KEYUP, key, 0xC0000001);
        };
        auto fieldReads = [dialog](const wchar_t* text) {
            return [dialog, text] {
                return dialog_session::ItemText(dialog, IDC_INITIAL_DELAY) == text;
            };
        };
        press(VK_UP);
        EXPECT_TRUE(Eventually("the d-pad moves the field up to 221", fieldReads(L"221")));
        press(VK_F1);
        EXPECT_TRUE(Eventually("the left soft key applies 221",
                               [] { return handheld::ReadDword(L"InitalDelay") == 221u; }));
        press(VK_DOWN);
        press(VK_DOWN);
        EXPECT_TRUE(Eventually("the d-pad moves the field down to 219", fieldReads(L"219")));
        press(VK_F2);
        EXPECT_TRUE(Eventually("the right soft key resets the field to 220", fieldReads(L"220")));
        EXPECT_EQ(221u, handheld::ReadDword(L"InitalDelay"));
        EXPECT_EQ(field, dialog_session::FocusOf(dialog));
    });
}

TEST_F(Shell, SipPrefIsAGlobalClassOnceExtraControlsAreOn)
{
    EXPECT_TRUE(SHInitExtraControls());
    WNDCLASSW found;
    EXPECT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), L"SIPPREF", &found))
        << "visible to other modules' dialog templates";
    EXPECT_TRUE(found.style & CS_GLOBALCLASS);
    EXPECT_TRUE(GetClassInfoW(nullptr, L"msctls_updown32", &found));
}

TEST_F(Shell, RefusesWhatItCannotDo)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    SHMENUBARINFO bar = {};
    bar.cbSize = sizeof bar - 1;
    bar.hwndParent = window;
    bar.dwFlags = SHCMBF_HMENU;
    bar.nToolBarId = IDR_KEYBOARD_MENUBAR;
    bar.hInstRes = GetModuleHandleW(nullptr);
    EXPECT_FALSE(SHCreateMenuBar(&bar)) << "wrong size";
    bar.cbSize = sizeof bar;
    bar.nToolBarId = 9999;
    EXPECT_FALSE(SHCreateMenuBar(&bar)) << "no such menu";
    EXPECT_EQ(nullptr, bar.hwndMB);

    SHINITDLGINFO info = {0, window, SHIDIF_SIZEDLGFULLSCREEN};
    EXPECT_TRUE(SHInitDialog(&info));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ((RECT{0, 0, 10, 10}), rect) << "flags are read only with SHIDIM_FLAGS";
    DestroyWindow(window);
}

}

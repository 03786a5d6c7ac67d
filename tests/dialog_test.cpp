// The settings dialog from its template under the real Wine dialog manager:
// what only a real one shows (the up-down controls' arrows, the focus and
// Tab). What the dialog shows, applies and resets, and the calls it makes,
// are in the scenario table both images run.
#include "keyboard_dialog.h"
#include "resource.h"
#include "support/dialog_session.h"
#include "support/handheld.h"
#include "support/waiting.h"

#include <aygshell.h>
#include <commctrl.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <vector>

using dialog_session::Command;
using dialog_session::FocusOf;
using dialog_session::ItemText;
using handheld::ReadDword;
using handheld::WriteDword;

namespace {

using KeyboardDialog = handheld::CleanHandheld;

bool IsChecked(HWND dialog)
{
    return SendDlgItemMessageW(dialog, IDC_KEYLIGHT, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ExpectFields(HWND dialog, const wchar_t* initial, const wchar_t* repeat, bool light,
                  const wchar_t* lightDelay)
{
    EXPECT_EQ(initial, ItemText(dialog, IDC_INITIAL_DELAY));
    EXPECT_EQ(repeat, ItemText(dialog, IDC_REPEAT_DELAY));
    EXPECT_EQ(light, IsChecked(dialog));
    EXPECT_EQ(lightDelay, ItemText(dialog, IDC_KEYLIGHT_DELAY));
}

// Presses the upper half of an up-down control's button, as a stylus would.
void PressUp(HWND spin)
{
    RECT area;
    GetClientRect(spin, &area);
    LPARAM point = MAKELPARAM(area.right / 2, area.bottom / 4);
    SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(spin, WM_LBUTTONUP, 0, point);
}

TEST_F(KeyboardDialog, EachSpinControlMovesTheFieldJustBeforeIt)
{
    const int fields[] = {IDC_INITIAL_DELAY, IDC_REPEAT_DELAY, IDC_KEYLIGHT_DELAY};
    const int spins[] = {IDC_INITIAL_DELAY_SPIN, IDC_REPEAT_DELAY_SPIN, IDC_KEYLIGHT_DELAY_SPIN};
    dialog_session::Run([&](HWND dialog) {
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(spins[i]);
            HWND spin = GetDlgItem(dialog, spins[i]);
            EXPECT_EQ(GetDlgItem(dialog, fields[i]),
                      reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)));
            std::wstring before[3];
            for (int j = 0; j < 3; ++j)
                before[j] = ItemText(dialog, fields[j]);
            PressUp(spin);
            for (int j = 0; j < 3; ++j)
                EXPECT_EQ(j == i, ItemText(dialog, fields[j]) != before[j]) << "field " << j;
        }
        ExpectFields(dialog, L"221", L"101", true, L"6");
    });
}

TEST_F(KeyboardDialog, SpinningToOneThousandAppliesOneThousand)
{
    WriteDword(L"InitalDelay", 999);
    dialog_session::Run([](HWND dialog) {
        PressUp(GetDlgItem(dialog, IDC_INITIAL_DELAY_SPIN));
        EXPECT_EQ(L"1000", ItemText(dialog, IDC_INITIAL_DELAY));
        PressUp(GetDlgItem(dialog, IDC_INITIAL_DELAY_SPIN));
        EXPECT_EQ(L"1000", ItemText(dialog, IDC_INITIAL_DELAY)) << "the range ends at 1000";
        Command(dialog, IDM_APPLY);
    });
    EXPECT_EQ(1000u, ReadDword(L"InitalDelay"));
}


// WM_INITDIALOG leaves the focus to the dialog manager, which puts it in
// the first field.
TEST_F(KeyboardDialog, FocusStartsInTheInitialDelayField)
{
    dialog_session::Run([](HWND dialog) {
        EXPECT_EQ(GetDlgItem(dialog, IDC_INITIAL_DELAY), FocusOf(dialog));
    });
}

// Tab goes through the dialog manager's own handling of the key, posted to
// the modal loop as the keypad would deliver it.
TEST_F(KeyboardDialog, TabVisitsTheFourInputControlsInTemplateOrder)
{
    dialog_session::Run([](HWND dialog) {
        std::vector<int> visited;
        for (int press = 0; press < 5; ++press) {
            HWND focus = FocusOf(dialog);
            visited.push_back(GetDlgCtrlID(focus));
            PostMessageW(focus, WM_KEYDOWN, VK_TAB, 0);
            PostMessageW(focus, WM_KEYUP, VK_TAB, 0);
            EXPECT_TRUE(handheld::Eventually("Tab moves the focus",
                                             [&] { return FocusOf(dialog) != focus; }));
        }
        EXPECT_EQ(std::vector<int>({IDC_INITIAL_DELAY, IDC_REPEAT_DELAY, IDC_KEYLIGHT,
                                    IDC_KEYLIGHT_DELAY, IDC_INITIAL_DELAY}),
                  visited);
    });
}

// A dialog whose procedure ignores Cancel fails the test in a few seconds
// instead of holding it to CTest's timeout, and is ended all the same.
INT_PTR CALLBACK IgnoresCancel(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

BOOL CALLBACK CountDialogs(HWND window, LPARAM count)
{
    *reinterpret_cast<int*>(count) += handheld::IsDialog(window);
    return TRUE;
}

TEST(DialogSession, ADialogThatIgnoresCancelFailsAndIsEndedAllTheSame)
{
    SHInitExtraControls();
    DWORD start = GetTickCount();
    EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS(
        dialog_session::WhileShown(
            [] {
                return DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                               dialog_session::KeyboardTemplate(), nullptr,
                                               IgnoresCancel, 0);
            },
            [](HWND) {}),
        "the dialog left open ends on Cancel");
    EXPECT_LT(GetTickCount() - start, 10000u);
    int dialogs = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountDialogs, reinterpret_cast<LPARAM>(&dialogs));
    EXPECT_EQ(0, dialogs) << "a dialog is left behind";
}

}


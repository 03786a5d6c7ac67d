// The settings dialog from its template under the real Wine dialog manager,
// with the registry, the keypad driver and the shell behind it.
#include "keyboard_dialog.h"
#include "resource.h"
#include "support/dialog_session.h"
#include "support/handheld.h"
#include "support/waiting.h"

#include "aygshell_test.h"
#include "coredll_test.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

using dialog_session::Command;
using dialog_session::FocusOf;
using dialog_session::ItemText;
using dialog_session::Type;
using handheld::ReadDword;
using handheld::WriteDword;

namespace {

class KeyboardDialog : public handheld::CleanHandheld {
protected:
    void SetUp() override
    {
        CleanHandheld::SetUp();
        reloadsBefore_ = handheld::QueryKeypad().reloads;
    }

    DWORD ReloadsSinceSetUp() { return handheld::QueryKeypad().reloads - reloadsBefore_; }

    void ExpectStored(DWORD initial, DWORD repeat, DWORD light, DWORD lightDelay)
    {
        EXPECT_EQ(initial, ReadDword(L"InitalDelay"));
        EXPECT_EQ(repeat, ReadDword(L"RepeatDelay"));
        EXPECT_EQ(light, ReadDword(L"KeyLight"));
        EXPECT_EQ(lightDelay, ReadDword(L"KeyLightDelay"));
    }

    DWORD reloadsBefore_ = 0;
};

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

TEST_F(KeyboardDialog, ShowsTheDefaultsWhenNothingIsStored)
{
    dialog_session::Run([](HWND dialog) {
        ExpectFields(dialog, L"220", L"100", true, L"5");
        wchar_t title[64];
        GetWindowTextW(dialog, title, 64);
        EXPECT_STREQ(L"Keyboard settings", title);
    });
}

TEST_F(KeyboardDialog, ShowsStoredValuesWithTheKeylightDelayInWholeSeconds)
{
    struct {
        DWORD stored;
        const wchar_t* shown;
    } delays[] = {{5500, L"5"}, {999, L"0"}, {2147483648u, L"2147483"}, {4294967295u, L"4294967"}};
    for (const auto& delay : delays) {
        SCOPED_TRACE(delay.stored);
        WriteDword(L"InitalDelay", 5000);
        WriteDword(L"RepeatDelay", 0);
        WriteDword(L"KeyLight", 0);
        WriteDword(L"KeyLightDelay", delay.stored);
        dialog_session::Run(
            [&](HWND dialog) { ExpectFields(dialog, L"5000", L"0", false, delay.shown); });
    }
}

// Stored delays are unsigned: 2^31 ms and more is a long delay, not a
// negative one.
TEST_F(KeyboardDialog, ShowsLargeStoredDelaysUnsigned)
{
    WriteDword(L"InitalDelay", 4294967295u);
    WriteDword(L"RepeatDelay", 2147483648u);
    dialog_session::Run([](HWND dialog) {
        EXPECT_EQ(L"4294967295", ItemText(dialog, IDC_INITIAL_DELAY));
        EXPECT_EQ(L"2147483648", ItemText(dialog, IDC_REPEAT_DELAY));
    });
}

TEST_F(KeyboardDialog, AnyNonzeroKeylightIsCheckedAndAppliedAsOne)
{
    for (DWORD stored : {7u, 2u, 0x80000000u}) {
        SCOPED_TRACE(stored);
        WriteDword(L"KeyLight", stored);
        WriteDword(L"KeyLightDelay", 5500);
        dialog_session::Run([](HWND dialog) {
            EXPECT_TRUE(IsChecked(dialog));
            Command(dialog, IDM_APPLY);
        });
        ExpectStored(220, 100, 1, 5000);
    }
}

TEST_F(KeyboardDialog, ApplyStoresWhatTranslatesAndDefaultsForWhatDoesNot)
{
    struct {
        const wchar_t* initial;
        const wchar_t* repeat;
        const wchar_t* lightDelay;
        DWORD storedInitial, storedRepeat, storedLightDelay;
    } cases[] = {
        {L"5000", L"0", L"0", 5000, 0, 0},            // no clamping to the spin ranges
        {L"", L"abc", L"", 220, 100, 5000},           // cleared and letters
        {L"12abc", L" 40 ", L"4294967", 220, 40, 4294967000u},
        {L"1,000", L"-1", L"4294968", 220, 100, 5000},  // seconds beyond 32-bit milliseconds
        {L"7", L"8", L"5000000", 7, 8, 5000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "fields " << c.storedInitial << "/" << c.storedRepeat
                                        << "/" << c.storedLightDelay);
        WriteDword(L"InitalDelay", 1);
        WriteDword(L"RepeatDelay", 2);
        WriteDword(L"KeyLightDelay", 3000);
        DWORD reloads = handheld::QueryKeypad().reloads;
        dialog_session::Run([&](HWND dialog) {
            Type(dialog, IDC_INITIAL_DELAY, c.initial);
            Type(dialog, IDC_REPEAT_DELAY, c.repeat);
            Type(dialog, IDC_KEYLIGHT_DELAY, c.lightDelay);
            SendDlgItemMessageW(dialog, IDC_KEYLIGHT, BM_SETCHECK, BST_UNCHECKED, 0);
            Command(dialog, IDM_APPLY);
            EXPECT_TRUE(IsWindowVisible(dialog)) << "Apply leaves the dialog open";
        });
        ExpectStored(c.storedInitial, c.storedRepeat, 0, c.storedLightDelay);
        KeypadState driver = handheld::QueryKeypad();
        EXPECT_EQ(reloads + 1, driver.reloads);
        EXPECT_EQ(c.storedInitial, driver.InitalDelay);
    }
}

// Each text typed into all three fields: the delays take what translates
// by the handheld's rule, the keylight delay also needs its milliseconds
// to fit 32 bits; everything else stores the default.
TEST_F(KeyboardDialog, EveryFieldTextStoresItsNumberOrTheDefault)
{
    const std::optional<DWORD> kDefault;
    const std::wstring longNumber(300, L'9');
    struct {
        std::wstring text;
        std::optional<DWORD> delay;
        std::optional<DWORD> lightDelay;
    } cases[] = {
        {L"", kDefault, kDefault},
        {L"    ", kDefault, kDefault},
        {L" 12 ", 12, 12000},
        {L"+7", kDefault, kDefault},
        {L"-1", kDefault, kDefault},
        {L"007", 7, 7000},
        {L"4294967295", 4294967295u, kDefault},
        {L"4294967296", kDefault, kDefault},
        {L"1,000", kDefault, kDefault},
        {L"12abc", kDefault, kDefault},
        {longNumber, kDefault, kDefault},
        {std::wstring(300, L'x'), kDefault, kDefault},
        {L"\xFF11\xFF12", kDefault, kDefault},  // fullwidth one, two
        {L"\x0663", kDefault, kDefault},         // Arabic-Indic three
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "text of " << c.text.size() << " units: "
                                        << std::string(c.text.begin(), c.text.end()));
        dialog_session::Run([&](HWND dialog) {
            for (int field : {IDC_INITIAL_DELAY, IDC_REPEAT_DELAY, IDC_KEYLIGHT_DELAY})
                Type(dialog, field, c.text.c_str());
            EXPECT_EQ(c.text, ItemText(dialog, IDC_INITIAL_DELAY)) << "the field holds it all";
            Command(dialog, IDM_APPLY);
        });
        ExpectStored(c.delay.value_or(220), c.delay.value_or(100), 1, c.lightDelay.value_or(5000));
    }
}

TEST_F(KeyboardDialog, ResetChangesTheControlsOnly)
{
    WriteDword(L"InitalDelay", 1);
    WriteDword(L"KeyLight", 0);
    dialog_session::Run([](HWND dialog) {
        Type(dialog, IDC_REPEAT_DELAY, L"77");
        Type(dialog, IDC_KEYLIGHT_DELAY, L"abc");
        Command(dialog, IDM_RESET);
        ExpectFields(dialog, L"220", L"100", true, L"5");
    });
    EXPECT_EQ(1u, ReadDword(L"InitalDelay"));
    EXPECT_EQ(0u, ReadDword(L"KeyLight"));
    EXPECT_FALSE(ReadDword(L"RepeatDelay"));
    EXPECT_EQ(0u, ReloadsSinceSetUp());
}

// The title strip's OK, Cancel, and the action key (the dialog manager's
// default button) all end the dialog; none of them saves.
TEST_F(KeyboardDialog, OkCancelAndTheActionKeyEndTheDialogWithoutSaving)
{
    const std::pair<const char*, std::function<void(HWND)>> ways[] = {
        {"OK", [](HWND dialog) { Command(dialog, IDOK); }},
        {"Cancel", [](HWND dialog) { Command(dialog, IDCANCEL); }},
        {"action key",
         [](HWND dialog) {
             HWND field = GetDlgItem(dialog, IDC_INITIAL_DELAY);
             PostMessageW(field, WM_KEYDOWN, VK_RETURN, 0);
             PostMessageW(field, WM_KEYUP, VK_RETURN, 0);
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.first);
        INT_PTR result = dialog_session::Run([&](HWND dialog) {
            Type(dialog, IDC_INITIAL_DELAY, L"999");
            Command(dialog, IDM_RESET);
            way.second(dialog);
            EXPECT_TRUE(dialog_session::Ends(dialog));
        });
        EXPECT_EQ(0, result);
        EXPECT_FALSE(handheld::SettingsKeyExists());
        EXPECT_EQ(0u, ReloadsSinceSetUp());
    }
}

// Only the low word names the command: an accelerator's or a control's
// notification code in the high word changes nothing.
TEST_F(KeyboardDialog, CommandsCountWhateverNotificationCodeTheyCarry)
{
    INT_PTR result = dialog_session::Run([](HWND dialog) {
        auto send = [dialog](int id) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, 1), 0); };
        Type(dialog, IDC_INITIAL_DELAY, L"300");
        send(IDM_APPLY);
        EXPECT_EQ(300u, ReadDword(L"InitalDelay"));
        send(IDM_RESET);
        EXPECT_EQ(L"220", ItemText(dialog, IDC_INITIAL_DELAY));
        send(IDOK);
        EXPECT_TRUE(dialog_session::Ends(dialog));
    });
    EXPECT_EQ(0, result);
}

TEST_F(KeyboardDialog, ApplyWithoutAKeypadStillSavesAndStaysOpen)
{
    CoreInjectFailure("CreateFileW", 1, ERROR_FILE_NOT_FOUND);
    dialog_session::Run([](HWND dialog) {
        Type(dialog, IDC_INITIAL_DELAY, L"300");
        Command(dialog, IDM_APPLY);
        EXPECT_TRUE(IsWindowVisible(dialog));
    });
    ExpectStored(300, 100, 1, 5000);
    EXPECT_EQ(0u, ReloadsSinceSetUp());
}

// Apply writes the four values in their order, then asks the driver to
// reload, whatever became of the writes: each call to the store and the
// driver, with its first two arguments.
TEST_F(KeyboardDialog, ApplyWritesTheFourValuesInOrderThenAsksTheDriverToReload)
{
    const std::vector<std::string> reload = {"CreateFileW(\"KPD1:\", 0xC0000000",
                                             "DeviceIoControl(dev, 0x11223344", "CloseHandle(dev)"};
    std::vector<std::string> writes = {"RegCreateKeyExW(HKLM, \"Software\\Ormadi\\KEYBOARD\""};
    for (const char* value : {"InitalDelay", "RepeatDelay", "KeyLight", "KeyLightDelay"})
        writes.push_back(std::string("RegSetValueExW(key, \"") + value + "\"");
    writes.push_back("RegCloseKey(key)");
    const struct {
        const char* failing;
        size_t writesMade;
        DWORD initalDelay;
    } cases[] = {{nullptr, writes.size(), 300}, {"RegSetValueExW", writes.size(), 1},
                 {"RegCreateKeyExW", 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing ? c.failing : "nothing fails");
        WriteDword(L"InitalDelay", 1);
        if (c.failing)
            CoreInjectFailure(c.failing, 1, ERROR_ACCESS_DENIED);
        DWORD reloads = ReloadsSinceSetUp();
        std::vector<std::string> calls;
        dialog_session::Run([&](HWND dialog) {
            Type(dialog, IDC_INITIAL_DELAY, L"300");
            handheld::ClearJournal();
            Command(dialog, IDM_APPLY);
            for (const std::string& call : handheld::Journal())
                if (call.rfind("Reg", 0) == 0 || call.rfind("Create", 0) == 0 ||
                    call.rfind("DeviceIo", 0) == 0 || call.rfind("CloseHandle", 0) == 0)
                    calls.push_back(call.substr(0, call.find(',', call.find(',') + 1)));
        });
        std::vector<std::string> expected(writes.begin(), writes.begin() + c.writesMade);
        expected.insert(expected.end(), reload.begin(), reload.end());
        EXPECT_EQ(expected, calls);
        EXPECT_EQ(reloads + 1, ReloadsSinceSetUp());
        EXPECT_EQ(c.initalDelay, ReadDword(L"InitalDelay"));
    }
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


// The arrows stop at the ends of each range.
TEST_F(KeyboardDialog, SpinRangesAreZeroToAThousandAndOneToOneHundredTwenty)
{
    struct {
        int spin;
        int lower, upper;
    } ranges[] = {{IDC_INITIAL_DELAY_SPIN, 0, 1000},
                  {IDC_REPEAT_DELAY_SPIN, 0, 1000},
                  {IDC_KEYLIGHT_DELAY_SPIN, 1, 120}};
    dialog_session::Run([&](HWND dialog) {
        for (const auto& range : ranges) {
            int lower = -7, upper = -7;
            SendDlgItemMessageW(dialog, range.spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                                reinterpret_cast<LPARAM>(&upper));
            EXPECT_EQ(range.lower, lower) << range.spin;
            EXPECT_EQ(range.upper, upper) << range.spin;
        }
    });
}

// WM_INITDIALOG leaves the focus to the dialog manager, which puts it in
// the first field.
TEST_F(KeyboardDialog, FocusStartsInTheInitialDelayField)
{
    dialog_session::Run([](HWND dialog) {
        EXPECT_EQ(GetDlgItem(dialog, IDC_INITIAL_DELAY), FocusOf(dialog));
    });
}

// The records the shell receives, field by field: a full-screen dialog with
// the OK button and the input panel down; a soft-key bar from menu 107 of
// the applet's module, with no bitmaps.
TEST_F(KeyboardDialog, ShellRecordsAreExactlyAsTheShellDocumentsThem)
{
    dialog_session::Run([](HWND dialog) {
        SHINITDLGINFO init;
        ASSERT_TRUE(AygLastInitDialogInfo(&init));
        EXPECT_EQ(DWORD(SHIDIM_FLAGS), init.dwMask);
        EXPECT_EQ(dialog, init.hDlg);
        EXPECT_EQ(DWORD(SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN),
                  init.dwFlags);

        SHMENUBARINFO bar;
        ASSERT_TRUE(AygLastMenuBarInfo(&bar));
        EXPECT_EQ(36u, bar.cbSize);
        EXPECT_EQ(dialog, bar.hwndParent);
        EXPECT_EQ(DWORD(SHCMBF_HMENU), bar.dwFlags);
        EXPECT_EQ(UINT(IDR_KEYBOARD_MENUBAR), bar.nToolBarId);
        EXPECT_EQ(GetModuleHandleW(nullptr), bar.hInstRes);
        EXPECT_EQ(0, bar.nBmpId);
        EXPECT_EQ(0, bar.cBmpImages);
        EXPECT_EQ(nullptr, bar.hwndMB) << "cleared before the call";
        EXPECT_EQ(0u, bar.clrBk);
        EXPECT_TRUE(IsWindow(g_hMenuBar)) << "the bar the shell made";
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

TEST_F(KeyboardDialog, MenuBarIsDestroyedWithTheDialog)
{
    HWND bar = nullptr;
    dialog_session::Run([&](HWND) {
        bar = g_hMenuBar;
        EXPECT_TRUE(IsWindowVisible(bar));
        handheld::ClearJournal();
    });
    ASSERT_TRUE(bar);
    std::vector<std::string> journal = handheld::Journal();
    char call[64];
    snprintf(call, sizeof call, "DestroyWindow(0x%lX)",
             static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(bar)));
    EXPECT_NE(journal.end(), std::find(journal.begin(), journal.end(), call)) << call;
    EXPECT_FALSE(IsWindow(bar));
}

}

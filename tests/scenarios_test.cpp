// The table of scenarios (tests/scenarios/applet.scenarios) on the x86 twin
// under Wine: the built keyboard.cpl, driven only as a host and a user
// drive it, each scenario a test of its own. The ARM handheld runs the same
// table on the ARM image.
#include "cpl_module.h"
#include "support/dialog_session.h"
#include "support/handheld.h"
#include "support/pe_image.h"
#include "support/scenario_table.h"
#include "support/selected_tests.h"
#include "support/waiting.h"

#include "coredll_test.h"
#include "loader.h"
#include "narrow.h"

#include <aygshell.h>
#include <commctrl.h>
#include <cpl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>

namespace {

using scenarios::Message;
using scenarios::Number;
using scenarios::Scenario;
using scenarios::Step;
using scenarios::Wide;

const char* g_table = nullptr;

// The host's record for CPL_NEWINQUIRE, at an address that is even but not
// a multiple of 4, with marker bytes around it and in it.
struct Record {
    alignas(4) BYTE buffer[2 + 468 + 8];
    BYTE* At() { return buffer + 2; }
    std::vector<bool> named = std::vector<bool>(sizeof buffer, false);
};

// One scenario on the x86 twin.
class ScenarioRun {
public:
    explicit ScenarioRun(const Scenario& scenario) : scenario_(scenario) {}

    void Go()
    {
        PrepareStore();
        std::wstring error;
        ASSERT_TRUE(applet_.Load(AppletUnderTest().signedPath, &error)) << Narrow(error);
        CoreJournalWatch(applet_.Module());
        for (const scenarios::Failure& failure : scenario_.failures)
            CoreInjectFailure(failure.function.c_str(), failure.nth, failure.error);
        DWORD reloadsBefore = handheld::QueryKeypad().reloads;
        handheld::ClearJournal();

        for (size_t i = 0; i < scenario_.steps.size(); ++i)
            i = Do(i);

        std::vector<std::string> journal = handheld::Journal();
        CoreJournalWatch(nullptr);
        CoreClearFailures();
        CheckJournal(journal);
        CheckStore();
        KeypadState driver = handheld::QueryKeypad();
        if (scenario_.reloads) {
            EXPECT_EQ(DWORD(*scenario_.reloads), driver.reloads - reloadsBefore)
                << At(scenario_.line) << "reload requests";
        }
        if (scenario_.driver) {
            std::vector<DWORD> inEffect = {driver.InitalDelay, driver.RepeatDelay,
                                           driver.KeyLight, driver.KeyLightDelay};
            EXPECT_EQ(*scenario_.driver, inEffect) << At(scenario_.line) << "driver's values";
        }
        applet_.Free();
        if (elsewhere_)
            DestroyWindow(elsewhere_);
        handheld::DeleteSettingsKey();
    }

private:
    static std::string At(int line)
    {
        return std::string(g_table) + ":" + std::to_string(line) + ": ";
    }

    void PrepareStore()
    {
        handheld::DeleteSettingsKey();
        if (!scenario_.storeBefore)
            return;
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, handheld::kSettingsKey, 0,
                                                 nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                                 nullptr));
        RegCloseKey(key);
        for (const scenarios::Value& value : *scenario_.storeBefore)
            handheld::WriteValue(value.name.c_str(), value.type, value.data.data(),
                                 static_cast<DWORD>(value.data.size()));
    }

    // Does the step at `i` (for "open", its whole dialog); the index of the
    // last step it took.
    size_t Do(size_t i)
    {
        const Step& step = scenario_.steps[i];
        if (step.verb == "open")
            return Open(i);
        if (step.verb == "cpl")
            Cpl(step);
        else if (step.verb == "entry")
            Entry(step);
        else if (step.verb == "record")
            CheckRecord(step);
        else
            ADD_FAILURE() << At(step.line) << "no step " << step.verb << " outside a dialog";
        return i;
    }

    static LONG Expected(const Step& step, size_t arrow)
    {
        return arrow + 1 < step.words.size() ? static_cast<LONG>(Number(step.words[arrow + 1]))
                                             : 0;
    }

    void Cpl(const Step& step)
    {
        size_t arrow = std::find(step.words.begin(), step.words.end(), "->") - step.words.begin();
        LPARAM params[2] = {0, 0};
        for (size_t p = 1; p < arrow && p <= 2; ++p) {
            if (step.words[p] == "record") {
                std::memset(record_.buffer, 0xFF, sizeof record_.buffer);
                params[p - 1] = reinterpret_cast<LPARAM>(record_.At());
            } else {
                params[p - 1] = static_cast<LPARAM>(Number(step.words[p]));
            }
        }
        LONG result = applet_.Entry()(nullptr, Message(step.words[0]), params[0], params[1]);
        EXPECT_EQ(Expected(step, arrow), result) << At(step.line) << step.words[0];
    }

    void Entry(const Step& step)
    {
        auto entry = reinterpret_cast<BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID)>(
            reinterpret_cast<void*>(CoreLibraryEntry(applet_.Module())));
        BOOL result = entry(applet_.Module(), Number(step.words[0]), nullptr);
        EXPECT_EQ(Expected(step, 1), result) << At(step.line) << "entry";
    }

    void Name(size_t at, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            record_.named.at(2 + at + i) = true;
    }

    void CheckRecord(const Step& step)
    {
        const std::string& kind = step.words[0];
        BYTE* record = record_.At();
        if (kind == "untouched") {
            for (size_t i = 0; i < sizeof record_.buffer; ++i) {
                if (!record_.named[i]) {
                    EXPECT_EQ(0xFF, record_.buffer[i])
                        << At(step.line) << "byte " << int(i) - 2 << " of the record";
                }
            }
            return;
        }
        size_t at = Number(step.words[1]);
        if (kind == "dword" || kind == "word" || kind == "icon") {
            size_t size = kind == "word" ? 2 : 4;
            DWORD value = 0;
            std::memcpy(&value, record + at, size);
            Name(at, size);
            if (kind == "icon") {
                HICON icon = LoadIconW(applet_.Module(), MAKEINTRESOURCEW(Number(step.words[2])));
                EXPECT_TRUE(icon && value == reinterpret_cast<UINT_PTR>(icon))
                    << At(step.line) << "the applet's icon";
            } else {
                EXPECT_EQ(Number(step.words[2]), value) << At(step.line) << "at " << at;
            }
        } else if (kind == "text") {
            std::wstring expected = Wide(step.words[2]);
            EXPECT_EQ(0, std::memcmp(record + at, expected.c_str(), (expected.size() + 1) * 2))
                << At(step.line) << "text at " << at;
            Name(at, (expected.size() + 1) * 2);
        } else {
            ADD_FAILURE() << At(step.line) << "no record check " << kind;
        }
    }

    // Runs CPL_DBLCLK with the steps up to "close" as the dialog's user.
    size_t Open(size_t i)
    {
        const Step& open = scenario_.steps[i];
        size_t close = i + 1;
        while (close < scenario_.steps.size() && scenario_.steps[close].verb != "close")
            ++close;
        LONG result = static_cast<LONG>(dialog_session::WhileShown(
            [&] { return applet_.Entry()(nullptr, CPL_DBLCLK, 0, 7); },
            [&](HWND dialog) {
                for (size_t s = i + 1; s < close; ++s)
                    InDialog(dialog, scenario_.steps[s]);
            }));
        EXPECT_EQ(Expected(open, 0), result) << At(open.line) << "CPL_DBLCLK";
        return close;
    }

    static HWND ShellWindow(LPCWSTR className, HWND dialog)
    {
        for (HWND window = FindWindowExW(nullptr, nullptr, className, nullptr); window;
             window = FindWindowExW(nullptr, window, className, nullptr)) {
            if (GetWindow(window, GW_OWNER) == dialog ||
                reinterpret_cast<HWND>(GetWindowLongPtrW(window, GWLP_USERDATA)) == dialog)
                return window;
        }
        return nullptr;
    }

    // A tap on a key of the shell: its parent acts as on a click.
    static bool Tap(HWND parent, HWND key)
    {
        if (!parent || !key)
            return false;
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(key), BN_CLICKED),
                     reinterpret_cast<LPARAM>(key));
        return true;
    }

    void InDialog(HWND dialog, const Step& step)
    {
        const std::vector<std::string>& words = step.words;
        std::string where = At(step.line);
        if (step.verb == "field") {
            EXPECT_EQ(Wide(words[1]), dialog_session::ItemText(dialog, Number(words[0]))) << where;
        } else if (step.verb == "checked") {
            EXPECT_EQ(words[1] == "on", IsDlgButtonChecked(dialog, Number(words[0])) == BST_CHECKED)
                << where;
        } else if (step.verb == "range") {
            int lower = -7, upper = -7;
            SendMessageW(GetDlgItem(dialog, Number(words[0])), UDM_GETRANGE32,
                         reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
            EXPECT_EQ(static_cast<int>(Number(words[1])), lower) << where;
            EXPECT_EQ(static_cast<int>(Number(words[2])), upper) << where;
        } else if (step.verb == "type") {
            dialog_session::Type(dialog, Number(words[0]), Wide(words[1]).c_str());
        } else if (step.verb == "check") {
            SendMessageW(GetDlgItem(dialog, Number(words[0])), BM_SETCHECK,
                         words[1] == "on" ? BST_CHECKED : BST_UNCHECKED, 0);
        } else if (step.verb == "command") {
            // The whole number: a notification code in the high word too.
            SendMessageW(dialog, WM_COMMAND, Number(words[0]), 0);
        } else if (step.verb == "softkey") {
            HWND bar = ShellWindow(L"ShellMenuBar", dialog);
            HWND key = bar ? GetWindow(bar, GW_CHILD) : nullptr;
            if (key && words[0] == "right")
                key = GetWindow(key, GW_HWNDNEXT);
            EXPECT_TRUE(Tap(bar, key)) << where << "no " << words[0] << " soft key";
        } else if (step.verb == "ok") {
            HWND strip = ShellWindow(L"ShellTitleStrip", dialog);
            EXPECT_TRUE(Tap(strip, FindWindowExW(strip, nullptr, L"BUTTON", L"ok")))
                << where << "no OK button in the title";
        } else if (step.verb == "key" && words[0] == "action") {
            HWND focus = dialog_session::FocusOf(dialog);
            PostMessageW(focus, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageW(focus, WM_KEYUP, VK_RETURN, 0);
        } else if (step.verb == "ends") {
            EXPECT_TRUE(dialog_session::Ends(dialog)) << where;
        } else if (step.verb == "open") {
            EXPECT_TRUE(IsWindowVisible(dialog)) << where << "the dialog stays open";
        } else if (step.verb == "elsewhere") {
            host_.Run([&] {
                elsewhere_ = CreateWindowExW(0, L"STATIC", L"Elsewhere", WS_POPUP | WS_VISIBLE, 0, 0,
                                             16, 16, nullptr, nullptr, nullptr, nullptr);
                SetForegroundWindow(elsewhere_);
            });
            EXPECT_TRUE(handheld::Eventually("another window comes in front", [this] {
                return GetForegroundWindow() == elsewhere_;
            })) << where;
        } else if (step.verb == "foreground") {
            EXPECT_TRUE(handheld::Eventually("the dialog comes to the foreground",
                                             [dialog] { return GetForegroundWindow() == dialog; }))
                << where;
        } else if (step.verb == "cpl") {
            // The host's own thread makes the call, as the host would: an
            // ARM image runs on the thread that loaded it.
            host_.Run([&] { Cpl(step); });
        } else {
            ADD_FAILURE() << where << "no step " << step.verb << " in a dialog";
        }
    }

    void CheckJournal(const std::vector<std::string>& journal)
    {
        if (!scenario_.journalChecked)
            return;
        std::vector<std::string> calls;
        for (const std::string& call : journal) {
            bool wanted = scenario_.journalPrefixes.empty();
            for (const std::string& prefix : scenario_.journalPrefixes)
                wanted |= call.compare(0, prefix.size(), prefix) == 0;
            if (wanted)
                calls.push_back(call);
        }
        if (calls == scenario_.journal)
            return;
        std::ostringstream both;
        for (size_t i = 0; i < std::max(calls.size(), scenario_.journal.size()); ++i) {
            std::string made = i < calls.size() ? calls[i] : "(none)";
            std::string wanted = i < scenario_.journal.size() ? scenario_.journal[i] : "(none)";
            both << (made == wanted ? "    " : "  ! ") << made;
            if (made != wanted)
                both << "\n      expected " << wanted;
            both << "\n";
        }
        ADD_FAILURE() << At(scenario_.journalLine) << "the calls made:\n" << both.str();
    }

    void CheckStore()
    {
        if (!scenario_.storeChecked)
            return;
        HKEY key;
        bool exists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, handheld::kSettingsKey, 0, KEY_READ,
                                    &key) == ERROR_SUCCESS;
        ASSERT_EQ(scenario_.storeAfter.has_value(), exists) << At(scenario_.line) << "the key";
        if (!exists)
            return;
        std::vector<scenarios::Value> found;
        for (DWORD i = 0;; ++i) {
            wchar_t name[64];
            DWORD length = 64;
            BYTE data[64];
            DWORD size = sizeof data;
            DWORD type = 0;
            if (RegEnumValueW(key, i, name, &length, nullptr, &type, data, &size) != ERROR_SUCCESS)
                break;
            found.push_back({name, type, std::vector<BYTE>(data, data + size)});
        }
        RegCloseKey(key);
        auto byName = [](const scenarios::Value& a, const scenarios::Value& b) {
            return a.name < b.name;
        };
        std::vector<scenarios::Value> expected = *scenario_.storeAfter;
        std::sort(found.begin(), found.end(), byName);
        std::sort(expected.begin(), expected.end(), byName);
        EXPECT_EQ(expected.size(), found.size()) << At(scenario_.line) << "values in the key";
        for (size_t i = 0; i < std::min(expected.size(), found.size()); ++i) {
            EXPECT_TRUE(expected[i].name == found[i].name && expected[i].type == found[i].type &&
                        expected[i].data == found[i].data)
                << At(scenario_.line) << "value " << Narrow(expected[i].name);
        }
    }

    const Scenario& scenario_;
    CplLibrary applet_;
    Record record_;
    dialog_session::OnThisThread host_;
    HWND elsewhere_ = nullptr;
};

// The reader stops at the first line it does not understand, saying where
// and what it expected, rather than reading it as something else.
struct BadLine {
    const char* line;
    const char* expected;
};

class TableReader : public testing::TestWithParam<BadLine> {};

TEST_P(TableReader, StopsAtALineItDoesNotUnderstand)
{
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"tab", 0, path);
    std::string table = Narrow(path);
    FILE* file = std::fopen(table.c_str(), "wb");
    std::fprintf(file, "scenario Probe\n    reloads 010\n%s\n", GetParam().line);
    std::fclose(file);
    std::string error;
    std::vector<Scenario> read = scenarios::Read(table, &error);
    DeleteFileW(path);
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(table + ":3: " + GetParam().expected, error);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, TableReader,
    testing::Values(
        BadLine{"    fail RegOpenKeyExW 1 12abc", "expected fail FUNCTION N ERROR"},
        BadLine{"    store KeyLight=4:01020", "expected values NAME=NUMBER, NAME=sz:TEXT or "
                                             "NAME=TYPE:HEX, HEX pairs of hex digits"},
        BadLine{"    stored none\r", "expected a line that ends without a carriage return"}));

// Decimal unless written 0x, as a reader of the table expects.
TEST(TableReader, ANumberWithALeadingZeroIsDecimal)
{
    EXPECT_EQ(10u, Number("010"));
    EXPECT_EQ(16u, Number("0x10"));
}

class ScenarioTest : public testing::Test {
public:
    explicit ScenarioTest(const Scenario& scenario) : scenario_(scenario) {}
    void TestBody() override { ScenarioRun(scenario_).Go(); }

private:
    Scenario scenario_;
};

}

// The table's path comes first on the command line, before GoogleTest's
// own options.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: scenarios_test TABLE [GOOGLETEST OPTIONS]\n");
        return 2;
    }
    g_table = argv[1];
    // The shell's classes are there on a handheld once any program has
    // asked for them, whatever one applet's own call comes to.
    SHInitExtraControls();
    std::string error;
    std::vector<Scenario> read = scenarios::Read(g_table, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    for (const Scenario& scenario : read) {
        testing::RegisterTest("Scenarios", scenario.name.c_str(), nullptr, nullptr, g_table,
                              scenario.line,
                              [scenario]() -> testing::Test* { return new ScenarioTest(scenario); });
    }
    return RunSelectedTests();
}

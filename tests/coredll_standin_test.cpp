// The COREDLL stand-in's handheld behaviours that the applet relies on.
#include "support/handheld.h"
#include "support/pe_image.h"

#include "coredll_test.h"
#include "loader.h"
#include "keypad_contract.h"
#include "keypad_driver.h"

#include <gtest/gtest.h>

#include <cpl.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

namespace {

using handheld::OpenKeypad;

TEST(StreamDevices, EachOpenIsAUniqueLiveHandleUntilClosed)
{
    HANDLE first = OpenKeypad();
    HANDLE second = OpenKeypad();
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    ASSERT_NE(INVALID_HANDLE_VALUE, second);

    EXPECT_NE(first, second);
    EXPECT_TRUE(handheld::IsLiveHandle(first));
    EXPECT_TRUE(handheld::IsLiveHandle(second));
    EXPECT_EQ(2, CoreOpenDeviceCount());

    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_FALSE(handheld::IsLiveHandle(first));
    EXPECT_EQ(0, CoreOpenDeviceCount());
}

TEST(StreamDevices, UnknownDeviceFailsWithFileNotFound)
{
    for (const wchar_t* name : {L"ABC1:", L"KPD2:"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(INVALID_HANDLE_VALUE,
                  CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    }
    EXPECT_EQ(0, CoreOpenDeviceCount());
}

TEST(StreamDevices, ControlRequestsAcceptANullBytesReturnedPointer)
{
    HANDLE device = OpenKeypad();
    ASSERT_NE(INVALID_HANDLE_VALUE, device);

    EXPECT_TRUE(DeviceIoControl(device, 0x11223344, nullptr, 0, nullptr, 0, nullptr, nullptr));
    KeypadState state;
    std::memset(&state, 0xFF, sizeof state);
    EXPECT_TRUE(DeviceIoControl(device, IOCTL_KEYPAD_QUERY_STATE, nullptr, 0, &state,
                                sizeof state, nullptr, nullptr));
    EXPECT_NE(0xFFFFFFFFu, state.reloads);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeviceIoControl(device, 0x11223345, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    CloseHandle(device);
}

TEST(StreamDevices, LoadedDriverIsRecordedAsActive)
{
    HANDLE device = OpenKeypad();
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    CloseHandle(device);

    bool found = false;
    for (int n = 1; n < 100 && !found; ++n) {
        wchar_t path[64];
        swprintf(path, 64, L"Drivers\\Active\\%02d", n);
        wchar_t name[16] = {};
        wchar_t builtIn[64] = {};
        DWORD size = sizeof name;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, path, L"Name", RRF_RT_REG_SZ, nullptr, name,
                         &size) != ERROR_SUCCESS ||
            std::wstring(name) != L"KPD1:")
            continue;
        size = sizeof builtIn;
        EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, path, L"Key", RRF_RT_REG_SZ,
                                              nullptr, builtIn, &size));
        EXPECT_EQ(std::wstring(L"Drivers\\BuiltIn\\Keypad"), builtIn);
        found = true;
    }
    EXPECT_TRUE(found);
}

TEST(StreamDevices, OtherNamesAreFiles)
{
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"kbd", 0, path);

    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(0, CoreOpenDeviceCount());
    EXPECT_TRUE(CloseHandle(file));
    DeleteFileW(path);
}

// Wine refuses every read and write on a key opened with access mask 0; the
// handheld ignores the mask, and so must the stand-in.
TEST(Registry, AccessMaskAndOptionsAreIgnored)
{
    typedef LONG(WINAPI * OpenKey)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
    auto wineOpen = reinterpret_cast<OpenKey>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegOpenKeyExW")));
    handheld::WriteDword(L"KeyLight", 7);

    HKEY key;
    DWORD data = 0;
    DWORD size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, wineOpen(HKEY_LOCAL_MACHINE, handheld::kSettingsKey, 0, 0, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExW(key, L"KeyLight", nullptr, nullptr,
                                                    reinterpret_cast<BYTE*>(&data), &size));
    RegCloseKey(key);

    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, handheld::kSettingsKey, 0xFF, 0, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"KeyLight", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(&data), &size));
    EXPECT_EQ(7u, data);
    RegCloseKey(key);

    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, handheld::kSettingsKey, 0,
                                             nullptr, 0, 0, nullptr, &key, nullptr));
    data = 8;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"KeyLight", 0, REG_DWORD,
                                            reinterpret_cast<BYTE*>(&data), sizeof data));
    RegCloseKey(key);
    EXPECT_EQ(8u, handheld::ReadDword(L"KeyLight"));
    handheld::DeleteSettingsKey();
}

TEST(Journal, InjectedFailureHitsOnlyTheNthCall)
{
    CoreInjectFailure("RegCloseKey", 2, ERROR_INVALID_HANDLE);
    HKEY keys[3];
    for (HKEY& key : keys)
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, 0, &key));

    handheld::ClearJournal();
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(keys[0]));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(keys[1]));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(keys[2]));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(keys[1]));

    EXPECT_EQ(4u, handheld::Journal().size());
    EXPECT_EQ("RegCloseKey(key) = 6", handheld::Journal()[1]);
}

// coredll_test.h promises that every call the stand-in journals can be made
// to fail: registry calls return the error, the others their failure value
// with the error as the last error.
TEST(Journal, EveryJournaledCallTakesAnInjectedFailure)
{
    const DWORD kError = ERROR_NOT_READY;
    const int kField = 1001;
    HWND window = CreateWindowExW(0, L"#32770", L"Injection probe", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr);
    HWND field = CreateWindowExW(0, L"EDIT", L"42", WS_CHILD, 0, 0, 10, 10, window,
                                 reinterpret_cast<HMENU>(kField), nullptr, nullptr);
    handheld::WriteDword(L"KeyLight", 1);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, handheld::kSettingsKey, 0, 0, &key));
    HANDLE keypad = OpenKeypad();
    ASSERT_NE(INVALID_HANDLE_VALUE, keypad);
    DWORD data = 0;
    DWORD size = sizeof data;
    HKEY unused;
    BOOL translated = TRUE;

    auto failed = [&](bool result) { return result && GetLastError() == kError; };
    struct {
        const char* function;
        std::function<bool()> fails;
    } cases[] = {
        {"RegOpenKeyExW",
         [&] { return RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, 0, &unused) == kError; }},
        {"RegCreateKeyExW",
         [&] {
             return RegCreateKeyExW(HKEY_LOCAL_MACHINE, handheld::kSettingsKey, 0, nullptr, 0, 0,
                                    nullptr, &unused, nullptr) == kError;
         }},
        {"RegQueryValueExW",
         [&] {
             return RegQueryValueExW(key, L"KeyLight", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(&data), &size) == kError;
         }},
        {"RegSetValueExW",
         [&] {
             return RegSetValueExW(key, L"KeyLight", 0, REG_DWORD,
                                   reinterpret_cast<BYTE*>(&data), sizeof data) == kError;
         }},
        {"RegCloseKey", [&] { return RegCloseKey(key) == kError; }},
        {"CreateFileW",
         [&] {
             return failed(OpenKeypad(GENERIC_READ, 0) == INVALID_HANDLE_VALUE);
         }},
        {"DeviceIoControl",
         [&] {
             return failed(!DeviceIoControl(keypad, IOCTL_KEYPAD_RELOAD, nullptr, 0, nullptr, 0,
                                            nullptr, nullptr));
         }},
        {"CloseHandle", [&] { return failed(!CloseHandle(keypad)); }},
        {"GetDlgItemInt",
         [&] { return failed(GetDlgItemInt(window, kField, &translated, FALSE) == 0) && !translated; }},
        {"DestroyWindow", [&] { return failed(!DestroyWindow(field)) && IsWindow(field); }},
        {"FindWindowW", [&] { return failed(!FindWindowW(L"Dialog", L"Injection probe")); }},
        {"DisableThreadLibraryCalls",
         [&] { return failed(!DisableThreadLibraryCalls(GetModuleHandleW(nullptr))); }},
    };
    for (const auto& c : cases) {
        CoreInjectFailure(c.function, 1, kError);
        SetLastError(0);
        EXPECT_TRUE(c.fails()) << c.function << " did not fail as injected";
    }
    CoreClearFailures();

    EXPECT_EQ(1u, handheld::ReadDword(L"KeyLight")) << "the injected write wrote";
    EXPECT_TRUE(CloseHandle(keypad));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    DestroyWindow(window);
    handheld::DeleteSettingsKey();
}

}

namespace {

class DialogItems : public testing::Test {
protected:
    void SetUp() override
    {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
        CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 50, 20, parent_,
                        reinterpret_cast<HMENU>(kField), nullptr, nullptr);
    }
    void TearDown() override { DestroyWindow(parent_); }

    static const int kField = 1001;
    HWND parent_ = nullptr;
};

TEST_F(DialogItems, GetDlgItemIntTakesOnlyBlanksSignAndAsciiDigits)
{
    struct {
        const wchar_t* text;
        BOOL isSigned;
        BOOL translated;
        UINT value;
    } cases[] = {
        {L"0", FALSE, TRUE, 0},
        {L"007", FALSE, TRUE, 7},
        {L" \t12 \t", FALSE, TRUE, 12},
        {L"4294967295", FALSE, TRUE, 4294967295u},
        {L"4294967296", FALSE, FALSE, 0},
        {L"99999999999999999999", FALSE, FALSE, 0},
        {L"", FALSE, FALSE, 0},
        {L"   ", FALSE, FALSE, 0},
        {L"+7", FALSE, FALSE, 0},
        {L"-1", FALSE, FALSE, 0},
        {L"1,000", FALSE, FALSE, 0},
        {L"12abc", FALSE, FALSE, 0},
        {L"1 2", FALSE, FALSE, 0},
        {L"\xFF11\xFF12", FALSE, FALSE, 0},  // fullwidth digits
        {L"\x0663", FALSE, FALSE, 0},        // Arabic-Indic three
        {L"-1", TRUE, TRUE, 0xFFFFFFFFu},
        {L" -0 ", TRUE, TRUE, 0},
        {L"-2147483648", TRUE, TRUE, 0x80000000u},
        {L"-2147483649", TRUE, FALSE, 0},
        {L"2147483647", TRUE, TRUE, 2147483647u},
        {L"2147483648", TRUE, FALSE, 0},
        {L"--1", TRUE, FALSE, 0},
        {L"- 1", TRUE, FALSE, 0},
    };
    for (const auto& c : cases) {
        SetDlgItemTextW(parent_, kField, c.text);
        BOOL translated = 0xdead;
        UINT value = GetDlgItemInt(parent_, kField, &translated, c.isSigned);
        std::wstring text = c.text;
        EXPECT_EQ(c.translated, translated)
            << "\"" << std::string(text.begin(), text.end()) << "\" signed " << c.isSigned;
        EXPECT_EQ(c.value, value) << "\"" << std::string(text.begin(), text.end()) << "\"";
    }
}

TEST_F(DialogItems, GetDlgItemIntAcceptsNoFlagAndMissingItems)
{
    SetDlgItemTextW(parent_, kField, L"42");
    EXPECT_EQ(42u, GetDlgItemInt(parent_, kField, nullptr, FALSE));
    BOOL translated = TRUE;
    EXPECT_EQ(0u, GetDlgItemInt(parent_, 999, &translated, FALSE));
    EXPECT_FALSE(translated);
}

TEST(Windows, DialogClassIsFoundAsDialog)
{
    HWND dialog = CreateWindowExW(0, L"#32770", L"Probe dialog", WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog, FindWindowW(L"Dialog", L"Probe dialog"));
    EXPECT_EQ(nullptr, FindWindowW(L"Dialog", L"No such dialog"));
    EXPECT_EQ(dialog, FindWindowW(nullptr, L"Probe dialog")) << "other searches unchanged";
    DestroyWindow(dialog);
    EXPECT_EQ(nullptr, FindWindowW(L"Dialog", L"Probe dialog"));
}

// The ARM core, on libraries made to do what a handheld traps: each ends
// the process (status 3) with one line saying what happened and where, the
// place named by its offset in the library.
std::wstring ArmLibrary(const wchar_t* name)
{
    return ProgramFolder() + L"..\\tests\\" + name;
}

APPLET_PROC LoadArmFaults(const char* cpu)
{
    SetEnvironmentVariableA("KBD_CPU", cpu);
    HMODULE library = LoadLibraryW(ArmLibrary(L"arm_faults.cpl").c_str());
    return reinterpret_cast<APPLET_PROC>(
        reinterpret_cast<void*>(GetProcAddress(library, "CPlApplet")));
}

struct ArmFault {
    const char* name;
    const char* cpu;
    UINT message;  // what CPlApplet of arm_faults.cpl is sent
    const char* line;
};

void PrintTo(const ArmFault& fault, std::ostream* out)
{
    *out << fault.name;
}

class ArmFaults : public testing::TestWithParam<ArmFault> {};

TEST_P(ArmFaults, EndTheHostWithOneLineNamingThemAndWhere)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    const ArmFault& fault = GetParam();
    EXPECT_EXIT(LoadArmFaults(fault.cpu)(nullptr, fault.message, 0, 0),
                testing::ExitedWithCode(3), fault.line);
}

INSTANTIATE_TEST_SUITE_P(
    Arm, ArmFaults,
    testing::Values(
        ArmFault{"UnalignedWrite", "pxa270", 1,
                 "^handheld: an unaligned 32-bit write at 0x\\w+, by the instruction at "
                 "0x\\w+ \\(arm_faults.cpl\\+0x1044\\)\n$"},
        ArmFault{"UnalignedRead", "ti925t", 2,
                 "^handheld: an unaligned 16-bit read at 0x\\w+, by the instruction at "
                 "0x\\w+ \\(arm_faults.cpl\\+0x1058\\)\n$"},
        ArmFault{"Armv5OnTheTi925t", "ti925t", 3,
                 "^handheld: an instruction the TI925T core lacks, at 0x\\w+ "
                 "\\(arm_faults.cpl\\+0x1064\\)\n$"},
        ArmFault{"JumpOutside", "pxa270", 4,
                 "^handheld: a jump to 0x00001000, outside the image's code and the platform, "
                 "by the instruction at 0x\\w+ \\(arm_faults.cpl\\+0x1070\\)\n$"},
        ArmFault{"WriteToReadOnly", "pxa270", 5,
                 "^handheld: a write to read-only memory at 0x\\w+ \\(arm_faults.cpl\\+0x\\w+\\), "
                 "by the instruction at 0x\\w+ \\(arm_faults.cpl\\+0x1078\\)\n$"},
        ArmFault{"StackOverrun", "pxa270", 6,
                 "^handheld: a stack beyond its 64 KB, a write at 0x\\w+, by the instruction at "
                 "0x\\w+ \\(arm_faults.cpl\\+0x1080\\)\n$"},
        ArmFault{"ThumbCallerGetsArmState", "ti925t", 7,
                 "^handheld: a return in ARM state to a Thumb caller, by the instruction at "
                 "0x\\w+ \\(arm_faults.cpl\\+0x1090\\)\n$"}),
    [](const testing::TestParamInfo<ArmFault>& info) { return std::string(info.param.name); });

// What traps on one core runs on the other: clz is ARMv5 (message 3 has 30
// leading zeros), and from ARMv5 on a return through ldm gives a Thumb
// caller its state (message 7 answers 1).
TEST(ArmCore, ThePxa270RunsWhatTheTi925tLacks)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(std::exit(static_cast<int>(LoadArmFaults("pxa270")(nullptr, 3, 0, 0) +
                                           LoadArmFaults("pxa270")(nullptr, 7, 0, 0))),
                testing::ExitedWithCode(30 + 1), "^$");
}

TEST(ArmCore, ACallFromAnotherThreadEndsTheHost)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    auto call = [] {
        APPLET_PROC entry = LoadArmFaults("pxa270");
        std::thread([entry] { entry(nullptr, 0, 0, 0); }).join();
    };
    EXPECT_EXIT(call(), testing::ExitedWithCode(3),
                "^handheld: a call into ARM code at 0x\\w+ \\(arm_faults.cpl\\+0x1008\\) from "
                "thread \\d+, not the thread that runs it \\(\\d+\\)\n$");
}

TEST(ArmLoader, AnImportTheHandheldHasNotGotFailsTheLoadNamingIt)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    auto load = [] {
        SetLastError(0);
        HMODULE library = LoadLibraryW(ArmLibrary(L"arm_missing_import.cpl").c_str());
        std::exit(library ? 0 : static_cast<int>(GetLastError()));
    };
    EXPECT_EXIT(load(), testing::ExitedWithCode(ERROR_BAD_EXE_FORMAT),
                "^handheld: .*arm_missing_import.cpl imports COREDLL.dll!NoSuchCall, which the "
                "handheld does not have\n$");
}

}

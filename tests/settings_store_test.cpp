// The settings store against the real registry, through the COREDLL stand-in.
#include "keyboard_settings.h"
#include "support/handheld.h"

#include "coredll_test.h"

#include <gtest/gtest.h>

using handheld::Journal;
using handheld::ReadDword;
using handheld::WriteDword;
using handheld::WriteValue;

namespace {

using SettingsStoreTest = handheld::CleanHandheld;

void ExpectSettings(const KeyboardSettings& actual, DWORD initial, DWORD repeat, DWORD light,
                    DWORD lightDelay)
{
    EXPECT_EQ(initial, actual.InitalDelay);
    EXPECT_EQ(repeat, actual.RepeatDelay);
    EXPECT_EQ(light, actual.KeyLight);
    EXPECT_EQ(lightDelay, actual.KeyLightDelay);
}

const char kOpen[] = "RegOpenKeyExW(HKLM, \"Software\\Ormadi\\KEYBOARD\", 0, 0x0, ptr)";
const char kCreate[] =
    "RegCreateKeyExW(HKLM, \"Software\\Ormadi\\KEYBOARD\", 0, NULL, 0, 0x0, NULL, ptr, ptr)";

TEST_F(SettingsStoreTest, LoadWithoutKeyGivesDefaultsAndTriesNothingElse)
{
    handheld::ClearJournal();
    KeyboardSettings settings = LoadKeyboardSettings();

    ExpectSettings(settings, 220, 100, 1, 5000);
    EXPECT_EQ(std::vector<std::string>({kOpen}), Journal());
}

TEST_F(SettingsStoreTest, LoadQueriesEachValueInOrderWithSizeFour)
{
    WriteDword(L"RepeatDelay", 40);

    handheld::ClearJournal();
    KeyboardSettings settings = LoadKeyboardSettings();

    ExpectSettings(settings, 220, 40, 1, 5000);
    EXPECT_EQ(std::vector<std::string>({
                  kOpen,
                  "RegQueryValueExW(key, \"InitalDelay\", NULL, ptr, ptr, &4)",
                  "RegQueryValueExW(key, \"RepeatDelay\", NULL, ptr, ptr, &4)",
                  "RegQueryValueExW(key, \"KeyLight\", NULL, ptr, ptr, &4)",
                  "RegQueryValueExW(key, \"KeyLightDelay\", NULL, ptr, ptr, &4)",
                  "RegCloseKey(key)",
              }),
              Journal());
}

TEST_F(SettingsStoreTest, LoadTakesStoredNumbersAsTheyAre)
{
    WriteDword(L"InitalDelay", 5000);  // beyond the spin range: not clamped
    WriteDword(L"RepeatDelay", 0);
    WriteDword(L"KeyLight", 7);  // any nonzero is on, and is kept as stored
    WriteDword(L"KeyLightDelay", 4294967295u);

    ExpectSettings(LoadKeyboardSettings(), 5000, 0, 7, 4294967295u);
}

// Each value stored in each wrong way: only a 4-byte REG_DWORD is read.
TEST_F(SettingsStoreTest, UnreadableValueTakesItsDefaultAndLeavesTheOthersRead)
{
    const wchar_t text[] = L"300";
    const wchar_t texts[] = L"300\0400\0";
    const BYTE bytes[8] = {0x2C, 0x01, 0, 0, 5, 6, 7, 8};
    const ULONGLONG quad = 300;
    const DWORD kTaken = 0xFFFFFFFF;  // the data itself, 300, is read
    struct Case {
        const char* what;
        DWORD type;
        const void* data;
        DWORD size;
        DWORD expected;
    } cases[] = {
        {"REG_SZ", REG_SZ, text, sizeof text, 0},
        {"REG_BINARY", REG_BINARY, bytes, 4, 0},
        {"REG_MULTI_SZ", REG_MULTI_SZ, texts, sizeof texts, 0},
        {"REG_QWORD", REG_QWORD, &quad, sizeof quad, 0},
        {"REG_DWORD of 0 bytes", REG_DWORD, nullptr, 0, 0},
        {"REG_DWORD of 1 byte", REG_DWORD, bytes, 1, 0},
        {"REG_DWORD of 2 bytes", REG_DWORD, bytes, 2, 0},
        {"REG_DWORD of 3 bytes", REG_DWORD, bytes, 3, 0},
        {"REG_DWORD of 4 bytes", REG_DWORD, bytes, 4, kTaken},
        {"REG_DWORD of 8 bytes", REG_DWORD, bytes, 8, 0},
    };
    const wchar_t* names[] = {L"InitalDelay", L"RepeatDelay", L"KeyLight", L"KeyLightDelay"};
    const DWORD stored[] = {11, 22, 0, 44};
    const DWORD defaults[] = {220, 100, 1, 5000};

    for (const Case& c : cases) {
        for (int bad = 0; bad < 4; ++bad) {
            SCOPED_TRACE(testing::Message() << c.what << " in value " << bad);
            handheld::DeleteSettingsKey();
            for (int i = 0; i < 4; ++i) {
                if (i == bad)
                    WriteValue(names[i], c.type, c.data, c.size);
                else
                    WriteDword(names[i], stored[i]);
            }
            KeyboardSettings settings = LoadKeyboardSettings();
            const DWORD loaded[] = {settings.InitalDelay, settings.RepeatDelay,
                                    settings.KeyLight, settings.KeyLightDelay};
            DWORD badExpected = c.expected == kTaken ? 300 : defaults[bad];
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(i == bad ? badExpected : stored[i], loaded[i]) << "value " << i;
        }
    }
}

TEST_F(SettingsStoreTest, SaveCreatesTheKeyAndWritesFourDwordsInOrder)
{
    KeyboardSettings settings = {300, 40, 0, 7000};

    handheld::ClearJournal();
    SaveKeyboardSettings(settings);

    EXPECT_EQ(std::vector<std::string>({
                  kCreate,
                  "RegSetValueExW(key, \"InitalDelay\", 0, 4, 2C010000, 4)",
                  "RegSetValueExW(key, \"RepeatDelay\", 0, 4, 28000000, 4)",
                  "RegSetValueExW(key, \"KeyLight\", 0, 4, 00000000, 4)",
                  "RegSetValueExW(key, \"KeyLightDelay\", 0, 4, 581B0000, 4)",
                  "RegCloseKey(key)",
              }),
              Journal());
    EXPECT_EQ(300u, ReadDword(L"InitalDelay"));
    EXPECT_EQ(40u, ReadDword(L"RepeatDelay"));
    EXPECT_EQ(0u, ReadDword(L"KeyLight"));
    EXPECT_EQ(7000u, ReadDword(L"KeyLightDelay"));
}

// Both calls pass access mask 0; only a store that maps it for Wine reads
// back what it wrote.
TEST_F(SettingsStoreTest, SavedValuesLoadBack)
{
    KeyboardSettings saved = {1, 2, 0, 4294967000u};
    SaveKeyboardSettings(saved);
    ExpectSettings(LoadKeyboardSettings(), 1, 2, 0, 4294967000u);

    saved.KeyLight = 1;
    saved.RepeatDelay = 1000;
    SaveKeyboardSettings(saved);
    ExpectSettings(LoadKeyboardSettings(), 1, 1000, 1, 4294967000u);
}

TEST_F(SettingsStoreTest, SaveWritesNothingWhenTheKeyCannotBeCreated)
{
    KeyboardSettings old = {1, 2, 3, 4};
    SaveKeyboardSettings(old);
    CoreInjectFailure("RegCreateKeyExW", 1, ERROR_ACCESS_DENIED);

    handheld::ClearJournal();
    KeyboardSettings settings = {300, 40, 0, 7000};
    SaveKeyboardSettings(settings);

    EXPECT_EQ(std::vector<std::string>({kCreate}), Journal());
    ExpectSettings(LoadKeyboardSettings(), 1, 2, 3, 4);
}

TEST_F(SettingsStoreTest, FailedWriteDoesNotStopTheOthers)
{
    KeyboardSettings old = {1, 2, 3, 4};
    SaveKeyboardSettings(old);
    CoreInjectFailure("RegSetValueExW", 2, ERROR_ACCESS_DENIED);

    handheld::ClearJournal();
    KeyboardSettings settings = {300, 40, 0, 7000};
    SaveKeyboardSettings(settings);

    EXPECT_EQ(6u, Journal().size());
    EXPECT_EQ("RegCloseKey(key)", Journal().back());
    ExpectSettings(LoadKeyboardSettings(), 300, 2, 0, 7000);
}

}

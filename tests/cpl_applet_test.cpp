// keyboard.cpl as a host drives it: loaded from the built file and called
// only through CPlApplet.
#include "resource.h"
#include "support/dialog_session.h"
#include "support/handheld.h"
#include "support/pe_image.h"

#include <cpl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <set>
#include <vector>
#include <cstring>
#include <thread>

namespace {

class Applet : public handheld::CleanHandheld {
protected:
    void SetUp() override
    {
        CleanHandheld::SetUp();
        module_ = LoadLibraryW((ProgramFolder() + L"keyboard.cpl").c_str());
        ASSERT_TRUE(module_);
        entry_ = reinterpret_cast<APPLET_PROC>(
            reinterpret_cast<void*>(GetProcAddress(module_, "CPlApplet")));
        ASSERT_TRUE(entry_);
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
        CleanHandheld::TearDown();
    }

    LONG Call(UINT message, LPARAM lParam1 = 0, LPARAM lParam2 = 0)
    {
        return entry_(nullptr, message, lParam1, lParam2);
    }

    HMODULE module_ = nullptr;
    APPLET_PROC entry_ = nullptr;
};

const BYTE kMarker = 0xFF;

bool AllMarker(const BYTE* bytes, size_t count)
{
    return std::all_of(bytes, bytes + count, [](BYTE b) { return b == kMarker; });
}

TEST_F(Applet, AnswersTheHostsQuestionsAndNothingElse)
{
    EXPECT_EQ(1, Call(CPL_INIT));
    EXPECT_EQ(1, Call(CPL_GETCOUNT));

    BYTE record[600];
    for (UINT message : {UINT(CPL_INQUIRE), UINT(CPL_SELECT), UINT(CPL_STOP), UINT(CPL_EXIT),
                         UINT(CPL_STARTWPARMSW), 9u,
                         200u, 0u, 0xFFFFu, 0xDEADBEEFu}) {
        std::memset(record, kMarker, sizeof record);
        EXPECT_EQ(0, Call(message, 0, reinterpret_cast<LPARAM>(record))) << message;
        EXPECT_TRUE(AllMarker(record, sizeof record)) << "message " << message << " wrote";
    }
}

// Parameters no message but CPL_NEWINQUIRE's looks at: pointers that would
// fault if anything followed them.
TEST_F(Applet, UnknownMessagesWithGarbageParametersAnswerZero)
{
    const LPARAM garbage[] = {0, 1, -1, static_cast<LPARAM>(0xDEADBEEF), 0x10};
    for (UINT message : {0u, 3u, 4u, 6u, 7u, 9u, 10u, 11u, 100u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        for (LPARAM first : garbage)
            for (LPARAM second : garbage)
                EXPECT_EQ(0, Call(message, first, second)) << message;
    }
    for (LPARAM first : garbage) {
        EXPECT_EQ(1, Call(CPL_INIT, first, static_cast<LPARAM>(0xDEADBEEF)));
        EXPECT_EQ(1, Call(CPL_GETCOUNT, first, static_cast<LPARAM>(0xDEADBEEF)));
    }
}

TEST_F(Applet, NewInquireWritesItsFieldsBytewiseAtAnEvenUnalignedAddress)
{
    alignas(4) BYTE buffer[4 + 468 + 8];
    std::memset(buffer, kMarker, sizeof buffer);
    BYTE* record = buffer + 2;  // even, not a multiple of 4

    EXPECT_EQ(0, Call(CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(record)));

    auto dword = [&](size_t at) {
        DWORD value;
        std::memcpy(&value, record + at, 4);
        return value;
    };
    EXPECT_EQ(468u, dword(0));
    EXPECT_EQ(0u, dword(4));
    EXPECT_EQ(0u, dword(8));
    EXPECT_EQ(7u, dword(12));
    EXPECT_NE(0u, dword(16)) << "icon";
    EXPECT_NE(0xFFFFFFFFu, dword(16)) << "icon";

    auto text = [&](size_t at) { return std::wstring(reinterpret_cast<wchar_t*>(record + at)); };
    EXPECT_EQ(L"Keyboard", text(20));
    EXPECT_EQ(L"Keyboard settings", text(84));
    EXPECT_EQ(0, record[212]);
    EXPECT_EQ(0, record[213]);

    EXPECT_TRUE(AllMarker(buffer, 2)) << "before the record";
    EXPECT_TRUE(AllMarker(record + 38, 84 - 38)) << "rest of the name";
    EXPECT_TRUE(AllMarker(record + 120, 212 - 120)) << "rest of the description";
    EXPECT_TRUE(AllMarker(record + 214, 468 - 214)) << "rest of the help file";
    EXPECT_TRUE(AllMarker(record + 468, sizeof buffer - 2 - 468)) << "after the record";
}

TEST_F(Applet, NewInquireWithoutARecordWritesNothing)
{
    EXPECT_EQ(0, Call(CPL_NEWINQUIRE, 0, 0));
}

// Every visible dialog titled as the applet's, in this process.
int OpenSettingsDialogs()
{
    int count = 0;
    for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", L"Keyboard settings"); window;
         window = FindWindowExW(nullptr, window, L"#32770", L"Keyboard settings"))
        count += IsWindowVisible(window) ? 1 : 0;
    return count;
}

TEST_F(Applet, DoubleClickShowsTheDialogAndASecondOneBringsItForward)
{
    std::atomic<LONG> secondResult{-1};
    std::atomic<int> dialogsDuringSecond{0};
    std::thread user([&] {
        HWND dialog = dialog_session::WaitForWindow(L"#32770");
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog, FindWindowW(L"Dialog", L"Keyboard settings"));
        secondResult = Call(CPL_DBLCLK);
        dialogsDuringSecond = OpenSettingsDialogs();
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(1, Call(CPL_DBLCLK));
    user.join();

    EXPECT_EQ(1, secondResult) << "answered at once";
    EXPECT_EQ(1, dialogsDuringSecond) << "no second dialog";
    EXPECT_EQ(0, OpenSettingsDialogs());
    EXPECT_FALSE(handheld::SettingsKeyExists()) << "OK saves nothing";
}

// Every key and value under a root, as text: "key" entries and
// "key\name=type:data" entries.
void Snapshot(HKEY root, const std::wstring& path, std::set<std::wstring>* entries)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    entries->insert(path);
    std::vector<std::wstring> subKeys;
    wchar_t name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = 512;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        subKeys.push_back(name);
    }
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD length = 512;
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, i, name, &length, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        std::wstring entry = path + L"\\" + name + L"=" + std::to_wstring(type) + L":";
        for (DWORD b = 0; b < size; ++b)
            entry += L"0123456789ABCDEF"[data[b] >> 4], entry += L"0123456789ABCDEF"[data[b] & 15];
        entries->insert(entry);
    }
    RegCloseKey(key);
    for (const std::wstring& subKey : subKeys)
        Snapshot(root, path.empty() ? subKey : path + L"\\" + subKey, entries);
}

std::set<std::wstring> RegistrySnapshot()
{
    std::set<std::wstring> entries;
    std::set<std::wstring> user;
    Snapshot(HKEY_LOCAL_MACHINE, L"", &entries);
    Snapshot(HKEY_CURRENT_USER, L"", &user);
    for (const std::wstring& entry : user)
        entries.insert(L"HKCU:" + entry);
    return entries;
}

// Changes the applet may make: the settings key and the keys above it that
// creating it makes, and the device manager's record of loaded drivers.
bool Expected(const std::wstring& entry)
{
    const std::wstring settings = L"Software\\Ormadi\\KEYBOARD";
    return entry.compare(0, settings.size(), settings) == 0 ||
           settings.compare(0, entry.size(), entry) == 0 ||
           entry.compare(0, 15, L"Drivers\\Active\\") == 0;
}

TEST_F(Applet, AWholeSessionChangesNothingOutsideTheSettingsKey)
{
    std::set<std::wstring> before = RegistrySnapshot();

    std::thread user([&] {
        HWND dialog = dialog_session::WaitForWindow(L"#32770");
        ASSERT_TRUE(dialog);
        dialog_session::Type(dialog, IDC_INITIAL_DELAY, L"300");
        dialog_session::Command(dialog, IDM_APPLY);
        dialog_session::Command(dialog, IDM_RESET);
        dialog_session::Command(dialog, IDM_APPLY);
        dialog_session::Command(dialog, IDOK);
    });
    EXPECT_EQ(1, Call(CPL_INIT));
    EXPECT_EQ(1, Call(CPL_GETCOUNT));
    NEWCPLINFOW record;
    EXPECT_EQ(0, Call(CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&record)));
    EXPECT_EQ(1, Call(CPL_DBLCLK, 0, record.lData));
    user.join();
    EXPECT_EQ(0, Call(CPL_STOP, 0, record.lData));
    EXPECT_EQ(0, Call(CPL_EXIT));

    std::set<std::wstring> after = RegistrySnapshot();
    std::vector<std::wstring> changed;
    std::set_symmetric_difference(before.begin(), before.end(), after.begin(), after.end(),
                                  std::back_inserter(changed));
    bool settingsWritten = false;
    for (const std::wstring& entry : changed) {
        settingsWritten |= entry.find(L"KEYBOARD\\KeyLightDelay=4:88130000") != std::wstring::npos;
        EXPECT_TRUE(Expected(entry)) << std::string(entry.begin(), entry.end());
    }
    EXPECT_TRUE(settingsWritten) << "the session applied 5000 ms";
    EXPECT_GT(before.size(), 1000u) << "the snapshot saw the registry";
}

// A copy of the built applet whose dialog template answers to another id,
// made by renaming the one entry under RT_DIALOG in its resource directory.
std::wstring CopyWithoutTemplate()
{
    std::wstring original = ProgramFolder() + L"keyboard.cpl";
    PeImage image(original);
    if (!image.Valid())
        return L"";
    std::vector<BYTE> bytes(image.AtFileOffset(0), image.AtFileOffset(0) + image.FileSize());
    const BYTE* root = image.AtRva(image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress);
    auto entries = [](const BYTE* directory) {
        auto* header = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY*>(directory);
        return std::make_pair(
            reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY_ENTRY*>(header + 1),
            header->NumberOfNamedEntries + header->NumberOfIdEntries);
    };
    auto [types, typeCount] = entries(root);
    for (int i = 0; i < typeCount; ++i) {
        if (types[i].Id != 5 /* RT_DIALOG */)
            continue;
        auto [names, nameCount] = entries(root + types[i].OffsetToDirectory);
        for (int j = 0; j < nameCount; ++j) {
            if (names[j].Id == IDD_KEYBOARD) {
                size_t at = reinterpret_cast<const BYTE*>(&names[j]) - image.AtFileOffset(0);
                reinterpret_cast<IMAGE_RESOURCE_DIRECTORY_ENTRY*>(&bytes[at])->Id = 8;
            }
        }
    }

    wchar_t folder[MAX_PATH];
    wchar_t copy[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"kbd", 0, copy);
    FILE* file = _wfopen(copy, L"wb");
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    return copy;
}

TEST_F(Applet, DoubleClickWithoutATemplateStillAnswersOne)
{
    std::wstring copy = CopyWithoutTemplate();
    HMODULE stripped = LoadLibraryW(copy.c_str());
    ASSERT_TRUE(stripped);
    auto entry = reinterpret_cast<APPLET_PROC>(
        reinterpret_cast<void*>(GetProcAddress(stripped, "CPlApplet")));
    ASSERT_FALSE(FindResourceW(stripped, MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG));
    ASSERT_TRUE(FindResourceW(stripped, MAKEINTRESOURCEW(8), RT_DIALOG));

    EXPECT_EQ(1, entry(nullptr, CPL_DBLCLK, 0, 7));
    EXPECT_EQ(0, OpenSettingsDialogs());
    FreeLibrary(stripped);
    DeleteFileW(copy.c_str());
}

}

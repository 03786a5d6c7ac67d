// keyboard.cpl as a host drives it: loaded from the built file and called
// only through CPlApplet.
#include "cpl_module.h"
#include "resource.h"
#include "support/dialog_session.h"
#include "support/handheld.h"
#include "support/host_process.h"
#include "support/pe_image.h"
#include "support/waiting.h"

#include <cpl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>
#include <cstring>
#include <functional>
#include <utility>

namespace {

class Applet : public handheld::CleanHandheld {
protected:
    void SetUp() override
    {
        CleanHandheld::SetUp();
        std::wstring error;
        ASSERT_TRUE(applet_.Load(ProgramFolder() + L"keyboard.cpl", &error))
            << std::string(error.begin(), error.end());
        module_ = applet_.Module();
        entry_ = applet_.Entry();
    }
    void TearDown() override
    {
        applet_.Free();
        CleanHandheld::TearDown();
    }

    LONG Call(UINT message, LPARAM lParam1 = 0, LPARAM lParam2 = 0)
    {
        return entry_(nullptr, message, lParam1, lParam2);
    }

    // CPL_DBLCLK's answer, with `script` as the user of the dialog it shows.
    LONG ShowDialog(const std::function<void(HWND)>& script, HWND host = nullptr,
                    LPARAM lData = 7)
    {
        return static_cast<LONG>(dialog_session::WhileShown(
            [&] { return entry_(host, CPL_DBLCLK, 0, lData); }, script));
    }

    CplLibrary applet_;
    HMODULE module_ = nullptr;
    APPLET_PROC entry_ = nullptr;
};

// Every visible dialog titled as the applet's.
int OpenSettingsDialogs()
{
    return static_cast<int>(handheld::VisibleDialogs(L"Keyboard settings").size());
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
           entry.compare(0, 14, L"Drivers\\Active") == 0;
}

TEST_F(Applet, AWholeSessionChangesNothingOutsideTheSettingsKey)
{
    std::set<std::wstring> before = RegistrySnapshot();

    EXPECT_EQ(1, Call(CPL_INIT));
    EXPECT_EQ(1, Call(CPL_GETCOUNT));
    NEWCPLINFOW record;
    EXPECT_EQ(0, Call(CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&record)));
    EXPECT_EQ(1, ShowDialog(
                     [](HWND dialog) {
                         dialog_session::Type(dialog, IDC_INITIAL_DELAY, L"300");
                         dialog_session::Command(dialog, IDM_APPLY);
                         dialog_session::Command(dialog, IDM_RESET);
                         dialog_session::Command(dialog, IDM_APPLY);
                         dialog_session::Command(dialog, IDOK);
                     },
                     nullptr, record.lData));
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

// A copy of the built applet with its resources edited: an entry of the
// resource directory renamed so that it answers to another id, or text in a
// resource's data replaced by text of the same length.
class AppletCopy {
public:
    explicit AppletCopy(const std::wstring& path = ProgramFolder() + L"keyboard.cpl")
        : image_(path)
    {
        if (image_.Valid())
            bytes_.assign(image_.AtFileOffset(0), image_.AtFileOffset(0) + image_.FileSize());
    }
    ~AppletCopy()
    {
        library_.Free();
        if (!path_.empty())
            DeleteFileW(path_.c_str());
    }

    void Rename(WORD type, WORD id, WORD newId) { NameEntry(type, id)->Id = newId; }

    void Replace(WORD type, WORD id, const std::wstring& from, const std::wstring& to)
    {
        auto* entry = NameEntry(type, id);
        auto* languages = Directory(entry->OffsetToDirectory);
        auto* data = reinterpret_cast<const IMAGE_RESOURCE_DATA_ENTRY*>(
            Root() + reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY_ENTRY*>(languages + 1)
                         ->OffsetToData);
        BYTE* begin = &bytes_[image_.AtRva(data->OffsetToData) - image_.AtFileOffset(0)];
        BYTE* end = begin + data->Size;
        auto* fromBytes = reinterpret_cast<const BYTE*>(from.c_str());
        BYTE* at = std::search(begin, end, fromBytes, fromBytes + from.size() * 2);
        ASSERT_NE(end, at) << "text not in the resource";
        std::memcpy(at, to.c_str(), to.size() * 2);
    }

    // The first run of `from` anywhere in the file, replaced by `to`.
    void ReplaceBytes(const std::vector<BYTE>& from, const std::vector<BYTE>& to)
    {
        auto at = std::search(bytes_.begin(), bytes_.end(), from.begin(), from.end());
        ASSERT_NE(bytes_.end(), at) << "bytes not in the file";
        std::copy(to.begin(), to.end(), at);
    }

    // Writes the copy and loads it; its CPlApplet, or null.
    APPLET_PROC Load()
    {
        wchar_t folder[MAX_PATH];
        wchar_t path[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"kbd", 0, path);
        path_ = path;
        FILE* file = _wfopen(path, L"wb");
        fwrite(bytes_.data(), 1, bytes_.size(), file);
        fclose(file);
        std::wstring error;
        library_.Load(path, &error);
        return library_.Entry();
    }

    HMODULE Module() const { return library_.Module(); }

private:
    BYTE* Root()
    {
        const BYTE* root =
            image_.AtRva(image_.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress);
        return &bytes_[root - image_.AtFileOffset(0)];
    }
    IMAGE_RESOURCE_DIRECTORY* Directory(DWORD offset)
    {
        return reinterpret_cast<IMAGE_RESOURCE_DIRECTORY*>(Root() + offset);
    }
    IMAGE_RESOURCE_DIRECTORY_ENTRY* Find(IMAGE_RESOURCE_DIRECTORY* directory, WORD id)
    {
        auto* entries = reinterpret_cast<IMAGE_RESOURCE_DIRECTORY_ENTRY*>(directory + 1);
        for (int i = 0; i < directory->NumberOfNamedEntries + directory->NumberOfIdEntries; ++i)
            if (!entries[i].NameIsString && entries[i].Id == id)
                return &entries[i];
        return nullptr;
    }
    IMAGE_RESOURCE_DIRECTORY_ENTRY* NameEntry(WORD type, WORD id)
    {
        IMAGE_RESOURCE_DIRECTORY_ENTRY* typeEntry = Find(Directory(0), type);
        return Find(Directory(typeEntry->OffsetToDirectory), id);
    }

    PeImage image_;
    std::vector<BYTE> bytes_;
    std::wstring path_;
    CplLibrary library_;
};

// The four defaults as the store keeps them, one 32-bit word each.
std::vector<BYTE> Defaults(DWORD repeatDelay)
{
    const DWORD words[] = {220, repeatDelay, 1, 5000};
    const BYTE* bytes = reinterpret_cast<const BYTE*>(words);
    return std::vector<BYTE>(bytes, bytes + sizeof words);
}

// What the dialog shows for the repeat delay with nothing stored, and what
// the driver has after Apply.
std::pair<std::wstring, DWORD> DefaultRepeatDelay(APPLET_PROC entry)
{
    std::wstring shown;
    dialog_session::WhileShown([&] { return entry(nullptr, CPL_DBLCLK, 0, 7); },
                               [&](HWND dialog) {
                                   shown = dialog_session::ItemText(dialog, IDC_REPEAT_DELAY);
                                   dialog_session::Command(dialog, IDM_APPLY);
                               });
    return {shown, handheld::QueryKeypad().RepeatDelay};
}

// The handheld runs the ARM image's own code: a copy of it whose default
// repeat delay says 150 shows and applies 150, while the twin keeps 100.
TEST_F(Applet, TheArmImagesOwnBytesDecide)
{
    AppletCopy arm(AppletImages().back().signedPath);
    arm.ReplaceBytes(Defaults(100), Defaults(150));
    APPLET_PROC changed = arm.Load();
    ASSERT_TRUE(changed);
    EXPECT_EQ(std::make_pair(std::wstring(L"150"), DWORD(150)), DefaultRepeatDelay(changed));

    handheld::DeleteSettingsKey();
    EXPECT_EQ(std::make_pair(std::wstring(L"100"), DWORD(100)), DefaultRepeatDelay(entry_));
}

// String 104 lives in string-table block 7 (ids 96 to 111).
const WORD kTitleBlock = IDS_KEYBOARD_TITLE / 16 + 1;

TEST_F(Applet, DoubleClickWithoutATemplateStillAnswersOne)
{
    AppletCopy copy;
    copy.Rename(5 /* RT_DIALOG */, IDD_KEYBOARD, 8);
    APPLET_PROC entry = copy.Load();
    ASSERT_TRUE(entry);
    ASSERT_FALSE(FindResourceW(copy.Module(), MAKEINTRESOURCEW(IDD_KEYBOARD), RT_DIALOG));

    EXPECT_EQ(1, entry(nullptr, CPL_DBLCLK, 0, 7));
    EXPECT_EQ(0, OpenSettingsDialogs());
}

// The title of the open dialog, and the platform calls made while opening
// it, from a copy of the applet whose template caption is not string 104.
struct Opened {
    std::wstring title;
    std::vector<std::string> calls;
};

Opened OpenCopy(AppletCopy& copy)
{
    copy.Replace(5 /* RT_DIALOG */, IDD_KEYBOARD, L"Keyboard settings", L"Keyboard SETTINGS");
    APPLET_PROC entry = copy.Load();
    Opened opened;
    if (!entry)
        return opened;
    handheld::ClearJournal();
    dialog_session::WhileShown([&] { return entry(nullptr, CPL_DBLCLK, 0, 7); },
                               [&](HWND dialog) {
                                   wchar_t title[64] = L"";
                                   GetWindowTextW(dialog, title, 64);
                                   opened.title = title;
                               });
    opened.calls = handheld::Journal();
    return opened;
}

bool Called(const std::vector<std::string>& calls, const std::string& prefix)
{
    return std::any_of(calls.begin(), calls.end(),
                       [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
}

TEST_F(Applet, TitleIsStringOneHundredFourAndTheSearchUsesIt)
{
    AppletCopy copy;
    Opened opened = OpenCopy(copy);
    EXPECT_EQ(L"Keyboard settings", opened.title) << "set from the string, not the caption";
    EXPECT_TRUE(Called(opened.calls, "FindWindowW(\"Dialog\", \"Keyboard settings\")"));
}

TEST_F(Applet, WithoutStringOneHundredFourTheCaptionStaysAndNothingIsSearched)
{
    AppletCopy copy;
    copy.Rename(6 /* RT_STRING */, kTitleBlock, kTitleBlock + 1);
    Opened opened = OpenCopy(copy);
    EXPECT_EQ(L"Keyboard SETTINGS", opened.title);
    EXPECT_FALSE(Called(opened.calls, "FindWindowW(")) << "no title to search by";
}

// Activation crosses threads: the dialog's thread takes it up when its
// loop next runs.
testing::AssertionResult ComesToTheForeground(const char* what, HWND window)
{
    return handheld::Eventually(std::string(what) + " comes to the foreground",
                                [window] { return GetForegroundWindow() == window; });
}

// Runs the host in another process, asked to open Keyboard; false when it
// did not end by itself, as it would with a dialog of its own open.
bool HostOpensKeyboard()
{
    handheld::HostProcess host(L"keyboard.cpl,0");
    return host.Ends();
}

// A second request, from this host or from the host in another process,
// brings the open dialog to the foreground and opens no other. The window
// in front has the applet's title but not the dialog class, so only a
// search by that class finds the dialog.
TEST_F(Applet, SecondRequestBringsTheOpenDialogToTheForeground)
{
    const std::pair<const char*, std::function<bool()>> requests[] = {
        {"from this host", [&] { return Call(CPL_DBLCLK) == 1; }},
        {"from another process", HostOpensKeyboard},
    };
    for (const auto& request : requests) {
        SCOPED_TRACE(request.first);
        EXPECT_EQ(1, ShowDialog([&](HWND dialog) {
            HWND other = CreateWindowExW(0, L"STATIC", L"Keyboard settings",
                                         WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                         nullptr, nullptr);
            SetForegroundWindow(other);
            EXPECT_TRUE(ComesToTheForeground("the other window", other));
            EXPECT_TRUE(request.second());
            EXPECT_TRUE(ComesToTheForeground("the dialog", dialog));
            EXPECT_EQ(1, OpenSettingsDialogs());
            DestroyWindow(other);
            SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        }));
    }
}

// Colour and mask bits of an icon, to compare two icons by what they show.
std::vector<BYTE> IconBits(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return {};
    std::vector<BYTE> bits;
    for (HBITMAP bitmap : {info.hbmColor, info.hbmMask}) {
        BITMAP header = {};
        GetObjectW(bitmap, sizeof header, &header);
        std::vector<BYTE> part(header.bmWidthBytes * header.bmHeight);
        GetBitmapBits(bitmap, static_cast<LONG>(part.size()), part.data());
        bits.insert(bits.end(), part.begin(), part.end());
        DeleteObject(bitmap);
    }
    return bits;
}

TEST_F(Applet, NewInquireIconIsTheAppletsOwn)
{
    NEWCPLINFOW record = {};
    ASSERT_EQ(0, Call(CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&record)));

    HRSRC image = FindResourceW(module_, MAKEINTRESOURCEW(1), RT_ICON);  // the 32 by 32 one
    ASSERT_TRUE(image);
    HICON fromResource = CreateIconFromResourceEx(
        static_cast<BYTE*>(LockResource(LoadResource(module_, image))),
        SizeofResource(module_, image), TRUE, 0x00030000, 32, 32, 0);
    ASSERT_TRUE(fromResource);
    std::vector<BYTE> expected = IconBits(fromResource);
    DestroyIcon(fromResource);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(expected, IconBits(record.hIcon));
}

}

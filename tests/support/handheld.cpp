#include "handheld.h"

#include "coredll_test.h"
#include "keypad_contract.h"
#include "waiting.h"

#include <gtest/gtest.h>

#include <cstring>

namespace handheld {

const wchar_t kSettingsKey[] = KEYPAD_SETTINGS_KEY;

void CleanHandheld::SetUp()
{
    DeleteSettingsKey();
    CoreClearFailures();
}

void CleanHandheld::TearDown()
{
    CoreClearFailures();
    DeleteSettingsKey();
}

void DeleteSettingsKey()
{
    LONG result = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey);
    ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) << result;
}

void WriteValue(LPCWSTR name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void WriteDword(LPCWSTR name, DWORD value)
{
    WriteValue(name, REG_DWORD, &value, sizeof value);
}

std::optional<DWORD> ReadDword(LPCWSTR name)
{
    DWORD data = 0xdeadbeef;
    DWORD type = 0xdeadbeef;
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKey, name, RRF_RT_ANY, &type, &data, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return std::nullopt;
    return data;
}

bool SettingsKeyExists()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void ClearJournal()
{
    CoreJournalClear();
}

std::vector<std::string> Journal()
{
    return CoreJournalEntries();
}

bool IsLiveHandle(HANDLE handle)
{
    HANDLE duplicate;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return false;
    CloseHandle(duplicate);
    return true;
}

int CountLiveHandles()
{
    // Handle values are multiples of 4 from a small table; a process of this
    // size stays far below the limit probed here.
    int live = 0;
    for (UINT_PTR value = 4; value < 0x4000; value += 4)
        live += IsLiveHandle(reinterpret_cast<HANDLE>(value));
    return live;
}

namespace {

struct TopLevelSearch {
    DWORD process;
    LPCWSTR className;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<TopLevelSearch*>(context);
    wchar_t className[64];
    GetClassNameW(window, className, 64);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && lstrcmpW(className, search->className) == 0 &&
        IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}

HWND VisibleTopLevel(DWORD process, LPCWSTR className)
{
    TopLevelSearch search = {process, className, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsDialog(HWND window)
{
    wchar_t className[16] = L"";
    return GetClassNameW(window, className, 16) && lstrcmpW(className, L"#32770") == 0;
}

std::vector<HWND> VisibleDialogs(LPCWSTR title)
{
    std::vector<HWND> dialogs;
    for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", title); window;
         window = FindWindowExW(nullptr, window, L"#32770", title)) {
        if (IsWindowVisible(window))
            dialogs.push_back(window);
    }
    return dialogs;
}

void XdoTool(const std::wstring& arguments)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = L"/usr/bin/xdotool " + arguments;
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
}

HANDLE OpenKeypad(DWORD access, DWORD share)
{
    return CreateFileW(KEYPAD_DEVICE_NAME, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

KeypadState QueryKeypad()
{
    KeypadState state;
    std::memset(&state, 0xFF, sizeof state);
    HANDLE device = OpenKeypad();
    EXPECT_NE(INVALID_HANDLE_VALUE, device) << "KPD1: does not open: " << GetLastError();
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(device, IOCTL_KEYPAD_QUERY_STATE, nullptr, 0, &state,
                                sizeof state, &returned, nullptr));
    EXPECT_EQ(sizeof state, returned);
    CloseHandle(device);
    return state;
}

std::vector<DWORD> ScreenPixels()
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<DWORD> pixels(width * height);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    std::memcpy(pixels.data(), bits, pixels.size() * sizeof(DWORD));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

testing::AssertionResult ScreenHoldsStill()
{
    std::vector<DWORD> last = ScreenPixels();
    return Eventually("the screen holds still", [&] {
        Sleep(200);
        std::vector<DWORD> now = ScreenPixels();
        bool still = now == last;
        last = now;
        return still;
    });
}

}

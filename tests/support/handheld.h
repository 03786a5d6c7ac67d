// What tests need of the handheld around the applet: its registry, the
// COREDLL stand-in's journal, its handles and the keypad driver.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "keypad_driver.h"

#include <gtest/gtest.h>

namespace handheld {

// Starts and ends each test with no settings key and no injected failures.
class CleanHandheld : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// The settings key under HKLM, as the applet and the driver name it.
extern const wchar_t kSettingsKey[];

void DeleteSettingsKey();
void WriteValue(LPCWSTR name, DWORD type, const void* data, DWORD size);
void WriteDword(LPCWSTR name, DWORD value);
// The value's data when it is a 4-byte REG_DWORD.
std::optional<DWORD> ReadDword(LPCWSTR name);
bool SettingsKeyExists();

// The stand-in's journal, oldest first; clear it right before the call under
// test, since the test's own setup goes through the stand-in too.
void ClearJournal();
std::vector<std::string> Journal();

// Live handles of this process, found by probing: Wine answers 0 to
// GetProcessHandleCount.
int CountLiveHandles();
bool IsLiveHandle(HANDLE handle);

// A visible top-level window of `process` with class `className`, or null.
HWND VisibleTopLevel(DWORD process, LPCWSTR className);

// Whether `window` is a dialog: Win32's dialog class, which the stand-in
// finds by the handheld's name "Dialog".
bool IsDialog(HWND window);
// The visible top-level dialogs titled `title`, of every process.
std::vector<HWND> VisibleDialogs(LPCWSTR title);

// The whole screen as 32-bit pixels, the top row first.
std::vector<DWORD> ScreenPixels();
// Whether the screen comes to hold still (two looks a fifth of a second
// apart see the same pixels): what was drawn is done drawing, and input
// meets what is shown.
testing::AssertionResult ScreenHoldsStill();

// Starts xdotool on the machine the virtual screen belongs to. Wine starts
// Unix programs without a Windows process to wait on (the process record
// comes back unfilled), so callers wait for the input's effect instead.
void XdoTool(const std::wstring& arguments);

// "KPD1:", opened as the applet opens it unless told otherwise;
// INVALID_HANDLE_VALUE when it does not open.
HANDLE OpenKeypad(DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD share = FILE_SHARE_READ);

// What the keypad driver has in effect, asked through "KPD1:".
KeypadState QueryKeypad();

}

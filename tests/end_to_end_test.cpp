// The whole product on a virtual handheld screen: the host opens the
// applet and real pointer and key input, sent through the X server, edits
// and applies a setting.
#include "resource.h"
#include "support/handheld.h"
#include "support/pe_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Starts xdotool on the machine the virtual screen belongs to. Wine starts
// Unix programs without a Windows process to wait on (the process record
// comes back unfilled), so callers wait for the input's effect instead.
void XdoTool(const std::wstring& arguments)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = L"/usr/bin/xdotool " + arguments;
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
}

POINT CentreOf(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// The virtual desktop fills the X screen, so screen coordinates are the
// X server's.
std::wstring TapAt(HWND window)
{
    POINT at = CentreOf(window);
    return L"mousemove " + std::to_wstring(at.x) + L" " + std::to_wstring(at.y) + L" click 1 ";
}

template <typename Condition>
bool WaitFor(Condition condition)
{
    for (int attempt = 0; attempt < 400; ++attempt) {
        if (condition())
            return true;
        Sleep(50);
    }
    return false;
}

TEST(EndToEnd, TypedRepeatDelayIsAppliedFromTheSoftKeyAndReachesTheDriver)
{
    handheld::DeleteSettingsKey();
    wchar_t folder[MAX_PATH];
    wchar_t reportPath[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"rep", 0, reportPath);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE report = CreateFileW(reportPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = report;
    startup.hStdError = report;
    PROCESS_INFORMATION host;
    std::wstring command = L"\"" + ProgramFolder() + L"ctlpnl.exe\" keyboard.cpl,0";
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                               ProgramFolder().c_str(), &startup, &host));
    CloseHandle(report);

    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        dialog = FindWindowW(L"#32770", L"Keyboard settings");
        return dialog && IsWindowVisible(dialog);
    })) << "the host never showed the dialog";
    Sleep(500);  // let it paint before the pointer arrives

    XdoTool(TapAt(GetDlgItem(dialog, IDC_REPEAT_DELAY)) +
            L"key --delay 20 End BackSpace BackSpace BackSpace BackSpace 8 0");
    EXPECT_TRUE(WaitFor([&] {
        wchar_t typed[16] = L"";
        GetDlgItemTextW(dialog, IDC_REPEAT_DELAY, typed, 16);
        return lstrcmpW(typed, L"80") == 0;
    })) << "typing did not reach the field";

    HWND bar = handheld::VisibleTopLevel(host.dwProcessId, L"ShellMenuBar");
    ASSERT_TRUE(bar);
    HWND apply = FindWindowExW(bar, nullptr, L"BUTTON", L"Apply");
    ASSERT_TRUE(apply);
    XdoTool(TapAt(apply));
    EXPECT_TRUE(WaitFor([] { return handheld::ReadDword(L"RepeatDelay") == 80u; }))
        << "Apply did not store the typed delay";
    EXPECT_EQ(220u, handheld::ReadDword(L"InitalDelay"));
    EXPECT_TRUE(IsWindowVisible(dialog)) << "Apply leaves the dialog open";

    HWND strip = handheld::VisibleTopLevel(host.dwProcessId, L"ShellTitleStrip");
    ASSERT_TRUE(strip);
    XdoTool(TapAt(FindWindowExW(strip, nullptr, L"BUTTON", L"ok")));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(host.hProcess, 20000)) << "OK did not close";
    DWORD exitCode = 0xdeadbeef;
    GetExitCodeProcess(host.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode);
    CloseHandle(host.hThread);
    CloseHandle(host.hProcess);

    std::ifstream file(reportPath);
    std::stringstream text;
    text << file.rdbuf();
    file.close();
    DeleteFileW(reportPath);
    EXPECT_NE(std::string::npos, text.str().find("name \"Keyboard\", description \"Keyboard settings\""))
        << text.str();
    EXPECT_NE(std::string::npos,
              text.str().find("InitalDelay 220, RepeatDelay 80, KeyLight 1, "
                              "KeyLightDelay 5000, reloads 1"))
        << text.str();
    handheld::DeleteSettingsKey();
}

}

// The whole product on a virtual handheld screen: the host opens the
// applet and real pointer and key input, sent through the X server, edits
// and applies a setting.
#include "handheld_files.h"
#include "resource.h"
#include "support/handheld.h"
#include "support/host_process.h"
#include "support/pe_image.h"
#include "support/waiting.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using handheld::Eventually;
using handheld::XdoTool;

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

// The host, opening Keyboard as the device does, from the image the
// handheld runs, with what it prints kept for the end.
class Host : public handheld::HostProcess {
public:
    // Opens applet 0 of the image.
    Host() : HostProcess(L"\"" + AppletUnderTest().signedPath + L",0\"") {}
    // The Settings screen of what is installed in the handheld's \Windows.
    struct Installed {};
    explicit Host(Installed) : HostProcess(L"") {}

    // The dialog, once the host shows it and the screen holds still.
    HWND Dialog()
    {
        HWND dialog = nullptr;
        if (!Eventually("the host shows the dialog", [&] {
                std::vector<HWND> shown = handheld::VisibleDialogs(L"Keyboard settings");
                dialog = shown.empty() ? nullptr : shown.front();
                return dialog != nullptr;
            }))
            return nullptr;
        EXPECT_TRUE(handheld::ScreenHoldsStill());
        return dialog;
    }

    HWND Shell(const wchar_t* className) { return handheld::VisibleTopLevel(Id(), className); }

    // Taps the title strip's OK; what the host printed once it has ended,
    // or an empty text when it did not end.
    std::string Close()
    {
        XdoTool(TapAt(FindWindowExW(Shell(L"ShellTitleStrip"), nullptr, L"BUTTON", L"ok")));
        return Output();
    }
};

// What the host's report says of the image under test.
std::string WhatRan()
{
    return AppletUnderTest().machine == IMAGE_FILE_MACHINE_ARM
               ? "the ARM image, run on the handheld's PXA270 core"
               : "the x86 image, run by Wine";
}

std::wstring ItemText(HWND dialog, int id)
{
    wchar_t text[16] = L"";
    GetDlgItemTextW(dialog, id, text, 16);
    return text;
}

// Each test starts the host on a clean store and finds its dialog.
class EndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        handheld::DeleteSettingsKey();
        host_ = std::make_unique<Host>();
        ASSERT_TRUE(host_->Started());
        dialog_ = host_->Dialog();
        ASSERT_TRUE(dialog_) << "the host never showed the dialog";
    }
    void TearDown() override
    {
        host_.reset();
        handheld::DeleteSettingsKey();
    }

    std::unique_ptr<Host> host_;
    HWND dialog_ = nullptr;
};

TEST_F(EndToEnd, TypedRepeatDelayIsAppliedFromTheSoftKeyAndReachesTheDriver)
{
    Host& host = *host_;
    HWND dialog = dialog_;

    XdoTool(TapAt(GetDlgItem(dialog, IDC_REPEAT_DELAY)) +
            L"key --delay 20 End BackSpace BackSpace BackSpace BackSpace 8 0");
    EXPECT_TRUE(Eventually("typing 80 reaches the field",
                           [&] { return ItemText(dialog, IDC_REPEAT_DELAY) == L"80"; }));

    HWND apply = FindWindowExW(host.Shell(L"ShellMenuBar"), nullptr, L"BUTTON", L"Apply");
    ASSERT_TRUE(apply);
    XdoTool(TapAt(apply));
    EXPECT_TRUE(Eventually("Apply stores the typed delay",
                           [] { return handheld::ReadDword(L"RepeatDelay") == 80u; }));
    EXPECT_EQ(220u, handheld::ReadDword(L"InitalDelay"));
    EXPECT_TRUE(IsWindowVisible(dialog)) << "Apply leaves the dialog open";

    std::string report = host.Close();
    EXPECT_NE(std::string::npos, report.find("name \"Keyboard\", description \"Keyboard settings\""))
        << report;
    EXPECT_NE(std::string::npos, report.find(WhatRan())) << report;
    EXPECT_NE(std::string::npos, report.find("InitalDelay 220, RepeatDelay 80, KeyLight 1, "
                                             "KeyLightDelay 5000, reloads 1"))
        << report;
}

// No keyboard at all: the stylus taps a field, the input panel rises, and
// its keys type the value.
TEST_F(EndToEnd, ValueTypedOnTheInputPanelIsAppliedAndReachesTheDriver)
{
    Host& host = *host_;
    HWND dialog = dialog_;
    EXPECT_FALSE(host.Shell(L"ShellInputPanel")) << "down when the dialog opens";

    XdoTool(TapAt(GetDlgItem(dialog, IDC_INITIAL_DELAY)));
    HWND panel = nullptr;
    ASSERT_TRUE(Eventually("tapping the field raises the input panel",
                           [&] { return (panel = host.Shell(L"ShellInputPanel")) != nullptr; }));
    ASSERT_TRUE(handheld::ScreenHoldsStill());
    std::wstring taps;
    for (const wchar_t* key : {L"<-", L"<-", L"<-", L"<-", L"3", L"5", L"0"})
        taps += TapAt(FindWindowExW(panel, nullptr, L"ShellInputKey", key)) + L"sleep 0.2 ";
    XdoTool(taps);
    EXPECT_TRUE(Eventually("the panel's keys type 350 into the field",
                           [&] { return ItemText(dialog, IDC_INITIAL_DELAY) == L"350"; }));

    XdoTool(TapAt(FindWindowExW(host.Shell(L"ShellMenuBar"), nullptr, L"BUTTON", L"Apply")));
    EXPECT_TRUE(Eventually("Apply stores the typed delay",
                           [] { return handheld::ReadDword(L"InitalDelay") == 350u; }));

    std::string report = host.Close();
    EXPECT_NE(std::string::npos, report.find("InitalDelay 350, RepeatDelay 100, KeyLight 1, "
                                             "KeyLightDelay 5000, reloads 1"))
        << report;
}

// A fresh handheld with the image installed as an owner installs it: the
// ARM image from keyboard.cab by the handheld's installer, the x86 twin
// (which no CAB holds) copied into \Windows.
void InstallTheImage()
{
    DeleteFileW(HandheldPath(L"\\Windows\\keyboard.cpl").c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Apps");
    handheld::DeleteSettingsKey();
    if (AppletUnderTest().machine == IMAGE_FILE_MACHINE_ARM) {
        handheld::HostProcess wceload(L"\"" + ProgramFolder() + L"..\\device\\keyboard.cab\"",
                                      L"wceload.exe");
        EXPECT_TRUE(wceload.Ends()) << wceload.Output();
    } else {
        EXPECT_TRUE(CopyFileW(AppletUnderTest().signedPath.c_str(),
                              HandheldPath(L"\\Windows\\keyboard.cpl").c_str(), FALSE));
    }
}

// The handheld worked by its keypad alone, as the keypad driver delivers
// the X keyboard's keys: the action key opens Keyboard, installed, from the
// Settings screen, Tab and digits set the repeat delay, the left soft key
// applies, the right one resets the fields, the action key closes.
TEST(EndToEndByKeys, TheKeypadAloneSetsAppliesResetsAndCloses)
{
    InstallTheImage();
    // A key held past the initial delay repeats, and the X server's keys
    // reach the driver late when the machine is busy: a long initial delay
    // keeps every tap here a single key.
    handheld::WriteDword(L"InitalDelay", 1500);
    Host host(Host::Installed{});
    ASSERT_TRUE(host.Started());
    // Keys go to the foreground window's focus: the Settings screen's list.
    ASSERT_TRUE(Eventually("the Settings screen takes the keys", [&] {
        HWND screen = host.Shell(L"HostSettingsScreen");
        GUITHREADINFO focus = {};
        focus.cbSize = sizeof focus;
        return screen && GetForegroundWindow() == screen &&
               GetGUIThreadInfo(GetWindowThreadProcessId(screen, nullptr), &focus) &&
               GetParent(focus.hwndFocus) == screen;
    }));
    ASSERT_TRUE(handheld::ScreenHoldsStill());
    XdoTool(L"mousemove 1 1 key --delay 150 Return");
    HWND dialog = host.Dialog();
    ASSERT_TRUE(dialog) << "the action key did not open Keyboard";

    XdoTool(L"key --delay 150 Tab 3 0 0");
    EXPECT_TRUE(Eventually("Tab and digits type 300 into the repeat delay",
                           [&] { return ItemText(dialog, IDC_REPEAT_DELAY) == L"300"; }));
    XdoTool(L"key F1");
    EXPECT_TRUE(Eventually("the left soft key applies",
                           [] { return handheld::ReadDword(L"RepeatDelay") == 300u; }));
    EXPECT_TRUE(IsWindowVisible(dialog));

    XdoTool(L"key F2");
    EXPECT_TRUE(Eventually("the right soft key resets",
                           [&] { return ItemText(dialog, IDC_REPEAT_DELAY) == L"100"; }));
    EXPECT_EQ(L"220", ItemText(dialog, IDC_INITIAL_DELAY));
    EXPECT_EQ(1500u, handheld::ReadDword(L"InitalDelay"));
    EXPECT_EQ(300u, handheld::ReadDword(L"RepeatDelay")) << "Reset saves nothing";

    XdoTool(L"key Return");
    EXPECT_TRUE(Eventually("the action key closes", [&] { return !IsWindow(dialog); }));
    EXPECT_EQ(300u, handheld::ReadDword(L"RepeatDelay")) << "closing saves nothing";

    std::string report = host.Close();
    EXPECT_NE(std::string::npos, report.find("InitalDelay 1500, RepeatDelay 300, KeyLight 1, "
                                             "KeyLightDelay 5000, reloads 1"))
        << report;
    EXPECT_NE(std::string::npos, report.find("H:\\Windows\\keyboard.cpl: " + WhatRan()))
        << "Keyboard from \\Windows: " << report;
    handheld::DeleteSettingsKey();
}

}

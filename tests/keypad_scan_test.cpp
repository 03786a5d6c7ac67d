// The keypad as the X keyboard plays it, on a virtual handheld screen: key
// events reach this program through the keypad driver, a held key repeats
// as the driver's settings say (and never as the X server's autorepeat),
// and the keylight follows the keys.
#include "keypad_contract.h"
#include "support/handheld.h"
#include "support/process_measures.h"
#include "support/waiting.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using handheld::Eventually;
using handheld::XdoTool;

// A timer tick, and what the input path may add to it.
const double kTolerance = 16 + 30;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Received {
    std::vector<double> downs;  // ms after the test began
    double up = -1;
};

Received* g_received;
Clock::time_point g_begin;
int g_clicks;
int g_lampsLit;  // how often the window heard the lamp is lit

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const UINT keylight = RegisterWindowMessageW(KEYPAD_KEYLIGHT_MESSAGE);
    if (message == WM_LBUTTONUP)
        ++g_clicks;
    if (message == keylight && wParam)
        ++g_lampsLit;
    if (g_received && wParam == VK_F3) {
        if (message == WM_KEYDOWN)
            g_received->downs.push_back(MsSince(g_begin));
        if (message == WM_KEYUP)
            g_received->up = MsSince(g_begin);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class KeypadScan : public handheld::CleanHandheld {
protected:
    void SetUp() override
    {
        CleanHandheld::SetUp();
        keypad_ = handheld::OpenKeypad(GENERIC_READ | GENERIC_WRITE, 0);
        ASSERT_NE(INVALID_HANDLE_VALUE, keypad_);
        ASSERT_TRUE(Control(IOCTL_KEYPAD_SCAN));

        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = ReceiverProc;
        windowClass.lpszClassName = L"KeyReceiver";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, L"KeyReceiver", L"keys", WS_POPUP | WS_VISIBLE, 0, 0, 200,
                                  200, nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(window_);
        SetFocus(window_);
        int clicks = g_clicks;
        XdoTool(L"mousemove 100 100 click 1");
        ASSERT_TRUE(Eventually("the click reaches the window", [&] { return g_clicks > clicks; }));
    }
    void TearDown() override
    {
        g_received = nullptr;
        DestroyWindow(window_);
        CloseHandle(keypad_);
        CleanHandheld::TearDown();
    }

    bool Control(DWORD code, void* out = nullptr, DWORD size = 0)
    {
        return DeviceIoControl(keypad_, code, nullptr, 0, out, size, nullptr, nullptr);
    }

    void Apply(DWORD initial, DWORD repeat, DWORD light, DWORD lightDelay)
    {
        handheld::WriteDword(L"InitalDelay", initial);
        handheld::WriteDword(L"RepeatDelay", repeat);
        handheld::WriteDword(L"KeyLight", light);
        handheld::WriteDword(L"KeyLightDelay", lightDelay);
        ASSERT_TRUE(Control(IOCTL_KEYPAD_RELOAD));
    }

    KeypadActivity Activity()
    {
        KeypadActivity activity = {};
        EXPECT_TRUE(Control(IOCTL_KEYPAD_QUERY_ACTIVITY, &activity, sizeof activity));
        return activity;
    }

    // Plays F3 on the X keyboard as xdotool's `keys` say, and collects what
    // reaches this program until the key is released.
    Received Play(const wchar_t* keys)
    {
        Received received;
        g_received = &received;
        g_begin = Clock::now();
        XdoTool(keys);
        EXPECT_TRUE(Eventually("the key's release arrives", [&] { return received.up >= 0; }));
        g_received = nullptr;
        return received;
    }

    HANDLE keypad_ = INVALID_HANDLE_VALUE;
    HWND window_ = nullptr;
};

// Repeats at the times the settings predict, within a timer tick and the
// input path's delay each; their number follows from how long the key was
// held. The X server's own autorepeat (first after about 660 ms, then every
// 40 ms) would give other times and many more.
TEST_F(KeypadScan, HeldKeyRepeatsAsTheDriversSettingsSay)
{
    struct {
        DWORD initial, repeat;
    } settings[] = {{300, 100}, {500, 250}};
    std::vector<size_t> counts;
    for (const auto& s : settings) {
        SCOPED_TRACE(testing::Message() << s.initial << "/" << s.repeat);
        Apply(s.initial, s.repeat, 1, 5000);
        Received received = Play(L"keydown F3 sleep 2 keyup F3");
        ASSERT_FALSE(received.downs.empty()) << "no key reached the program";
        ASSERT_GE(received.up, 0) << "the release never came";
        double press = received.downs.front();
        double held = received.up - press;
        EXPECT_NEAR(2000, held, 300);

        std::vector<double> predicted;
        for (double at = s.initial; at < held - kTolerance; at += s.repeat)
            predicted.push_back(at);
        std::vector<double> arrived;
        for (size_t i = 1; i < received.downs.size(); ++i)
            arrived.push_back(received.downs[i] - press);
        // A repeat due within the tolerance of the release may or may not come.
        ASSERT_GE(arrived.size(), predicted.size());
        ASSERT_LE(arrived.size(), predicted.size() + 1);
        for (size_t i = 0; i < predicted.size(); ++i)
            EXPECT_NEAR(predicted[i], arrived[i], kTolerance) << "repeat " << i + 1;
        counts.push_back(predicted.size());

        KeypadActivity activity = Activity();
        EXPECT_EQ(arrived.size(), activity.repeats) << "what the driver says it sent";
    }
    EXPECT_GT(counts[0], counts[1] + 5) << "the shorter delays repeat more often";
}

TEST_F(KeypadScan, KeylightLightsAtAPressAndGoesOutItsDelayAfterTheLastKey)
{
    Apply(220, 100, 1, 1500);
    Received received = Play(L"key F3");
    ASSERT_GE(received.up, 0);
    EXPECT_TRUE(Activity().keylightOn) << "lit at the press";
    EXPECT_TRUE(Eventually("the keylight goes out", [&] { return !Activity().keylightOn; }));
    double out = MsSince(g_begin) - received.up;
    EXPECT_NEAR(1500, out, 200) << "went out after the keylight delay";
    EXPECT_NEAR(1500, Activity().keylightOutMs, 200);

    // Every press while it is lit tells the windows again: one made since
    // it lit (a dialog the first key opened) shows it lit too.
    int lit = g_lampsLit;
    Play(L"key F3");
    Play(L"key F3");
    EXPECT_TRUE(Eventually("the windows hear of the lamp at both presses",
                           [&] { return g_lampsLit == lit + 2; }));

    // A press lights the keylight before the key goes on, so once the key
    // has come and gone it would still be lit.
    Apply(220, 100, 0, 1500);
    DWORD presses = Activity().presses;
    ASSERT_GE(Play(L"key F3").up, 0);
    KeypadActivity activity = Activity();
    EXPECT_EQ(presses + 1, activity.presses) << "the driver saw the press";
    EXPECT_FALSE(activity.keylightOn) << "the keylight is off";
}

// The longest delays the store can hold are waits of 49.7 days, and the
// driver sleeps through them: after a press the keylight stays lit, and a
// held key does not repeat, while the driver's thread uses no CPU to speak
// of.
TEST_F(KeypadScan, LongestDelaysAreWaitedForWithoutSpinning)
{
    Apply(0xFFFFFFFF, 100, 1, 4294967000u);
    ASSERT_GE(Play(L"key F3").up, 0);
    double cpu = measures::OtherThreadsCpuMs();
    EXPECT_FALSE(Eventually("after a press, the keylight goes out",
                            [&] { return !Activity().keylightOn; }, 2000));
    EXPECT_LT(measures::OtherThreadsCpuMs() - cpu, 50) << "CPU ms after a press";

    Received held;
    g_received = &held;
    XdoTool(L"keydown F3");
    ASSERT_TRUE(
        Eventually("the held key reaches the program", [&] { return !held.downs.empty(); }));
    cpu = measures::OtherThreadsCpuMs();
    EXPECT_FALSE(Eventually("the held key repeats", [&] { return held.downs.size() > 1; }, 2000));
    EXPECT_LT(measures::OtherThreadsCpuMs() - cpu, 50) << "CPU ms while a key is held";
    EXPECT_TRUE(Activity().keylightOn);
    XdoTool(L"keyup F3");
    EXPECT_TRUE(Eventually("the held key's release arrives", [&] { return held.up >= 0; }));
}

}

// The keypad driver stand-in, driven through its own entry points so that
// each test starts a fresh driver, and its model of the keypad.
#include "support/handheld.h"

#include "keypad_driver.h"
#include "keypad_model.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class KeypadDriver : public testing::Test {
protected:
    typedef DWORD (*Init)(LPCWSTR, LPCVOID);
    typedef BOOL (*Deinit)(DWORD);
    typedef BOOL (*IOControl)(DWORD, DWORD, PBYTE, DWORD, PBYTE, DWORD, PDWORD);

    void SetUp() override
    {
        handheld::DeleteSettingsKey();
        module_ = LoadLibraryW(L"keypad.dll");
        ASSERT_TRUE(module_);
        init_ = Entry<Init>("KPD_Init");
        deinit_ = Entry<Deinit>("KPD_Deinit");
        control_ = Entry<IOControl>("KPD_IOControl");
        ASSERT_TRUE(init_ && deinit_ && control_);
    }
    void TearDown() override
    {
        if (device_)
            deinit_(device_);
        FreeLibrary(module_);
        handheld::DeleteSettingsKey();
    }

    template <typename T>
    T Entry(const char* name)
    {
        return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    void Start() { device_ = init_(L"Drivers\\Active\\99", nullptr); }

    BOOL Reload() { return control_(device_, 0x11223344, nullptr, 0, nullptr, 0, nullptr); }

    KeypadState State()
    {
        KeypadState state;
        std::memset(&state, 0xFF, sizeof state);
        EXPECT_TRUE(control_(device_, IOCTL_KEYPAD_QUERY_STATE, nullptr, 0,
                             reinterpret_cast<PBYTE>(&state), sizeof state, nullptr));
        return state;
    }

    HMODULE module_ = nullptr;
    Init init_ = nullptr;
    Deinit deinit_ = nullptr;
    IOControl control_ = nullptr;
    DWORD device_ = 0;
};

void ExpectState(const KeypadState& state, DWORD initial, DWORD repeat, DWORD light,
                 DWORD lightDelay, DWORD reloads)
{
    EXPECT_EQ(initial, state.InitalDelay);
    EXPECT_EQ(repeat, state.RepeatDelay);
    EXPECT_EQ(light, state.KeyLight);
    EXPECT_EQ(lightDelay, state.KeyLightDelay);
    EXPECT_EQ(reloads, state.reloads);
}

TEST_F(KeypadDriver, StartsFromTheStoredValuesWithPerValueDefaults)
{
    handheld::WriteDword(L"RepeatDelay", 40);
    const BYTE shortValue = 5;
    handheld::WriteValue(L"KeyLightDelay", REG_DWORD, &shortValue, 1);
    handheld::WriteValue(L"InitalDelay", REG_SZ, L"300", 8);

    Start();

    ASSERT_NE(0u, device_);
    ExpectState(State(), 220, 40, 1, 5000, 0);
}

TEST_F(KeypadDriver, ReloadReadsTheKeyAgainAndCounts)
{
    Start();
    ExpectState(State(), 220, 100, 1, 5000, 0);

    handheld::WriteDword(L"InitalDelay", 500);
    handheld::WriteDword(L"KeyLight", 0);
    EXPECT_TRUE(Reload());
    ExpectState(State(), 500, 100, 0, 5000, 1);

    handheld::DeleteSettingsKey();
    EXPECT_TRUE(Reload());
    ExpectState(State(), 220, 100, 1, 5000, 2);
}

TEST_F(KeypadDriver, RejectsOtherCodesWithoutReloading)
{
    Start();
    handheld::WriteDword(L"InitalDelay", 500);

    for (DWORD code : {0u, 0x11223345u, 0x44332211u}) {
        SetLastError(0);
        EXPECT_FALSE(control_(device_, code, nullptr, 0, nullptr, 0, nullptr)) << code;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    ExpectState(State(), 220, 100, 1, 5000, 0);
}

TEST_F(KeypadDriver, QueriesRefuseShortBuffers)
{
    Start();
    KeypadState state;
    KeypadActivity activity;
    EXPECT_FALSE(control_(device_, IOCTL_KEYPAD_QUERY_STATE, nullptr, 0,
                          reinterpret_cast<PBYTE>(&state), sizeof state - 1, nullptr));
    EXPECT_FALSE(control_(device_, IOCTL_KEYPAD_QUERY_ACTIVITY, nullptr, 0, nullptr,
                          sizeof activity, nullptr));
    DWORD returned = 0;
    EXPECT_TRUE(control_(device_, IOCTL_KEYPAD_QUERY_ACTIVITY, nullptr, 0,
                         reinterpret_cast<PBYTE>(&activity), sizeof activity, &returned));
    EXPECT_EQ(sizeof activity, returned);
}

KeypadModel ModelWith(DWORD initial, DWORD repeat, DWORD light, DWORD lightDelay)
{
    KeypadModel model;
    model.Configure({initial, repeat, light, lightDelay, 0});
    return model;
}

// The driver's clock is a tick count that wraps every 2^32 ms: each case
// runs from the clock's start and from 1100 ms before the wrap, which then
// falls between the press or release at 1000 and what follows it.
const DWORD kClockStarts[] = {0, 0u - 1100};

TEST(KeypadModel, HeldKeyRepeatsAfterTheInitialDelayThenEveryInterval)
{
    for (DWORD start : kClockStarts) {
        SCOPED_TRACE(start);
        KeypadModel model = ModelWith(220, 100, 1, 5000);
        model.Press(start + 1000);
        struct { DWORD at; DWORD repeats; } expected[] = {
            {1000, 0}, {1219, 0}, {1220, 1}, {1319, 1}, {1320, 2}, {1520, 4}};
        for (const auto& e : expected)
            EXPECT_EQ(e.repeats, model.Repeats(start + e.at)) << "at " << e.at;

        model.Release(start + 1600);
        EXPECT_EQ(4u, model.Repeats(start + 9000)) << "a released key repeats no more";
    }
}

// What the driver waits for: the next repeat while a key is held, the
// keylight going out once it is released, and nothing after that. Delays
// near 2^32 ms are long waits, never sums that wrap into the past.
TEST(KeypadModel, NextChangeIsTheNextRepeatOrTheKeylightGoingOut)
{
    for (DWORD start : kClockStarts) {
        SCOPED_TRACE(start);
        KeypadModel model = ModelWith(220, 100, 1, 5000);
        EXPECT_EQ(KeypadModel::kNever, model.NextChangeIn(start)) << "no key yet";
        model.Press(start + 1000);
        struct { DWORD at; DWORD next; } expected[] = {
            {1000, 1220}, {1219, 1220}, {1220, 1320}, {1399, 1420}};
        for (const auto& e : expected)
            EXPECT_EQ(e.next - e.at, model.NextChangeIn(start + e.at)) << "at " << e.at;
        model.Release(start + 1500);
        EXPECT_EQ(5000u, model.NextChangeIn(start + 1500)) << "the keylight goes out";
        EXPECT_EQ(KeypadModel::kNever, model.NextChangeIn(start + 6500));

        KeypadModel once = ModelWith(0, 0, 0, 5000);
        once.Press(start);
        EXPECT_EQ(KeypadModel::kNever, once.NextChangeIn(start)) << "a zero interval repeats once";

        KeypadModel longLight = ModelWith(220, 100, 1, 4294967000u);
        longLight.Press(start);
        longLight.Release(start + 10);
        EXPECT_TRUE(longLight.KeylightOn(start + 3600000));
        EXPECT_EQ(4294967000u - 3600000, longLight.NextChangeIn(start + 3600010));

        KeypadModel longRepeat = ModelWith(0xFFFFFFFF, 100, 1, 5000);
        longRepeat.Press(start);
        EXPECT_EQ(0u, longRepeat.Repeats(start + 3600000));
        EXPECT_EQ(0xFFFFFFFF - 3600000, longRepeat.NextChangeIn(start + 3600000));
    }
}

TEST(KeypadModel, ZeroIntervalRepeatsOnce)
{
    KeypadModel model = ModelWith(0, 0, 1, 5000);
    model.Press(0);
    EXPECT_EQ(1u, model.Repeats(0));
    EXPECT_EQ(1u, model.Repeats(100000));
}

TEST(KeypadModel, KeylightLightsAtAPressAndGoesOutAfterTheDelay)
{
    for (DWORD start : kClockStarts) {
        SCOPED_TRACE(start);
        KeypadModel model = ModelWith(220, 100, 1, 5000);
        EXPECT_FALSE(model.KeylightOn(start + 100)) << "no key yet";
        model.Press(start + 100);
        EXPECT_TRUE(model.KeylightOn(start + 100));
        EXPECT_TRUE(model.KeylightOn(start + 900)) << "stays on while the key is held";
        model.Release(start + 1000);
        EXPECT_TRUE(model.KeylightOn(start + 1050));
        EXPECT_TRUE(model.KeylightOn(start + 5999));
        EXPECT_FALSE(model.KeylightOn(start + 6000));
    }
}

TEST(KeypadModel, DisabledKeylightNeverLights)
{
    KeypadModel model = ModelWith(220, 100, 0, 5000);
    model.Press(0);
    EXPECT_FALSE(model.KeylightOn(0));
}

}

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
    EXPECT_EQ(initial, state.initalDelay);
    EXPECT_EQ(repeat, state.repeatDelay);
    EXPECT_EQ(light, state.keyLight);
    EXPECT_EQ(lightDelay, state.keyLightDelay);
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

TEST_F(KeypadDriver, QueryAndSimulationRefuseShortBuffers)
{
    Start();
    KeypadState state;
    EXPECT_FALSE(control_(device_, IOCTL_KEYPAD_QUERY_STATE, nullptr, 0,
                          reinterpret_cast<PBYTE>(&state), sizeof state - 1, nullptr));
    KeypadEvent event = {0, KEYPAD_KEY_DOWN};
    KeypadResponse response;
    EXPECT_FALSE(control_(device_, IOCTL_KEYPAD_SIMULATE, reinterpret_cast<PBYTE>(&event),
                          sizeof event, nullptr, 0, nullptr));
    DWORD returned = 0;
    EXPECT_TRUE(control_(device_, IOCTL_KEYPAD_SIMULATE, reinterpret_cast<PBYTE>(&event),
                         sizeof event, reinterpret_cast<PBYTE>(&response), sizeof response,
                         &returned));
    EXPECT_EQ(sizeof response, returned);
    EXPECT_EQ(1u, response.keylightOn);
}

KeypadModel ModelWith(DWORD initial, DWORD repeat, DWORD light, DWORD lightDelay)
{
    KeypadModel model;
    model.Configure({initial, repeat, light, lightDelay, 0});
    return model;
}

TEST(KeypadModel, HeldKeyRepeatsAfterTheInitialDelayThenEveryInterval)
{
    KeypadModel model = ModelWith(220, 100, 1, 5000);
    ASSERT_TRUE(model.Advance(1000, KEYPAD_KEY_DOWN));

    struct { DWORD at; DWORD repeats; } expected[] = {
        {1000, 0}, {1219, 0}, {1220, 1}, {1319, 1}, {1320, 2}, {1520, 4}};
    for (const auto& e : expected) {
        ASSERT_TRUE(model.Advance(e.at, KEYPAD_TICK));
        EXPECT_EQ(e.repeats, model.Repeats()) << "at " << e.at;
    }

    ASSERT_TRUE(model.Advance(1600, KEYPAD_KEY_UP));
    ASSERT_TRUE(model.Advance(9000, KEYPAD_TICK));
    EXPECT_EQ(4u, model.Repeats()) << "a released key repeats no more";
}

// What the driver waits for: the next repeat while a key is held, the
// keylight going out once it is released, and nothing after that.
TEST(KeypadModel, NextChangeIsTheNextRepeatOrTheKeylightGoingOut)
{
    KeypadModel model = ModelWith(220, 100, 1, 5000);
    EXPECT_EQ(KeypadModel::kNever, model.NextChangeAt()) << "no key yet";
    ASSERT_TRUE(model.Advance(1000, KEYPAD_KEY_DOWN));
    struct { DWORD at; DWORD next; } expected[] = {
        {1000, 1220}, {1219, 1220}, {1220, 1320}, {1399, 1420}};
    for (const auto& e : expected) {
        ASSERT_TRUE(model.Advance(e.at, KEYPAD_TICK));
        EXPECT_EQ(e.next, model.NextChangeAt()) << "at " << e.at;
    }
    ASSERT_TRUE(model.Advance(1500, KEYPAD_KEY_UP));
    EXPECT_EQ(6500u, model.NextChangeAt()) << "the keylight goes out";
    ASSERT_TRUE(model.Advance(6500, KEYPAD_TICK));
    EXPECT_EQ(KeypadModel::kNever, model.NextChangeAt());

    KeypadModel once = ModelWith(0, 0, 0, 5000);
    ASSERT_TRUE(once.Advance(0, KEYPAD_KEY_DOWN));
    EXPECT_EQ(KeypadModel::kNever, once.NextChangeAt()) << "a zero interval repeats once";
}

TEST(KeypadModel, ZeroIntervalRepeatsOnce)
{
    KeypadModel model = ModelWith(0, 0, 1, 5000);
    ASSERT_TRUE(model.Advance(0, KEYPAD_KEY_DOWN));
    EXPECT_EQ(1u, model.Repeats());
    ASSERT_TRUE(model.Advance(100000, KEYPAD_TICK));
    EXPECT_EQ(1u, model.Repeats());
}

TEST(KeypadModel, KeylightLightsAtAPressAndGoesOutAfterTheDelay)
{
    KeypadModel model = ModelWith(220, 100, 1, 5000);
    EXPECT_FALSE(model.KeylightOn()) << "no key yet";
    ASSERT_TRUE(model.Advance(100, KEYPAD_KEY_DOWN));
    EXPECT_TRUE(model.KeylightOn());
    ASSERT_TRUE(model.Advance(9000, KEYPAD_TICK));
    EXPECT_TRUE(model.KeylightOn()) << "stays on while the key is held";
    ASSERT_TRUE(model.Advance(10000, KEYPAD_KEY_UP));
    ASSERT_TRUE(model.Advance(14999, KEYPAD_TICK));
    EXPECT_TRUE(model.KeylightOn());
    ASSERT_TRUE(model.Advance(15000, KEYPAD_TICK));
    EXPECT_FALSE(model.KeylightOn());
}

TEST(KeypadModel, DisabledKeylightNeverLights)
{
    KeypadModel model = ModelWith(220, 100, 0, 5000);
    ASSERT_TRUE(model.Advance(0, KEYPAD_KEY_DOWN));
    EXPECT_FALSE(model.KeylightOn());
}

TEST(KeypadModel, TimeOnlyMovesForward)
{
    KeypadModel model = ModelWith(220, 100, 1, 5000);
    ASSERT_TRUE(model.Advance(500, KEYPAD_KEY_DOWN));
    EXPECT_FALSE(model.Advance(499, KEYPAD_KEY_UP));
    EXPECT_FALSE(model.Advance(600, 7));
    ASSERT_TRUE(model.Advance(720, KEYPAD_TICK));
    EXPECT_EQ(1u, model.Repeats()) << "the refused key-up left the key held";
}

}

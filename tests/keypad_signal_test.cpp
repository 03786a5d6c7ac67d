// The reload signal and the keypad driver stand-in, through the COREDLL
// stand-in's device manager: handles, and what reaches the driver. What the
// signal sends, and when, is in the scenario table both images run.
#include "keyboard_settings.h"
#include "support/handheld.h"

#include "coredll_test.h"

#include <gtest/gtest.h>

namespace {

using KeypadSignalTest = handheld::CleanHandheld;

TEST_F(KeypadSignalTest, HandleCountSeesADeviceLeftOpen)
{
    NotifyKeypadDriver();  // the driver is loaded once per process
    int before = handheld::CountLiveHandles();
    HANDLE leaked = handheld::OpenKeypad(GENERIC_READ, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, leaked);

    EXPECT_EQ(before + 1, handheld::CountLiveHandles());
    EXPECT_EQ(1, CoreOpenDeviceCount());
    CloseHandle(leaked);
    EXPECT_EQ(before, handheld::CountLiveHandles());
}

TEST_F(KeypadSignalTest, EachSignalOpensAndClosesItsOwnHandle)
{
    NotifyKeypadDriver();  // the driver is loaded once per process
    int before = handheld::CountLiveHandles();

    NotifyKeypadDriver();
    EXPECT_EQ(0, CoreOpenDeviceCount());
    NotifyKeypadDriver();
    EXPECT_EQ(0, CoreOpenDeviceCount());
    EXPECT_EQ(before, handheld::CountLiveHandles());
}

// The driver starts from the defaults of the empty store, none of which
// the save writes.
TEST_F(KeypadSignalTest, SaveAloneDoesNotReachTheDriver)
{
    NotifyKeypadDriver();
    KeypadState before = handheld::QueryKeypad();
    ASSERT_EQ(220u, before.InitalDelay);

    KeyboardSettings settings = {80, 30, 0, 9000};
    SaveKeyboardSettings(settings);

    KeypadState after = handheld::QueryKeypad();
    EXPECT_EQ(220u, after.InitalDelay);
    EXPECT_EQ(100u, after.RepeatDelay);
    EXPECT_EQ(1u, after.KeyLight);
    EXPECT_EQ(5000u, after.KeyLightDelay);
    EXPECT_EQ(before.reloads, after.reloads);
}

}

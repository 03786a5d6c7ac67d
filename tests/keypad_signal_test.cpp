// The reload signal, sent to the keypad driver stand-in through the COREDLL
// stand-in's device manager.
#include "keyboard_settings.h"
#include "support/handheld.h"

#include "coredll_test.h"

#include <gtest/gtest.h>

using handheld::Journal;

namespace {

using KeypadSignalTest = handheld::CleanHandheld;

const char kOpen[] = "CreateFileW(\"KPD1:\", 0xC0000000, 1, NULL, 3, 0x0, NULL)";
const char kReload[] = "DeviceIoControl(dev, 0x11223344, NULL, 0, NULL, 0, NULL, NULL)";
const char kClose[] = "CloseHandle(dev)";

TEST_F(KeypadSignalTest, OpensSendsReloadWithoutBuffersAndCloses)
{
    handheld::ClearJournal();
    NotifyKeypadDriver();

    EXPECT_EQ(std::vector<std::string>({kOpen, kReload, kClose}), Journal());
    EXPECT_EQ(0, CoreOpenDeviceCount());
}

TEST_F(KeypadSignalTest, MissingDeviceStopsAfterTheFailedOpen)
{
    CoreInjectFailure("CreateFileW", 1, ERROR_FILE_NOT_FOUND);

    handheld::ClearJournal();
    NotifyKeypadDriver();

    EXPECT_EQ(std::vector<std::string>({kOpen}), Journal());
}

TEST_F(KeypadSignalTest, RejectedRequestStillClosesTheDevice)
{
    CoreInjectFailure("DeviceIoControl", 1, ERROR_INVALID_PARAMETER);
    int before = handheld::CountLiveHandles();

    handheld::ClearJournal();
    NotifyKeypadDriver();

    EXPECT_EQ(std::vector<std::string>({kOpen, kReload, kClose}), Journal());
    EXPECT_EQ(0, CoreOpenDeviceCount());
    EXPECT_EQ(before, handheld::CountLiveHandles());
}

TEST_F(KeypadSignalTest, HandleCountSeesADeviceLeftOpen)
{
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

    handheld::ClearJournal();
    NotifyKeypadDriver();
    NotifyKeypadDriver();

    EXPECT_EQ(std::vector<std::string>({kOpen, kReload, kClose, kOpen, kReload, kClose}),
              Journal());
    EXPECT_EQ(0, CoreOpenDeviceCount());
    EXPECT_EQ(before, handheld::CountLiveHandles());
}

TEST_F(KeypadSignalTest, DriverTakesUpWhatWasSaved)
{
    KeypadState before = handheld::QueryKeypad();

    KeyboardSettings settings = {80, 30, 0, 9000};
    SaveKeyboardSettings(settings);
    NotifyKeypadDriver();

    KeypadState after = handheld::QueryKeypad();
    EXPECT_EQ(80u, after.InitalDelay);
    EXPECT_EQ(30u, after.RepeatDelay);
    EXPECT_EQ(0u, after.KeyLight);
    EXPECT_EQ(9000u, after.KeyLightDelay);
    EXPECT_EQ(before.reloads + 1, after.reloads);
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

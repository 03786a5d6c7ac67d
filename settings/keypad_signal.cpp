#include "keyboard_settings.h"
#include "keypad_contract.h"

void NotifyKeypadDriver()
{
    HANDLE device = CreateFileW(KEYPAD_DEVICE_NAME, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (device == INVALID_HANDLE_VALUE)
        return;

    /* The request carries nothing: the driver takes the values from the
     * registry, which the caller has finished writing. */
    DeviceIoControl(device, IOCTL_KEYPAD_RELOAD, NULL, 0, NULL, 0, NULL, NULL);
    CloseHandle(device);
}

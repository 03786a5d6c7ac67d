/*
 * What the applet and the keypad driver agree on: where the settings live,
 * what they are called, what each is when it cannot be read, and how the
 * driver is told to read them again. Each side is built on its own (the
 * applet, the driver, the device kit's checks), so this header stays plain
 * C preprocessor and includes nothing.
 */
#ifndef KEYPAD_CONTRACT_H
#define KEYPAD_CONTRACT_H

/* Under HKEY_LOCAL_MACHINE; every value is a 4-byte REG_DWORD. */
#define KEYPAD_SETTINGS_KEY L"Software\\Ormadi\\KEYBOARD"

/*
 * The values, in the order they are read and written, each as
 * KEYPAD_SETTING(field, registry value name, default); a side expands the
 * list with its own KEYPAD_SETTING. Milliseconds, except the keylight flag
 * (0 off, anything else on). "Inital" is how the driver spells it: the
 * name must not be corrected.
 */
#define KEYPAD_SETTINGS(KEYPAD_SETTING)                   \
    KEYPAD_SETTING(InitalDelay,   L"InitalDelay",   220)  \
    KEYPAD_SETTING(RepeatDelay,   L"RepeatDelay",   100)  \
    KEYPAD_SETTING(KeyLight,      L"KeyLight",      1)    \
    KEYPAD_SETTING(KeyLightDelay, L"KeyLightDelay", 5000)

#define KEYPAD_DEVICE_NAME L"KPD1:"

/* A plain number, not built with CTL_CODE: the driver compares it as is. */
#define IOCTL_KEYPAD_RELOAD 0x11223344

#endif

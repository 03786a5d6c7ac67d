/*
 * What the applet and the keypad driver agree on: where the settings live,
 * what they are called, what each is when it cannot be read, and how the
 * driver is told to read them again. The driver is built separately, so this
 * header stays plain C preprocessor.
 */
#ifndef KEYPAD_CONTRACT_H
#define KEYPAD_CONTRACT_H

/* Under HKEY_LOCAL_MACHINE; every value is a 4-byte REG_DWORD. */
#define KEYPAD_SETTINGS_KEY L"Software\\Ormadi\\KEYBOARD"

/* "Inital" is how the driver spells it: the name must not be corrected. */
#define KEYPAD_VALUE_INITIAL_DELAY   L"InitalDelay"
#define KEYPAD_VALUE_REPEAT_DELAY    L"RepeatDelay"
#define KEYPAD_VALUE_KEYLIGHT        L"KeyLight"
#define KEYPAD_VALUE_KEYLIGHT_DELAY  L"KeyLightDelay"

/* Milliseconds, except the keylight flag (0 off, anything else on). */
#define KEYPAD_DEFAULT_INITIAL_DELAY   220
#define KEYPAD_DEFAULT_REPEAT_DELAY    100
#define KEYPAD_DEFAULT_KEYLIGHT        1
#define KEYPAD_DEFAULT_KEYLIGHT_DELAY  5000

#define KEYPAD_DEVICE_NAME L"KPD1:"

/* A plain number, not built with CTL_CODE: the driver compares it as is. */
#define IOCTL_KEYPAD_RELOAD 0x11223344

#endif

#include "keyboard_settings.h"

namespace {

struct StoredValue {
    LPCWSTR name;
    DWORD KeyboardSettings::*field;
};

/* Read and written in this order. */
const StoredValue kStoredValues[] = {
#define STORED_VALUE(field, name, fallback) { name, &KeyboardSettings::field },
    KEYPAD_SETTINGS(STORED_VALUE)
#undef STORED_VALUE
};

const int kStoredValueCount = sizeof kStoredValues / sizeof kStoredValues[0];

/* A constant of its own: built in the function, gcc keeps the initial
 * values in writable data. */
const KeyboardSettings kDefaults = {
#define DEFAULT_VALUE(field, name, fallback) fallback,
    KEYPAD_SETTINGS(DEFAULT_VALUE)
#undef DEFAULT_VALUE
};

}

KeyboardSettings GetDefaultKeyboardSettings()
{
    return kDefaults;
}

KeyboardSettings LoadKeyboardSettings()
{
    KeyboardSettings settings = GetDefaultKeyboardSettings();
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KEYPAD_SETTINGS_KEY, 0, 0, &key) != ERROR_SUCCESS)
        return settings;

    for (int i = 0; i < kStoredValueCount; i++) {
        DWORD type;
        DWORD data;
        DWORD size = sizeof data;
        LONG result = RegQueryValueExW(key, kStoredValues[i].name, NULL, &type,
                                       reinterpret_cast<LPBYTE>(&data), &size);
        /* A short REG_DWORD fills only the low bytes of data: taking it would
         * mix the stored bytes with garbage. */
        if (result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof data)
            settings.*kStoredValues[i].field = data;
    }

    RegCloseKey(key);
    return settings;
}

void SaveKeyboardSettings(const KeyboardSettings& settings)
{
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, KEYPAD_SETTINGS_KEY, 0, NULL, 0, 0, NULL,
                        &key, &disposition) != ERROR_SUCCESS)
        return;

    /* A failed write must not keep the others from being written. */
    for (int i = 0; i < kStoredValueCount; i++) {
        DWORD data = settings.*kStoredValues[i].field;
        RegSetValueExW(key, kStoredValues[i].name, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&data), sizeof data);
    }

    RegCloseKey(key);
}

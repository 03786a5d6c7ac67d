#ifndef KEYBOARD_SETTINGS_H
#define KEYBOARD_SETTINGS_H

#include <windows.h>

#include "keypad_contract.h"

/* The four keypad values (InitalDelay, RepeatDelay, KeyLight, KeyLightDelay),
 * named after their registry values and kept in the order in which they are
 * read and written. */
struct KeyboardSettings {
#define KEYBOARD_SETTINGS_FIELD(field, name, fallback) DWORD field;
    KEYPAD_SETTINGS(KEYBOARD_SETTINGS_FIELD)
#undef KEYBOARD_SETTINGS_FIELD
};

KeyboardSettings GetDefaultKeyboardSettings();

/* Never fails: whatever cannot be read comes back as its default. */
KeyboardSettings LoadKeyboardSettings();

/* Writes all four values; when the key cannot be opened the store stays as
 * it was. */
void SaveKeyboardSettings(const KeyboardSettings& settings);

/* Tells the keypad driver to read the stored values again. */
void NotifyKeypadDriver();

#endif

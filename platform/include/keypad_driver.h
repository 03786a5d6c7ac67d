// Control codes of the keypad driver stand-in beyond the reload request the
// applet sends: what it has in effect, and the keypad it scans.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include "keypad_contract.h"

// Out: KeypadState.
#define IOCTL_KEYPAD_QUERY_STATE \
    CTL_CODE(FILE_DEVICE_KEYBOARD, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)

// No buffers: from now on the driver scans the keypad (here the X keyboard)
// and key events reach the programs through it.
#define IOCTL_KEYPAD_SCAN \
    CTL_CODE(FILE_DEVICE_KEYBOARD, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS)
// Out: KeypadActivity.
#define IOCTL_KEYPAD_QUERY_ACTIVITY \
    CTL_CODE(FILE_DEVICE_KEYBOARD, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS)

// Posted to every top-level window when the keylight lights (wParam 1) or
// goes out (0); register it with RegisterWindowMessageW.
#define KEYPAD_KEYLIGHT_MESSAGE L"KeypadKeylight"

// The settings in effect, named after their registry values, and how many
// reload requests the driver served since it started.
struct KeypadState {
#define KEYPAD_STATE_FIELD(field, name, fallback) DWORD field;
    KEYPAD_SETTINGS(KEYPAD_STATE_FIELD)
#undef KEYPAD_STATE_FIELD
    DWORD reloads;
};

const int kKeypadMaxRepeats = 64;

// What the scanned keypad did: the keylight, and the last key that was held
// long enough to repeat.
struct KeypadActivity {
    DWORD presses;        // keys pressed since scanning began
    DWORD keylightOn;     // 1 while the keylight is lit
    DWORD keylightOutMs;  // when it last went out, ms after the key released before; or ~0
    DWORD heldMs;         // how long that key was held; 0 while it still is
    DWORD repeats;        // how often it repeated
    DWORD repeatAtMs[kKeypadMaxRepeats];  // when, each in ms after its press
};

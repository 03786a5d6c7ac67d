// Control codes of the keypad driver stand-in beyond the reload request the
// applet sends: what it has in effect, and a model of the keypad it drives.
#pragma once

#include <windows.h>
#include <winioctl.h>

// Out: KeypadState.
#define IOCTL_KEYPAD_QUERY_STATE \
    CTL_CODE(FILE_DEVICE_KEYBOARD, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)
// In: KeypadEvent; out: KeypadResponse. Time only moves forward.
#define IOCTL_KEYPAD_SIMULATE \
    CTL_CODE(FILE_DEVICE_KEYBOARD, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS)

struct KeypadState {
    DWORD initalDelay;
    DWORD repeatDelay;
    DWORD keyLight;
    DWORD keyLightDelay;
    DWORD reloads;  // reload requests served since the driver started
};

enum KeypadEventKind { KEYPAD_TICK, KEYPAD_KEY_DOWN, KEYPAD_KEY_UP };

struct KeypadEvent {
    DWORD timeMs;  // on the driver's own clock, which starts at 0
    DWORD kind;    // KeypadEventKind
};

struct KeypadResponse {
    DWORD repeats;     // repeats the last pressed key has produced so far
    DWORD keylightOn;  // 1 while the keylight is lit
};

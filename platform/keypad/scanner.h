// The keypad as the driver scans it: here the X keyboard plays the keypad.
// A low-level keyboard hook takes each key from the X server and hands it
// on, as the driver's own input, with the repeats the driver's settings
// call for; the X server's autorepeat is swallowed. The keylight follows
// the keys and is shown to the shell.
#pragma once

#include "keypad_driver.h"

namespace keypad_scanner {

// Starts scanning, once per process; later calls only reconfigure.
void Start(const KeypadState& settings);
// The settings take effect for the next key pressed and the next repeat.
void Configure(const KeypadState& settings);
KeypadActivity Activity();

}

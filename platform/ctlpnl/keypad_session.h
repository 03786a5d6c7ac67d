// The keypad as the host uses it: started with the handheld, reported on
// when the host ends.
#pragma once

// Starts the keypad driver scanning the keypad, as the handheld does when
// it starts; false when there is no keypad.
bool StartKeypad();

// Prints what the driver has in effect, when the last held key repeated
// against when its settings say it should, and when the keylight last went
// out against its delay.
void ReportKeypad();

// The keypad as the driver runs it: a held key repeats first after the
// initial delay and then at every repeat interval; the keylight, when
// enabled, lights at a key press and goes out after the keylight delay
// without a key.
#pragma once

#include "keypad_driver.h"

class KeypadModel {
public:
    void Configure(const KeypadState& settings) { settings_ = settings; }

    // Moves the clock to `now` and applies the event; false, with nothing
    // changed, when `now` lies in the past or the event is unknown.
    bool Advance(DWORD now, DWORD kind);

    DWORD Repeats() const;
    bool KeylightOn() const;

    // When Repeats() or KeylightOn() next changes on the model's clock, or
    // kNever when neither will without another key.
    static constexpr DWORD kNever = 0xFFFFFFFF;
    DWORD NextChangeAt() const;

private:
    KeypadState settings_ = {};
    DWORD now_ = 0;
    bool anyKeyYet_ = false;
    bool held_ = false;
    DWORD pressedAt_ = 0;
    DWORD releasedAt_ = 0;
};

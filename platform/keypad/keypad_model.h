// The keypad as the driver runs it: a held key repeats first after the
// initial delay and then at every repeat interval; the keylight, when
// enabled, lights at a key press and goes out after the keylight delay
// without a key.
//
// Times are the driver's tick counts in ms, which wrap every 2^32 ms. The
// model only subtracts them, so what it compares with a delay is always
// an elapsed interval, right across a wrap; a delay near 2^32 ms is a very
// long wait, never a sum that wraps into the past.
#pragma once

#include "keypad_driver.h"

class KeypadModel {
public:
    // The settings take effect for the next key pressed and the next repeat.
    void Configure(const KeypadState& settings) { settings_ = settings; }

    void Press(DWORD now);
    void Release(DWORD now);

    // How often the last key pressed has repeated by `now`.
    DWORD Repeats(DWORD now) const;
    bool KeylightOn(DWORD now) const;

    // The ms from `now` until Repeats or KeylightOn next changes, or kNever
    // when neither will without another key.
    static constexpr DWORD kNever = INFINITE;
    DWORD NextChangeIn(DWORD now) const;

private:
    KeypadState settings_ = {};
    bool anyKeyYet_ = false;
    bool held_ = false;
    DWORD pressedAt_ = 0;
    DWORD releasedAt_ = 0;
};

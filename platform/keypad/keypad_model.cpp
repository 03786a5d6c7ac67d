#include "keypad_model.h"

#include <algorithm>

bool KeypadModel::Advance(DWORD now, DWORD kind)
{
    if (now < now_ || kind > KEYPAD_KEY_UP)
        return false;
    now_ = now;
    if (kind == KEYPAD_KEY_DOWN) {
        anyKeyYet_ = true;
        held_ = true;
        pressedAt_ = now;
    } else if (kind == KEYPAD_KEY_UP && held_) {
        held_ = false;
        releasedAt_ = now;
    }
    return true;
}

DWORD KeypadModel::Repeats() const
{
    if (!anyKeyYet_)
        return 0;
    DWORD heldFor = (held_ ? now_ : releasedAt_) - pressedAt_;
    if (heldFor < settings_.initalDelay)
        return 0;
    // An interval of 0 cannot be honoured; the key repeats once and stops
    // rather than flooding the input queue.
    if (settings_.repeatDelay == 0)
        return 1;
    return 1 + (heldFor - settings_.initalDelay) / settings_.repeatDelay;
}

bool KeypadModel::KeylightOn() const
{
    if (!settings_.keyLight || !anyKeyYet_)
        return false;
    return held_ || now_ - releasedAt_ < settings_.keyLightDelay;
}

DWORD KeypadModel::NextChangeAt() const
{
    DWORD next = kNever;
    if (held_ && (settings_.repeatDelay || Repeats() == 0))
        next = pressedAt_ + settings_.initalDelay + Repeats() * settings_.repeatDelay;
    if (!held_ && KeylightOn())
        next = std::min(next, releasedAt_ + settings_.keyLightDelay);
    return next;
}

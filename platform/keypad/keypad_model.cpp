#include "keypad_model.h"

#include <algorithm>

void KeypadModel::Press(DWORD now)
{
    anyKeyYet_ = true;
    held_ = true;
    pressedAt_ = now;
}

void KeypadModel::Release(DWORD now)
{
    if (!held_)
        return;
    held_ = false;
    releasedAt_ = now;
}

DWORD KeypadModel::Repeats(DWORD now) const
{
    if (!anyKeyYet_)
        return 0;
    DWORD heldFor = (held_ ? now : releasedAt_) - pressedAt_;
    if (heldFor < settings_.InitalDelay)
        return 0;
    // An interval of 0 cannot be honoured; the key repeats once and stops
    // rather than flooding the input queue.
    if (settings_.RepeatDelay == 0)
        return 1;
    return 1 + (heldFor - settings_.InitalDelay) / settings_.RepeatDelay;
}

bool KeypadModel::KeylightOn(DWORD now) const
{
    if (!settings_.KeyLight || !anyKeyYet_)
        return false;
    return held_ || now - releasedAt_ < settings_.KeyLightDelay;
}

DWORD KeypadModel::NextChangeIn(DWORD now) const
{
    // 64 bits: the next repeat may lie more than 2^32 ms after the press.
    ULONGLONG wait = ~0ull;
    DWORD repeats = Repeats(now);
    if (held_ && (settings_.RepeatDelay || repeats == 0)) {
        ULONGLONG due = settings_.InitalDelay + ULONGLONG(repeats) * settings_.RepeatDelay;
        wait = due - (now - pressedAt_);
    }
    if (!held_ && KeylightOn(now))
        wait = std::min<ULONGLONG>(wait, settings_.KeyLightDelay - (now - releasedAt_));
    if (wait == ~0ull)
        return kNever;
    // A wait the driver's timer cannot express ends early and is asked again.
    return static_cast<DWORD>(std::min<ULONGLONG>(wait, kNever - 1));
}

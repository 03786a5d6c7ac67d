#include "keypad_session.h"

#include "keypad_contract.h"
#include "keypad_driver.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

HANDLE OpenKeypad()
{
    return CreateFileW(KEYPAD_DEVICE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

template <typename T>
bool Query(HANDLE keypad, DWORD code, T* out)
{
    return DeviceIoControl(keypad, code, nullptr, 0, out, sizeof *out, nullptr, nullptr);
}

std::string Times(const DWORD* times, DWORD count)
{
    std::string text;
    for (DWORD i = 0; i < count; ++i)
        text += (i ? ", " : "") + std::to_string(times[i]);
    return text;
}

void ReportRepeats(const KeypadState& state, const KeypadActivity& activity)
{
    if (!activity.repeats) {
        std::printf("key repeat: no key was held long enough to repeat\n");
        return;
    }
    DWORD shown = std::min<DWORD>(activity.repeats, kKeypadMaxRepeats);
    // Held until released, or, while still held, as long as it repeated.
    DWORD held = activity.heldMs ? activity.heldMs : activity.repeatAtMs[shown - 1] + 1;
    DWORD predicted[kKeypadMaxRepeats];
    DWORD count = 0;
    for (DWORD at = state.InitalDelay; at < held && count < kKeypadMaxRepeats;
         at += state.RepeatDelay) {
        predicted[count++] = at;
        if (!state.RepeatDelay)
            break;
    }
    std::printf("key repeat: a key held %lu ms repeated at %s ms after the press; "
                "InitalDelay %lu and RepeatDelay %lu predict %s\n",
                activity.heldMs, Times(activity.repeatAtMs, shown).c_str(), state.InitalDelay,
                state.RepeatDelay, Times(predicted, count).c_str());
}

void ReportKeylight(const KeypadState& state, const KeypadActivity& activity)
{
    if (!state.KeyLight)
        std::printf("keylight: off, as KeyLight 0 says\n");
    else if (activity.keylightOutMs == ~0u)
        std::printf("keylight: has not gone out; KeyLightDelay says %lu ms after the last key\n",
                    state.KeyLightDelay);
    else
        std::printf("keylight: went out %lu ms after the last key; KeyLightDelay says %lu\n",
                    activity.keylightOutMs, state.KeyLightDelay);
}

}

bool StartKeypad()
{
    HANDLE keypad = OpenKeypad();
    if (keypad == INVALID_HANDLE_VALUE)
        return false;
    bool started = DeviceIoControl(keypad, IOCTL_KEYPAD_SCAN, nullptr, 0, nullptr, 0, nullptr,
                                   nullptr);
    CloseHandle(keypad);
    return started;
}

void ReportKeypad()
{
    HANDLE keypad = OpenKeypad();
    KeypadState state;
    KeypadActivity activity;
    if (keypad == INVALID_HANDLE_VALUE || !Query(keypad, IOCTL_KEYPAD_QUERY_STATE, &state) ||
        !Query(keypad, IOCTL_KEYPAD_QUERY_ACTIVITY, &activity)) {
        std::printf("keypad driver: not present\n");
    } else {
        std::printf("keypad driver: InitalDelay %lu, RepeatDelay %lu, KeyLight %lu, "
                    "KeyLightDelay %lu, reloads %lu\n",
                    state.InitalDelay, state.RepeatDelay, state.KeyLight, state.KeyLightDelay,
                    state.reloads);
        ReportRepeats(state, activity);
        ReportKeylight(state, activity);
    }
    if (keypad != INVALID_HANDLE_VALUE)
        CloseHandle(keypad);
}

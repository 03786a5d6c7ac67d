// The keypad driver stand-in, a stream driver registered as "KPD1:". It
// reads the settings key when it starts and again on every reload request.
#include "registry_dword.h"
#include "scanner.h"

#include <mutex>

namespace {

struct KeypadDevice {
    std::mutex lock;
    KeypadState state;
};

struct SettingValue {
    LPCWSTR name;
    DWORD KeypadState::*field;
    DWORD fallback;
};

const SettingValue kSettingValues[] = {
#define SETTING_VALUE(field, name, fallback) {name, &KeypadState::field, fallback},
    KEYPAD_SETTINGS(SETTING_VALUE)
#undef SETTING_VALUE
};

// Each value that cannot be read takes its default, as the applet reads
// them.
void ReadSettings(KeypadDevice* device)
{
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, KEYPAD_SETTINGS_KEY, 0, KEY_READ, &key);
    for (const SettingValue& value : kSettingValues)
        device->state.*value.field = ReadRegistryDword(key, value.name).value_or(value.fallback);
    if (key)
        RegCloseKey(key);
    keypad_scanner::Configure(device->state);
}

// Answers a query with `answer`, when the caller's buffer holds it.
template <typename T>
BOOL Reply(const T& answer, PBYTE out, DWORD outSize, PDWORD actualOut)
{
    if (!out || outSize < sizeof answer)
        return FALSE;
    *reinterpret_cast<T*>(out) = answer;
    if (actualOut)
        *actualOut = sizeof answer;
    return TRUE;
}

BOOL Control(KeypadDevice* device, DWORD code, PBYTE out, DWORD outSize, PDWORD actualOut)
{
    switch (code) {
    case IOCTL_KEYPAD_RELOAD:
        ReadSettings(device);
        ++device->state.reloads;
        return TRUE;
    case IOCTL_KEYPAD_QUERY_STATE:
        return Reply(device->state, out, outSize, actualOut);
    case IOCTL_KEYPAD_SCAN:
        keypad_scanner::Start(device->state);
        return TRUE;
    case IOCTL_KEYPAD_QUERY_ACTIVITY:
        return Reply(keypad_scanner::Activity(), out, outSize, actualOut);
    default:
        return FALSE;
    }
}

}

extern "C" {

DWORD KPD_Init(LPCWSTR /*activeKey*/, LPCVOID /*busContext*/)
{
    KeypadDevice* device = new KeypadDevice();
    ReadSettings(device);
    return reinterpret_cast<DWORD>(device);
}

BOOL KPD_Deinit(DWORD context)
{
    delete reinterpret_cast<KeypadDevice*>(context);
    return TRUE;
}

DWORD KPD_Open(DWORD context, DWORD /*access*/, DWORD /*share*/)
{
    return context;
}

BOOL KPD_Close(DWORD /*open*/)
{
    return TRUE;
}

// No code takes input: what the driver learns comes from the registry and
// the keypad.
BOOL KPD_IOControl(DWORD open, DWORD code, PBYTE /*in*/, DWORD /*inSize*/, PBYTE out,
                   DWORD outSize, PDWORD actualOut)
{
    KeypadDevice* device = reinterpret_cast<KeypadDevice*>(open);
    std::lock_guard<std::mutex> hold(device->lock);
    if (Control(device, code, out, outSize, actualOut))
        return TRUE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}

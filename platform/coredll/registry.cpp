// Registry calls with the handheld's semantics. The handheld ignores the
// access mask and the options; Wine enforces them, so a key opened with
// mask 0, as the handheld's programs do, would refuse every read and write.
#include "journal.h"

using namespace journal;

extern "C" {

LONG WINAPI CeRegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access,
                            PHKEY result)
{
    if (DWORD error = Enter("RegOpenKeyExW",
                            {Key(key), Text(subKey), Dec(options), Hex(access), Pointer(result)}))
        return error;
    return RegOpenKeyExW(key, subKey, 0, KEY_ALL_ACCESS, result);
}

LONG WINAPI CeRegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                              DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                              PHKEY result, LPDWORD disposition)
{
    if (DWORD error = Enter("RegCreateKeyExW",
                            {Key(key), Text(subKey), Dec(reserved), Text(keyClass),
                             Dec(options), Hex(access), Pointer(security), Pointer(result),
                             Pointer(disposition)}))
        return error;
    return RegCreateKeyExW(key, subKey, reserved, keyClass, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, security, result, disposition);
}

LONG WINAPI CeRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                               LPBYTE data, LPDWORD size)
{
    if (DWORD error = Enter("RegQueryValueExW",
                            {Key(key), Text(name), Pointer(reserved), Pointer(type),
                             Pointer(data), PointedDword(size)}))
        return error;
    return RegQueryValueExW(key, name, reserved, type, data, size);
}

LONG WINAPI CeRegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                             const BYTE* data, DWORD size)
{
    if (DWORD error = Enter("RegSetValueExW",
                            {Key(key), Text(name), Dec(reserved), Dec(type),
                             Bytes(data, size), Dec(size)}))
        return error;
    return RegSetValueExW(key, name, reserved, type, data, size);
}

LONG WINAPI CeRegCloseKey(HKEY key)
{
    if (DWORD error = Enter("RegCloseKey", {Key(key)}))
        return error;
    return RegCloseKey(key);
}

}

// Registry calls with the handheld's semantics. The handheld ignores the
// access mask and the options; Wine enforces them, so a key opened with
// mask 0, as the handheld's programs do, would refuse every read and write.
#include "journal.h"

using namespace journal;

extern "C" {

LONG WINAPI CeRegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access,
                            PHKEY result)
{
    Call call(JOURNAL_CALLER, "RegOpenKeyExW",
              {Key(key), Text(subKey), Dec(options), Hex(access), Pointer(result)});
    LONG error = call.Injected() ? call.Injected()
                                 : RegOpenKeyExW(key, subKey, 0, KEY_ALL_ACCESS, result);
    return call.Returns(error, Dec(error));
}

LONG WINAPI CeRegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                              DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                              PHKEY result, LPDWORD disposition)
{
    Call call(JOURNAL_CALLER, "RegCreateKeyExW",
              {Key(key), Text(subKey), Dec(reserved), Text(keyClass), Dec(options), Hex(access),
               Pointer(security), Pointer(result), Pointer(disposition)});
    LONG error = call.Injected() ? call.Injected()
                                 : RegCreateKeyExW(key, subKey, reserved, keyClass,
                                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                                   security, result, disposition);
    return call.Returns(error, Dec(error));
}

LONG WINAPI CeRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                               LPBYTE data, LPDWORD size)
{
    Call call(JOURNAL_CALLER, "RegQueryValueExW",
              {Key(key), Text(name), Pointer(reserved), Pointer(type), Pointer(data),
               PointedDword(size)});
    LONG error = call.Injected() ? call.Injected()
                                 : RegQueryValueExW(key, name, reserved, type, data, size);
    return call.Returns(error, Dec(error));
}

LONG WINAPI CeRegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                             const BYTE* data, DWORD size)
{
    Call call(JOURNAL_CALLER, "RegSetValueExW",
              {Key(key), Text(name), Dec(reserved), Dec(type), Bytes(data, size), Dec(size)});
    LONG error = call.Injected() ? call.Injected()
                                 : RegSetValueExW(key, name, reserved, type, data, size);
    return call.Returns(error, Dec(error));
}

LONG WINAPI CeRegCloseKey(HKEY key)
{
    Call call(JOURNAL_CALLER, "RegCloseKey", {Key(key)});
    LONG error = call.Injected() ? call.Injected() : RegCloseKey(key);
    return call.Returns(error, Dec(error));
}

}

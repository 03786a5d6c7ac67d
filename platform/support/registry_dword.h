// A number in the handheld's registry, as its readers take one: a REG_DWORD
// of exactly 4 bytes. Of another type or size it is no number, and the
// reader falls back to its own default.
#pragma once

#include <windows.h>

#include <optional>

inline std::optional<DWORD> ReadRegistryDword(HKEY key, LPCWSTR name)
{
    DWORD data;
    DWORD type;
    DWORD size = sizeof data;
    if (!key ||
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return std::nullopt;
    return data;
}

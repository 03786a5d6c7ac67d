// Text for the console and the logs, which take 8-bit characters: ASCII as
// it is, anything else as '?'.
#pragma once

#include <string>

inline std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

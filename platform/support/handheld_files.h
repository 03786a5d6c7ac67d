// The handheld's own file system: a folder of each Wine prefix that the
// prefix shows as drive H:, whose root is the device's "\" (so its
// "\Windows" is H:\Windows). Device paths are given from the root.
#pragma once

#include <string>

inline std::wstring HandheldPath(const std::wstring& devicePath)
{
    return L"H:" + devicePath;
}

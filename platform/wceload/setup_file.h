// The setup file of a Windows CE installation cabinet (its .000 file), read
// as the format's documentation gives it: what the package is, for which
// processor and versions of Windows CE, which files go to which folders and
// which registry values it sets. Every offset and count is checked against
// the file; a setup file that does not hold together is refused whole.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace setup {

struct File {
    int number;              // the cabinet file's three-digit extension
    std::wstring directory;  // a device path, %CEn% resolved
    std::wstring name;
    DWORD flags;
};

struct RegistryValue {
    HKEY root;
    std::wstring key;   // under root
    std::wstring name;  // empty: the key's default value
    DWORD type;         // REG_DWORD, REG_SZ, REG_MULTI_SZ or REG_BINARY
    std::vector<BYTE> data;  // as the registry takes it: text in UTF-16
    bool noClobber;     // kept when the value is there already
};

struct SetupFile {
    std::wstring appName;
    std::wstring provider;
    DWORD processor;  // 0: any
    DWORD minMajor, minMinor, maxMajor, maxMinor, minBuild, maxBuild;  // 0: no bound
    std::vector<File> files;
    std::vector<RegistryValue> values;
};

// File flags the installer honours.
const DWORD kFileAlwaysOverwrite = 0x40000000;
const DWORD kFileKeepNewer = 0x20000000;
const DWORD kFileOnlyIfPresent = 0x00000400;
const DWORD kFileKeepIfPresent = 0x00000010;

// Reads `bytes`; false with what is wrong in `error`.
bool Read(const std::vector<BYTE>& bytes, SetupFile* setup, std::string* error);

// A %CEn% folder as the device names it, or empty when it has none.
std::wstring StandardFolder(int n);

}

// Windows CE installation cabinets made by hand, for the handheld's
// installer to meet packages this project did not write: a setup file laid
// out from the format's documentation (wince_cab_format.html of Debian's
// cabextract source) field by field, and a cabinet packed by the system's
// cabinet library (FCI).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace cab_maker {

// A setup file (.000), section by section. Its sections are written in the
// reverse of the usual order, with the names last, as a writer may.
struct SetupFile {
    DWORD processor = 2577;
    DWORD version[4] = {5, 1, 5, 99};  // minimum and maximum, major and minor
    std::string appName = "Probe";
    std::string provider = "Elsewhere";
    std::vector<std::pair<WORD, std::string>> strings;         // id, text
    std::vector<std::pair<WORD, std::vector<WORD>>> folders;   // id, string ids
    struct File {
        WORD number, folder;
        DWORD flags;
        std::string name;
    };
    std::vector<File> files;
    std::vector<std::pair<WORD, std::pair<WORD, std::vector<WORD>>>> hives;  // id, root, ids
    struct Value {
        WORD hive;
        DWORD flags;  // the type bits and NOCLOBBER
        std::vector<BYTE> entry;  // the name, its 0, then the data
    };
    std::vector<Value> values;

    std::vector<BYTE> Bytes() const;
};

// The value entry "NAME\0DATA".
std::vector<BYTE> Entry(const std::string& name, const std::vector<BYTE>& data);

// A cabinet holding `files` (name, bytes), in that order, uncompressed.
std::vector<BYTE> Pack(const std::vector<std::pair<std::string, std::vector<BYTE>>>& files);

}

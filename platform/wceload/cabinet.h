// A cabinet's files, read with the system's cabinet library (FDI), which
// takes every compression a cabinet maker writes.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace cabinet {

struct File {
    std::vector<BYTE> bytes;
    FILETIME written;  // the date and time the cabinet gives it, as UTC
};

// The files of the cabinet held in `bytes`, by the three-digit number of
// each one's extension (a Windows CE installation cabinet names its files
// so); false, with why, when the bytes are no whole cabinet or two of its
// files share a number.
bool Read(const std::vector<BYTE>& bytes, std::map<int, File>* files,
          std::string* error);

}

// Installing a Windows CE installation cabinet on the handheld, and
// removing what it installed, in the device installer's role: the cabinet
// is read and weighed whole (its signature, its setup file, the processor
// and the version of Windows CE it is for, its files) before anything on
// the device changes; then its files are copied to their folders with
// their flags, its registry values written (a NOCLOBBER one only where the
// device has none yet), and the installation recorded under
// HKLM\Software\Apps\PROVIDER APPNAME so that it can be removed.
#pragma once

#include <string>

namespace package {

// What the handheld reports of itself: every ARM core is processor type
// 2577, and it runs Windows CE 5.01.
const unsigned kProcessor = 2577;
const unsigned kMajorVersion = 5;
const unsigned kMinorVersion = 1;

// Installs the cabinet at `path`; false when it is refused or fails, with
// the one line that says why in `message` (and what was installed when it
// succeeds).
bool Install(const std::wstring& path, std::wstring* message);

// Removes the installation named "PROVIDER APPNAME": the files it copied,
// the registry values and keys it made (not the ones it found there), and
// its record.
bool Remove(const std::wstring& name, std::wstring* message);

}

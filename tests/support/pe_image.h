// A PE file's headers and tables, read from its bytes as the loader would.
#pragma once

#include <windows.h>

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

class PeImage {
public:
    explicit PeImage(const std::wstring& path);

    bool Valid() const { return nt_ != nullptr; }
    const IMAGE_NT_HEADERS32& Headers() const { return *nt_; }
    const IMAGE_DATA_DIRECTORY& Directory(int index) const;
    std::vector<std::string> SectionNames() const;
    // Each imported DLL with the names it is asked for ("#n" for an ordinal).
    std::map<std::string, std::set<std::string>> Imports() const;
    size_t FileSize() const { return bytes_.size(); }
    // The bytes at a file offset (certificates are addressed so).
    const BYTE* AtFileOffset(DWORD offset) const;
    // The bytes at a relative virtual address, or null outside every section.
    const BYTE* AtRva(DWORD rva) const;

private:
    std::vector<BYTE> bytes_;
    const IMAGE_NT_HEADERS32* nt_ = nullptr;
};

// The folder of the running test program, where the build puts the
// applet, the stand-ins and the host.
std::wstring ProgramFolder();

// The two builds of keyboard.cpl, signed and unsigned: the x86 twin that
// runs here, and the ARM image a handheld runs.
struct AppletImage {
    const char* name;  // "x86" or "arm", as a test's name may carry it
    WORD machine;
    std::wstring signedPath;
    std::wstring unsignedPath;
};
const std::vector<AppletImage>& AppletImages();

// The image the handheld runs for this test: KBD_IMAGE names it ("x86", the
// default, or "arm"; the ARM one on the processor KBD_CPU names).
const AppletImage& AppletUnderTest();

// How GoogleTest names an image in its messages.
inline void PrintTo(const AppletImage& image, std::ostream* out)
{
    *out << image.name;
}

// An ARM image (a PE file for Windows CE on ARM) loaded as the device's
// loader loads it: mapped into this process at a base of the loader's
// choosing, never its preferred one, with its base relocations applied and
// each import bound by name to whatever the binder gives for it.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace arm {

struct Section {
    DWORD begin, end;  // addresses, page aligned
    bool executable, writable;
};

class Image {
public:
    // The address an import's slot is to hold, or 0, with a reason, when
    // nothing serves it.
    using Binder = std::function<DWORD(const std::string& library, const std::string& name,
                                       std::wstring* error)>;

    // The image at `path`, or null with a reason.
    static std::unique_ptr<Image> Load(const std::wstring& path, const Binder& bind,
                                       std::wstring* error);
    ~Image();

    HMODULE Module() const { return reinterpret_cast<HMODULE>(base_); }
    DWORD Base() const { return reinterpret_cast<DWORD>(base_); }
    DWORD Size() const { return size_; }
    bool Holds(DWORD address) const { return address - Base() < size_; }
    const std::wstring& Path() const { return path_; }
    // The file's name, for messages.
    std::wstring Name() const;
    const std::vector<Section>& Sections() const { return sections_; }
    DWORD EntryPoint() const { return entry_; }
    // The address of an export, by name or (IS_INTRESOURCE) ordinal; 0 when
    // there is none.
    DWORD Export(const char* name) const;

    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

private:
    Image() = default;
    bool Map(const std::vector<BYTE>& file, std::wstring* error);
    bool Relocate(DWORD preferred, std::wstring* error);
    bool Bind(const Binder& bind, std::wstring* error);
    void Protect();
    // The image's bytes at `rva`, when [rva, rva + size) lies inside it.
    BYTE* At(DWORD rva, DWORD size) const;
    const IMAGE_NT_HEADERS32* Headers() const;

    BYTE* base_ = nullptr;
    DWORD size_ = 0;
    DWORD entry_ = 0;
    std::wstring path_;
    std::vector<Section> sections_;
};

// Whether the file at `path` is a PE image for ARM.
bool IsArmImageFile(const std::wstring& path);

}

#include "pe_image.h"

#include <cstdio>
#include <cstring>

PeImage::PeImage(const std::wstring& path)
{
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        BYTE chunk[4096];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;)
            bytes_.insert(bytes_.end(), chunk, chunk + got);
        fclose(file);
    }
    if (bytes_.size() < sizeof(IMAGE_DOS_HEADER))
        return;
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes_.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
        dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32) > bytes_.size())
        return;
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(bytes_.data() + dos->e_lfanew);
    if (nt->Signature == IMAGE_NT_SIGNATURE &&
        nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        nt_ = nt;
}

const IMAGE_DATA_DIRECTORY& PeImage::Directory(int index) const
{
    return nt_->OptionalHeader.DataDirectory[index];
}

std::vector<std::string> PeImage::SectionNames() const
{
    std::vector<std::string> names;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt_);
    for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section)
        names.emplace_back(reinterpret_cast<const char*>(section->Name),
                           strnlen(reinterpret_cast<const char*>(section->Name), 8));
    return names;
}

const BYTE* PeImage::AtFileOffset(DWORD offset) const
{
    return offset < bytes_.size() ? bytes_.data() + offset : nullptr;
}

const BYTE* PeImage::AtRva(DWORD rva) const
{
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt_);
    for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section) {
        if (rva >= section->VirtualAddress &&
            rva < section->VirtualAddress + section->SizeOfRawData)
            return AtFileOffset(rva - section->VirtualAddress + section->PointerToRawData);
    }
    return nullptr;
}

std::map<std::string, std::set<std::string>> PeImage::Imports() const
{
    std::map<std::string, std::set<std::string>> imports;
    auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        AtRva(Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress));
    for (; descriptor && descriptor->Name; ++descriptor) {
        std::set<std::string>& names = imports[reinterpret_cast<const char*>(AtRva(descriptor->Name))];
        DWORD lookup = descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk
                                                      : descriptor->FirstThunk;
        for (auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA32*>(AtRva(lookup));
             thunk && thunk->u1.AddressOfData; ++thunk) {
            if (IMAGE_SNAP_BY_ORDINAL32(thunk->u1.Ordinal)) {
                names.insert("#" + std::to_string(IMAGE_ORDINAL32(thunk->u1.Ordinal)));
            } else {
                auto* byName =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(AtRva(thunk->u1.AddressOfData));
                names.insert(reinterpret_cast<const char*>(byName->Name));
            }
        }
    }
    return imports;
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

const std::vector<AppletImage>& AppletImages()
{
    static const std::vector<AppletImage> images = {
        {"x86", IMAGE_FILE_MACHINE_I386, ProgramFolder() + L"keyboard.cpl",
         ProgramFolder() + L"..\\applet\\keyboard-unsigned.cpl"},
        {"arm", IMAGE_FILE_MACHINE_ARM, ProgramFolder() + L"..\\device\\keyboard.cpl",
         ProgramFolder() + L"..\\device\\keyboard-unsigned.cpl"},
    };
    return images;
}

const AppletImage& AppletUnderTest()
{
    char name[8] = "";
    GetEnvironmentVariableA("KBD_IMAGE", name, sizeof name);
    for (const AppletImage& image : AppletImages()) {
        if (std::strcmp(image.name, name) == 0)
            return image;
    }
    return AppletImages().front();
}

#include "image.h"

#include <algorithm>
#include <cstring>

namespace arm {

namespace {

const WORD kArmMachine = 0x01C0;
const DWORD kPage = 0x1000;

DWORD PageUp(DWORD size)
{
    return (size + kPage - 1) & ~(kPage - 1);
}

bool ReadFile(const std::wstring& path, std::vector<BYTE>* bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    bytes->resize(size);
    DWORD read = 0;
    bool ok = size != INVALID_FILE_SIZE &&
              ::ReadFile(file, bytes->data(), size, &read, nullptr) && read == size;
    CloseHandle(file);
    return ok;
}

// The file's PE headers, when it has whole ones.
const IMAGE_NT_HEADERS32* HeadersOf(const std::vector<BYTE>& file)
{
    if (file.size() < sizeof(IMAGE_DOS_HEADER))
        return nullptr;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0 ||
        file.size() < dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32))
        return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(file.data() + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return nullptr;
    return nt;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

}

bool IsArmImageFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::vector<BYTE> head(4096);
    DWORD read = 0;
    ::ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &read, nullptr);
    CloseHandle(file);
    head.resize(read);
    const IMAGE_NT_HEADERS32* nt = HeadersOf(head);
    return nt && nt->FileHeader.Machine == kArmMachine;
}

std::unique_ptr<Image> Image::Load(const std::wstring& path, const Binder& bind,
                                   std::wstring* error)
{
    std::vector<BYTE> file;
    if (!ReadFile(path, &file)) {
        *error = L"cannot be read";
        return nullptr;
    }
    std::unique_ptr<Image> image(new Image);
    image->path_ = path;
    const IMAGE_NT_HEADERS32* nt = HeadersOf(file);
    if (!nt || nt->FileHeader.Machine != kArmMachine) {
        *error = L"is no PE image for ARM";
        return nullptr;
    }
    if (!image->Map(file, error) || !image->Relocate(nt->OptionalHeader.ImageBase, error) ||
        !image->Bind(bind, error))
        return nullptr;
    image->Protect();
    return image;
}

Image::~Image()
{
    if (base_)
        VirtualFree(base_, 0, MEM_RELEASE);
}

std::wstring Image::Name() const
{
    size_t slash = path_.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path_ : path_.substr(slash + 1);
}

const IMAGE_NT_HEADERS32* Image::Headers() const
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base_);
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base_ + dos->e_lfanew);
}

BYTE* Image::At(DWORD rva, DWORD size) const
{
    if (rva > size_ || size > size_ - rva)
        return nullptr;
    return base_ + rva;
}

// Copies the headers and each section to where the image wants them, at a
// base the system chooses: the preferred base is never taken, so that the
// base relocations are always applied, as on a device where another
// library holds that address.
bool Image::Map(const std::vector<BYTE>& file, std::wstring* error)
{
    const IMAGE_NT_HEADERS32* nt = HeadersOf(file);
    const IMAGE_OPTIONAL_HEADER32& optional = nt->OptionalHeader;
    size_ = PageUp(optional.SizeOfImage);
    void* preferred = reinterpret_cast<void*>(optional.ImageBase);
    void* held = nullptr;
    base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT,
                                            PAGE_READWRITE));
    if (base_ == preferred) {
        held = base_;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT,
                                                PAGE_READWRITE));
        VirtualFree(held, 0, MEM_RELEASE);
    }
    if (!base_) {
        *error = L"does not fit in memory";
        return false;
    }
    if (optional.SizeOfHeaders > file.size() || optional.SizeOfHeaders > size_) {
        *error = L"has headers larger than itself";
        return false;
    }
    std::memcpy(base_, file.data(), optional.SizeOfHeaders);
    sections_.push_back({Base(), Base() + PageUp(optional.SizeOfHeaders), false, false});

    const auto* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        DWORD rva = section->VirtualAddress;
        DWORD size = section->Misc.VirtualSize ? section->Misc.VirtualSize
                                               : section->SizeOfRawData;
        DWORD raw = std::min(section->SizeOfRawData, size);
        size = std::max<DWORD>(size, 1);
        if (rva % kPage || !At(rva, PageUp(size)) || section->PointerToRawData > file.size() ||
            raw > file.size() - section->PointerToRawData) {
            *error = L"has a section outside itself or its file";
            return false;
        }
        std::memcpy(base_ + rva, file.data() + section->PointerToRawData, raw);
        DWORD flags = section->Characteristics;
        sections_.push_back({Base() + rva, Base() + rva + PageUp(size),
                             (flags & IMAGE_SCN_MEM_EXECUTE) != 0,
                             (flags & IMAGE_SCN_MEM_WRITE) != 0});
    }
    entry_ = optional.AddressOfEntryPoint ? Base() + optional.AddressOfEntryPoint : 0;
    return true;
}

bool Image::Relocate(DWORD preferred, std::wstring* error)
{
    const IMAGE_DATA_DIRECTORY& directory =
        Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    DWORD delta = Base() - preferred;
    if (!directory.Size) {
        *error = L"has no base relocations, and its preferred base is taken";
        return false;
    }
    for (DWORD at = 0; at + sizeof(IMAGE_BASE_RELOCATION) <= directory.Size;) {
        const auto* block = reinterpret_cast<const IMAGE_BASE_RELOCATION*>(
            At(directory.VirtualAddress + at, sizeof(IMAGE_BASE_RELOCATION)));
        if (!block || block->SizeOfBlock < sizeof *block ||
            !At(directory.VirtualAddress + at, block->SizeOfBlock)) {
            *error = L"has a base relocation block outside itself";
            return false;
        }
        const WORD* entry = reinterpret_cast<const WORD*>(block + 1);
        DWORD count = (block->SizeOfBlock - sizeof *block) / sizeof(WORD);
        for (DWORD i = 0; i < count; ++i) {
            WORD type = entry[i] >> 12;
            DWORD rva = block->VirtualAddress + (entry[i] & 0x0FFF);
            if (type == IMAGE_REL_BASED_ABSOLUTE)
                continue;
            BYTE* word = At(rva, sizeof(DWORD));
            if (type != IMAGE_REL_BASED_HIGHLOW || !word) {
                *error = L"has a base relocation of type " + std::to_wstring(type) +
                         L" at " + std::to_wstring(rva) + L", which the loader does not apply";
                return false;
            }
            DWORD value;
            std::memcpy(&value, word, sizeof value);
            value += delta;
            std::memcpy(word, &value, sizeof value);
        }
        at += block->SizeOfBlock;
    }
    return true;
}

bool Image::Bind(const Binder& bind, std::wstring* error)
{
    const IMAGE_DATA_DIRECTORY& directory =
        Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (DWORD at = 0; directory.Size; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
            At(directory.VirtualAddress + at, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
        if (!library) {
            *error = L"has an import table outside itself";
            return false;
        }
        if (!library->Name)
            return true;
        const char* libraryName = reinterpret_cast<const char*>(At(library->Name, 1));
        DWORD lookup = library->OriginalFirstThunk ? library->OriginalFirstThunk
                                                   : library->FirstThunk;
        for (DWORD i = 0;; ++i) {
            const DWORD* entry = reinterpret_cast<const DWORD*>(At(lookup + 4 * i, 4));
            DWORD* slot = reinterpret_cast<DWORD*>(At(library->FirstThunk + 4 * i, 4));
            if (!libraryName || !entry || !slot) {
                *error = L"has an import table outside itself";
                return false;
            }
            if (!*entry)
                break;
            if (*entry & IMAGE_ORDINAL_FLAG32) {
                *error = L"imports by ordinal from " + Wide(libraryName) +
                         L"; the handheld binds names";
                return false;
            }
            const char* name = reinterpret_cast<const char*>(At(*entry + 2, 1));
            if (!name) {
                *error = L"has an import table outside itself";
                return false;
            }
            *slot = bind(libraryName, name, error);
            if (!*slot)
                return false;
        }
    }
    return true;
}

// The host's view of the image gets the protections the core enforces, so
// that a stand-in cannot write where the image itself may not.
void Image::Protect()
{
    for (const Section& section : sections_) {
        DWORD old;
        VirtualProtect(reinterpret_cast<void*>(section.begin), section.end - section.begin,
                       section.writable ? PAGE_READWRITE : PAGE_READONLY, &old);
    }
}

DWORD Image::Export(const char* name) const
{
    const IMAGE_DATA_DIRECTORY& directory =
        Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        At(directory.VirtualAddress, sizeof(IMAGE_EXPORT_DIRECTORY)));
    if (!directory.Size || !exports)
        return 0;
    const DWORD* functions = reinterpret_cast<const DWORD*>(
        At(exports->AddressOfFunctions, 4 * exports->NumberOfFunctions));
    const DWORD* names = reinterpret_cast<const DWORD*>(
        At(exports->AddressOfNames, 4 * exports->NumberOfNames));
    const WORD* ordinals = reinterpret_cast<const WORD*>(
        At(exports->AddressOfNameOrdinals, 2 * exports->NumberOfNames));
    if (!functions || !names || !ordinals)
        return 0;
    DWORD index = ~0u;
    if (IS_INTRESOURCE(name)) {
        index = reinterpret_cast<UINT_PTR>(name) - exports->Base;
    } else {
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            const char* exported = reinterpret_cast<const char*>(At(names[i], 1));
            if (exported && std::strcmp(exported, name) == 0)
                index = ordinals[i];
        }
    }
    if (index >= exports->NumberOfFunctions || !functions[index])
        return 0;
    // An export inside the export table forwards to another library, which
    // the handheld's loader does not follow.
    if (functions[index] - directory.VirtualAddress < directory.Size)
        return 0;
    return Base() + functions[index];
}

}

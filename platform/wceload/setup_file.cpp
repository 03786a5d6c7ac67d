#include "setup_file.h"

#include <map>

namespace setup {

namespace {

const DWORD kHeaderSize = 100;
const DWORD kSignature = 0x4543534D;  // "MSCE"

// Registry entry types and flags (bit 16 and bit 0 give the type).
const DWORD kTypeMask = 0x00010001;
const DWORD kTypeDword = 0x00010001;
const DWORD kTypeMultiSz = 0x00010000;
const DWORD kTypeBinary = 0x00000001;
const DWORD kNoClobber = 0x00000002;

// Reads little-endian numbers and byte runs at offsets, and remembers the
// first that lies outside the file.
class Bytes {
public:
    explicit Bytes(const std::vector<BYTE>& bytes) : bytes_(bytes) {}

    bool Has(DWORD at, DWORD size) const { return at <= bytes_.size() && size <= bytes_.size() - at; }

    DWORD Number(DWORD at, DWORD size)
    {
        if (!Has(at, size)) {
            fits_ = false;
            return 0;
        }
        DWORD value = 0;
        for (DWORD i = 0; i < size; ++i)
            value |= static_cast<DWORD>(bytes_[at + i]) << (8 * i);
        return value;
    }
    WORD Word(DWORD at) { return static_cast<WORD>(Number(at, 2)); }
    DWORD Dword(DWORD at) { return Number(at, 4); }

    std::vector<BYTE> Run(DWORD at, DWORD size)
    {
        if (!Has(at, size)) {
            fits_ = false;
            return {};
        }
        return std::vector<BYTE>(bytes_.begin() + at, bytes_.begin() + at + size);
    }

    bool Fits() const { return fits_; }

private:
    const std::vector<BYTE>& bytes_;
    bool fits_ = true;
};

// ASCII text, up to its terminator.
std::wstring Text(const std::vector<BYTE>& run)
{
    std::wstring text;
    for (BYTE c : run) {
        if (!c)
            break;
        text += static_cast<wchar_t>(c);
    }
    return text;
}

struct Sections {
    std::map<WORD, std::wstring> strings;
    std::map<WORD, std::wstring> directories;
    std::map<WORD, std::pair<HKEY, std::wstring>> hives;
};

// A list of string ids ended by 0, as a path; the first member may be a
// %CEn% folder.
bool Path(const std::vector<BYTE>& spec, const Sections& sections, std::wstring* path)
{
    path->clear();
    for (size_t i = 0; i + 1 < spec.size(); i += 2) {
        WORD id = static_cast<WORD>(spec[i] | spec[i + 1] << 8);
        if (!id)
            return true;
        auto found = sections.strings.find(id);
        if (found == sections.strings.end())
            return false;
        std::wstring member = found->second;
        if (path->empty() && member.size() > 4 && member.compare(0, 3, L"%CE") == 0 &&
            member.back() == L'%') {
            std::wstring folder = StandardFolder(_wtoi(member.c_str() + 3));
            if (folder.empty())
                return false;
            *path = folder;
        } else {
            *path += L"\\" + member;
        }
    }
    return false;
}

std::vector<BYTE> Wide(const std::wstring& text)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

bool ReadValue(const std::vector<BYTE>& entry, DWORD flags, RegistryValue* value)
{
    size_t end = 0;
    while (end < entry.size() && entry[end])
        ++end;
    if (end == entry.size())
        return false;
    value->name = Text(entry);
    std::vector<BYTE> data(entry.begin() + end + 1, entry.end());
    value->noClobber = (flags & kNoClobber) != 0;
    switch (flags & kTypeMask) {
    case kTypeDword:
        value->type = REG_DWORD;
        value->data = data;
        return data.size() == 4;
    case kTypeBinary:
        value->type = REG_BINARY;
        value->data = data;
        return true;
    case kTypeMultiSz: {
        value->type = REG_MULTI_SZ;
        std::wstring texts;
        for (BYTE c : data)
            texts += static_cast<wchar_t>(c);
        value->data.assign(reinterpret_cast<const BYTE*>(texts.c_str()),
                           reinterpret_cast<const BYTE*>(texts.c_str() + texts.size()));
        return !data.empty() && data.back() == 0;
    }
    default:
        value->type = REG_SZ;
        value->data = Wide(Text(data));
        return !data.empty() && data.back() == 0;
    }
}

const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};

}

std::wstring StandardFolder(int n)
{
    // The Pocket PC's (version 3.0 on) standard folders; the others it has
    // not got.
    switch (n) {
    case 1: return L"\\Program Files";
    case 2: return L"\\Windows";
    case 4: return L"\\Windows\\StartUp";
    case 5: return L"\\My Documents";
    case 11: return L"\\Windows\\Start Menu\\Programs";
    case 14: return L"\\Windows\\Start Menu\\Games";
    case 15: return L"\\Windows\\Fonts";
    case 17: return L"\\Windows\\Start Menu";
    default: return L"";
    }
}

bool Read(const std::vector<BYTE>& file, SetupFile* setup, std::string* error)
{
    Bytes bytes(file);
    auto fail = [error](const std::string& why) {
        *error = why;
        return false;
    };
    if (bytes.Dword(0) != kSignature || !bytes.Has(0, kHeaderSize))
        return fail("it has no setup file header");
    if (bytes.Dword(8) != file.size())
        return fail("its setup file is not as long as its header says");
    setup->processor = bytes.Dword(20);
    setup->minMajor = bytes.Dword(24);
    setup->minMinor = bytes.Dword(28);
    setup->maxMajor = bytes.Dword(32);
    setup->maxMinor = bytes.Dword(36);
    setup->minBuild = bytes.Dword(40);
    setup->maxBuild = bytes.Dword(44);
    setup->appName = Text(bytes.Run(bytes.Word(84), bytes.Word(86)));
    setup->provider = Text(bytes.Run(bytes.Word(88), bytes.Word(90)));

    Sections sections;
    DWORD at = bytes.Dword(60);
    for (WORD i = 0, count = bytes.Word(48); i < count && bytes.Fits(); ++i) {
        WORD size = bytes.Word(at + 2);
        sections.strings[bytes.Word(at)] = Text(bytes.Run(at + 4, size));
        at += 4 + size;
    }
    at = bytes.Dword(64);
    for (WORD i = 0, count = bytes.Word(50); i < count && bytes.Fits(); ++i) {
        WORD size = bytes.Word(at + 2);
        std::wstring path;
        if (!Path(bytes.Run(at + 4, size), sections, &path) && bytes.Fits())
            return fail("a folder of its setup file names no folder the device has");
        sections.directories[bytes.Word(at)] = path;
        at += 4 + size;
    }
    at = bytes.Dword(68);
    for (WORD i = 0, count = bytes.Word(52); i < count && bytes.Fits(); ++i) {
        File entry;
        entry.number = bytes.Word(at);
        auto directory = sections.directories.find(bytes.Word(at + 2));
        entry.flags = bytes.Dword(at + 6);
        WORD size = bytes.Word(at + 10);
        entry.name = Text(bytes.Run(at + 12, size));
        if (bytes.Fits() && (directory == sections.directories.end() || entry.name.empty()))
            return fail("a file of its setup file has no folder or no name");
        if (bytes.Fits())
            entry.directory = directory->second;
        setup->files.push_back(entry);
        at += 12 + size;
    }
    at = bytes.Dword(72);
    for (WORD i = 0, count = bytes.Word(54); i < count && bytes.Fits(); ++i) {
        WORD root = bytes.Word(at + 2);
        WORD size = bytes.Word(at + 6);
        std::wstring path;
        bool named = Path(bytes.Run(at + 8, size), sections, &path);
        if (bytes.Fits() && (root < 1 || root > 4 || !named))
            return fail("a registry hive of its setup file is no hive");
        sections.hives[bytes.Word(at)] = {kRoots[(root - 1) & 3],
                                          path.empty() ? path : path.substr(1)};
        at += 8 + size;
    }
    at = bytes.Dword(76);
    for (WORD i = 0, count = bytes.Word(56); i < count && bytes.Fits(); ++i) {
        RegistryValue value;
        auto hive = sections.hives.find(bytes.Word(at + 2));
        DWORD flags = bytes.Dword(at + 6);
        WORD size = bytes.Word(at + 10);
        std::vector<BYTE> entry = bytes.Run(at + 12, size);
        if (bytes.Fits() && (hive == sections.hives.end() || !ReadValue(entry, flags, &value)))
            return fail("a registry value of its setup file does not hold together");
        if (bytes.Fits()) {
            value.root = hive->second.first;
            value.key = hive->second.second;
        }
        setup->values.push_back(value);
        at += 12 + size;
    }
    if (!bytes.Fits())
        return fail("its setup file points past its own end");
    if (setup->appName.empty() || setup->provider.empty())
        return fail("its setup file names no application or no provider");
    return true;
}

}

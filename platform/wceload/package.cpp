#include "package.h"

#include "cabinet.h"
#include "handheld_files.h"
#include "setup_file.h"
#include "signature.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <vector>

namespace package {

namespace {

const wchar_t kApps[] = L"Software\\Apps";

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

bool ReadWholeFile(const std::wstring& path, std::vector<BYTE>* bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr), read = 0;
    bytes->resize(size);
    bool ok = size != INVALID_FILE_SIZE && ReadFile(file, bytes->data(), size, &read, nullptr) &&
              read == size;
    CloseHandle(file);
    return ok;
}

// What the installation made, as its record keeps it: the device paths of
// its files, the values it created ("ROOT\KEY" then "=NAME"), and the keys
// it created.
struct Record {
    std::vector<std::wstring> files;
    std::vector<std::wstring> values;
    std::vector<std::wstring> keys;
};

std::vector<std::wstring> ReadTexts(HKEY key, const wchar_t* name)
{
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::wstring texts(size / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&texts[0]), &size);
    std::vector<std::wstring> read;
    for (size_t at = 0; at < texts.size() && texts[at];) {
        read.push_back(texts.c_str() + at);
        at += read.back().size() + 1;
    }
    return read;
}

void WriteTexts(HKEY key, const wchar_t* name, const std::vector<std::wstring>& texts)
{
    std::wstring joined;
    for (const std::wstring& text : texts)
        joined += text + L'\0';
    joined += L'\0';
    RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(joined.c_str()),
                   static_cast<DWORD>(joined.size() * sizeof(wchar_t)));
}

Record ReadRecord(HKEY key)
{
    return {ReadTexts(key, L"Files"), ReadTexts(key, L"Values"), ReadTexts(key, L"Keys")};
}

void Add(std::vector<std::wstring>* texts, const std::wstring& text)
{
    if (std::find(texts->begin(), texts->end(), text) == texts->end())
        texts->push_back(text);
}

const struct {
    HKEY root;
    const wchar_t* name;
} kRoots[] = {{HKEY_CLASSES_ROOT, L"HKCR"},
              {HKEY_CURRENT_USER, L"HKCU"},
              {HKEY_LOCAL_MACHINE, L"HKLM"},
              {HKEY_USERS, L"HKU"}};

std::wstring RootName(HKEY root)
{
    for (const auto& known : kRoots) {
        if (known.root == root)
            return known.name;
    }
    return L"";
}

// "ROOT\KEY" back to its root and key.
bool SplitKey(const std::wstring& named, HKEY* root, std::wstring* key)
{
    size_t slash = named.find(L'\\');
    for (const auto& known : kRoots) {
        if (named.compare(0, slash, known.name) == 0) {
            *root = known.root;
            *key = slash == std::wstring::npos ? L"" : named.substr(slash + 1);
            return true;
        }
    }
    return false;
}

std::wstring Version(DWORD major, DWORD minor)
{
    return std::to_wstring(major) + L"." + std::to_wstring(minor);
}

// Empty when the device's version lies in the package's range.
std::wstring VersionRefusal(const setup::SetupFile& setup)
{
    DWORD device = kMajorVersion * 1000 + kMinorVersion;
    bool hasMin = setup.minMajor || setup.minMinor;
    bool hasMax = setup.maxMajor || setup.maxMinor;
    if ((!hasMin || device >= setup.minMajor * 1000 + setup.minMinor) &&
        (!hasMax || device <= setup.maxMajor * 1000 + setup.maxMinor))
        return L"";
    return setup.appName + L" needs Windows CE " +
           (hasMin ? Version(setup.minMajor, setup.minMinor) : L"of any version") + L" to " +
           (hasMax ? Version(setup.maxMajor, setup.maxMinor) : L"any later") +
           L"; this device runs Windows CE " + Version(kMajorVersion, kMinorVersion);
}

void MakeFolders(const std::wstring& folder)
{
    for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1))
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
}

// Whether the file's flags let it be copied over what the device has.
bool MayCopy(const setup::File& file, const std::wstring& target, const FILETIME& written)
{
    WIN32_FILE_ATTRIBUTE_DATA there;
    bool present = GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &there) != 0;
    if (file.flags & setup::kFileOnlyIfPresent)
        return present;
    if (!present || (file.flags & setup::kFileAlwaysOverwrite))
        return true;
    if (file.flags & setup::kFileKeepIfPresent)
        return false;
    if (file.flags & setup::kFileKeepNewer)
        return CompareFileTime(&there.ftLastWriteTime, &written) <= 0;
    return true;
}

// Writes beside the target first and then moves it into place, so that a
// copy that fails halfway leaves the file the device had.
bool Copy(const std::wstring& target, const cabinet::File& from)
{
    std::wstring partial = target + L".partial";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, from.bytes.data(), static_cast<DWORD>(from.bytes.size()), &written,
                        nullptr) &&
              written == from.bytes.size() && SetFileTime(file, nullptr, nullptr, &from.written);
    CloseHandle(file);
    ok = ok && MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!ok)
        DeleteFileW(partial.c_str());
    return ok;
}

// Sets one value; the key and the value go on the record when the
// installation made them.
bool SetValue(const setup::RegistryValue& value, Record* record)
{
    HKEY key;
    DWORD made = 0;
    if (RegCreateKeyExW(value.root, value.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, &made) != ERROR_SUCCESS)
        return false;
    std::wstring keyName = RootName(value.root) + L"\\" + value.key;
    if (made == REG_CREATED_NEW_KEY)
        Add(&record->keys, keyName);
    bool present = RegQueryValueExW(key, value.name.c_str(), nullptr, nullptr, nullptr,
                                    nullptr) == ERROR_SUCCESS;
    bool ok = true;
    if (!(present && value.noClobber)) {
        ok = RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                            static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
        if (ok && !present) {
            record->values.push_back(keyName);
            record->values.push_back(L"=" + value.name);
        }
    }
    RegCloseKey(key);
    return ok;
}

// The record of an earlier installation of the same package is kept: what
// that one made is still the package's to remove.
void WriteRecord(const std::wstring& name, const std::wstring& cabinet, const Record& made)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kApps) + L"\\" + name).c_str(), 0,
                        nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    Record record = ReadRecord(key);
    for (const std::wstring& file : made.files)
        Add(&record.files, file);
    for (size_t i = 0; i + 1 < made.values.size(); i += 2) {
        bool known = false;
        for (size_t j = 0; j + 1 < record.values.size(); j += 2)
            known |= record.values[j] == made.values[i] && record.values[j + 1] == made.values[i + 1];
        if (!known) {
            record.values.push_back(made.values[i]);
            record.values.push_back(made.values[i + 1]);
        }
    }
    for (const std::wstring& madeKey : made.keys)
        Add(&record.keys, madeKey);
    DWORD installed = 1;
    RegSetValueExW(key, L"Instl", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&installed),
                   sizeof installed);
    RegSetValueExW(key, L"CabFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(cabinet.c_str()),
                   static_cast<DWORD>((cabinet.size() + 1) * sizeof(wchar_t)));
    WriteTexts(key, L"Files", record.files);
    WriteTexts(key, L"Values", record.values);
    WriteTexts(key, L"Keys", record.keys);
    RegCloseKey(key);
}

std::wstring FileName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}

bool Install(const std::wstring& path, std::wstring* message)
{
    std::wstring cab = FileName(path);
    auto refuse = [message](const std::wstring& why) {
        *message = why;
        return false;
    };
    std::vector<BYTE> bytes;
    if (!ReadWholeFile(path, &bytes))
        return refuse(L"The file " + cab + L" cannot be read.");
    std::string why;
    std::map<int, cabinet::File> files;
    if (!cabinet::Read(bytes, &files, &why))
        return refuse(L"The file " + cab + L" is not a valid Windows CE Setup file: " + Wide(why));
    if (!signature::CountsAsSigned(bytes, &why) && !signature::UnsignedAccepted())
        return refuse(L"The installation of " + cab + L" was unsuccessful: this device installs "
                      L"signed cabinets only, and " + Wide(why) + L".");
    setup::SetupFile setup;
    auto setupFile = files.find(0);
    if (setupFile == files.end())
        return refuse(L"The file " + cab + L" is not a valid Windows CE Setup file: it has no "
                      L"setup file (.000).");
    if (!setup::Read(setupFile->second.bytes, &setup, &why))
        return refuse(L"The file " + cab + L" is not a valid Windows CE Setup file: " + Wide(why) +
                      L".");
    std::wstring name = setup.provider + L" " + setup.appName;
    if (setup.processor && setup.processor != kProcessor)
        return refuse(L"The program you are installing, " + name + L", is not intended for this "
                      L"device: it is for processor type " + std::to_wstring(setup.processor) +
                      L", this device's is " + std::to_wstring(kProcessor) + L".");
    std::wstring version = VersionRefusal(setup);
    if (!version.empty())
        return refuse(L"The program you are installing, " + name + L", is not intended for this "
                      L"device: " + version + L".");
    for (const setup::File& file : setup.files) {
        if (!files.count(file.number))
            return refuse(L"The file " + cab + L" is not a valid Windows CE Setup file: its file " +
                          file.name + L" (." + std::to_wstring(file.number) +
                          L") is not in the cabinet.");
    }

    Record made;
    size_t copied = 0, set = 0;
    for (const setup::File& file : setup.files) {
        std::wstring folder = HandheldPath(file.directory);
        std::wstring target = folder + L"\\" + file.name;
        MakeFolders(folder);
        const cabinet::File& from = files[file.number];
        if (!MayCopy(file, target, from.written))
            continue;
        if (!Copy(target, from))
            return refuse(L"The installation of " + name + L" was unsuccessful: " + file.name +
                          L" could not be written to " + file.directory + L".");
        Add(&made.files, file.directory + L"\\" + file.name);
        ++copied;
    }
    for (const setup::RegistryValue& value : setup.values) {
        if (!SetValue(value, &made))
            return refuse(L"The installation of " + name + L" was unsuccessful: the registry "
                          L"value " + value.name + L" could not be set.");
        ++set;
    }
    WriteRecord(name, path, made);
    *message = name + L" was installed: " + std::to_wstring(copied) + L" of " +
               std::to_wstring(setup.files.size()) + L" files copied, " +
               std::to_wstring(made.values.size() / 2) + L" of " + std::to_wstring(set) +
               L" registry values new.";
    return true;
}

bool Remove(const std::wstring& name, std::wstring* message)
{
    std::wstring recordKey = std::wstring(kApps) + L"\\" + name;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, recordKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        *message = L"No program named " + name + L" is installed.";
        return false;
    }
    Record record = ReadRecord(key);
    RegCloseKey(key);
    for (const std::wstring& file : record.files)
        DeleteFileW(HandheldPath(file).c_str());
    for (size_t i = 0; i + 1 < record.values.size(); i += 2) {
        HKEY root;
        std::wstring path;
        if (SplitKey(record.values[i], &root, &path))
            RegDeleteKeyValueW(root, path.c_str(), record.values[i + 1].substr(1).c_str());
    }
    // A key it made goes only when nothing is left in it.
    for (auto it = record.keys.rbegin(); it != record.keys.rend(); ++it) {
        HKEY root, made;
        std::wstring path;
        DWORD subkeys = 1, values = 1;
        if (!SplitKey(*it, &root, &path) ||
            RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &made) != ERROR_SUCCESS)
            continue;
        RegQueryInfoKeyW(made, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(made);
        if (!subkeys && !values)
            RegDeleteKeyW(root, path.c_str());
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, recordKey.c_str());
    *message = name + L" was removed.";
    return true;
}

}

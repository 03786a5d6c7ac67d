#include "cab_maker.h"

#include <fci.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace cab_maker {

namespace {

void Put(std::vector<BYTE>* bytes, DWORD value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes->push_back(static_cast<BYTE>(value >> (8 * i)));
}

void PutIds(std::vector<BYTE>* bytes, const std::vector<WORD>& ids)
{
    Put(bytes, static_cast<DWORD>((ids.size() + 1) * 2), 2);
    for (WORD id : ids)
        Put(bytes, id, 2);
    Put(bytes, 0, 2);
}

void PutText(std::vector<BYTE>* bytes, const std::string& text)
{
    bytes->insert(bytes->end(), text.begin(), text.end());
    bytes->push_back(0);
}

}

std::vector<BYTE> Entry(const std::string& name, const std::vector<BYTE>& data)
{
    std::vector<BYTE> entry;
    PutText(&entry, name);
    entry.insert(entry.end(), data.begin(), data.end());
    return entry;
}

std::vector<BYTE> SetupFile::Bytes() const
{
    // The sections after the 100-byte header, last first; each one's
    // offset noted for the header.
    std::vector<BYTE> body;
    DWORD keysAt = 100 + static_cast<DWORD>(body.size());
    for (size_t i = 0; i < values.size(); ++i) {
        Put(&body, static_cast<DWORD>(i + 1), 2);
        Put(&body, values[i].hive, 2);
        Put(&body, 0, 2);
        Put(&body, values[i].flags, 4);
        Put(&body, static_cast<DWORD>(values[i].entry.size()), 2);
        body.insert(body.end(), values[i].entry.begin(), values[i].entry.end());
    }
    DWORD hivesAt = 100 + static_cast<DWORD>(body.size());
    for (const auto& hive : hives) {
        Put(&body, hive.first, 2);
        Put(&body, hive.second.first, 2);
        Put(&body, 0, 2);
        PutIds(&body, hive.second.second);
    }
    DWORD filesAt = 100 + static_cast<DWORD>(body.size());
    for (const File& file : files) {
        Put(&body, file.number, 2);
        Put(&body, file.folder, 2);
        Put(&body, file.number, 2);
        Put(&body, file.flags, 4);
        Put(&body, static_cast<DWORD>(file.name.size() + 1), 2);
        PutText(&body, file.name);
    }
    DWORD foldersAt = 100 + static_cast<DWORD>(body.size());
    for (const auto& folder : folders) {
        Put(&body, folder.first, 2);
        PutIds(&body, folder.second);
    }
    DWORD stringsAt = 100 + static_cast<DWORD>(body.size());
    for (const auto& string : strings) {
        Put(&body, string.first, 2);
        Put(&body, static_cast<DWORD>(string.second.size() + 1), 2);
        PutText(&body, string.second);
    }
    DWORD linksAt = 100 + static_cast<DWORD>(body.size());
    DWORD appAt = linksAt;
    PutText(&body, appName);
    DWORD providerAt = 100 + static_cast<DWORD>(body.size());
    PutText(&body, provider);

    std::vector<BYTE> header;
    Put(&header, 0x4543534D, 4);  // "MSCE"
    Put(&header, 0, 4);
    Put(&header, 100 + static_cast<DWORD>(body.size()), 4);
    Put(&header, 0, 4);
    Put(&header, 1, 4);
    Put(&header, processor, 4);
    for (DWORD part : version)
        Put(&header, part, 4);
    Put(&header, 0, 4);  // builds: no bound
    Put(&header, 0, 4);
    for (size_t count : {strings.size(), folders.size(), files.size(), hives.size(),
                         values.size(), size_t(0)})
        Put(&header, static_cast<DWORD>(count), 2);
    for (DWORD at : {stringsAt, foldersAt, filesAt, hivesAt, keysAt, linksAt})
        Put(&header, at, 4);
    Put(&header, appAt, 2);
    Put(&header, static_cast<DWORD>(appName.size() + 1), 2);
    Put(&header, providerAt, 2);
    Put(&header, static_cast<DWORD>(provider.size() + 1), 2);
    Put(&header, 0, 2);  // no UNSUPPORTED platforms
    Put(&header, 0, 2);
    Put(&header, 0, 2);
    Put(&header, 0, 2);
    header.insert(header.end(), body.begin(), body.end());
    return header;
}

namespace {

// FCI works on files: the CRT's, through these callbacks.
FNFCIALLOC(Allocate) { return std::malloc(cb); }
FNFCIFREE(Free) { std::free(memory); }
FNFCIOPEN(Open)
{
    (void)pv;
    int file = _open(pszFile, oflag, pmode);
    *err = file < 0 ? errno : 0;
    return file;
}
FNFCIREAD(Read)
{
    (void)pv;
    int read = _read(static_cast<int>(hf), memory, cb);
    *err = read < 0 ? errno : 0;
    return static_cast<UINT>(read);
}
FNFCIWRITE(Write)
{
    (void)pv;
    int written = _write(static_cast<int>(hf), memory, cb);
    *err = written < 0 ? errno : 0;
    return static_cast<UINT>(written);
}
FNFCICLOSE(Close)
{
    (void)pv;
    *err = 0;
    return _close(static_cast<int>(hf));
}
FNFCISEEK(Seek)
{
    (void)pv;
    *err = 0;
    return _lseek(static_cast<int>(hf), dist, seektype);
}
FNFCIDELETE(Delete)
{
    (void)pv;
    *err = 0;
    return std::remove(pszFile);
}
FNFCIFILEPLACED(Placed)
{
    (void)pccab;
    (void)pszFile;
    (void)cbFile;
    (void)fContinuation;
    (void)pv;
    return 0;
}
FNFCIGETTEMPFILE(TempFile)
{
    (void)pv;
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    char name[MAX_PATH];
    GetTempFileNameA(folder, "fci", 0, name);
    DeleteFileA(name);
    return lstrlenA(name) < cbTempName && lstrcpyA(pszTempName, name) != nullptr;
}
FNFCIGETNEXTCABINET(NextCabinet)
{
    (void)pccab;
    (void)cbPrevCab;
    (void)pv;
    return FALSE;
}
FNFCISTATUS(Status)
{
    (void)typeStatus;
    (void)cb1;
    (void)cb2;
    (void)pv;
    return 0;
}
FNFCIGETOPENINFO(OpenInfo)
{
    (void)pv;
    *pdate = 0x5A81;  // 2025-04-01
    *ptime = 0x6000;  // 12:00
    *pattribs = 0;
    int file = _open(pszName, _O_RDONLY | _O_BINARY);
    *err = file < 0 ? errno : 0;
    return file;
}

std::string TempName()
{
    char folder[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "cab", 0, name);
    return name;
}

bool WriteFile(const std::string& path, const std::vector<BYTE>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}

std::vector<BYTE> Pack(const std::vector<std::pair<std::string, std::vector<BYTE>>>& files)
{
    std::string cabinet = TempName();
    CCAB where = {};
    where.cb = 0x7FFFFFFF;
    where.cbFolderThresh = 0x7FFFFFFF;
    size_t slash = cabinet.find_last_of('\\');
    lstrcpyA(where.szCabPath, cabinet.substr(0, slash + 1).c_str());
    lstrcpyA(where.szCab, cabinet.substr(slash + 1).c_str());
    ERF erf = {};
    HFCI fci = FCICreate(&erf, Placed, Allocate, Free, Open, Read, Write, Close, Seek, Delete,
                         TempFile, &where, nullptr);
    std::vector<std::string> sources;
    bool ok = fci != nullptr;
    for (const auto& file : files) {
        sources.push_back(TempName());
        std::vector<char> name(file.first.begin(), file.first.end());
        name.push_back(0);
        ok = ok && WriteFile(sources.back(), file.second) &&
             FCIAddFile(fci, &sources.back()[0], name.data(), FALSE, NextCabinet, Status,
                        OpenInfo, tcompTYPE_NONE);
    }
    ok = ok && FCIFlushCabinet(fci, FALSE, NextCabinet, Status);
    if (fci)
        FCIDestroy(fci);
    for (const std::string& source : sources)
        DeleteFileA(source.c_str());
    std::vector<BYTE> bytes;
    if (FILE* file = ok ? std::fopen(cabinet.c_str(), "rb") : nullptr) {
        BYTE chunk[4096];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(file);
    }
    DeleteFileA(cabinet.c_str());
    return bytes;
}

}

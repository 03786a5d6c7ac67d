#include "cabinet.h"

#include <fdi.h>
#include <fcntl.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace cabinet {

namespace {

// FDI reads and writes through the callbacks below, which here work on
// memory: the cabinet given, and one buffer for each file it holds. The
// installer reads one cabinet at a time.
struct Stream {
    std::vector<BYTE> bytes;
    size_t at = 0;
    std::string name;
    FILETIME written = {};
};
std::vector<std::unique_ptr<Stream>> g_streams;
const std::vector<BYTE>* g_cabinet;
const char kCabinetName[] = "cabinet";

INT_PTR NewStream()
{
    g_streams.push_back(std::make_unique<Stream>());
    return static_cast<INT_PTR>(g_streams.size());
}

Stream* StreamOf(INT_PTR handle)
{
    return handle > 0 && static_cast<size_t>(handle) <= g_streams.size()
               ? g_streams[handle - 1].get()
               : nullptr;
}

FNALLOC(Allocate)
{
    return std::malloc(cb);
}

FNFREE(Free)
{
    std::free(pv);
}

FNOPEN(Open)
{
    (void)oflag;
    (void)pmode;
    if (std::strcmp(pszFile, kCabinetName) != 0)
        return -1;
    INT_PTR handle = NewStream();
    StreamOf(handle)->bytes = *g_cabinet;
    return handle;
}

FNREAD(Read)
{
    Stream* stream = StreamOf(hf);
    if (!stream)
        return static_cast<UINT>(-1);
    size_t left = stream->bytes.size() - std::min(stream->at, stream->bytes.size());
    UINT read = static_cast<UINT>(std::min<size_t>(cb, left));
    std::memcpy(pv, stream->bytes.data() + stream->at, read);
    stream->at += read;
    return read;
}

FNWRITE(Write)
{
    Stream* stream = StreamOf(hf);
    if (!stream)
        return static_cast<UINT>(-1);
    const BYTE* bytes = static_cast<const BYTE*>(pv);
    if (stream->bytes.size() < stream->at + cb)
        stream->bytes.resize(stream->at + cb);
    std::memcpy(stream->bytes.data() + stream->at, bytes, cb);
    stream->at += cb;
    return cb;
}

FNCLOSE(Close)
{
    return StreamOf(hf) ? 0 : -1;
}

FNSEEK(Seek)
{
    Stream* stream = StreamOf(hf);
    if (!stream)
        return -1;
    long base = seektype == SEEK_SET ? 0
                : seektype == SEEK_CUR ? static_cast<long>(stream->at)
                                       : static_cast<long>(stream->bytes.size());
    if (base + dist < 0)
        return -1;
    stream->at = base + dist;
    return static_cast<long>(stream->at);
}

struct Extraction {
    std::vector<INT_PTR> files;
};

FNFDINOTIFY(Notify)
{
    auto* extraction = static_cast<Extraction*>(pfdin->pv);
    switch (fdint) {
    case fdintCOPY_FILE: {
        INT_PTR handle = NewStream();
        Stream* file = StreamOf(handle);
        file->name = pfdin->psz1;
        FILETIME local;
        if (DosDateTimeToFileTime(pfdin->date, pfdin->time, &local))
            LocalFileTimeToFileTime(&local, &file->written);
        extraction->files.push_back(handle);
        return handle;
    }
    case fdintCLOSE_FILE_INFO:
        return TRUE;
    default:
        return 0;
    }
}

// The number in a name such as "KEYBOARD.001": its three-digit extension.
int NumberOf(const std::string& name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != 4)
        return -1;
    int number = 0;
    for (size_t i = dot + 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

}

bool Read(const std::vector<BYTE>& bytes, std::map<int, File>* files,
          std::string* error)
{
    g_streams.clear();
    g_cabinet = &bytes;
    ERF erf = {};
    HFDI fdi = FDICreate(Allocate, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf);
    if (!fdi) {
        *error = "the cabinet library could not be started";
        return false;
    }
    Extraction extraction;
    char name[sizeof kCabinetName];
    char path[] = "";
    std::memcpy(name, kCabinetName, sizeof name);
    BOOL copied = FDICopy(fdi, name, path, 0, Notify, nullptr, &extraction);
    FDIDestroy(fdi);
    if (!copied) {
        *error = "it is no whole cabinet (the cabinet library's error " +
                 std::to_string(erf.erfOper) + ")";
        return false;
    }
    for (INT_PTR handle : extraction.files) {
        Stream* file = StreamOf(handle);
        int number = NumberOf(file->name);
        if (number < 0 || files->count(number)) {
            *error = "its file " + file->name + " has no number of its own";
            return false;
        }
        (*files)[number] = {file->bytes, file->written};
    }
    g_streams.clear();
    return true;
}

}

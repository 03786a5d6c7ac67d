#include "handheld.h"

#include "entries.h"
#include "image.h"
#include "machine.h"
#include "narrow.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace arm {

namespace {

const DWORD kProcessAttach = 1;
const DWORD kProcessDetach = 0;

struct Loaded {
    std::unique_ptr<Image> image;
    int loads;
};

// Keyed by module handle: the image's base.
std::map<HMODULE, Loaded> g_loaded;

std::wstring FullPath(const wchar_t* path)
{
    wchar_t found[MAX_PATH];
    DWORD length = SearchPathW(nullptr, path, nullptr, MAX_PATH, found, nullptr);
    return length && length < MAX_PATH ? std::wstring(found, length) : path;
}

// The stand-in's export for an import, from the library the image names.
DWORD Bind(const std::string& library, const std::string& name, std::wstring* error)
{
    HMODULE standIn = GetModuleHandleA(library.c_str());
    if (!standIn)
        standIn = LoadLibraryA(library.c_str());
    FARPROC function = standIn ? GetProcAddress(standIn, name.c_str()) : nullptr;
    if (!function) {
        *error = L"imports " + std::wstring(library.begin(), library.end()) + L"!" +
                 std::wstring(name.begin(), name.end()) + L", which the handheld does not have";
        return 0;
    }
    return Machine::Get().ImportSlot(name.c_str(), function);
}

DWORD CallEntry(const Image& image, DWORD reason)
{
    const DWORD arguments[] = {image.Base(), reason, 0};
    return Machine::Get().Call(image.EntryPoint(), arguments, 3);
}

}

bool IsArmImage(const wchar_t* path)
{
    return IsArmImageFile(FullPath(path));
}

HMODULE LoadImage(const wchar_t* path)
{
    std::wstring full = FullPath(path);
    for (auto& [module, loaded] : g_loaded) {
        if (lstrcmpiW(loaded.image->Path().c_str(), full.c_str()) == 0) {
            ++loaded.loads;
            return module;
        }
    }
    std::wstring error;
    std::unique_ptr<Image> image = Image::Load(full, Bind, &error);
    if (!image) {
        std::fprintf(stderr, "handheld: %s %s\n", Narrow(full).c_str(), Narrow(error).c_str());
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    Machine::Get().Attach(image.get());
    if (image->EntryPoint() && !CallEntry(*image, kProcessAttach)) {
        Machine::Get().Detach(image.get());
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    HMODULE module = image->Module();
    g_loaded[module] = {std::move(image), 1};
    return module;
}

bool IsLoaded(HMODULE module)
{
    return g_loaded.count(module) != 0;
}

FARPROC ProcAddress(HMODULE module, const char* name)
{
    auto found = g_loaded.find(module);
    DWORD address = found != g_loaded.end() ? found->second.image->Export(name) : 0;
    if (!address) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return BindEntry(address, 4);
}

FARPROC EntryPoint(HMODULE module)
{
    auto found = g_loaded.find(module);
    if (found == g_loaded.end() || !found->second.image->EntryPoint())
        return nullptr;
    return BindEntry(found->second.image->EntryPoint(), 3);
}

bool FreeImage(HMODULE module)
{
    auto found = g_loaded.find(module);
    if (found == g_loaded.end())
        return false;
    if (--found->second.loads > 0)
        return true;
    const Image& image = *found->second.image;
    if (image.EntryPoint())
        CallEntry(image, kProcessDetach);
    Machine::Get().Detach(&image);
    g_loaded.erase(found);
    return true;
}

HMODULE ServedImage()
{
    if (g_loaded.empty())
        return nullptr;
    return ImageHolding(reinterpret_cast<const void*>(Machine::Get().ServedCaller()));
}

HMODULE ImageHolding(const void* address)
{
    for (const auto& [module, loaded] : g_loaded) {
        if (loaded.image->Holds(reinterpret_cast<DWORD>(address)))
            return module;
    }
    return nullptr;
}

const char* ProcessorName()
{
    return g_loaded.empty() ? nullptr : Machine::Get().ProcessorName();
}

unsigned long long Instructions()
{
    return g_loaded.empty() ? 0 : Machine::Get().Instructions();
}

}

#include "cpl_module.h"

#include <cstring>

CplRequest ParseCplRequest(const std::wstring& argument)
{
    size_t comma = argument.rfind(L',');
    if (comma == std::wstring::npos)
        return {argument, -1};
    return {argument.substr(0, comma), std::wcstol(argument.c_str() + comma + 1, nullptr, 10)};
}

bool CplLibrary::Load(const std::wstring& path, std::wstring* error)
{
    module_ = LoadLibraryW(path.c_str());
    if (!module_) {
        *error = L"cannot load " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    entry_ = reinterpret_cast<APPLET_PROC>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CPlApplet")));
    if (!entry_) {
        *error = path + L" exports no CPlApplet";
        Free();
        return false;
    }
    return true;
}

void CplLibrary::Free()
{
    if (module_)
        FreeLibrary(module_);
    module_ = nullptr;
    entry_ = nullptr;
}

bool CplModule::Load(const std::wstring& path, std::wstring* error)
{
    if (!library_.Load(path, error))
        return false;
    if (!library_.Entry()(nullptr, CPL_INIT, 0, 0)) {
        *error = path + L" refused CPL_INIT";
        library_.Free();
        return false;
    }
    LONG count = library_.Entry()(nullptr, CPL_GETCOUNT, 0, 0);
    for (LONG i = 0; i < count; ++i)
        applets_.push_back(Inquire(i));
    return true;
}

// The record starts zeroed and its names are cut to their arrays, so an
// applet that fills nothing, or fills without terminators, reads as empty
// or truncated rather than as whatever followed in memory. One that leaves
// the record untouched is asked the older way, for resource ids.
CplApplet CplModule::Inquire(UINT index)
{
    NEWCPLINFOW record;
    std::memset(&record, 0, sizeof record);
    library_.Entry()(nullptr, CPL_NEWINQUIRE, index, reinterpret_cast<LPARAM>(&record));
    record.szName[std::size(record.szName) - 1] = 0;
    record.szInfo[std::size(record.szInfo) - 1] = 0;
    if (record.dwSize == sizeof record)
        return {record.szName, record.szInfo, record.hIcon, record.lData};

    CPLINFO old;
    std::memset(&old, 0, sizeof old);
    library_.Entry()(nullptr, CPL_INQUIRE, index, reinterpret_cast<LPARAM>(&old));
    wchar_t name[64] = L"";
    wchar_t info[128] = L"";
    HMODULE module = library_.Module();
    LoadStringW(module, old.idName, name, std::size(name));
    LoadStringW(module, old.idInfo, info, std::size(info));
    return {name, info, LoadIconW(module, MAKEINTRESOURCEW(old.idIcon)), old.lData};
}

LONG CplModule::Open(size_t index)
{
    return library_.Entry()(nullptr, CPL_DBLCLK, index, applets_.at(index).data);
}

void CplModule::Unload()
{
    if (!library_.Module())
        return;
    for (size_t i = 0; i < applets_.size(); ++i)
        library_.Entry()(nullptr, CPL_STOP, i, applets_[i].data);
    library_.Entry()(nullptr, CPL_EXIT, 0, 0);
    library_.Free();
}

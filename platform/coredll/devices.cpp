// Stream devices, as the handheld's device manager serves them: a name such
// as "KPD1:" is a driver registered under HKLM\Drivers\BuiltIn, loaded on
// first use and reached through its XXX_Init/Open/IOControl/Close entries.
// On the handheld the drivers live in the device manager's process; here
// each process loads its own.
#include "coredll_test.h"
#include "journal.h"
#include "registry_dword.h"

#include <map>
#include <mutex>
#include <string>

using namespace journal;

namespace {

typedef DWORD (*InitEntry)(LPCWSTR activeKey, LPCVOID busContext);
typedef DWORD (*OpenEntry)(DWORD device, DWORD access, DWORD share);
typedef BOOL (*CloseEntry)(DWORD open);
typedef BOOL (*IOControlEntry)(DWORD open, DWORD code, PBYTE in, DWORD inSize, PBYTE out,
                               DWORD outSize, PDWORD actualOut);

struct Driver {
    DWORD device;  // what XXX_Init returned
    OpenEntry open;
    CloseEntry close;
    IOControlEntry ioControl;
    std::wstring activeKey;
};

struct OpenDevice {
    Driver* driver;
    DWORD open;  // what XXX_Open returned
};

const wchar_t kBuiltInKey[] = L"Drivers\\BuiltIn";
const wchar_t kActiveKey[] = L"Drivers\\Active";

std::recursive_mutex g_lock;
std::map<std::wstring, Driver> g_drivers;  // by device name, once loaded
std::map<HANDLE, OpenDevice> g_openDevices;

bool IsDeviceName(LPCWSTR name)
{
    if (!name)
        return false;
    for (int i = 0; i < 3; ++i)
        if (name[i] < L'A' || name[i] > L'Z')
            return false;
    return name[3] >= L'0' && name[3] <= L'9' && name[4] == L':' && name[5] == 0;
}

std::wstring ReadString(HKEY key, LPCWSTR name)
{
    wchar_t text[MAX_PATH] = {};
    DWORD type;
    DWORD size = sizeof text - sizeof text[0];
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::wstring();
    return text;
}

// The BuiltIn subkey whose Prefix and Index make up `name`, or "".
std::wstring FindBuiltIn(const std::wstring& name)
{
    HKEY builtIn;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBuiltInKey, 0, KEY_READ, &builtIn) != ERROR_SUCCESS)
        return std::wstring();
    std::wstring found;
    wchar_t subKey[MAX_PATH];
    for (DWORD i = 0; found.empty(); ++i) {
        DWORD length = MAX_PATH;
        if (RegEnumKeyExW(builtIn, i, subKey, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY driver;
        if (RegOpenKeyExW(builtIn, subKey, 0, KEY_READ, &driver) != ERROR_SUCCESS)
            continue;
        std::wstring prefix = ReadString(driver, L"Prefix");
        DWORD index = ReadRegistryDword(driver, L"Index").value_or(1);
        if (prefix + std::to_wstring(index) + L":" == name)
            found = std::wstring(kBuiltInKey) + L"\\" + subKey;
        RegCloseKey(driver);
    }
    RegCloseKey(builtIn);
    return found;
}

// Records the loaded driver under Drivers\Active\NN, the key the driver is
// handed at init; returns that key's path, or "" when none could be made.
std::wstring RecordActive(const std::wstring& builtIn, const std::wstring& name)
{
    for (int n = 1; n < 100; ++n) {
        wchar_t path[64];
        swprintf(path, 64, L"%ls\\%02d", kActiveKey, n);
        HKEY key;
        DWORD disposition;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
            return std::wstring();
        if (disposition == REG_CREATED_NEW_KEY) {
            RegSetValueExW(key, L"Key", 0, REG_SZ, reinterpret_cast<const BYTE*>(builtIn.c_str()),
                           (builtIn.size() + 1) * sizeof(wchar_t));
            RegSetValueExW(key, L"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                           (name.size() + 1) * sizeof(wchar_t));
            RegCloseKey(key);
            return path;
        }
        RegCloseKey(key);
    }
    return std::wstring();
}

template <typename Entry>
Entry DriverEntry(HMODULE module, const std::wstring& prefix, const char* suffix)
{
    std::string name(prefix.begin(), prefix.end());
    // Through void*: FARPROC's own type says nothing about the entry's.
    return reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(module, (name + suffix).c_str())));
}

// Loads and initialises the driver for `name`; null when there is none or
// it refuses to start. Called with the lock held.
Driver* LoadDriver(const std::wstring& name)
{
    auto loaded = g_drivers.find(name);
    if (loaded != g_drivers.end())
        return &loaded->second;

    std::wstring builtIn = FindBuiltIn(name);
    HKEY key;
    if (builtIn.empty() || RegOpenKeyExW(HKEY_LOCAL_MACHINE, builtIn.c_str(), 0, KEY_READ, &key) !=
                               ERROR_SUCCESS)
        return nullptr;
    std::wstring dll = ReadString(key, L"Dll");
    std::wstring prefix = ReadString(key, L"Prefix");
    RegCloseKey(key);

    HMODULE module = LoadLibraryW(dll.c_str());
    if (!module)
        return nullptr;
    auto init = DriverEntry<InitEntry>(module, prefix, "_Init");
    Driver driver = {0, DriverEntry<OpenEntry>(module, prefix, "_Open"),
                     DriverEntry<CloseEntry>(module, prefix, "_Close"),
                     DriverEntry<IOControlEntry>(module, prefix, "_IOControl"),
                     RecordActive(builtIn, name)};
    if (init && driver.open && driver.close && driver.ioControl && !driver.activeKey.empty())
        driver.device = init(driver.activeKey.c_str(), nullptr);
    if (!driver.device) {
        if (!driver.activeKey.empty())
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, driver.activeKey.c_str());
        FreeLibrary(module);
        return nullptr;
    }
    return &(g_drivers[name] = driver);
}

HANDLE OpenStreamDevice(LPCWSTR name, DWORD access, DWORD share)
{
    std::lock_guard<std::recursive_mutex> hold(g_lock);
    Driver* driver = LoadDriver(name);
    if (!driver) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    DWORD open = driver->open(driver->device, access, share);
    if (!open) {
        if (GetLastError() == ERROR_SUCCESS)
            SetLastError(ERROR_OPEN_FAILED);
        return INVALID_HANDLE_VALUE;
    }
    // A real handle of this process stands for the open device, so that a
    // device handle nobody closes shows up like any other leaked handle.
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_openDevices[handle] = {driver, open};
    return handle;
}

bool FindOpenDevice(HANDLE handle, OpenDevice* device)
{
    std::lock_guard<std::recursive_mutex> hold(g_lock);
    auto found = g_openDevices.find(handle);
    if (found == g_openDevices.end())
        return false;
    *device = found->second;
    return true;
}

std::string HandleName(HANDLE handle)
{
    OpenDevice device;
    if (FindOpenDevice(handle, &device))
        return "dev";
    if (handle == INVALID_HANDLE_VALUE)
        return "INVALID_HANDLE_VALUE";
    return Hex(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(handle)));
}

}

extern "C" {

HANDLE WINAPI CeCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE templateFile)
{
    Call call(JOURNAL_CALLER, "CreateFileW",
              {Text(name), Hex(access), Dec(share), Pointer(security), Dec(disposition), Hex(flags),
               Pointer(templateFile)});
    if (call.Injected())
        return call.Fails(INVALID_HANDLE_VALUE, "INVALID_HANDLE_VALUE");
    HANDLE handle = IsDeviceName(name) ? OpenStreamDevice(name, access, share)
                                       : CreateFileW(name, access, share, security, disposition,
                                                     flags, templateFile);
    return call.Returns(handle, HandleName(handle));
}

BOOL WINAPI CeDeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                              DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped)
{
    Call call(JOURNAL_CALLER, "DeviceIoControl",
              {HandleName(handle), Hex(code), Pointer(in), Dec(inSize), Pointer(out),
               Dec(outSize), Pointer(returned), Pointer(overlapped)});
    if (call.Injected())
        return call.Fails(FALSE, "0");
    BOOL done;
    OpenDevice device;
    if (FindOpenDevice(handle, &device)) {
        done = device.driver->ioControl(device.open, code, static_cast<PBYTE>(in), inSize,
                                        static_cast<PBYTE>(out), outSize, returned);
    } else {
        // The handheld accepts a null bytes-returned pointer; Win32 does not.
        DWORD ignored;
        if (!returned && !overlapped)
            returned = &ignored;
        done = DeviceIoControl(handle, code, in, inSize, out, outSize, returned, overlapped);
    }
    return call.Returns(done, Dec(done));
}

BOOL WINAPI CeCloseHandle(HANDLE handle)
{
    Call call(JOURNAL_CALLER, "CloseHandle", {HandleName(handle)});
    if (call.Injected())
        return call.Fails(FALSE, "0");
    OpenDevice device = {};
    {
        std::lock_guard<std::recursive_mutex> hold(g_lock);
        auto found = g_openDevices.find(handle);
        if (found != g_openDevices.end()) {
            device = found->second;
            g_openDevices.erase(found);
        }
    }
    if (device.driver)
        device.driver->close(device.open);
    BOOL done = CloseHandle(handle);
    return call.Returns(done, Dec(done));
}

int CoreOpenDeviceCount(void)
{
    std::lock_guard<std::recursive_mutex> hold(g_lock);
    return static_cast<int>(g_openDevices.size());
}

}

// The record of active drivers belongs to this process's device manager;
// it goes when the process does.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        for (const auto& loaded : g_drivers)
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, loaded.second.activeKey.c_str());
    return TRUE;
}

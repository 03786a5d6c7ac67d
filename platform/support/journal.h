// The journal of the handheld calls the stand-ins serve, written by each
// wrapped call as "Name(arguments) = result" in the order the calls were
// made. The journal itself lives in the COREDLL stand-in; the shell's
// stand-in writes to it as well. Both images make their calls here, the
// ARM one's made for it by the handheld's ARM core, so that one expected
// journal serves both: handles are named by their role, not their value.
#pragma once

#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <string>

// The address the wrapped call returns to, in its caller.
#define JOURNAL_CALLER __builtin_return_address(0)

extern "C" {
// Records `entry` for a call from `caller`: its sequence number, or -1 when
// calls from there are not journaled. *injected is the error injected into
// this call, or 0.
typedef int(WINAPI* CoreJournalCallEntry)(const void* caller, const char* entry,
                                          DWORD* injected);
typedef void(WINAPI* CoreJournalReturnEntry)(int call, const char* result);
// The module a call from `caller` comes from: the ARM image, for a call
// the handheld's ARM core made on an image's behalf.
typedef HMODULE(WINAPI* CoreCallerModuleEntry)(const void* caller);
}

namespace journal {

// How arguments and results are written.
inline std::string Dec(DWORD value)
{
    return std::to_string(value);
}

inline std::string Signed(LONG_PTR value)
{
    return std::to_string(value);
}

inline std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(value));
    return text;
}

// "..." with characters beyond ASCII as \uXXXX, or NULL.
inline std::string Text(LPCWSTR text)
{
    if (!text)
        return "NULL";
    std::string quoted = "\"";
    for (; *text; ++text) {
        if (*text < 0x80) {
            quoted += static_cast<char>(*text);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(*text));
            quoted += escape;
        }
    }
    return quoted + "\"";
}

// A resource's name: its number, or its text.
inline std::string Resource(LPCWSTR name)
{
    return IS_INTRESOURCE(name) ? Dec(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(name)))
                                : Text(name);
}

inline std::string Pointer(const void* pointer)
{
    return pointer ? "ptr" : "NULL";
}

// Hex bytes, or NULL.
inline std::string Bytes(const BYTE* data, DWORD size)
{
    if (!data)
        return "NULL";
    std::string hex;
    for (DWORD i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", data[i]);
        hex += pair;
    }
    return hex;
}

// HKLM and the other roots by name, every other key as "key".
inline std::string Key(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    if (key == HKEY_CURRENT_USER) return "HKCU";
    if (key == HKEY_CLASSES_ROOT) return "HKCR";
    if (key == HKEY_USERS) return "HKU";
    return key ? "key" : "NULL";
}

// A dialog as "dlg", the shell's menu bar as "bar", another window by its
// handle.
inline std::string Window(HWND window)
{
    if (!window)
        return "NULL";
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    if (lstrcmpW(className, L"#32770") == 0)
        return "dlg";
    if (lstrcmpW(className, L"ShellMenuBar") == 0)
        return "bar";
    return Hex(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window)));
}

struct EntryPoints {
    CoreJournalCallEntry call;
    CoreJournalReturnEntry ret;
    CoreCallerModuleEntry callerModule;
};

// Found at run time, so that no stand-in links against another one's
// import library for them.
inline const EntryPoints& Entries()
{
    static const EntryPoints entries = [] {
        HMODULE coredll = GetModuleHandleW(L"coredll.dll");
        auto find = [coredll](const char* name) {
            return reinterpret_cast<void*>(GetProcAddress(coredll, name));
        };
        return EntryPoints{reinterpret_cast<CoreJournalCallEntry>(find("CoreJournalCall")),
                           reinterpret_cast<CoreJournalReturnEntry>(find("CoreJournalReturn")),
                           reinterpret_cast<CoreCallerModuleEntry>(find("CoreCallerModule"))};
    }();
    return entries;
}

inline HMODULE CallerModule(const void* caller)
{
    return Entries().callerModule ? Entries().callerModule(caller) : nullptr;
}

// The caller's own module as "module", another by its handle.
inline std::string Module(HMODULE module, const void* caller)
{
    if (module && module == CallerModule(caller))
        return "module";
    return module ? Hex(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(module))) : "NULL";
}

// The DWORD a pointer points at, as &value, or NULL.
inline std::string PointedDword(const DWORD* value)
{
    return value ? "&" + Dec(*value) : "NULL";
}

// One journaled call: recorded when it is made, its result added when it
// returns, so that the calls it makes in between (a dialog's procedure
// inside DialogBoxIndirectParamW) follow it.
class Call {
public:
    Call(const void* caller, const char* function, std::initializer_list<std::string> args)
    {
        std::string entry = function;
        entry += '(';
        const char* separator = "";
        for (const std::string& arg : args) {
            entry += separator;
            entry += arg;
            separator = ", ";
        }
        entry += ')';
        if (Entries().call)
            number_ = Entries().call(caller, entry.c_str(), &injected_);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // The error injected into this call, or 0 when it is to run normally.
    DWORD Injected() const { return injected_; }

    // Records the result, shown as `shown`, and returns it.
    template <typename T>
    T Returns(T result, const std::string& shown)
    {
        if (number_ >= 0 && Entries().ret)
            Entries().ret(number_, shown.c_str());
        return result;
    }

    // An injected failure: the call's failure value, the error as the last
    // error.
    template <typename T>
    T Fails(T result, const std::string& shown)
    {
        SetLastError(injected_);
        return Returns(result, shown);
    }

    // The call made by `serve`, or `failure` when one is injected; the
    // result shown by `show`.
    template <typename T, typename Serve, typename Show>
    T Serves(T failure, Serve serve, Show show)
    {
        if (injected_)
            return Fails(failure, show(failure));
        T result = serve();
        return Returns(result, show(result));
    }

private:
    int number_ = -1;
    DWORD injected_ = 0;
};


}

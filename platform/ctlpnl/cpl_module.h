// Control Panel libraries as the handheld's host loads and drives them.
#pragma once

#include <windows.h>
#include <cpl.h>

#include <string>
#include <vector>

struct CplApplet {
    std::wstring name;
    std::wstring info;
    HICON icon;
    LONG_PTR data;
};

// One argument of a host's command line: FILE.cpl, or FILE.cpl,N naming
// applet N.
struct CplRequest {
    std::wstring path;
    long applet;  // -1 when the argument names none
};

CplRequest ParseCplRequest(const std::wstring& argument);

// A Control Panel library and its entry, loaded and nothing asked of it
// yet. The library is freed with the object.
class CplLibrary {
public:
    // False, with a reason, when the file does not load or exports no
    // CPlApplet.
    bool Load(const std::wstring& path, std::wstring* error);
    void Free();

    HMODULE Module() const { return module_; }
    APPLET_PROC Entry() const { return entry_; }

    CplLibrary() = default;
    CplLibrary(const CplLibrary&) = delete;
    CplLibrary& operator=(const CplLibrary&) = delete;
    ~CplLibrary() { Free(); }

private:
    HMODULE module_ = nullptr;
    APPLET_PROC entry_ = nullptr;
};

// A Control Panel library as the handheld's host drives it.
class CplModule {
public:
    // Loads the library and runs CPL_INIT, CPL_GETCOUNT and CPL_NEWINQUIRE
    // for each applet; false, with a reason, when the library is unusable.
    bool Load(const std::wstring& path, std::wstring* error);
    // CPL_STOP for each applet, CPL_EXIT, and unload.
    void Unload();

    const std::vector<CplApplet>& Applets() const { return applets_; }
    HMODULE Module() const { return library_.Module(); }
    // CPL_DBLCLK: returns when the applet is done with the user.
    LONG Open(size_t index);

    ~CplModule() { Unload(); }

private:
    CplApplet Inquire(UINT index);

    CplLibrary library_;
    std::vector<CplApplet> applets_;
};

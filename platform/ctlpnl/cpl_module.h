// A Control Panel library as the handheld's host drives it.
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

class CplModule {
public:
    // Loads the library and runs CPL_INIT, CPL_GETCOUNT and CPL_NEWINQUIRE
    // for each applet; false, with a reason, when the library is unusable.
    bool Load(const std::wstring& path, std::wstring* error);
    // CPL_STOP for each applet, CPL_EXIT, and unload.
    void Unload();

    const std::vector<CplApplet>& Applets() const { return applets_; }
    // CPL_DBLCLK: returns when the applet is done with the user.
    LONG Open(size_t index);

    ~CplModule() { Unload(); }

private:
    CplApplet Inquire(UINT index);

    HMODULE module_ = nullptr;
    APPLET_PROC entry_ = nullptr;
    std::vector<CplApplet> applets_;
};

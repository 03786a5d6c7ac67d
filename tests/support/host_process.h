// The handheld's Control Panel host (ctlpnl.exe beside the test program),
// or another of its programs, run in a process of its own, with what it
// prints kept for the end.
#pragma once

#include <windows.h>

#include <string>

namespace handheld {

class HostProcess {
public:
    // `arguments` as the host takes them: "keyboard.cpl,0" opens Keyboard,
    // "keyboard.cpl" shows the Settings screen.
    explicit HostProcess(const std::wstring& arguments, const wchar_t* program = L"ctlpnl.exe");
    // Ends the host if it is still running.
    ~HostProcess();

    bool Started() const { return started_; }
    DWORD Id() const { return process_.dwProcessId; }

    // Whether the host ends by itself in time, with exit status 0.
    bool Ends();
    // Its exit status once it has ended by itself; ~0 when it did not in
    // time.
    DWORD ExitCode();
    // What the host printed, once it has ended; an empty text when it did
    // not end in time.
    std::string Output();

private:
    std::wstring outputPath_;
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
};

}

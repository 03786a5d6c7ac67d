// The handheld's ARM processor as the host and the stand-ins meet it: one
// emulated core per process, of the model KBD_CPU names ("pxa270", the
// default, or "ti925t"), that runs the ARM images' code on the thread that
// loaded the first of them.
//
// Calls leave the core at every import: each import's slot holds an
// address with no code, where the core stops; the stand-in's export is then
// called on the host's thread, outside the emulator, and the core resumes
// at the return address with its result. A procedure of the image that a
// stand-in calls back (a dialog's, from inside DialogBoxIndirectParamW)
// starts the core again, as deep as the calls go. What the device would
// trap ends the process with one line saying what happened and where.
#pragma once

#include "arm_core.h"
#include "image.h"

#include <windows.h>

#include <string>
#include <vector>

namespace arm {

class Machine {
public:
    // The process's machine, made when first asked for; a machine that
    // cannot be made ends the process, saying why.
    static Machine& Get();

    // "PXA270" or "TI925T".
    const char* ProcessorName() const { return processor_; }
    unsigned long long Instructions() const;

    // The address an image's import slot holds for `name`, served by the
    // stand-in's `function`.
    DWORD ImportSlot(const char* name, FARPROC function);
    // The core sees the image's sections, with their protections.
    void Attach(const Image* image);
    void Detach(const Image* image);

    // Runs the ARM code at `address` with up to four arguments, as the
    // platform calls a library from Thumb code, and returns its r0.
    DWORD Call(DWORD address, const DWORD* arguments, int count);

    // During a stand-in's call made by ARM code on this thread: the ARM
    // code's return address; 0 otherwise.
    DWORD ServedCaller() const;

    // Ends the process with "handheld: WHAT" on the error output.
    [[noreturn]] static void Fault(const std::string& what);
    // The address as "0x…" and, inside an image, "NAME+0x…".
    std::string Where(DWORD address) const;

private:
    struct Import {
        FARPROC function;
        int procedureArgument;  // the argument that is a procedure, or -1
    };

    Machine();
    void Serve(const Import& import);
    [[noreturn]] void Stopped(const ArmStop& stop);

    ArmCore* core_ = nullptr;
    const char* processor_ = nullptr;
    DWORD thread_ = 0;
    BYTE* gate_ = nullptr;      // import slots and the return address: no code
    BYTE* stack_ = nullptr;     // a guard below, then the stack
    DWORD stackTop_ = 0;
    ArmRegisters registers_ = {};
    int depth_ = 0;
    std::vector<Import> imports_;
    std::vector<DWORD> served_;  // return addresses of the stand-ins' calls under way
    std::vector<const Image*> images_;
};

}

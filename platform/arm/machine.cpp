#include "machine.h"

#include "entries.h"
#include "narrow.h"

#include <cstdio>
#include <cstring>

namespace arm {

namespace {

const DWORD kStackSize = 64 * 1024;  // as a handheld's thread gets
const DWORD kGuardSize = 64 * 1024;  // below it, reserved and never committed
const DWORD kGateSize = 64 * 1024;
// What an import may take on the stack beyond r0-r3: RegCreateKeyExW, the
// longest, takes five.
const int kStackArguments = 8;
const DWORD kThumb = 1;
const DWORD kFaultStatus = 3;

// The core's entry points, from the Winelib module beside this library.
struct Core {
    decltype(&arm_core_open) open;
    decltype(&arm_core_map) map;
    decltype(&arm_core_unmap) unmap;
    decltype(&arm_core_instructions) instructions;
    decltype(&arm_core_run) run;
    decltype(&arm_core_forget) forget;
    decltype(&arm_core_error_text) errorText;
};
Core g_core;

template <typename T>
void Find(HMODULE module, const char* name, T* entry)
{
    *entry = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!*entry)
        Machine::Fault(std::string("the ARM core has no ") + name);
}

std::wstring FolderOfThisLibrary()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&FolderOfThisLibrary), &self);
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

void LoadCore()
{
    std::wstring path = FolderOfThisLibrary() + L"armcore.dll.so";
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module)
        Machine::Fault("the ARM core (armcore.dll.so) did not load, error " +
                       std::to_string(GetLastError()));
    Find(module, "arm_core_open", &g_core.open);
    Find(module, "arm_core_map", &g_core.map);
    Find(module, "arm_core_unmap", &g_core.unmap);
    Find(module, "arm_core_instructions", &g_core.instructions);
    Find(module, "arm_core_run", &g_core.run);
    Find(module, "arm_core_forget", &g_core.forget);
    Find(module, "arm_core_error_text", &g_core.errorText);
}

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// Calls `function` with `count` 32-bit arguments whatever its calling
// convention: the stack pointer is put back afterwards, so a function that
// pops its arguments (stdcall) and one that leaves them (cdecl) both
// return here as they should.
__attribute__((noinline)) DWORD CallNative(FARPROC function, const DWORD* arguments, int count)
{
    DWORD result;
    asm volatile(
        "movl %%esp, %%edi\n\t"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%%esi,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "call *%%ebx\n\t"
        "movl %%edi, %%esp\n\t"
        : "=a"(result), "+c"(count)
        : "b"(function), "S"(arguments)
        : "edx", "edi", "memory", "cc");
    return result;
}

}

Machine& Machine::Get()
{
    static Machine* machine = new Machine;
    return *machine;
}

Machine::Machine()
{
    LoadCore();
    char model[16] = "pxa270";
    DWORD length = GetEnvironmentVariableA("KBD_CPU", model, sizeof model);
    if (length >= sizeof model)
        Fault("KBD_CPU names no processor of the handheld (pxa270, ti925t)");
    core_ = g_core.open(model);
    if (!core_)
        Fault(std::string("KBD_CPU names no processor of the handheld (pxa270, ti925t): ") +
              model);
    processor_ = std::strcmp(model, "ti925t") == 0 ? "TI925T" : "PXA270";
    thread_ = GetCurrentThreadId();

    gate_ = static_cast<BYTE*>(VirtualAlloc(nullptr, kGateSize, MEM_RESERVE, PAGE_NOACCESS));
    stack_ = static_cast<BYTE*>(
        VirtualAlloc(nullptr, kGuardSize + kStackSize, MEM_RESERVE, PAGE_NOACCESS));
    if (!gate_ || !stack_ ||
        !VirtualAlloc(stack_ + kGuardSize, kStackSize, MEM_COMMIT, PAGE_READWRITE) ||
        !g_core.map(core_, reinterpret_cast<DWORD>(stack_) + kGuardSize, kStackSize,
                    ARM_READ | ARM_WRITE))
        Fault("the ARM core's stack could not be made");
    stackTop_ = reinterpret_cast<DWORD>(stack_) + kGuardSize + kStackSize;
}

unsigned long long Machine::Instructions() const
{
    return g_core.instructions(core_);
}

DWORD Machine::ImportSlot(const char* name, FARPROC function)
{
    for (size_t i = 0; i < imports_.size(); ++i) {
        if (imports_[i].function == function)
            return reinterpret_cast<DWORD>(gate_) + 4 * i;
    }
    // The one stand-in call that takes a procedure of the caller's own,
    // which the dialog manager calls as an x86 function.
    int procedure = std::strcmp(name, "DialogBoxIndirectParamW") == 0 ? 3 : -1;
    imports_.push_back({function, procedure});
    return reinterpret_cast<DWORD>(gate_) + 4 * (imports_.size() - 1);
}

void Machine::Attach(const Image* image)
{
    for (const Section& section : image->Sections()) {
        DWORD protection = ARM_READ | (section.writable ? ARM_WRITE : 0) |
                           (section.executable ? ARM_EXECUTE : 0);
        if (!g_core.map(core_, section.begin, section.end - section.begin, protection))
            Fault("the ARM core cannot see " + Narrow(image->Name()) + " at " +
                  Hex(section.begin));
    }
    images_.push_back(image);
}

void Machine::Detach(const Image* image)
{
    for (const Section& section : image->Sections())
        g_core.unmap(core_, section.begin, section.end - section.begin);
    ReleaseEntries(image);
    for (auto it = images_.begin(); it != images_.end(); ++it) {
        if (*it == image) {
            images_.erase(it);
            break;
        }
    }
}

DWORD Machine::ServedCaller() const
{
    return GetCurrentThreadId() == thread_ && !served_.empty() ? served_.back() : 0;
}

DWORD Machine::Call(DWORD address, const DWORD* arguments, int count)
{
    if (GetCurrentThreadId() != thread_)
        Fault("a call into ARM code at " + Where(address) + " from thread " +
              std::to_string(GetCurrentThreadId()) + ", not the thread that runs it (" +
              std::to_string(thread_) + ")");
    ArmRegisters outer = registers_;
    // A call made while the image waits in a stand-in's call goes below
    // what that call was given on the stack.
    DWORD sp = (depth_ ? registers_.r[13] : stackTop_ - 64) & ~7u;
    DWORD returnTo = reinterpret_cast<DWORD>(gate_) + kGateSize - 16;
    registers_ = ArmRegisters();
    for (int i = 0; i < count && i < 4; ++i)
        registers_.r[i] = arguments[i];
    registers_.r[13] = sp;
    registers_.r[14] = returnTo | kThumb;
    registers_.r[15] = address;
    ++depth_;
    for (;;) {
        ArmStop stop;
        g_core.run(core_, &registers_, &stop);
        // The core sees the host's memory only while it runs, which may
        // free it meanwhile.
        g_core.forget(core_);
        if (stop.reason == ARM_STOP_NO_CODE && stop.address == returnTo) {
            // ARMv4T's ldm and ldr into pc do not change the state; only bx
            // does, which a return to Thumb code needs.
            if (!(registers_.cpsr & ARM_CPSR_THUMB))
                Fault("a return in ARM state to a Thumb caller, by the instruction at " +
                      Where(stop.last));
            break;
        }
        DWORD slot = stop.address - reinterpret_cast<DWORD>(gate_);
        if (stop.reason != ARM_STOP_NO_CODE || slot % 4 || slot / 4 >= imports_.size())
            Stopped(stop);
        Serve(imports_[slot / 4]);
    }
    --depth_;
    DWORD result = registers_.r[0];
    registers_ = outer;
    return result;
}

void Machine::Serve(const Import& import)
{
    DWORD sp = registers_.r[13];
    DWORD returnAddress = registers_.r[14];
    if (sp < stackTop_ - kStackSize || sp > stackTop_ - 4 * kStackArguments)
        Fault("a call to the platform with the stack pointer at " + Hex(sp) +
              ", outside the stack, from " + Where(returnAddress));
    DWORD arguments[4 + kStackArguments];
    std::memcpy(arguments, registers_.r, 4 * sizeof(DWORD));
    std::memcpy(arguments + 4, reinterpret_cast<const void*>(sp), sizeof arguments - 16);
    if (import.procedureArgument >= 0 && arguments[import.procedureArgument])
        arguments[import.procedureArgument] =
            reinterpret_cast<DWORD>(BindEntry(arguments[import.procedureArgument], 4));

    served_.push_back(returnAddress & ~kThumb);
    DWORD result = CallNative(import.function, arguments, 4 + kStackArguments);
    served_.pop_back();

    registers_.r[0] = result;
    registers_.r[15] = returnAddress & ~kThumb;
    registers_.cpsr = (registers_.cpsr & ~ARM_CPSR_THUMB) |
                      ((returnAddress & kThumb) ? ARM_CPSR_THUMB : 0);
}

std::string Machine::Where(DWORD address) const
{
    std::string where = Hex(address);
    for (const Image* image : images_) {
        if (image->Holds(address)) {
            char offset[16];
            std::snprintf(offset, sizeof offset, "+0x%lX",
                          static_cast<unsigned long>(address - image->Base()));
            return where + " (" + Narrow(image->Name()) + offset + ")";
        }
    }
    return where;
}

void Machine::Stopped(const ArmStop& stop)
{
    const char* kind = stop.write ? "write" : "read";
    std::string by = ", by the instruction at " + Where(stop.last);
    switch (stop.reason) {
    case ARM_STOP_NO_CODE:
        if (stop.address >= stackTop_ - kStackSize - kGuardSize && stop.address < stackTop_)
            Fault("a jump to " + Hex(stop.address) + ", into the stack" + by);
        Fault("a jump to " + Where(stop.address) +
              ", outside the image's code and the platform" + by);
    case ARM_STOP_UNALIGNED:
        Fault("an unaligned " + std::to_string(stop.size * 8) + "-bit " + kind + " at " +
              Hex(stop.address) + by);
    case ARM_STOP_UNDEFINED:
        Fault("an instruction the " + std::string(processor_) + " core lacks, at " +
              Where(stop.pc));
    case ARM_STOP_READ_ONLY:
        Fault("a write to read-only memory at " + Where(stop.address) + by);
    case ARM_STOP_UNMAPPED:
        if (stop.address >= stackTop_ - kStackSize - kGuardSize &&
            stop.address < stackTop_ - kStackSize)
            Fault("a stack beyond its " + std::to_string(kStackSize / 1024) + " KB, a " + kind +
                  " at " + Hex(stop.address) + by);
        Fault("an access to unmapped memory, a " + std::string(kind) + " at " +
              Where(stop.address) + by);
    default:
        Fault("the ARM core stopped: " + std::string(g_core.errorText(stop.error)) + ", at " +
              Where(stop.pc));
    }
}

void Machine::Fault(const std::string& what)
{
    std::fprintf(stderr, "handheld: %s\n", what.c_str());
    std::fflush(nullptr);
    // At once: a fault may come in the middle of the dialog manager's
    // work, where an orderly exit would run into what it holds.
    TerminateProcess(GetCurrentProcess(), kFaultStatus);
    for (;;)
        Sleep(INFINITE);
}

}

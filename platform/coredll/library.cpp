// Libraries: the handheld loads an ARM image (a PE file whose machine is
// ARM) itself and runs it on its ARM core; Win32 loads every other. The
// loader's own calls are not journaled: the applet makes none of them.
#include "handheld.h"
#include "journal.h"
#include "loader.h"

using namespace journal;

void ForgetArmIcons(HMODULE module);

extern "C" {

HMODULE WINAPI CeLoadLibraryW(LPCWSTR path)
{
    if (path && arm::IsArmImage(path))
        return arm::LoadImage(path);
    return LoadLibraryW(path);
}

FARPROC WINAPI CeGetProcAddress(HMODULE module, LPCSTR name)
{
    if (arm::IsLoaded(module))
        return arm::ProcAddress(module, name);
    return GetProcAddress(module, name);
}

BOOL WINAPI CeFreeLibrary(HMODULE module)
{
    if (!arm::IsLoaded(module))
        return FreeLibrary(module);
    ForgetArmIcons(module);
    return arm::FreeImage(module);
}

// The handheld's loader calls an ARM image's entry only at attach and
// detach, so there are no thread calls to turn off.
BOOL WINAPI CeDisableThreadLibraryCalls(HMODULE module)
{
    Call call(JOURNAL_CALLER, "DisableThreadLibraryCalls", {Module(module, JOURNAL_CALLER)});
    return call.Serves(FALSE, [&] {
        return arm::IsLoaded(module) ? TRUE : DisableThreadLibraryCalls(module);
    }, Dec);
}

const char* CoreProcessorOf(HMODULE module)
{
    return arm::IsLoaded(module) ? arm::ProcessorName() : nullptr;
}

FARPROC CoreLibraryEntry(HMODULE module)
{
    if (arm::IsLoaded(module))
        return arm::EntryPoint(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(module) +
                                                          dos->e_lfanew);
    return reinterpret_cast<FARPROC>(reinterpret_cast<const BYTE*>(module) +
                                     nt->OptionalHeader.AddressOfEntryPoint);
}

unsigned long long CoreArmInstructions(void)
{
    return arm::Instructions();
}

}

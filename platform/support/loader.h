// What the COREDLL stand-in's loader tells beyond Win32's, for the host and
// the tests: an ARM image loaded through LoadLibraryW runs on the
// handheld's emulated ARM core, in this process.
#pragma once

#include <windows.h>

extern "C" {

// The processor that runs `module`'s code: "PXA270" or "TI925T" for an ARM
// image, null for a module of the host's own kind.
const char* CoreProcessorOf(HMODULE module);
// `module`'s library entry (DllMain) as a function the host can call.
FARPROC CoreLibraryEntry(HMODULE module);
// The instructions the ARM core has executed in this process.
unsigned long long CoreArmInstructions(void);
}

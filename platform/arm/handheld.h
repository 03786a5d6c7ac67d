// ARM images as the handheld's loader serves them to COREDLL's
// LoadLibraryW, GetProcAddress and FreeLibrary: an image is loaded once per
// process (a second load counts), runs its library entry on the ARM core
// at attach and detach, and hands out native entries for its exports.
#pragma once

#include <windows.h>

namespace arm {

// Whether the file at `path` is an image for ARM, which Win32 cannot load.
bool IsArmImage(const wchar_t* path);

// The image at `path`, loaded, or null with the last error set; what made
// the load fail is printed on the error output.
HMODULE LoadImage(const wchar_t* path);
// Whether `module` is an ARM image loaded here.
bool IsLoaded(HMODULE module);
// A native stdcall entry of four arguments (as a Control Panel entry
// takes them) for an export, by name or ordinal; null when there is none.
FARPROC ProcAddress(HMODULE module, const char* name);
// The library entry as a native stdcall function of three arguments.
FARPROC EntryPoint(HMODULE module);
// Counts one load off; the last runs the library entry's detach and
// unloads it.
bool FreeImage(HMODULE module);

// The ARM image a stand-in's call comes from: when the call comes from
// the handheld's own dispatch of ARM code on this thread, the image that
// made it; null otherwise.
HMODULE ServedImage();
// The loaded ARM image holding `address`, or null.
HMODULE ImageHolding(const void* address);

// The processor ARM images run on ("PXA270", "TI925T"), or null when no
// ARM image has been loaded.
const char* ProcessorName();
// The instructions the ARM core has executed.
unsigned long long Instructions();

}

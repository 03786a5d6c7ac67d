// The record of handheld calls the stand-in serves, and the failures tests
// ask it to inject. Each wrapped call enters itself here first.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace journal {

// Records "function(args...)" and returns the error injected into this
// call, or 0 when it is to run normally.
DWORD Enter(const char* function, std::initializer_list<std::string> args);

// How arguments are written in the journal.
std::string Dec(DWORD value);
std::string Hex(DWORD value);
std::string Text(LPCWSTR text);              // "..." or NULL
std::string Pointer(const void* pointer);    // ptr or NULL
std::string Bytes(const BYTE* data, DWORD size);  // hex bytes or NULL
std::string Key(HKEY key);                   // HKLM, HKCU, ... or key
std::string Window(HWND window);             // hex handle or NULL
std::string PointedDword(const DWORD* value);  // &value or NULL

}

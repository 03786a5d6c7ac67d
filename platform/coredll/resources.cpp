// A module's resources, journaled: Win32 finds and loads them as the
// handheld does.
#include "journal.h"

using namespace journal;

extern "C" {

int WINAPI CeLoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int size)
{
    Call call(JOURNAL_CALLER, "LoadStringW",
              {Module(module, JOURNAL_CALLER), Dec(id), Pointer(buffer), Signed(size)});
    return call.Serves(0, [&] { return LoadStringW(module, id, buffer, size); }, Signed);
}

HICON WINAPI CeLoadIconW(HINSTANCE module, LPCWSTR name)
{
    Call call(JOURNAL_CALLER, "LoadIconW", {Module(module, JOURNAL_CALLER), Resource(name)});
    return call.Serves(HICON(nullptr), [&] { return LoadIconW(module, name); }, Pointer);
}

HRSRC WINAPI CeFindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    Call call(JOURNAL_CALLER, "FindResourceW",
              {Module(module, JOURNAL_CALLER), Resource(name), Resource(type)});
    return call.Serves(HRSRC(nullptr), [&] { return FindResourceW(module, name, type); }, Pointer);
}

HGLOBAL WINAPI CeLoadResource(HMODULE module, HRSRC resource)
{
    Call call(JOURNAL_CALLER, "LoadResource", {Module(module, JOURNAL_CALLER), Pointer(resource)});
    return call.Serves(HGLOBAL(nullptr), [&] { return LoadResource(module, resource); }, Pointer);
}

}

// A module's resources, journaled: Win32 finds and loads them as the
// handheld does.
#include "handheld.h"
#include "journal.h"

#include <map>
#include <mutex>
#include <utility>

using namespace journal;

namespace {

// A module's icon is loaded once and handed out again on every later
// request. Win32 finds an icon again by its module's file name, which an
// ARM image the handheld loaded itself has not got for Win32; those icons
// the stand-in keeps itself.
std::mutex g_iconsLock;
std::map<std::pair<HMODULE, std::wstring>, HICON> g_armIcons;

std::wstring ResourceKey(LPCWSTR name)
{
    return IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<UINT_PTR>(name)) : name;
}

HICON LoadSharedIcon(HINSTANCE module, LPCWSTR name)
{
    if (!arm::IsLoaded(module))
        return LoadIconW(module, name);
    std::lock_guard<std::mutex> hold(g_iconsLock);
    HICON& icon = g_armIcons[{module, ResourceKey(name)}];
    if (!icon)
        icon = LoadIconW(module, name);
    return icon;
}

}

void ForgetArmIcons(HMODULE module)
{
    std::lock_guard<std::mutex> hold(g_iconsLock);
    for (auto it = g_armIcons.begin(); it != g_armIcons.end();)
        it = it->first.first == module ? g_armIcons.erase(it) : std::next(it);
}

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
    return call.Serves(HICON(nullptr), [&] { return LoadSharedIcon(module, name); }, Pointer);
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

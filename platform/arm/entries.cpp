#include "entries.h"

#include "machine.h"

#include <array>
#include <utility>

namespace arm {

namespace {

// Enough for every procedure of a few images at once: an applet has its
// Control Panel entry, its library entry and a dialog's procedure.
const size_t kEntries = 64;

struct Binding {
    DWORD address;  // 0: free
    int arguments;
};
std::array<Binding, kEntries> g_bindings;

DWORD Enter(size_t slot, int arguments, const DWORD* values)
{
    const Binding& binding = g_bindings[slot];
    if (!binding.address || binding.arguments != arguments)
        Machine::Fault("a call into ARM code that is no longer loaded");
    return Machine::Get().Call(binding.address, values, arguments);
}

template <size_t Slot>
DWORD WINAPI Enter3(DWORD a, DWORD b, DWORD c)
{
    const DWORD values[] = {a, b, c};
    return Enter(Slot, 3, values);
}

template <size_t Slot>
DWORD WINAPI Enter4(DWORD a, DWORD b, DWORD c, DWORD d)
{
    const DWORD values[] = {a, b, c, d};
    return Enter(Slot, 4, values);
}

template <size_t... Slot>
std::array<FARPROC, kEntries> Entries3(std::index_sequence<Slot...>)
{
    return {reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&Enter3<Slot>))...};
}

template <size_t... Slot>
std::array<FARPROC, kEntries> Entries4(std::index_sequence<Slot...>)
{
    return {reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&Enter4<Slot>))...};
}

const std::array<FARPROC, kEntries> g_entries3 = Entries3(std::make_index_sequence<kEntries>());
const std::array<FARPROC, kEntries> g_entries4 = Entries4(std::make_index_sequence<kEntries>());

}

FARPROC BindEntry(DWORD address, int arguments)
{
    size_t free = kEntries;
    for (size_t slot = 0; slot < kEntries; ++slot) {
        const Binding& binding = g_bindings[slot];
        if (binding.address == address && binding.arguments == arguments)
            return (arguments == 3 ? g_entries3 : g_entries4)[slot];
        if (!binding.address && free == kEntries)
            free = slot;
    }
    if (free == kEntries)
        Machine::Fault("more entries into ARM code than the handheld holds (" +
                       std::to_string(kEntries) + ")");
    g_bindings[free] = {address, arguments};
    return (arguments == 3 ? g_entries3 : g_entries4)[free];
}

void ReleaseEntries(const Image* image)
{
    for (Binding& binding : g_bindings) {
        if (image->Holds(binding.address))
            binding = {};
    }
}

}

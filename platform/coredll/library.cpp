// The library entry's services, journaled: what a library asks of the
// loader at attach is otherwise invisible.
#include "journal.h"

using namespace journal;

extern "C" BOOL WINAPI CeDisableThreadLibraryCalls(HMODULE module)
{
    if (DWORD error = Enter("DisableThreadLibraryCalls",
                            {Hex(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(module)))})) {
        SetLastError(error);
        return FALSE;
    }
    return DisableThreadLibraryCalls(module);
}

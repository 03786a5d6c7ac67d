// The library entry's services, journaled: what a library asks of the
// loader at attach is otherwise invisible.
#include "journal.h"

using namespace journal;

extern "C" BOOL WINAPI CeDisableThreadLibraryCalls(HMODULE module)
{
    Call call(JOURNAL_CALLER, "DisableThreadLibraryCalls", {Module(module, JOURNAL_CALLER)});
    return call.Serves(FALSE, [&] { return DisableThreadLibraryCalls(module); }, Dec);
}

#include "waiting.h"

#include <windows.h>

namespace handheld {

testing::AssertionResult Eventually(const std::string& awaited,
                                    const std::function<bool()>& condition, int milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - start;
        if (condition())
            return testing::AssertionSuccess() << awaited << " after " << waited << " ms";
        if (waited >= static_cast<DWORD>(milliseconds))
            return testing::AssertionFailure() << awaited << ": not within " << milliseconds
                                               << " ms";
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

}

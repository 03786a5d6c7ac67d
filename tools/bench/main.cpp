// bench calls                      platform calls per operation
// bench opens K FILE.cpl,N ...     K opens of each applet, taken in turns
// bench parts K                    K timings of each step beyond the floor
// bench costs [BUDGET]             the ARM image's instructions and calls
// bench memory                     the memory the ARM core adds
#include "bench.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "calls") == 0)
        return CountPlatformCalls();
    if (argc > 3 && std::strcmp(argv[1], "opens") == 0) {
        std::vector<std::wstring> applets;
        for (int i = 3; i < argc; ++i)
            applets.emplace_back(argv[i], argv[i] + std::strlen(argv[i]));
        return TimeOpens(applets, std::max(1, std::atoi(argv[2])));
    }
    if (argc == 3 && std::strcmp(argv[1], "parts") == 0)
        return TimeParts(std::max(1, std::atoi(argv[2])));
    if (argc == 2 && std::strcmp(argv[1], "memory") == 0)
        return MeasureArmMemory();
    if ((argc == 2 || argc == 3) && std::strcmp(argv[1], "costs") == 0)
        return CountArmCosts(argc == 3 ? argv[2] : nullptr);
    std::fprintf(stderr,
                 "usage: bench calls | bench opens K FILE.cpl,N [FILE.cpl,N...] | bench parts K | "
                 "bench costs [BUDGET] | bench memory\n");
    return 2;
}

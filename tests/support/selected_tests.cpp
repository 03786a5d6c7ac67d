#include "selected_tests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// GoogleTest's wildcards: '*' any text, '?' any one character.
bool Matches(const char* pattern, const char* name)
{
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*')
        return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
    return *name && (*pattern == '?' || *pattern == *name) && Matches(pattern + 1, name + 1);
}

// The patterns before the filter's '-' that no test's full name matches.
std::vector<std::string> PatternsSelectingNothing(const std::string& filter)
{
    std::vector<std::string> names;
    const testing::UnitTest& tests = *testing::UnitTest::GetInstance();
    for (int i = 0; i < tests.total_test_suite_count(); ++i)
        for (int j = 0; j < tests.GetTestSuite(i)->total_test_count(); ++j) {
            const testing::TestInfo& test = *tests.GetTestSuite(i)->GetTestInfo(j);
            names.push_back(std::string(test.test_suite_name()) + "." + test.name());
        }
    std::vector<std::string> idle;
    std::istringstream positive(filter.substr(0, filter.find('-')));
    std::string pattern;
    while (std::getline(positive, pattern, ':')) {
        auto selects = [&](const std::string& name) {
            return Matches(pattern.c_str(), name.c_str());
        };
        if (!pattern.empty() && std::none_of(names.begin(), names.end(), selects))
            idle.push_back(pattern);
    }
    return idle;
}

}

int RunSelectedTests()
{
    std::vector<std::string> idle = PatternsSelectingNothing(GTEST_FLAG_GET(filter));
    int result = RUN_ALL_TESTS();
    for (const std::string& pattern : idle)
        std::printf("FAILED: the filter pattern \"%s\" selects no test\n", pattern.c_str());
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::printf("FAILED: no test was selected\n");
        return 1;
    }
    return idle.empty() ? result : 1;
}

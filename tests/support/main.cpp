// The main of the test programs that take only GoogleTest's options.
#include "selected_tests.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RunSelectedTests();
}

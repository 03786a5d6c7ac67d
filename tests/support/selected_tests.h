// Running the tests GoogleTest was asked for, and no fewer: a run whose
// filter selects no test fails, and so does a filter pattern that selects
// none, as one would after a test it names was renamed.
#pragma once

// RUN_ALL_TESTS, after testing::InitGoogleTest, failing as above.
int RunSelectedTests();

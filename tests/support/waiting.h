// One way for a test to wait: for a condition that only the awaited event
// can make true. The wait ends the moment the condition holds, without a
// second look, and gives up well inside CTest's timeout, saying what did
// not happen.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace handheld {

// Long enough for a busy machine, short enough that a test that gives up
// still has most of CTest's timeout left to end what it started.
const int kPatienceMs = 15000;

// Whether `condition` comes to hold within `milliseconds`. Meanwhile the
// thread's messages run, so windows of the waiting thread stay alive and
// messages other threads send to it are answered. `awaited` names the
// event in the result's message.
testing::AssertionResult Eventually(const std::string& awaited,
                                    const std::function<bool()>& condition,
                                    int milliseconds = kPatienceMs);

}

// The GoogleTest side of the harness: every problem a Program records fails
// the test that is running.

#include <gtest/gtest.h>

#include "x11_harness.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    harness::setProblemHandler([](const std::string& problem) { ADD_FAILURE() << problem; });
    return RUN_ALL_TESTS();
}

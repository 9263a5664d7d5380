#include "base/types.hpp"

#include <gtest/gtest.h>

TEST(FatalDeathTest, AssertionPrintsExpressionAndDescription)
{
  EXPECT_EXIT(sVERIFYDESC(1 == 2, u"numbers differ"), testing::ExitedWithCode(1),
              "fatal_test.cpp\\([0-9]+\\): Assertion failed\nExpression: 1 == 2\nDescription: numbers differ");
  EXPECT_EXIT(sVERIFY(false), testing::ExitedWithCode(1), "Assertion failed\nExpression: false\n");
}

// Test entry of the framework core: memory runs around the tests, as in the program.
#include "base/memory.hpp"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
  testing::InitGoogleTest(&argc, argv);
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  sInitMemorySystem();
  // tests start threads of their own: every thread may use the main memory
  sGetMemoryHandler(1)->MakeThreadSafe();
  int result = RUN_ALL_TESTS();
  sExitMemorySystem();
  return result;
}

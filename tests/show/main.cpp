// Test entry of the show folder: memory, the string pool and the file handlers run around
// the tests, as in the program.
#include "base/file.hpp"
#include "base/framemem.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"

#include <gtest/gtest.h>

#include <cstring>

// The scripted show run starts this program again as the show itself.
int RunShowChild(int argc, char **argv) __attribute__((weak));

int main(int argc, char **argv)
{
  if(argc > 1 && std::strcmp(argv[1], "--show") == 0 && RunShowChild) return RunShowChild(argc - 1, argv + 1);
  testing::InitGoogleTest(&argc, argv);
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  sInitMemorySystem();
  // tests may start threads of their own: every thread may use the main memory
  sGetMemoryHandler(1)->MakeThreadSafe();
  sInitStringPool();
  sInitFileHandlers();
  sInitRootFileHandler();
  sPartitionMemory(32 << 20, 1 << 20);   // the constant buffers of the draws
  int result = RUN_ALL_TESTS();
  sPartitionMemory(0, 0);
  sExitFileHandlers();
  sExitStringPool();
  sExitMemorySystem();
  return result;
}

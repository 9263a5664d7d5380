// Test entry of the folders whose code runs on the framework: memory, the string pool and
// the file handlers run around the tests, as in the program. Folders whose tests draw get
// the frame memory too (SPARK_TEST_FRAME_MEMORY).
#include "base/file.hpp"
#include "base/framemem.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"

#include <gtest/gtest.h>

#include <cstring>

// A test program may start itself again as the program it tests (the scripted show run):
// the folder that does defines this.
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
#ifdef SPARK_TEST_FRAME_MEMORY
  sPartitionMemory(32 << 20, 1 << 20);   // the constant buffers of the draws
#endif
  int result = RUN_ALL_TESTS();
#ifdef SPARK_TEST_FRAME_MEMORY
  sPartitionMemory(0, 0);
#endif
  sExitFileHandlers();
  sExitStringPool();
  sExitMemorySystem();
  return result;
}

// Test entry of the data generator: the framework's memory, string pool and files run
// around the tests, which read the tree that the test run's fixture made
// (tests/tools/CMakeLists.txt); a test program started by hand makes it when it is missing.
#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "platform/files/files.hpp"
#include "platform/text/utf.hpp"
#include "tree_env.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

const std::string &datagentest::Root()
{
  static const std::string root = DATAGEN_TREE;
  return root;
}

std::u16string datagentest::Path(const std::string &name) { return plat::ToUtf16(Root() + "/" + name); }

std::vector<sU8> datagentest::ReadBytes(const std::string &name)
{
  sDInt size = 0;
  sU8 *data = sLoadFileData(Path(name).c_str(), &size);
  std::vector<sU8> bytes(data, data + (data ? size : 0));
  sMemFree(data);
  return bytes;
}

int main(int argc, char **argv)
{
  testing::InitGoogleTest(&argc, argv);
  std::string make = std::string(DATAGEN_TOOL) + " " + datagentest::Root() + " > /dev/null";
  if(!testing::GTEST_FLAG(list_tests) && !plat::PathExists((datagentest::Root() + "/manifest.txt").c_str()) &&
     std::system(make.c_str()) != 0)
    return 1;
  sInitMemorySystem();
  sInitStringPool();
  sInitFileHandlers();
  sInitRootFileHandler();
  int result = RUN_ALL_TESTS();
  sExitFileHandlers();
  sExitStringPool();
  sExitMemorySystem();
  return result;
}

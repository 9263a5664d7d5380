// The manifest against the tree: every file listed with its size and checksum, nothing
// left out, and the same tree from every run of the generator.
#include "base/numbers.hpp"
#include "tree_env.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

namespace
{
// file name -> "bytes checksum"
std::map<std::string, std::string> ReadManifest(const std::string &folder)
{
  std::ifstream in(folder + "/manifest.txt");
  std::map<std::string, std::string> files;
  for(std::string line; std::getline(in, line);)
    if(!line.empty() && line[0] != '#')
    {
      line.pop_back();   // CR
      size_t blank = line.find(' ');
      EXPECT_TRUE(files.emplace(line.substr(0, blank), line.substr(blank + 1)).second) << line;
    }
  return files;
}
}   // namespace

TEST(DatagenManifest, ListsEveryFileOfTheTreeWithItsSizeAndChecksum)
{
  std::map<std::string, std::string> files = ReadManifest(datagentest::Root());
  for(const auto &[name, listed] : files)
  {
    std::vector<sU8> bytes = datagentest::ReadBytes(name);
    char text[64];
    snprintf(text, sizeof(text), "%d %08x", int(bytes.size()), sChecksumCRC32(bytes.data(), sDInt(bytes.size())));
    EXPECT_EQ(text, listed) << name;
  }
  namespace fs = std::filesystem;
  for(const auto &entry : fs::recursive_directory_iterator(datagentest::Root()))
  {
    std::string name = fs::relative(entry.path(), datagentest::Root()).generic_string();
    EXPECT_TRUE(!entry.is_regular_file() || name == "manifest.txt" || files.count(name)) << name << " is not listed";
  }
}

TEST(DatagenManifest, TheBuildsTreeIsTheSameAsAFreshOne)
{
  EXPECT_EQ(ReadManifest(TWDATA_DIR), ReadManifest(datagentest::Root()));
}

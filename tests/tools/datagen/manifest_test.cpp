// The manifest against the tree: every file listed with its size and checksum, nothing
// left out, and the same tree from every run of the generator.
#include "base/numbers.hpp"
#include "tree_env.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace
{

struct Listed
{
  long long Size;
  std::string Checksum;
};

std::map<std::string, Listed> ReadManifest(const std::string &path)
{
  std::ifstream in(path);
  std::map<std::string, Listed> files;
  std::string line;
  while(std::getline(in, line))
  {
    if(line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    Listed f;
    fields >> name >> f.Size >> f.Checksum;
    EXPECT_TRUE(files.emplace(name, f).second) << name << " listed twice";
  }
  return files;
}

}   // namespace

TEST(DatagenManifest, ListsEveryFileOfTheTreeWithItsSizeAndChecksum)
{
  std::map<std::string, Listed> files = ReadManifest(datagentest::Root() + "/manifest.txt");
  ASSERT_FALSE(files.empty());
  for(const auto &[name, listed] : files)
  {
    std::vector<sU8> bytes = datagentest::ReadBytes(name);
    char crc[16];
    snprintf(crc, sizeof(crc), "%08x", sChecksumCRC32(bytes.data(), sDInt(bytes.size())));
    EXPECT_EQ(sS64(bytes.size()), listed.Size) << name;
    EXPECT_EQ(crc, listed.Checksum) << name;
  }
  namespace fs = std::filesystem;
  for(const auto &entry : fs::recursive_directory_iterator(datagentest::Root()))
  {
    std::string name = fs::relative(entry.path(), datagentest::Root()).generic_string();
    if(entry.is_regular_file() && name != "manifest.txt")
    {
      EXPECT_TRUE(files.count(name)) << name << " is not listed";
    }
  }
  // the files the show opens by these names
  for(const char *name : {"Tarnglow.ogg", "LiveRecordingData.txt", "EQU303.raw", "Tarnwhistles.dat"})
    EXPECT_TRUE(files.count(name)) << name;
}

TEST(DatagenManifest, TheBuildsTreeIsTheSameAsAFreshOne)
{
  std::map<std::string, Listed> fresh = ReadManifest(datagentest::Root() + "/manifest.txt");
  std::map<std::string, Listed> build = ReadManifest(std::string(TWDATA_DIR) + "/manifest.txt");
  ASSERT_EQ(build.size(), fresh.size());
  for(const auto &[name, listed] : fresh)
  {
    ASSERT_TRUE(build.count(name)) << name;
    EXPECT_EQ(build[name].Size, listed.Size) << name;
    EXPECT_EQ(build[name].Checksum, listed.Checksum) << name;
  }
}

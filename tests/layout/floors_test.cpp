// The source folders are floors: a file includes headers from its own floor or from the floors
// below it, never from above. tools/, bench/ and tests/ stand beside the floors and may
// include from any of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{
namespace fs = std::filesystem;

// lowest first; the README's layout section lists them in the same order
constexpr std::array<const char *, 7> kFloors = {"platform", "base",  "graphics", "util",
                                                 "show",     "gui",   "scenes"};

int FloorOf(const std::string &folder)
{
  for(size_t i = 0; i < kFloors.size(); i++)
    if(folder == kFloors[i])
      return int(i);
  return -1;
}

struct Include
{
  std::string File;
  int Line;
  std::string Header;
};

// the includes of one file that name a header on a floor above the file's own
std::vector<Include> UpwardIncludes(const fs::path &file, int floor)
{
  static const std::regex include(R"re(^\s*#\s*include\s*"(([^"/]+)/[^"]*)")re");
  std::vector<Include> found;
  std::ifstream in(file);
  std::string line;
  std::smatch m;
  for(int n = 1; std::getline(in, line); n++)
    if(std::regex_search(line, m, include) && FloorOf(m[2].str()) > floor)
      found.push_back({file.string(), n, m[1].str()});
  return found;
}

std::vector<Include> UpwardIncludesUnder(const fs::path &root)
{
  std::vector<Include> found;
  for(size_t floor = 0; floor < kFloors.size(); floor++)
  {
    fs::path dir = root / kFloors[floor];
    if(!fs::is_directory(dir))
      continue;
    for(const auto &entry : fs::recursive_directory_iterator(dir))
    {
      std::string ext = entry.path().extension().string();
      if(entry.is_regular_file() && (ext == ".cpp" || ext == ".hpp" || ext == ".h"))
        for(Include &inc : UpwardIncludes(entry.path(), int(floor)))
          found.push_back(std::move(inc));
    }
  }
  return found;
}

TEST(Floors, NoSourceIncludesFromAFloorAbove)
{
  std::vector<Include> found = UpwardIncludesUnder(SOURCE_ROOT);
  for(const Include &inc : found)
    ADD_FAILURE() << inc.File << ":" << inc.Line << " includes from above its floor: " << inc.Header;
  // the walk saw the tree: the lowest and highest floors exist
  EXPECT_TRUE(fs::is_directory(fs::path(SOURCE_ROOT) / kFloors.front()));
  EXPECT_TRUE(fs::is_directory(fs::path(SOURCE_ROOT) / kFloors.back()));
}

TEST(Floors, AnIncludeFromAboveIsFound)
{
  fs::path root = fs::temp_directory_path() / ("floors_test_" + std::to_string(::getpid()));
  fs::create_directories(root / "util");
  fs::create_directories(root / "gui");
  std::ofstream(root / "util" / "low.cpp") << "#include \"util/own.hpp\"\n"
                                               "#include \"base/below.hpp\"\n"
                                               "  #  include \"show/above.hpp\"\n"
                                               "#include <gui/system_style.hpp>\n";
  std::ofstream(root / "gui" / "high.hpp") << "#include \"scenes/table.hpp\"\n"
                                               "#include \"tests/anything.hpp\"\n";
  std::vector<Include> found = UpwardIncludesUnder(root);
  fs::remove_all(root);
  ASSERT_EQ(found.size(), 2u);
  std::vector<std::string> headers = {found[0].Header, found[1].Header};
  std::sort(headers.begin(), headers.end());
  EXPECT_EQ(headers[0], "scenes/table.hpp");
  EXPECT_EQ(headers[1], "show/above.hpp");
}
}

// Start-up: the data root and the display table.
#include "show/startup.hpp"

#include "base/file.hpp"
#include "common/capture.hpp"
#include "common/temp_dir.hpp"

#include <gtest/gtest.h>

TEST(Startup, DataRootAndDisplayTable)
{
  std::string old = plat::CurrentDir();
  sparktest::TempDir dir;
  ASSERT_TRUE(plat::ChangeDir(dir.Path.c_str()));
  std::string start = plat::CurrentDir();
  sparktest::DebugCapture out;
  // nothing there: the root stays "TWdata", and the show starts where it was started
  EXPECT_EQ(FindDataRoot(), -1);
  EXPECT_EQ(plat::ToUtf8(GetDataRoot()), start + "/TWdata");
  EXPECT_FALSE(out.Has("root directory found"));
  // "./data" when "TWdata" is missing, "TWdata" first when both are there; the current
  // folder stays the one the show was started in
  for(auto [folder, index] : {std::pair{"data", 1}, std::pair{"TWdata", 0}})
  {
    plat::MakeDir(folder);
    EXPECT_EQ(FindDataRoot(), index);
    EXPECT_EQ(plat::CurrentDir(), start);
    EXPECT_EQ(plat::ToUtf8(GetDataRoot()), start + "/" + folder);
    EXPECT_TRUE(out.Has(std::string("root directory found: ") + (index ? "./data" : "TWdata") + "\n")) << out.Text();
  }
  plat::ChangeDir(old.c_str());

  SetShowDisplay(0, 1920, 1080);
  EXPECT_FLOAT_EQ(GetShowDisplay(0).Aspect, 1.7777778f);
  EXPECT_DEATH(GetShowDisplay(3), "");
}

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
  EXPECT_EQ(FindDataRoot(), -1);   // nothing there: start anyway where we are
  EXPECT_EQ(plat::CurrentDir(), start);
  EXPECT_NE(out.Text().find("no data root found"), std::string::npos);
  // "./data" when "TWdata" is missing, "TWdata" first when both are there
  for(auto [folder, index] : {std::pair{"data", 1}, std::pair{"TWdata", 0}})
  {
    ASSERT_TRUE(plat::ChangeDir(start.c_str()));
    plat::MakeDir(folder);
    EXPECT_EQ(FindDataRoot(), index);
    EXPECT_EQ(plat::CurrentDir(), start + "/" + folder);
    EXPECT_EQ(plat::ToUtf8(GetDataRoot()), start + "/" + folder);
  }
  plat::ChangeDir(old.c_str());

  SetShowDisplay(0, 1920, 1080);
  EXPECT_FLOAT_EQ(GetShowDisplay(0).Aspect, 1.7777778f);
  EXPECT_DEATH(GetShowDisplay(3), "");
}

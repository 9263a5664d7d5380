// Start-up: the data root, the display table and the capture folder.
#include "show/startup.hpp"

#include "base/capture_util.hpp"
#include "base/file.hpp"
#include "common/temp_dir.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace
{
struct KeepDir
{
  std::string Old = plat::CurrentDir();
  ~KeepDir() { plat::ChangeDir(Old.c_str()); }
};
}

TEST(Startup, DataRootIsTheFirstCandidateThatOpens)
{
  KeepDir keep;
  sparktest::TempDir dir;
  ASSERT_TRUE(plat::ChangeDir(dir.Path.c_str()));
  std::string start = plat::CurrentDir();
  CapturedOutput out;
  EXPECT_EQ(FindDataRoot(), -1);   // nothing there: start anyway where we are
  EXPECT_EQ(plat::CurrentDir(), start);
  EXPECT_NE(out.Get().find("no data root found"), std::string::npos);

  sMakeDir(dir.Name("data").c_str());
  EXPECT_EQ(FindDataRoot(), 1);
  EXPECT_EQ(plat::CurrentDir(), start + "/data");
  EXPECT_EQ(plat::ToUtf8(GetDataRoot()), start + "/data");

  ASSERT_TRUE(plat::ChangeDir(start.c_str()));
  sMakeDir(dir.Name("TWdata").c_str());
  EXPECT_EQ(FindDataRoot(), 0);
  EXPECT_EQ(plat::CurrentDir(), start + "/TWdata");
}

TEST(Startup, RecordDisplayAndCapturePattern)
{
  EXPECT_EQ(sStartupRecord.ScreenWidth, 1920);
  EXPECT_EQ(sStartupRecord.ShowSelector, 0);
  SetShowDisplay(0, 1920, 1080);
  EXPECT_FLOAT_EQ(GetShowDisplay(0).Aspect, 1.7777778f);
  EXPECT_DEATH(GetShowDisplay(3), "");

  const char *old = getenv("TMPDIR");
  std::string keep = old ? old : "";
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(plat::ToUtf8(GetCapturePattern(sStartupRecord)), "/var/tmp/Tarnwhistle_trailer_%06d.bmp");
  if(old)
    setenv("TMPDIR", keep.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

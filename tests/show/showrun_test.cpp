// The show program itself: a headless run in fixed-step mode starts, draws, saves its
// numbered frames and closes in order without a leak report.
#include "common/temp_dir.hpp"
#include "graphics/image.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#ifdef SPARKVANE_PROGRAM
TEST(ShowRun, CaptureRunSavesNumberedFramesAndEndsCleanly)
{
  if(!getenv("DISPLAY")) GTEST_SKIP() << "no display";
  sparktest::TempDir dir;
  std::string cmd = "cd '" + dir.Path + "' && TMPDIR='" + dir.Path + "' '" SPARKVANE_PROGRAM "' -frames 3 -capture 2>&1";
  FILE *p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  while(size_t n = fread(buf, 1, sizeof(buf), p)) out.append(buf, n);
  EXPECT_EQ(pclose(p), 0) << out;
  EXPECT_NE(out.find("first frame"), std::string::npos) << out;
  EXPECT_EQ(out.find("Memory Leak"), std::string::npos) << out;
  sImage img;
  for(const char *name : {"Tarnwhistle_trailer_000001.bmp", "Tarnwhistle_trailer_000003.bmp"})
  {
    ASSERT_TRUE(img.Load(dir.Name(name).c_str())) << name;
    EXPECT_EQ(img.SizeX, 1920);
    EXPECT_EQ(img.SizeY, 1080);
    EXPECT_EQ(img.Data[1920 * 540 + 960] & 0xffffff, 0u);   // the record's background
  }
}
#endif

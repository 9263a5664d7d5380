// The loader screen: the ring's marker read back from the screen at two counts and after
// the refreshes' own frames, and the end of its drawing after the limit.
#include "show/loader.hpp"

#include "graphics/image_test_util.hpp"
#include "graphics/render_fixture.hpp"
#include "show/startup.hpp"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{
constexpr sInt W = 640, H = 480;   // the ring's cubes are a few pixels wide at this size

// The screen after drawing the loader (the view is prepared before the camera moves, so
// the second draw shows this count).
std::vector<sU32> Draw(LoaderScreen &ls)
{
  EXPECT_TRUE(sRender3DBegin());
  for(sInt i = 0; i < 2; i++)
  {
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0xff000000);
    ls.DrawProgress(0, 0);
  }
  std::vector<sU32> px = ReadScreen(W, H);
  sRender3DEnd(0);
  return px;
}

// The brightest pixel around where a cube's centre lands on the screen.
sU32 CubePixel(LoaderScreen &ls, sInt cube, const std::vector<sU32> &px)
{
  // the view still holds the last form's placement: project through the camera alone
  sViewport v = ls.View;
  v.Model.Identity();
  v.Prepare(1);
  sVec4 c = sMulPointMat4x4(static_cast<LoaderScene *>(ls.Loader)->Cubes[cube]->Matrix.l, v.MVP);
  sInt x = sInt((c.x / c.w * 0.5f + 0.5f) * W), y = sInt((0.5f - c.y / c.w * 0.5f) * H);
  sU32 best = 0;
  for(sInt dy = -1; dy <= 1; dy++)
    for(sInt dx = -1; dx <= 1; dx++)
      best = std::max(best, px[size_t(std::clamp(y + dy, 0, H - 1)) * W + std::clamp(x + dx, 0, W - 1)] & 0xffffff);
  return best;
}
}

TEST(Loader, TheMarkerRunsRoundTheRingUntilTheLimit)
{
  SDL_Window *window = OpenGfxWindow("loader test", W, H);
  ASSERT_NE(window, nullptr);
  SetShowDisplay(0, W, H);
  std::string oldDir = plat::CurrentDir();
  sparktest::TempDir dir;
  ASSERT_TRUE(plat::ChangeDir(dir.Path.c_str()));
  // a white picture for the loader's texture
  plat::MakeDir("loader");
  sImage white(8, 8);
  white.Fill(0xffffffff);
  imagetest::WriteRaw("loader/supershape.jpg", imagetest::EncodeJpeg(white, 95));

  StartupRecord record = sStartupRecord;
  record.LoaderLimit = 30;
  LoaderScreen ls;
  ls.Start(&record);
  ASSERT_NE(ls.Loader, nullptr);
  // 4 steps of 400 are one percent: cube 0 dims, cube 1 lights; 8 steps move it on
  const sInt counts[][3] = {{4, 1, 0}, {8, 2, 1}};
  for(auto &c : counts)
  {
    ls.Steps = c[0];
    std::vector<sU32> px = Draw(ls);
    sU32 lit = CubePixel(ls, c[1], px), dim = CubePixel(ls, c[2], px), far = CubePixel(ls, 40, px);
    EXPECT_GT(lit & 0xff, 0xc0u) << std::hex << lit;
    EXPECT_GT(dim & 0xff, 0x10u) << std::hex << dim;
    EXPECT_LT(dim & 0xff, 0x40u) << std::hex << dim;
    EXPECT_TRUE((far & 0xff) == 0 && (far >> 16) > 0x30) << std::hex << far;   // the ring's own dark red
  }
  // with a GPU every refresh presents a frame of its own showing the count before it: the
  // fifth shows four steps, cube 1 lit; a frame refused (a changed screen cannot be restored
  // outside the paint message) still counts
  ls.Paced = 0;
  ls.Steps = 0;
  for(sInt i = 0; i < 5; i++) RefreshLoadingScreen();
  std::vector<sU32> shown = ReadScreen(W, H);
  EXPECT_GT(CubePixel(ls, 1, shown) & 0xff, 0xc0u);
  EXPECT_LT(CubePixel(ls, 0, shown) & 0xff, 0x40u);
  sSetScreenSize(W + 2, H);
  RefreshLoadingScreen();
  EXPECT_EQ(ls.Steps, 6);
  sSetScreenSize(W, H);
  sInitGfx(0, W, H);
  // paced, the first refresh presents and marks the loader shown; a refresh long before
  // the last frame's time is up only counts and moves the marker; the last one before the
  // show presents
  ls.Paced = 1;
  ls.Shown = 0;
  RefreshLoadingScreen();
  ls.ShownBegin = ls.ShownEnd - 1000000;   // as if that frame had taken long
  for(sInt i = 0; i < 9; i++) RefreshLoadingScreen();
  EXPECT_EQ(ls.Steps, 16);
  EXPECT_EQ(ls.Loader->Cubes[2]->Colour, 0x202020u);
  EXPECT_LT(CubePixel(ls, 3, ReadScreen(W, H)) & 0xff, 0x40u);   // not drawn at 12 - 15 steps
  ls.PresentNextRefresh();
  RefreshLoadingScreen();
  EXPECT_GT(CubePixel(ls, 4, ReadScreen(W, H)) & 0xff, 0xc0u);

  // after the first frame it counts towards the limit; the call past it is the last
  ls.StartFrames();
  ASSERT_TRUE(sRender3DBegin());
  for(sInt i = 0; i < 10; i++) ls.DrawProgress(0, 1);
  sRender3DEnd(0);
  EXPECT_EQ(ls.FrameProgress, 50);
  EXPECT_EQ(ls.Active, 0);

  ls.Destroy();
  plat::ChangeDir(oldDir.c_str());
  CloseGfxWindow(window);
}

TEST(Loader, PacedFramesWaitAsLongAsTheLastTookAndAtLeastAFifteenthOfASecond)
{
  const sU32 rows[][4] = {// now, last frame's begin and end, due
                          {100, 0, 50, 0}, {117, 0, 50, 1}, {250, 0, 150, 0}, {300, 0, 150, 1},
                          {10, 0xffffff00u, 0xffffffc0u, 0}, {200, 0xffffff00u, 0xffffffc0u, 1}};
  for(const auto &r : rows) EXPECT_EQ(LoaderFrameDue(r[0], r[1], r[2]), sBool(r[3])) << r[0] << " " << r[2];
}

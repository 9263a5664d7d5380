// The loader screen: progress counting, and the ring's marker read back from the screen.
#include "show/loader.hpp"

#include "common/temp_dir.hpp"
#include "base/framemem.hpp"
#include "graphics/image.hpp"
#include "show/startup.hpp"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
class Loader : public testing::Test
{
public:
  static constexpr sInt W = 640, H = 480;
  static void SetUpTestSuite()
  {
    if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    {
      SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
      if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    }
    Window = SDL_CreateWindow("loader test", 0, 0, W, H, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if(!Window) return;
    sU32 flags = 0;
    sInt w = W, h = H;
    sInitScreenMode(flags, w, h);
    sSetGfxWindow(Window);
    sInitGfx(flags, w, h);
  }
  static void TearDownTestSuite()
  {
    if(sIsGfxActive() || Window) sExitGfx();
    sSetGfxWindow(nullptr);
    if(Window) SDL_DestroyWindow(Window);
    Window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  static inline SDL_Window *Window = nullptr;

  StartupRecord Record = sStartupRecord;
  std::string OldDir = plat::CurrentDir();
  sparktest::TempDir Dir;

  void SetUp() override
  {
    ASSERT_TRUE(sIsGfxActive()) << "no graphics device";
    SetShowDisplay(0, W, H);
    sPartitionMemory(1500000, 0);   // the forms' constants live in frame memory
    // a white picture for the loader's texture
    ASSERT_TRUE(plat::ChangeDir(Dir.Path.c_str()));
    plat::MakeDir("loader");
    std::vector<unsigned char> white(8 * 8 * 3, 255);
    ASSERT_TRUE(stbi_write_jpg("loader/supershape.jpg", 8, 8, 3, white.data(), 95));
  }
  void TearDown() override
  {
    plat::ChangeDir(OldDir.c_str());
    sPartitionMemory(0, 0);
  }

  // The brightest pixel around where a cube's centre lands on the screen.
  static sU32 CubePixel(LoaderScreen &ls, sInt cube, const std::vector<sU32> &px)
  {
    const sMat3x4 &m = static_cast<LoaderScene *>(ls.Loader)->Cubes[cube]->Matrix;
    // the view still holds the last form's placement: project through the camera alone
    sViewport v = ls.View;
    v.Model.Identity();
    v.Prepare(1);
    sVec4 c = sMulPointMat4x4(m.l, v.MVP);
    sInt x = sInt((c.x / c.w * 0.5f + 0.5f) * W), y = sInt((0.5f - c.y / c.w * 0.5f) * H);
    sU32 best = 0;
    for(sInt dy = -1; dy <= 1; dy++)
      for(sInt dx = -1; dx <= 1; dx++)
      {
        sInt xx = std::clamp(x + dx, 0, W - 1), yy = std::clamp(y + dy, 0, H - 1);
        best = std::max(best, px[size_t(yy) * W + xx] & 0xffffff);
      }
    return best;
  }

  static std::vector<sU32> Draw(LoaderScreen &ls)
  {
    std::vector<sU32> px(size_t(W) * H);
    EXPECT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0xff000000);
    // the view is prepared before the camera moves: the second draw shows this count
    ls.DrawProgress(0, 0);
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0xff000000);
    ls.DrawProgress(0, 0);
    const sU8 *data = nullptr;
    sInt pitch = 0, format = 0;
    sBeginReadScreen(data, pitch, format);
    for(sInt y = 0; y < H; y++) std::memcpy(&px[size_t(y) * W], data + sDInt(y) * pitch, size_t(W) * 4);
    sEndReadScreen();
    sRender3DEnd(0);
    return px;
  }
};
}

TEST_F(Loader, CountsAndStopsAfterItsLimit)
{
  Record.UseLoader = 0;
  Record.LoaderLimit = 30;
  LoaderScreen ls;
  ls.Start(&Record);
  EXPECT_EQ(ls.Loader, nullptr);
  RefreshLoadingScreen();
  RefreshLoadingScreen();
  EXPECT_EQ(ls.Steps, 2);
  EXPECT_EQ(ls.Progress, 20);
  ls.StartFrames();
  for(sInt i = 0; i < 10; i++) RefreshLoadingScreen();
  // counting stops with the call that finds the count past the limit
  EXPECT_EQ(ls.FrameProgress, 50);
  EXPECT_EQ(ls.Active, 0);
  ls.Destroy();
}

TEST_F(Loader, TheMarkerRunsRoundTheRing)
{
  Record.UseLoader = 1;
  LoaderScreen ls;
  ls.Start(&Record);
  ASSERT_NE(ls.Loader, nullptr);
  struct Count
  {
    sInt Steps, Lit, Dim;
  };
  // 4 steps of 400 are one percent: cube 0 dims, cube 1 lights; 8 steps move it on
  for(const Count &c : {Count{4, 1, 0}, Count{8, 2, 1}})
  {
    ls.Steps = c.Steps;
    std::vector<sU32> px = Draw(ls);
    sU32 lit = CubePixel(ls, c.Lit, px), dim = CubePixel(ls, c.Dim, px), far = CubePixel(ls, 40, px);
    EXPECT_GT(lit & 0xff, 0xc0u) << std::hex << lit;
    EXPECT_GT(dim & 0xff, 0x10u) << std::hex << dim;
    EXPECT_LT(dim & 0xff, 0x40u) << std::hex << dim;
    EXPECT_EQ(far & 0xff, 0u) << std::hex << far;           // the ring's own dark red
    EXPECT_GT((far >> 16) & 0xff, 0x30u) << std::hex << far;
  }
  ls.Destroy();
}

// Screen grabs: cleared frames read back into an image.
#include "graphics/graphics.hpp"
#include "graphics/image.hpp"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

namespace
{
class ImageGrab : public testing::Test
{
public:
  // the size of the other rendered suites of this program
  static constexpr sInt W = 64;
  static constexpr sInt H = 48;

  static void SetUpTestSuite()
  {
    if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    {
      SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
      if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    }
    Window = SDL_CreateWindow("image grab test", 0, 0, W, H, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
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
};

TEST_F(ImageGrab, ReadsTheScreenAtItsSize)
{
  ASSERT_TRUE(sIsGfxActive()) << "no graphics device";
  sImage img;
  for(sU32 colour : {0xff204080u, 0xffc08010u})
  {
    ASSERT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, colour);
    img.GrabScreen();
    sRender3DEnd(0);
    ASSERT_EQ(img.SizeX, W);
    ASSERT_EQ(img.SizeY, H);
    for(sInt i = 0; i < W * H; i++) ASSERT_EQ(img.Data[i] & 0x00ffffff, colour & 0x00ffffff) << i;
  }
}

TEST_F(ImageGrab, ImageDataMakesATextureOfItsSizeFormatAndLevels)
{
  ASSERT_TRUE(sIsGfxActive()) << "no graphics device";
  sImage img(16, 8);
  img.Fill(0xff336699);
  for(sInt format : {sInt(sTEX_2D | sTEX_ARGB8888), sInt(sTEX_2D | sTEX_DXT1), sInt(sTEX_2D | sTEX_ARGB8888 | sTEX_NOMIPMAPS)})
  {
    sImageData data;
    data.Init(format, 0, img.SizeX, img.SizeY);
    data.ConvertFrom(&img);
    sTexture2D *tex = data.CreateTexture();
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(tex->SizeX, 16);
    EXPECT_EQ(tex->SizeY, 8);
    EXPECT_EQ(tex->Mipmaps, data.Mipmaps) << format;
    EXPECT_EQ(tex->Flags & (sTEX_FORMAT | sTEX_TYPE_MASK), sU32(format) & (sTEX_FORMAT | sTEX_TYPE_MASK));
    sDelete(tex);
  }
}
}   // namespace

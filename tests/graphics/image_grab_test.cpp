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
}   // namespace

#pragma once
// Rendered tests over the real gpu device: one hidden window and device per test suite
// (SDL's off-screen driver when there is no display), a frame per test, and the back
// buffer read back as ARGB words, row 0 at the top.

#include "base/app.hpp"
#include "graphics/graphics.hpp"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

class RenderTest : public testing::Test
{
public:
  static constexpr sInt W = 64;
  static constexpr sInt H = 48;

  static void SetUpTestSuite()
  {
    Ready = false;
    if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    {
      SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
      if(SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    }
    Window = SDL_CreateWindow("graphics test", 0, 0, W, H, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if(!Window) return;
    sU32 flags = 0;
    sInt w = W, h = H;
    sInitScreenMode(flags, w, h);
    sSetGfxWindow(Window);
    sInitGfx(flags, w, h);
    Ready = sIsGfxActive() != 0;
  }

  static void TearDownTestSuite()
  {
    if(sIsGfxActive() || Window) sExitGfx();
    sSetGfxWindow(nullptr);
    if(Window) SDL_DestroyWindow(Window);
    Window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  void SetUp() override
  {
    ASSERT_TRUE(Ready) << "no graphics device";
  }

  // Begins a frame on the screen, cleared to the colour.
  static void BeginFrame(sU32 clear = 0xff000000)
  {
    ASSERT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, clear);
  }

  // The pixels of the current target (ARGB, row 0 at the top); ends the frame.
  static std::vector<sU32> EndFrame()
  {
    const sU8 *data = nullptr;
    sInt pitch = 0, format = 0;
    sBeginReadScreen(data, pitch, format);
    std::vector<sU32> px(size_t(W) * H);
    EXPECT_EQ(format, 1);
    for(sInt y = 0; y < H; y++) std::memcpy(&px[size_t(y) * W], data + sDInt(y) * pitch, size_t(W) * 4);
    sEndReadScreen();
    sRender3DEnd(0);
    return px;
  }

  static inline SDL_Window *Window = nullptr;
  static inline bool Ready = false;
};

// Channels of an ARGB word.
inline sInt ChA(sU32 c) { return sInt(c >> 24); }
inline sInt ChR(sU32 c) { return sInt((c >> 16) & 0xff); }
inline sInt ChG(sU32 c) { return sInt((c >> 8) & 0xff); }
inline sInt ChB(sU32 c) { return sInt(c & 0xff); }

// Largest channel difference of the colour parts (alpha too when withAlpha).
inline sInt ColorDiff(sU32 a, sU32 b, bool withAlpha = false)
{
  sInt d = std::abs(ChR(a) - ChR(b));
  d = std::max(d, std::abs(ChG(a) - ChG(b)));
  d = std::max(d, std::abs(ChB(a) - ChB(b)));
  if(withAlpha) d = std::max(d, std::abs(ChA(a) - ChA(b)));
  return d;
}

#pragma once
// Rendered tests over the real gpu device: one hidden window and device per test suite
// (SDL's off-screen driver when there is no display), a frame per test, and the back
// buffer read back as ARGB words, row 0 at the top.

#include "base/app.hpp"
#include "common/gfx_window.hpp"
#include "graphics/graphics.hpp"
#include "graphics/materials.hpp"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

// The pixels of the current target, w x h (ARGB, row 0 at the top).
inline std::vector<sU32> ReadScreen(sInt w, sInt h)
{
  const sU8 *data = nullptr;
  sInt pitch = 0, format = 0;
  sBeginReadScreen(data, pitch, format);
  std::vector<sU32> px(size_t(w) * h);
  for(sInt y = 0; y < h; y++) std::memcpy(&px[size_t(y) * w], data + sDInt(y) * pitch, size_t(w) * 4);
  sEndReadScreen();
  return px;
}

class RenderTest : public testing::Test
{
public:
  static constexpr sInt W = 64;
  static constexpr sInt H = 48;

  static void SetUpTestSuite()
  {
    Window = OpenGfxWindow("graphics test", W, H);
    Ready = sIsGfxActive() != 0;
  }

  static void TearDownTestSuite() { CloseGfxWindow(Window); }

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

  // The pixels of the current target; ends the frame.
  static std::vector<sU32> EndFrame()
  {
    std::vector<sU32> px = ReadScreen(W, H);
    sRender3DEnd(0);
    return px;
  }

  static inline SDL_Window *Window = nullptr;
  static inline bool Ready = false;
};

// Sets the material for drawing in the viewport, with the view's constants in vertex
// constant buffer 0.
inline void SetInView(sMaterial &m, const sViewport &view)
{
  sCBuffer cb(sCBUFFER_VS + 0, 0, sVIEWCONSTANTS_REGS);
  sSetViewConstants(static_cast<sViewConstants *>(cb.Data), view);
  cb.Modify();
  sCBufferBase *cbs[1] = {&cb};
  m.Set(cbs, 1, 0);
}

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

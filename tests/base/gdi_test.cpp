// The 2D layer: off-screen bitmaps read back, fonts printed and measured, and misuse.
#include "common/check.hpp"
#include "base/gdi.hpp"
#include "common/capture.hpp"
#include "common/ink.hpp"
#include "platform/font/font.hpp"
#include "platform/window/window.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

using sparktest::Ink;

// Renders with draw() into a fresh bitmap and returns its pixels, top row first.
template <class F> std::vector<sU32> Render(int w, int h, F draw)
{
  sRender2DBegin(w, h);
  draw();
  std::vector<sU32> pixels(size_t(w) * h + 4, 0xdeadbeef);
  sRender2DGetPixels(pixels.data());
  sRender2DEnd();
  for(int i = 0; i < 4; i++) EXPECT_EQ(pixels[size_t(w) * h + i], 0xdeadbeefu) << "written past the bitmap";
  pixels.resize(size_t(w) * h);
  return pixels;
}

Ink FindInk(const std::vector<sU32> &pixels, int w, int h)
{
  return sparktest::FindInk(0, 0, w, h, [&](int x, int y) { return pixels[size_t(y) * w + x] != 0; });
}

const sChar *Face = u"DejaVu Sans";

}

/****************************************************************************/

TEST(Gdi, BitmapPixelsComeBackTopRowFirstAsBlueGreenRedBytes)
{
  sInitGDI();
  sSetColor(1, 0xff102030);
  sSetColor(2, 0xffc0ffee);
  std::vector<sU32> px = Render(4, 2, [] {
    sFillRect2D(0, 0, 4, 1, 1);   // the top row
    sFillRect2D(1, 1, 3, 2, 2);   // right and bottom edges excluded
    sFillRect2D(2, 0, 2, 2, 2);   // empty: x0 = x1
    sFillRect2D(0, 1, 4, 1, 2);   // empty: y0 = y1
  });
  ASSERT_EQ(px.size(), 8u);
  const sU8 *bytes = reinterpret_cast<const sU8 *>(px.data());
  EXPECT_EQ(bytes[0], 0x30);
  EXPECT_EQ(bytes[1], 0x20);
  EXPECT_EQ(bytes[2], 0x10);
  EXPECT_EQ(bytes[3], 0x00);
  std::vector<sU32> want = {0x102030, 0x102030, 0x102030, 0x102030, 0, 0xc0ffee, 0xc0ffee, 0};
  EXPECT_EQ(px, want);

  // a new bitmap starts black again; a rectangle is clipped at the edges
  px = Render(3, 3, [] { sFillRect2D(-5, 2, 50, 9, 1); });
  want = {0, 0, 0, 0, 0, 0, 0x102030, 0x102030, 0x102030};
  EXPECT_EQ(px, want);
}

TEST(GdiDeathTest, BadIdsAndRenderSequencesAreFatal)
{
  EXPECT_EXIT(sSetColor(32, 0), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sGetColor(-1), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sFillRect2D(0, 0, 1, 1, 40), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sSetMousePointer(sMP_MAX), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sRender2DEnd(), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT({ sU32 px[4]; sRender2DGetPixels(px); }, testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT({ sRender2DBegin(2, 2); sRender2DBegin(2, 2); }, testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        std::unique_ptr<plat::Bitmap2D> paint = plat::Bitmap2D::Create(8, 8);
        sSet2DPaintTarget(paint.get());
        sRender2DBegin(2, 2);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sRender2DBegin(-4, 4), testing::ExitedWithCode(1), "could not create GDI-BM for bitmap rendering");
  EXPECT_EXIT(sRender2DBegin(1 << 20, 1 << 20), testing::ExitedWithCode(1), "could not create GDI-BM");
  EXPECT_EXIT({ sFont2D font(Face, 12, 0); font.SetColor(32, 0); }, testing::ExitedWithCode(1), kCheckFailed);
}

/****************************************************************************/

TEST(GdiFonts, PrintedTextHasTheMeasuredInkExtentAndBaseline)
{
  sInitGDI();
  sSetColor(2, 0xff00ff00);
  sFont2D font(Face, 40, 0);
  font.SetColor(2, 0);
  sFontCharInfo h;
  font.GetCharInfo(&h, 'H');
  EXPECT_EQ(h.Advance, h.A + h.B + h.C);
  EXPECT_GT(h.B, 10);
  EXPECT_GT(h.Height, 20);

  const int x = 7, y = 5, w = 120, ht = 60;
  std::vector<sU32> px = Render(w, ht, [&] { font.Print(0, x, y, u"H"); });
  Ink ink = FindInk(px, w, ht);
  ASSERT_FALSE(ink.Empty());
  // the ink of H: A right of the pen, B wide, its top Top rows above the baseline
  EXPECT_NEAR(ink.X0, x + h.A, 1);
  EXPECT_NEAR(ink.X1 - ink.X0 + 1, h.B, 1);
  EXPECT_NEAR(ink.Y0, y + font.GetBaseline() - h.Top, 1);
  EXPECT_NEAR(ink.Y1 - ink.Y0 + 1, h.Height, 1);
  // H stands on the baseline
  EXPECT_NEAR(ink.Y1, y + font.GetBaseline() - 1, 1);

  // in the text colour: the stems are pure green, nothing else has red or blue
  bool pureGreen = false;
  for(sU32 p : px)
  {
    EXPECT_EQ(p & 0xff00ffu, 0u);
    pureGreen |= p == 0x00ff00u;
  }
  EXPECT_TRUE(pureGreen);

  // soft edges only when the font asks for antialiasing: without it a pixel is ink or not
  for(sInt flags : {0, sInt(sF2C_ANTIALIASED)})
  {
    sFont2D round(Face, 40, flags);
    round.SetColor(2, 0);
    std::vector<sU32> o = Render(w, ht, [&] { round.Print(0, x, y, u"O"); });
    size_t between = std::count_if(o.begin(), o.end(), [](sU32 p) { return p != 0 && p != 0x00ff00u; });
    if(flags) EXPECT_GT(between, 10u);
    else EXPECT_EQ(between, 0u);
  }

  // two of them: the second starts one advance after the first
  px = Render(w, ht, [&] { font.Print(0, x, y, u"HH"); });
  Ink two = FindInk(px, w, ht);
  EXPECT_EQ(two.X0, ink.X0);
  EXPECT_NEAR(two.X1 - two.X0 + 1, h.Advance + h.B, 1);
}

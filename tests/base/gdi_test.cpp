// The 2D layer: colours, off-screen bitmaps read back, fonts printed and measured,
// the pointer and the window title.
#include "common/check.hpp"
#include "base/gdi.hpp"
#include "common/capture.hpp"
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

struct Ink
{
  int X0 = 1 << 30, Y0 = 1 << 30, X1 = -1, Y1 = -1;
  bool Empty() const { return X1 < 0; }
};

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
  Ink ink;
  for(int y = 0; y < h; y++)
    for(int x = 0; x < w; x++)
      if(pixels[size_t(y) * w + x] != 0)
      {
        ink.X0 = std::min(ink.X0, x);
        ink.X1 = std::max(ink.X1, x);
        ink.Y0 = std::min(ink.Y0, y);
        ink.Y1 = std::max(ink.Y1, y);
      }
  return ink;
}

const sChar *Face = u"DejaVu Sans";

}

/****************************************************************************/

TEST(Gdi, ColoursDropTheirAlphaAndKeepTheirOrder)
{
  sInitGDI();
  for(int i = 0; i < 32; i++) EXPECT_EQ(sGetColor(i), 0u) << "colours start black";
  sSetColor(3, 0x80123456);
  EXPECT_EQ(sGetColor(3), 0x00123456u);
  sSetColor(3, 0x80123456);
  EXPECT_EQ(sGetColor(3), 0x00123456u);
  sSetColor(31, 0xffabcdef);
  EXPECT_EQ(sGetColor(31), 0x00abcdefu);
  EXPECT_EQ(sGetColor(3), 0x00123456u);
}

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

TEST(Gdi, DrawingWithoutATargetDoesNothing)
{
  sInitGDI();
  sFont2D font(Face, 16, 0);
  sFillRect2D(0, 0, 10, 10, 1);
  font.Print(0, 0, 0, u"text");
  // a paint target receives drawing while no bitmap rendering runs
  std::unique_ptr<plat::Bitmap2D> paint = plat::Bitmap2D::Create(8, 8);
  sSetColor(5, 0xff0000ff);
  sSet2DPaintTarget(paint.get());
  sFillRect2D(0, 0, 2, 2, 5);
  sSet2DPaintTarget(nullptr);
  sFillRect2D(2, 2, 4, 4, 5);
  EXPECT_EQ(paint->GetPixel(1, 1), 0x0000ffu);
  EXPECT_EQ(paint->GetPixel(3, 3), 0u);
}

TEST(GdiDeathTest, BadIdsAndRenderSequencesAreFatal)
{
  EXPECT_EXIT(sSetColor(32, 0), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sGetColor(-1), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sFillRect2D(0, 0, 1, 1, 40), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sSetMousePointer(sMP_MAX), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sSetMousePointer(-1), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sRender2DEnd(), testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        sU32 px[4];
        sRender2DGetPixels(px);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        sRender2DBegin(2, 2);
        sRender2DBegin(2, 2);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        std::unique_ptr<plat::Bitmap2D> paint = plat::Bitmap2D::Create(8, 8);
        sSet2DPaintTarget(paint.get());
        sRender2DBegin(2, 2);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(sRender2DBegin(-4, 4), testing::ExitedWithCode(1), "could not create GDI-BM for bitmap rendering");
  EXPECT_EXIT(sRender2DBegin(1 << 20, 1 << 20), testing::ExitedWithCode(1),
              "could not create GDI-BM for bitmap rendering");
  EXPECT_EXIT(
      {
        sFont2D font(Face, 12, 0);
        font.SetColor(32, 0);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        sFont2D font(Face, 12, 0);
        font.SetColor(0, -1);
      },
      testing::ExitedWithCode(1), kCheckFailed);
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

  // two of them: the second starts one advance after the first
  px = Render(w, ht, [&] { font.Print(0, x, y, u"HH"); });
  Ink two = FindInk(px, w, ht);
  EXPECT_EQ(two.X0, ink.X0);
  EXPECT_NEAR(two.X1 - two.X0 + 1, h.Advance + h.B, 1);
}

TEST(GdiFonts, AbcWidthsAddUpToThePrintedAdvance)
{
  sInitGDI();
  sSetColor(1, 0xffffffff);
  sFont2D font(Face, 24, 0);
  font.SetColor(1, 0);
  const sChar *text = u"Wavy|";
  int advance = 0;
  for(int i = 0; i < 4; i++)
  {
    sFontCharInfo ci;
    font.GetCharInfo(&ci, text[i]);
    sInt a, b, c;
    font.GetAbcWidths(text[i], a, b, c);
    EXPECT_EQ(ci.A, a);
    EXPECT_EQ(ci.B, b);
    EXPECT_EQ(ci.C, c);
    EXPECT_EQ(ci.Advance, a + b + c);
    advance += ci.Advance;
  }
  // the bar after "Wavy" starts where the four advances put the pen
  sFontCharInfo bar;
  font.GetCharInfo(&bar, '|');
  std::vector<sU32> full = Render(200, 40, [&] { font.Print(0, 3, 2, text); });
  std::vector<sU32> barOnly = Render(200, 40, [&] { font.Print(0, 3 + advance, 2, u"|"); });
  Ink barInk = FindInk(barOnly, 200, 40);
  Ink fullInk = FindInk(full, 200, 40);
  ASSERT_FALSE(barInk.Empty());
  EXPECT_EQ(fullInk.X1, barInk.X1);
  EXPECT_EQ(barInk.X0, 3 + advance + bar.A);

  // a length draws only that many characters; -1 the whole text
  std::vector<sU32> part = Render(200, 40, [&] { font.Print(0, 3, 2, text, 4); });
  Ink partInk = FindInk(part, 200, 40);
  EXPECT_LT(partInk.X1, barInk.X0);
  std::vector<sU32> all = Render(200, 40, [&] { font.Print(0, 3, 2, text, -1); });
  EXPECT_EQ(all, full);
}

TEST(GdiFonts, MissingFaceFallsBackWithALogLine)
{
  sparktest::DebugCapture out;
  sFont2D font(u"No Such Face At All", 20, 0);
  out.Stop();
  EXPECT_NE(out.Text().find("font \"No Such Face At All\" not found"), std::string::npos) << out.Text();
  EXPECT_EQ(font.GetHeight(), 20) << "the stand-in keeps the asked size";
  EXPECT_TRUE(font.HasGlyph('A'));
  sFontCharInfo ci;
  font.GetCharInfo(&ci, 'A');
  EXPECT_GT(ci.Advance, 0);

  // an empty face takes the message-box font without a complaint
  sparktest::DebugCapture quiet;
  sFont2D box(u"", 20, 0);
  sFont2D none(nullptr, 20, 0);
  quiet.Stop();
  EXPECT_EQ(quiet.Text().find("not found"), std::string::npos) << quiet.Text();
  EXPECT_GT(box.GetHeight(), 0);
  EXPECT_EQ(box.GetHeight(), none.GetHeight());
  EXPECT_TRUE(box.HasGlyph('A'));

  // a face name longer than the 32 characters a font name holds is cut
  sparktest::DebugCapture cut;
  sFont2D longName(u"DejaVu Sans and a lot more words after it", 20, 0);
  cut.Stop();
  EXPECT_NE(cut.Text().find("font \"DejaVu Sans and a lot more words\" not found"), std::string::npos) << cut.Text();
}

/****************************************************************************/

TEST(GdiDeathTest, WindowTitleBeforeAnyIsSet)
{
  // a fresh process has set no title
  EXPECT_EXIT(
      {
        std::fprintf(stderr, "<%s>\n", plat::ToUtf8(sGetWindowName()).c_str());
        std::fflush(stderr);
        _exit(0);
      },
      testing::ExitedWithCode(0), "<orvane application>");
}

TEST(Gdi, WindowTitleIsStoredAndCut)
{
  sSetWindowName(u"Sparkvane Show");
  EXPECT_EQ(plat::ToUtf8(sGetWindowName()), "Sparkvane Show");
  std::u16string longTitle(300, u'a');
  sSetWindowName(longTitle.c_str());
  EXPECT_EQ(plat::ToUtf8(sGetWindowName()), std::string(256, 'a'));
  sSetWindowName(nullptr);
  EXPECT_EQ(plat::ToUtf8(sGetWindowName()), "orvane application");
  sSetWindowName(u"");
  EXPECT_EQ(plat::ToUtf8(sGetWindowName()), "orvane application");
}

TEST(Gdi, PointerIsHiddenAndShownOnlyWhenItsStateChanges)
{
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  std::u16string error;
  if(!plat::InitVideo(error)) GTEST_SKIP() << "no video: " << plat::ToUtf8(error);
  sInitGDI();
  plat::ShowCursor(true);
  sSetMousePointer(sMP_HAND);
  EXPECT_TRUE(plat::IsCursorShown()) << "the first shape keeps the pointer's visibility";
  sSetMousePointer(sMP_OFF);
  EXPECT_FALSE(plat::IsCursorShown());
  // a second OFF does not hide again: what was shown meanwhile stays
  plat::ShowCursor(true);
  sSetMousePointer(sMP_OFF);
  EXPECT_TRUE(plat::IsCursorShown());
  plat::ShowCursor(false);
  sSetMousePointer(sMP_ARROW);
  EXPECT_TRUE(plat::IsCursorShown()) << "a shape after OFF shows the pointer";
  // a shape after a shape does not touch the visibility
  plat::ShowCursor(false);
  sSetMousePointer(sMP_TEXT);
  EXPECT_FALSE(plat::IsCursorShown());
  for(int code = 1; code < sMP_MAX; code++) sSetMousePointer(code);
  plat::ShowCursor(true);
  plat::ExitVideo();
}

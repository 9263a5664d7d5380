#include "platform/font/font.hpp"

#include "common/ink.hpp"

#include <gtest/gtest.h>

namespace
{

std::unique_ptr<plat::Font> Make(const char16_t *face, int height, int weight = 0, bool italic = false)
{
  plat::FontRequest request;
  request.Face = face;
  request.Height = height;
  request.Weight = weight;
  request.Italic = italic;
  std::u16string error;
  auto font = plat::Font::Create(request, &error);
  EXPECT_TRUE(font) << std::string(error.begin(), error.end());
  return font;
}

using sparktest::Ink;

// the box of every pixel that differs from the background
Ink FindInk(const plat::Bitmap2D &b)
{
  return sparktest::FindInk(0, 0, b.GetWidth(), b.GetHeight(), [&](int x, int y) { return b.GetPixel(x, y) != 0; });
}

}

TEST(Fonts, AbcWidthsAgreeWithGlyphBoxesAndTextExtent)
{
  auto font = Make(u"DejaVu Sans", -20);
  ASSERT_TRUE(font);
  plat::AbcWidths abc[256];
  ASSERT_TRUE(font->GetAbcWidths(0, 255, abc));
  std::u16string text;
  int sum = 0;
  for(char32_t c = 32; c < 127; c++)
  {
    plat::GlyphBox box;
    ASSERT_TRUE(font->GetGlyph(c, &box));
    EXPECT_EQ(abc[c].A + abc[c].B + abc[c].C, box.AdvanceX) << char(c);
    EXPECT_EQ(abc[c].B, box.BlackBoxX) << char(c);
    EXPECT_EQ(abc[c].A, c == U' ' ? 0 : box.OriginX) << char(c);
    text += char16_t(c);
    sum += box.AdvanceX;
  }
  int cx = 0, cy = 0;
  font->GetTextExtent(text.c_str(), -1, &cx, &cy);
  EXPECT_EQ(cx, sum);
  EXPECT_EQ(cy, font->GetMetrics().Height);
  font->GetTextExtent(text.c_str(), 3, &cx, nullptr);
  EXPECT_EQ(cx, abc[32].A + abc[32].B + abc[32].C + abc[33].A + abc[33].B + abc[33].C + abc[34].A + abc[34].B + abc[34].C);

  // a blank has a 1 x 1 box and no ink
  plat::GlyphBox blank;
  std::vector<uint8_t> coverage;
  font->GetGlyph(U' ', &blank, &coverage);
  EXPECT_EQ(blank.BlackBoxX, 1);
  EXPECT_EQ(blank.BlackBoxY, 1);
  EXPECT_GT(blank.AdvanceX, 0);
  ASSERT_EQ(coverage.size(), 1u);
  EXPECT_EQ(coverage[0], 0);

  // an inked glyph's bitmap is its box, and its box is tight
  plat::GlyphBox o;
  font->GetGlyph(U'o', &o, &coverage);
  ASSERT_EQ(coverage.size(), size_t(o.BlackBoxX * o.BlackBoxY));
  int top = 0, bottom = 0, left = 0, right = 0;
  for(int x = 0; x < o.BlackBoxX; x++)
  {
    top += coverage[size_t(x)];
    bottom += coverage[size_t((o.BlackBoxY - 1) * o.BlackBoxX + x)];
  }
  for(int y = 0; y < o.BlackBoxY; y++)
  {
    left += coverage[size_t(y * o.BlackBoxX)];
    right += coverage[size_t(y * o.BlackBoxX + o.BlackBoxX - 1)];
  }
  EXPECT_GT(top, 0);
  EXPECT_GT(bottom, 0);
  EXPECT_GT(left, 0);
  EXPECT_GT(right, 0);

  EXPECT_FALSE(font->GetAbcWidths(10, 9, abc));
}

// (where a glyph's ink lands against the pen and the baseline: tests/base/gdi_test.cpp)
TEST(Bitmap2D, DescendersReachBelowTheBaselineByTheirBox)
{
  auto font = Make(u"DejaVu Sans", -40);
  ASSERT_TRUE(font);
  auto low = plat::Bitmap2D::Create(80, 80);
  ASSERT_TRUE(low);
  const int y = 5, baseline = y + font->GetMetrics().Ascent;
  low->DrawText(*font, 10, y, u"p", 1, 0xffffff);
  plat::GlyphBox p;
  font->GetGlyph(U'p', &p);
  Ink ink = FindInk(*low);
  EXPECT_EQ(ink.Y0, baseline - p.OriginY);
  EXPECT_EQ(ink.Y1, baseline - p.OriginY + p.BlackBoxY - 1);
  EXPECT_GT(ink.Y1, baseline);
  EXPECT_LE(ink.Y1, y + font->GetMetrics().Height - 1) << "ink stays inside the cell";
}

TEST(Bitmap2D, TextIsBlendedInItsColourByCoverage)
{
  auto font = Make(u"DejaVu Sans", -40);
  auto bitmapp = plat::Bitmap2D::Create(60, 60);
  ASSERT_TRUE(bitmapp);
  plat::Bitmap2D &bitmap = *bitmapp;
  plat::GlyphBox box;
  std::vector<uint8_t> coverage;
  font->GetGlyph(U'I', &box, &coverage);
  const int left = 5 + box.OriginX, top = 5 + font->GetMetrics().Ascent - box.OriginY;
  // colours are 0x00BBGGRR, pixels come back 0x00RRGGBB; over a white ground black text
  // blends towards white by the same coverage
  auto white = plat::Bitmap2D::Create(60, 60);
  ASSERT_TRUE(white);
  white->FillRect(0, 0, 60, 60, 0xffffff);
  bitmap.DrawText(*font, 5, 5, u"I", -1, 0x00336699);
  white->DrawText(*font, 5, 5, u"I", -1, 0x000000);
  int full = 0;
  for(int gy = 0; gy < box.BlackBoxY; gy++)
    for(int gx = 0; gx < box.BlackBoxX; gx++)
    {
      unsigned c = coverage[size_t(gy * box.BlackBoxX + gx)];
      uint32_t px = bitmap.GetPixel(left + gx, top + gy);
      EXPECT_EQ(px, (0x99 * c + 127) / 255 << 16 | (0x66 * c + 127) / 255 << 8 | (0x33 * c + 127) / 255) << gx << "," << gy;
      EXPECT_EQ(white->GetPixel(left + gx, top + gy) & 0xff, (255 * (255 - c) + 127) / 255);
      full += c == 255;
    }
  EXPECT_GT(full, 0) << "a stem at this size has fully covered pixels";
}

TEST(Bitmap2D, TextAtTheEdgesIsClipped)
{
  auto font = Make(u"DejaVu Sans", 48);
  auto bitmapp = plat::Bitmap2D::Create(30, 30);
  ASSERT_TRUE(bitmapp);
  plat::Bitmap2D &bitmap = *bitmapp;
  bitmap.DrawText(*font, -20, -25, u"WgW", -1, 0xffffff);
  bitmap.DrawText(*font, 20, 20, u"WgW", -1, 0xffffff);
  bitmap.DrawText(*font, 1000, 1000, u"W", -1, 0xffffff);
  EXPECT_FALSE(FindInk(bitmap).Empty());
  auto nonep = plat::Bitmap2D::Create(0, 0);
  ASSERT_TRUE(nonep);
  plat::Bitmap2D &none = *nonep;
  none.DrawText(*font, 0, 0, u"W", -1, 0xffffff);
  none.FillRect(0, 0, 10, 10, 0xffffff);
  EXPECT_EQ(none.GetPixel(0, 0), 0u);
  // a null text draws nothing
  bitmap.DrawText(*font, 0, 0, nullptr, -1, 0xffffff);
}

TEST(Bitmap2D, SurrogatePairsAreOneCharacterAndLoneOnesDoNotBreak)
{
  auto font = Make(u"DejaVu Sans", 20);
  const char16_t pair[] = {0xd83d, 0xde00, 0};  // U+1F600
  int cx = 0;
  font->GetTextExtent(pair, -1, &cx, nullptr);
  plat::GlyphBox box;
  font->GetGlyph(0x1f600, &box);
  EXPECT_EQ(cx, box.AdvanceX);
  const char16_t lone[] = {u'a', 0xd800, u'b', 0};
  auto bitmapp = plat::Bitmap2D::Create(100, 40);
  ASSERT_TRUE(bitmapp);
  plat::Bitmap2D &bitmap = *bitmapp;
  bitmap.DrawText(*font, 0, 0, lone, -1, 0xffffff);
  EXPECT_FALSE(FindInk(bitmap).Empty());
}

// (a negative width and a huge size, as the 2D calls meet them: tests/base/gdi_test.cpp)
TEST(Bitmap2D, ImpossibleSizesAreRefused)
{
  EXPECT_FALSE(plat::Bitmap2D::Create(10, -1));
  EXPECT_FALSE(plat::Bitmap2D::Create(INT32_MAX, INT32_MAX));
  auto empty = plat::Bitmap2D::Create(0, 5);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->GetWidth(), 0);
  EXPECT_EQ(empty->GetHeight(), 5);
}

TEST(Fonts, ExtremeRequestsAreCut)
{
  for(int height : {INT32_MIN, INT32_MAX, -100000})
  {
    plat::FontRequest request;
    request.Face = u"DejaVu Sans";
    request.Height = height;
    request.Width = INT32_MAX;
    request.Weight = INT32_MAX;
    auto font = plat::Font::Create(request);
    ASSERT_TRUE(font) << height;
    EXPECT_GT(font->GetMetrics().Height, 0);
    EXPECT_LE(font->GetMetrics().Height, 2 * 4096);
    EXPECT_LE(font->GetMetrics().AveCharWidth, 4096);
  }
  // the symbol character set on a face without a symbol map keeps its characters
  plat::FontRequest symbol;
  symbol.Face = u"DejaVu Sans";
  symbol.Height = 20;
  symbol.Symbol = true;
  auto font = plat::Font::Create(symbol);
  ASSERT_TRUE(font);
  EXPECT_TRUE(font->HasGlyph(U'A'));
}

// The faces the text presets name find their metric twins: Tahoma in the Wine fonts'
// folder (which the system's configuration does not scan), Arial as Liberation Sans.
TEST(Fonts, NamedFacesFindTheirStandIns)
{
  auto tahoma = Make(u"Tahoma", 32);
  ASSERT_TRUE(tahoma);
  EXPECT_EQ(tahoma->GetFamily(), u"Tahoma");
  EXPECT_FALSE(tahoma->IsFallback());
  auto bold = Make(u"Tahoma", 160, 700);
  ASSERT_TRUE(bold);
  EXPECT_NE(bold->GetFile().find("tahomabd"), std::string::npos) << bold->GetFile();
  auto arial = Make(u"Arial", 32);
  ASSERT_TRUE(arial);
  EXPECT_EQ(arial->GetFamily(), u"Liberation Sans");
}

// The font atlas: glyph boxes inside the atlas and apart, the ink of each glyph inside its
// box.
#include "base/gdi.hpp"
#include "graphics/fontatlas.hpp"
#include "common/ink.hpp"
#include "graphics/image.hpp"

#include <gtest/gtest.h>

namespace
{
sFontAtlasFont Font(const sChar *face, sInt height)
{
  sFontAtlasFont f = {};
  sCopyString(f.Face, face);
  f.Height = height;
  return f;
}

using sparktest::Ink;

// The ink (alpha above 64) bounding box inside a rectangle of the atlas.
Ink FindInk(const sImage &img, sInt x, sInt y, sInt w, sInt h)
{
  auto inked = [&](int xx, int yy) { return (img.Data[yy * img.SizeX + xx] >> 24) > 64; };
  return sparktest::FindInk(x, y, x + w, y + h, inked);
}
}   // namespace

TEST(FontAtlas, GlyphBoxesHoldTheirInkAndDoNotOverlap)
{
  sInitGDI();
  sFontAtlasFont font = Font(u"DejaVu Sans", 32);
  sFontAtlasDesc desc;
  desc.Fonts = &font;
  desc.FontCount = 1;
  desc.Chars = u" AHgj|W\x00e9";
  desc.Padding = 3;   // raised to 4
  sImage atlas;
  sInt count = 0, baseline = 0;
  GlyphRecord *recs = sBuildFontAtlas(&atlas, desc, count, baseline);
  ASSERT_EQ(count, 8);
  EXPECT_GT(baseline, 16);
  EXPECT_EQ(recs[0].Char, u' ');
  for(sInt i = 0; i < count; i++)
  {
    const GlyphRecord &r = recs[i];
    ASSERT_EQ(r.Char, desc.Chars[i]);
    EXPECT_EQ(r.Box, r.WidthB + 8);
    const sInt boxX = r.X - 4;   // the box starts the padding before the ink
    EXPECT_GE(boxX, 0);
    EXPECT_GE(r.Y, 0);
    EXPECT_LE(boxX + r.Box, atlas.SizeX);
    EXPECT_LE(r.Y + r.Height, atlas.SizeY);
    for(sInt k = 0; k < i; k++)
    {
      const GlyphRecord &o = recs[k];
      bool apart = boxX + r.Box <= o.X - 4 || o.X - 4 + o.Box <= boxX || r.Y + r.Height <= o.Y || o.Y + o.Height <= r.Y;
      EXPECT_TRUE(apart) << i << " and " << k;
    }
    if(r.Char == u' ') continue;
    // the ink starts about the padding inside the box and ends before its far side
    Ink ink = FindInk(atlas, boxX, r.Y, r.Box, r.Height);
    ASSERT_FALSE(ink.Empty()) << i;
    EXPECT_NEAR(ink.X0, r.X, 2) << i;
    EXPECT_NEAR(ink.Y0, r.Y + 4, 2) << i;
    EXPECT_NEAR(ink.X1, r.X + r.WidthB - 1, 2) << i;
    // the text form draws columns x - 1 to x + WidthB + 1 of the atlas: all the ink is there
    EXPECT_GE(ink.X0, r.X - 1) << i;
    EXPECT_LT(ink.X1, r.X + r.WidthB + 1) << i;
    EXPECT_NEAR(ink.Y1, r.Y + r.Height - 5, 2) << i;
  }
  // the boxes sit where the ink sits in the cell: A and H at the cap height, g lower
  EXPECT_EQ(recs[2].OffsetY, recs[1].OffsetY);   // A and H share the cap height
  EXPECT_GT(recs[3].OffsetY, recs[2].OffsetY);   // g starts at the x-height
  // nothing outside the boxes is drawn; the colour is white everywhere
  std::vector<bool> inBox(size_t(atlas.SizeX) * atlas.SizeY, false);
  for(sInt i = 0; i < count; i++)
    for(sInt y = recs[i].Y; y < recs[i].Y + recs[i].Height; y++)
      for(sInt x = recs[i].X - 4; x < recs[i].X - 4 + recs[i].Box; x++) inBox[size_t(y) * atlas.SizeX + x] = true;
  for(sInt i = 0; i < atlas.SizeX * atlas.SizeY; i++)
  {
    EXPECT_EQ(atlas.Data[i] & 0x00ffffff, 0x00ffffffu);
    if(!inBox[size_t(i)]) { ASSERT_EQ(atlas.Data[i] >> 24, 0u) << i; }
  }
  sMemFree(recs);
}

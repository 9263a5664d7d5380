// The painter: its font, the quads it collects, its limits, and what it draws.

#include "common/check.hpp"
#include "graphics/materials.hpp"
#include "graphics/painter.hpp"
#include "render_fixture.hpp"

#include <algorithm>
#include <memory>
#include <set>
#include <string>

namespace
{
bool GlyphBit(sInt c, sInt x, sInt y) { return (sGetPainterFont()[c * 8 + y] >> (7 - x)) & 1; }

/****************************************************************************/
/***   The font                                                           ***/
/****************************************************************************/

std::string GlyphKey(sInt c) { return std::string(reinterpret_cast<const char *>(sGetPainterFont() + c * 8), 8); }

TEST(PainterFont, PrintableCharactersAreDistinctAndFitTheCell)
{
  // the box marks the control characters of the upper half; every printable character
  // of Latin-1 has a picture of its own
  const std::string box = GlyphKey(0x80);
  std::set<std::string> seen;
  for(sInt c = 32; c < 256; c++)
  {
    if(c >= 127 && c < 0xa0) continue;
    std::string key = GlyphKey(c);
    sInt bits = 0;
    for(sInt y = 0; y < 8; y++)
    {
      sU8 row = sGetPainterFont()[c * 8 + y];
      EXPECT_EQ(row & 0x03, 0) << "character " << c << " reaches beyond the six columns of its cell";
      bits += __builtin_popcount(row);
    }
    if(c == ' ' || c == 0xa0) EXPECT_EQ(bits, 0);
    else EXPECT_GT(bits, 0) << "character " << c << " is empty";
    EXPECT_NE(key, box) << "character " << c << " has no picture";
    if(c == 0xa0) continue;   // a space too
    EXPECT_TRUE(seen.insert(key).second) << "character " << c << " looks like another one";
  }
  // a few shapes a reader relies on: the capital O is closed, the underscore lies low
  EXPECT_TRUE(GlyphBit('O', 0, 3) && GlyphBit('O', 4, 3) && GlyphBit('O', 2, 0) && GlyphBit('O', 2, 6));
  EXPECT_FALSE(GlyphBit('O', 2, 3));
  EXPECT_TRUE(GlyphBit('_', 2, 7));
  // the slashed capital O reaches out of the oval, unlike the slashed zero
  EXPECT_TRUE(GlyphBit(0xd8, 4, 0) && GlyphBit(0xd8, 0, 6));
  EXPECT_FALSE(GlyphBit('0', 4, 0) || GlyphBit('0', 0, 6));
}

TEST(PainterFont, AccentsStandClearOfTheirLetters)
{
  const sU8 *f = sGetPainterFont();
  auto rowsSet = [&](sInt c, sInt from, sInt to) {
    for(sInt r = from; r <= to; r++)
      if(!f[c * 8 + r]) return false;
    return true;
  };
  // small letters: an accent of two rows, a clear row, a body of four rows on the base line
  for(sInt c : {0xe0, 0xe1, 0xe2, 0xe3, 0xe5, 0xe8, 0xe9, 0xea, 0xec, 0xed, 0xee, 0xf1, 0xf2, 0xf5, 0xf9, 0xfa, 0xfb, 0xfd})
  {
    EXPECT_TRUE(rowsSet(c, 0, 1)) << "character " << c;
    EXPECT_EQ(f[c * 8 + 2], 0) << "character " << c << ": the accent touches the letter";
    EXPECT_TRUE(rowsSet(c, 3, 6)) << "character " << c;
  }
  for(sInt c : {0xe4, 0xeb, 0xef, 0xf6, 0xfc, 0xff}) EXPECT_NE(f[c * 8 + 0] | f[c * 8 + 1], 0) << "character " << c;
  // capitals: an accent of one row, a clear row, a body of five rows on the base line
  for(sInt c = 0xc0; c <= 0xdd; c++)
  {
    if(c == 0xc6 || c == 0xc7 || c == 0xd0 || c == 0xd7 || c == 0xd8) continue;
    EXPECT_NE(f[c * 8], 0) << "character " << c;
    EXPECT_EQ(f[c * 8 + 1], 0) << "character " << c << ": the accent touches the letter";
    EXPECT_TRUE(rowsSet(c, 2, 6)) << "character " << c;
    EXPECT_EQ(f[c * 8 + 7], 0) << "character " << c;
  }
  // the y keeps its descender under an accent
  EXPECT_NE(f[0xfd * 8 + 7], 0);
  EXPECT_NE(f[0xff * 8 + 7], 0);
}

/****************************************************************************/
/***   Collecting quads                                                   ***/
/****************************************************************************/

class PainterBatch : public RenderTest
{
protected:
  std::unique_ptr<sPainter> P;
  void SetUp() override
  {
    RenderTest::SetUp();
    P = std::make_unique<sPainter>();
  }
  void TearDown() override { P.reset(); }
};

TEST_F(PainterBatch, TextBeyondTheRoomIsDropped)
{
  for(sInt i = 0; i < 19998; i++) P->Rect(0, 0, 1, 1, 0xffffffff);
  P->PrintRun(0, 0, 0, 0xffffffff, u"abcde", -1, 1.0f);
  EXPECT_EQ(P->Used, 20000);
  P->Print(0, 0, u"more");
  EXPECT_EQ(P->Used, 20000);
  P->Clear();
  EXPECT_EQ(P->Used, 0);
}

/****************************************************************************/
/***   Drawing                                                            ***/
/****************************************************************************/

using PainterDraw = PainterBatch;

TEST_F(PainterDraw, FilledRectangleCoversItsPixels)
{
  BeginFrame(0xff000000);
  P->UpdateView();
  P->Rect(10, 5, 30, 20, 0xffff0000);
  P->Draw();
  EXPECT_EQ(P->Used, 1);   // the batch is kept
  std::vector<sU32> px = EndFrame();
  for(sInt y = 0; y < H; y++)
    for(sInt x = 0; x < W; x++)
    {
      bool inside = x >= 10 && x < 30 && y >= 5 && y < 20;
      ASSERT_EQ(px[y * W + x] & 0xffffff, inside ? 0xff0000u : 0u) << x << "," << y;
    }
}

TEST_F(PainterDraw, PrintedStringShowsItsGlyphs)
{
  const sChar *text = u"Hi5g";
  const sInt x0 = 3, y0 = 10;
  BeginFrame(0xff000000);
  P->UpdateView();
  P->SetPrint(0, 0xffffff00, 1.0f);
  P->Print(sF32(x0), sF32(y0), text);
  P->Draw();
  std::vector<sU32> px = EndFrame();
  for(sInt i = 0; text[i]; i++)
    for(sInt y = 0; y < 8; y++)
      for(sInt x = 0; x < 6; x++)
      {
        sU32 want = GlyphBit(text[i], x, y) ? 0xffff00u : 0u;
        ASSERT_EQ(px[(y0 + y) * W + x0 + i * 6 + x] & 0xffffff, want)
            << "character " << i << " pixel " << x << "," << y;
      }
  // nothing around the text
  for(sInt x = 0; x < W; x++)
  {
    EXPECT_EQ(px[(y0 - 1) * W + x] & 0xffffff, 0u);
    EXPECT_EQ(px[(y0 + 8) * W + x] & 0xffffff, 0u);
  }
  EXPECT_EQ(px[y0 * W + x0 + 4 * 6] & 0xffffff, 0u);
}

TEST_F(PainterDraw, FullBatchDrawsItsLastQuads)
{
  BeginFrame(0xff000000);
  P->UpdateView();
  // 19998 quads outside the picture, then two that show: the last quads of a full batch
  // lie beyond what 16-bit indices reach
  for(sInt i = 0; i < 19998; i++) P->Rect(-10, -10, -5, -5, 0xffffffff);
  P->Rect(0, 0, 4, 4, 0xff00ff00);
  P->Line(10, 20, 20, 20, 0xffff0000, 0xffff0000);
  EXPECT_EQ(P->Used, P->Alloc);
  P->Draw();
  std::vector<sU32> px = EndFrame();
  EXPECT_EQ(px[2 * W + 2] & 0xffffff, 0x00ff00u);
  EXPECT_EQ(px[20 * W + 15] & 0xffffff, 0xff0000u);
}

TEST_F(PainterDraw, ViewFollowsTheBoundRenderTarget)
{
  sTexture2D *rt = sNEW sTexture2D(32, 16, sTEX_2D | sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS, 1);
  ASSERT_TRUE(sRender3DBegin());
  sRenderTargetSpec spec(sRTF_CLEAR_COLOR, 0xff000000, nullptr, rt, nullptr);
  sSetTarget(spec);
  P->UpdateView();
  P->Rect(28, 12, 32, 16, 0xffff00ff);
  P->Rect(0, 0, 2, 2, 0xff00ff00);
  P->Draw();
  const std::vector<sU32> px = ReadScreen(32, 16);
  sRender3DEnd(0);
  auto at = [&](sInt x, sInt y) { return px[size_t(y * 32 + x)] & 0xffffff; };
  EXPECT_EQ(at(31, 15), 0xff00ffu);
  EXPECT_EQ(at(27, 11), 0u);
  EXPECT_EQ(at(1, 1), 0x00ff00u);
  EXPECT_EQ(at(2, 2), 0u);
  sDelete(rt);
}
}

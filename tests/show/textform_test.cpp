// Text forms: line layout and alignment, outlines, the line table's limits, characters the
// font lacks, and the quads drawn with the glyph texture.

#include "base/gdi.hpp"
#include "common/check.hpp"
#include "form_render.hpp"
#include "scene_util.hpp"
#include "graphics/fontatlas.hpp"
#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"
#include "show/textform.hpp"

#include <algorithm>
#include <memory>

namespace
{
class TextFormTest : public FormTest
{
protected:
  std::unique_ptr<TextForm> Text;
  void SetUp() override
  {
    FormTest::SetUp();
    sInitGDI();
    Text.reset(sNEW TextForm(0));
    Text->SetFont(nullptr, 1);
  }
  void TearDown() override { sDelete(Text.release()); }
  // The first and last lit columns of the text drawn alone (y flipped: model y up).
  std::pair<sInt, sInt> Ink(void (*print)(TextForm &))
  {
    Text->Clear();
    Text->TextScale = 0.5f;
    print(*Text);
    sSimpleMaterial m;
    m.S.BlendColor = 0x60105;
    Text->PrepareMaterial(&m);
    sMat3x4 place = Place(1, 0, 0);
    place.j.Init(0, -1, 0);
    std::vector<sU32> px = Draw(*Text, m, sVertexFormatPosNormUV, place);
    m.Texture[0] = nullptr;
    sInt first = W, last = -1;
    for(sInt y = 0; y < H; y++)
      for(sInt x = 0; x < W; x++)
        if(Lit(px[size_t(y * W + x)])) first = std::min(first, x), last = std::max(last, x);
    return {first, last};
  }
};

TEST_F(TextFormTest, AlignmentMovesTheInk)
{
  auto left = Ink([](TextForm &t) { t.PrintLeft(u"HH", 4, -20); });
  auto right = Ink([](TextForm &t) { t.PrintRight(u"HH", 60, -20); });
  auto centre = Ink([](TextForm &t) { t.PrintCentered(u"HH", 32, -20); });
  EXPECT_TRUE(left.first >= 4 && left.first <= 8 && right.second <= 60 && right.second >= 55) << left.first << " " << right.second;
  EXPECT_NEAR((centre.first + centre.second) / 2.0, 32.0, 2.0);
  EXPECT_EQ(left.second - left.first, right.second - right.first);

  // a character the font lacks, or one outside the set, takes the blank's place
  auto gap = Ink([](TextForm &t) { t.PrintLeft(u"H H", 4, -20); });
  auto odd = Ink([](TextForm &t) { t.PrintLeft(u"H\x4e00H", 4, -20); });
  EXPECT_EQ(gap, odd);

  // after Clear nothing is drawn
  EXPECT_EQ(Ink([](TextForm &) {}).second, -1);
}

TEST_F(TextFormTest, FormsOfAPresetShareOneGlyphTextureUntilTheLast)
{
  const auto print = [](TextForm &t) { t.PrintLeft(u"HxH", 4, -20); };
  const auto before = Ink(print);
  TextForm *same = sNEW TextForm(0), *other = sNEW TextForm(0);
  same->SetFont(nullptr, 1);
  other->SetFont(nullptr, 3);
  sTexture2D *shared = Text->GlyphTexture;
  EXPECT_TRUE(same->GlyphTexture == shared && same->Glyphs == Text->Glyphs && other->GlyphTexture != shared);
  EXPECT_EQ(TextFormFontUsers(shared), 2);
  sDELETE(same);
  EXPECT_EQ(Ink(print), before);
  // a form choosing another preset lets the first go; the last to go frees it
  Text->SetFont(nullptr, 3);
  EXPECT_EQ(TextFormFontUsers(shared), 0);
  EXPECT_EQ(Text->GlyphTexture, other->GlyphTexture);
  sDELETE(other);
  EXPECT_EQ(TextFormFontUsers(Text->GlyphTexture), 1);
}

// The glyph texture keeps the atlas's alpha alone: the atlas is white, so the text of
// every preset reads back the same as from the atlas in full colour.
TEST_F(TextFormTest, AlphaOnlyGlyphsDrawAsTheFullColourAtlas)
{
  for(sInt preset = 1; preset <= 11; preset++)
  {
    TextForm t(0);
    t.SetFont(nullptr, preset);
    t.TextScale = 20.0f / t.LineHeight;
    t.PrintLeft(u"Ag#\xe9", 2, -6);
    sFontAtlasDesc desc;
    desc.Fonts = t.Fonts.GetData();
    desc.FontCount = t.Fonts.GetSize();
    desc.Chars = t.CharSet;
    sImage atlas;
    sInt count = 0, baseline = 0;
    sMemFree(sBuildFontAtlas(&atlas, desc, count, baseline));
    sTexture2D *full = sLoadTexture2D(&atlas, sTEX_2D | sTEX_ARGB8888);
    sTexture2D *alphaOnly = t.GlyphTexture;
    auto draw = [&](sTexture2D *glyphs) {
      sSimpleMaterial m;
      m.S.BlendColor = 0x60105;
      t.GlyphTexture = glyphs;
      t.PrepareMaterial(&m);
      sMat3x4 place = Place(1, 0, 0);
      place.j.Init(0, -1, 0);
      std::vector<sU32> px = Draw(t, m, sVertexFormatPosNormUV, place);
      m.Texture[0] = nullptr;
      return px;
    };
    const std::vector<sU32> want = draw(full), got = draw(alphaOnly);
    t.GlyphTexture = alphaOnly;
    EXPECT_TRUE(std::any_of(got.begin(), got.end(), Lit)) << preset;
    EXPECT_TRUE(got == want) << preset;
    sDELETE(full);
  }
}

TEST_F(TextFormTest, OutlineLongLinesAndTheLineLimit)
{
  Text->Outline = 1;
  Text->LineBrightness = 0.5f;
  Text->PrintLeft(u"abc", 5, 7);
  EXPECT_TRUE(Text->LineCount == 4 && Text->CharCount == 12);
  EXPECT_TRUE(Text->Lines[0].x == 5 - 0.35f && Text->Lines[3].y == 7 + 0.35f);
  EXPECT_TRUE(Text->Lines[0].Brightness == 0.5f && Text->Lines[3].Brightness == 0.5f);   // each copy keeps it
  EXPECT_TRUE(Text->CursorX == 5.0f && Text->CursorY == 7 - 32.0f);   // restored, then one line down

  // 256 characters and the terminator fit; a longer text keeps 256 and counts what it kept
  Text->Clear();
  Text->Outline = 0;
  std::u16string full(256, u'x'), longer(300, u'y');
  Text->AddLine(full.c_str());
  Text->AddLine(longer.c_str());
  EXPECT_TRUE(std::u16string(Text->Lines[0].Text) == full && sGetStringLen(Text->Lines[1].Text) == 256);
  EXPECT_EQ(Text->CharCount, 2 * 256);

  // the scene's material of the form's row samples the glyphs in the layout the form fills
  Scene scene;
  const TextureEntry empty[] = {{u"/nonexistent/a.bmp", nullptr, 0x1001, 0}, {nullptr, nullptr, 0, 0}};
  const MaterialEntry rows[] = {Row(0, 3, 0x13, 0x60105), EndRow()};
  scene.CreateTMData(empty, rows, 0);
  TextForm bound(0);
  bound.SetFont(&scene, 2);
  sMaterial *m = scene.MaterialSet->Materials[0];
  EXPECT_TRUE(m->Format == sVertexFormatPosNormUV && m->Texture[0] == bound.GlyphTexture);
  m->Texture[0] = nullptr;

  for(sInt i = 2; i < 1023; i++) Text->AddLine(u"z");
  EXPECT_EQ(Text->LineCount, 1023);
  EXPECT_EXIT(Text->AddLine(u"one too many"), testing::ExitedWithCode(1), kCheckFailed);
}
}   // namespace

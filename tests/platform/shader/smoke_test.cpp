#include "common.hpp"

using namespace shtest;

TEST(TranslateSmoke, MadOfConstants) {
  REQUIRE_GL();
  DrawSetup s;
  SetConst(s.PSConst, 0, {1, 2, 3, 4});
  SetConst(s.PSConst, 1, {0.5f, 0.25f, -1, 2});
  SetConst(s.PSConst, 2, {10, 20, 30, 40});
  Tokens ps = PsWith({Ins(MAD, 4), Dst(TEMP, 0), Src(CONST, 0), Src(CONST, 1), Src(CONST, 2)});
  DrawResult r = Draw(PassVS3(), ps, s);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_TRUE(Near(PixelOf(r), {10.5f, 20.5f, 27, 48}));
}

// vs_2_0 / ps_2_0: texture coordinate through oT0, a texel times a def constant
TEST(TranslateSmoke, Model2TexldTimesDef) {
  REQUIRE_GL();
  DrawSetup s;
  s.Attributes.push_back({{5, 0}, {0.25f, 0.25f, 0, 1, 0.25f, 0.25f, 0, 1, 0.25f, 0.25f, 0, 1, 0.25f, 0.25f, 0, 1}});
  Texture t;
  t.Width = t.Height = 2;
  t.Texels = {0.1f, 0.2f, 0.3f, 0.4f, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  s.Textures.push_back(t);
  Tokens ps{PS2,
            Ins(DEF, 5), Dst(CONST, 3), F(2), F(0.5f), F(1), F(-1),
            Ins(DCL, 2), 0x80000000u, Dst(TEXTURE, 0, 0x3),
            Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0),
            Ins(TEX, 3), Dst(TEMP, 0), Src(TEXTURE, 0), Src(SAMPLER, 0),
            Ins(MUL, 3), Dst(TEMP, 0), Src(TEMP, 0), Src(CONST, 3),
            Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEMP, 0),
            END};
  DrawResult r = Draw(PassVS2(), ps, s);
  ASSERT_TRUE(r.Ok) << r.Error;
  // ps_2_0 colour outputs are clamped to 0..1
  EXPECT_TRUE(Near(PixelOf(r), {0.2f, 0.1f, 0.3f, 0.0f}));
}
